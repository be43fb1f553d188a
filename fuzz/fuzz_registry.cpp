// The serial device map and the port list over arbitrary device names.
//
// Each input describes the map one of two ways:
//   - a sysfs-shaped tree built in a private directory (class/tty/<name> with or without a
//     device behind it, legacy UART slots with and without a "type", odd and long names);
//     /dev for the UART probe is a private directory too, so nothing real is ever opened;
//   - a fixed list of (value name, data) pairs, any bytes and lengths, or no key at all.
// Then the values are enumerated with RegEnumValueA using buffers of exact, small and
// 256-byte sizes (heap blocks of exactly that size, so a write past one is caught), and
// the Windows buffer rules are checked; then ListSerialPorts must fill a list with every
// value's data in sorted order or raise message 15 leaving the list alone, and no key
// may stay open.
#include "BCPort.h"
#include "Strings.h"
#include "registry_linux.h"
#include "winapi.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h> // mkdtemp

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Values = winapi_linux::SerialDeviceList;

constexpr const char* kKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr std::size_t kBuffer = 256; // what ListSerialPorts offers

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz_registry: %s\n", what.c_str());
    std::abort();
}

class Scratch {
  public:
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "fuzz-registry-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            Fail(std::string("mkdtemp: ") + std::strerror(errno));
        dir_ = pattern;
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path Fresh() const {
        const fs::path tree = dir_ / "tree";
        fs::remove_all(tree);
        fs::create_directories(tree / "dev");
        return tree;
    }

  private:
    fs::path dir_;
};

// How a tty entry looks in the tree, and whether the map must list it.
enum class Kind { Device, Virtual, DanglingDevice, UartPresent, UartGhost, UartUnreadable };

struct Entry {
    std::string name;
    Kind kind;
    bool serial8250Driver;
};

// A legacy UART slot is listed only when its "type" says a UART is there: "4" (a 16550A)
// yes; "0" (PORT_UNKNOWN), garbage, an empty or a missing attribute no (the probe then
// finds no device node, only a regular file or nothing, in the private /dev).
void WriteType(const fs::path& tty, Kind kind, FuzzedDataProvider& in) {
    switch (kind) {
    case Kind::UartPresent:
        std::ofstream(tty / "type") << "4\n";
        break;
    case Kind::UartGhost:
        std::ofstream(tty / "type") << "0\n";
        break;
    case Kind::UartUnreadable:
        if (in.ConsumeBool()) std::ofstream(tty / "type") << (in.ConsumeBool() ? "" : "junk\n");
        break;
    default:
        break;
    }
}

std::string EntryName(FuzzedDataProvider& in) {
    std::string name = in.ConsumeRandomLengthString(255);
    if (in.ConsumeBool())
        name.resize(in.ConsumeIntegralInRange<std::size_t>(name.size(), 255), 'x');
    for (char& c : name)
        if (c == '/' || c == '\0') c = '_';
    if (name == "." || name == "..") name = "_";
    return name;
}

// Builds the tree and returns the values the map must hold, in enumeration order.
Values BuildTree(const fs::path& root, FuzzedDataProvider& in) {
    const fs::path classDir = root / "class" / "tty";
    fs::create_directories(classDir);
    std::set<std::string> seen;
    std::vector<Entry> entries;
    const int count = in.ConsumeIntegralInRange(0, 24);
    for (int i = 0; i < count; ++i) {
        Entry e{EntryName(in), static_cast<Kind>(in.ConsumeIntegralInRange(0, 5)),
                in.ConsumeBool()};
        if (e.name.empty() || !seen.insert(e.name).second) continue;
        const fs::path tty = classDir / e.name;
        fs::create_directory(tty);
        if (e.kind == Kind::DanglingDevice) {
            fs::create_directory_symlink("../nowhere", tty / "device");
        } else if (e.kind != Kind::Virtual) {
            fs::create_directory(tty / "device");
            if (e.serial8250Driver)
                fs::create_directory_symlink("../../../bus/serial8250", tty / "device" / "driver");
            WriteType(tty, e.kind, in);
            if (in.ConsumeBool()) std::ofstream(root / "dev" / e.name) << "not a device";
        }
        entries.push_back(e);
    }

    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    Values expected;
    for (const Entry& e : entries) {
        if (e.kind == Kind::Virtual || e.kind == Kind::DanglingDevice) continue;
        const bool legacy = e.name.starts_with("ttyS") || e.serial8250Driver;
        if (legacy && e.kind != Kind::UartPresent) continue;
        expected.emplace_back("\\Device\\" + e.name, e.name);
    }
    return expected;
}

std::optional<Values> FixedList(FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange(0, 15) == 0) return std::nullopt; // no key
    Values values;
    const int count = in.ConsumeIntegralInRange(0, 32);
    for (int i = 0; i < count; ++i) {
        std::string name = in.ConsumeRandomLengthString(300);
        std::string data = in.ConsumeRandomLengthString(300);
        values.emplace_back(std::move(name), std::move(data));
    }
    return values;
}

// A buffer size to offer: often the one ListSerialPorts offers, else small or just fitting.
DWORD BufferSize(FuzzedDataProvider& in, std::size_t fits) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return kBuffer;
    case 1:
        return static_cast<DWORD>(fits);
    case 2:
        return static_cast<DWORD>(fits - 1);
    default:
        return in.ConsumeIntegralInRange<DWORD>(0, 16);
    }
}

void CheckEnumeration(HKEY key, const Values& expected, FuzzedDataProvider& in) {
    for (DWORD index = 0; index <= expected.size() + 1; ++index) {
        const bool last = index >= expected.size();
        const std::string name = last ? "" : expected[index].first;
        const std::string data = last ? "" : expected[index].second;
        const std::string where = "value " + std::to_string(index) + ": ";

        const DWORD nameSize = last ? kBuffer : BufferSize(in, name.size() + 1);
        const int dataMode = in.ConsumeIntegralInRange(0, 2); // 0 no buffer, 1 size only, 2 buffer
        const DWORD dataSize = last ? kBuffer : BufferSize(in, data.size() + 1);
        std::unique_ptr<char[]> nameBuf(new char[nameSize]);
        std::unique_ptr<BYTE[]> dataBuf(new BYTE[dataSize]);
        std::memset(dataBuf.get(), 0x5A, dataSize);
        DWORD nameLength = nameSize, dataLength = dataSize, type = 0xDEAD;

        const LSTATUS rc = RegEnumValueA(key, index, nameBuf.get(), &nameLength, nullptr, &type,
                                         dataMode == 2 ? dataBuf.get() : nullptr,
                                         dataMode == 0 ? nullptr : &dataLength);
        if (last) {
            if (rc != static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS))
                Fail(where + "expected ERROR_NO_MORE_ITEMS, got " + std::to_string(rc));
            continue;
        }
        if (name.size() >= nameSize) {
            if (rc != static_cast<LSTATUS>(ERROR_MORE_DATA))
                Fail(where + "name does not fit, expected ERROR_MORE_DATA, got " +
                     std::to_string(rc));
            continue;
        }
        const bool dataFits = dataMode != 2 || data.size() + 1 <= dataSize;
        const LSTATUS want = static_cast<LSTATUS>(dataFits ? ERROR_SUCCESS : ERROR_MORE_DATA);
        if (rc != want)
            Fail(where + "expected " + std::to_string(want) + ", got " + std::to_string(rc));
        if (nameLength != name.size()) Fail(where + "name length is not the name's");
        if (std::memcmp(nameBuf.get(), name.data(), name.size()) != 0 ||
            nameBuf[name.size()] != '\0')
            Fail(where + "name is wrong or not null-terminated");
        if (type != REG_SZ) Fail(where + "type is not REG_SZ");
        if (dataMode != 0 && dataLength != data.size() + 1)
            Fail(where + "data length is not the data's with its null");
        if (dataMode == 2 && dataFits &&
            (std::memcmp(dataBuf.get(), data.data(), data.size()) != 0 ||
             dataBuf[data.size()] != 0))
            Fail(where + "data is wrong or not null-terminated");
    }
}

// What ListSerialPorts must give: each value's data up to its first null, sorted; or
// nothing when some value does not fit its 256-byte buffers.
std::optional<std::vector<std::string>> ExpectedList(const std::optional<Values>& values) {
    if (!values) return std::nullopt;
    std::vector<std::string> list;
    for (const auto& [name, data] : *values) {
        if (name.size() >= kBuffer || data.size() + 1 > kBuffer) return std::nullopt;
        list.push_back(data.substr(0, data.find('\0')));
    }
    return list;
}

void CheckPortList(const std::optional<Values>& values) {
    TStringList ports;
    ports.Add("untouched");
    const std::optional<std::vector<std::string>> expected = ExpectedList(values);
    try {
        ListSerialPorts(&ports);
    } catch (const EComPort& e) {
        if (e.Message() != PortMessages[15])
            Fail("ListSerialPorts raised another text: " + e.Message());
        if (expected) Fail("ListSerialPorts failed on a readable map");
        if (ports.Count() != 1 || ports[0] != "untouched")
            Fail("a failed ListSerialPorts changed the list");
        return;
    }
    if (!expected) Fail("ListSerialPorts succeeded although a value does not fit 256 bytes");
    std::vector<std::string> got;
    for (int i = 0; i < ports.Count(); ++i) {
        got.push_back(ports[i]);
        if (i > 0 && AnsiCompareText(ports[i - 1], ports[i]) > 0)
            Fail("ListSerialPorts did not sort: '" + ports[i - 1] + "' before '" + ports[i] + "'");
    }
    std::vector<std::string> want = *expected;
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    if (got != want) Fail("ListSerialPorts lost, added or changed entries");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Scratch scratch;
    FuzzedDataProvider in(data, size);

    std::optional<Values> values;
    if (in.ConsumeBool()) {
        values = FixedList(in);
        winapi_linux::SetSerialDeviceListForTesting(values);
    } else {
        const fs::path root = scratch.Fresh();
        values = BuildTree(root, in);
        winapi_linux::SetSysfsRootForTesting(root.string());
        winapi_linux::SetDevRootForTesting((root / "dev").string());
    }

    HKEY key = nullptr;
    const LSTATUS opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key);
    if (!values) {
        if (opened != static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND) || key != nullptr)
            Fail("a missing key opened, or failed with another code");
    } else {
        if (opened != static_cast<LSTATUS>(ERROR_SUCCESS)) Fail("the key does not open");
        CheckEnumeration(key, *values, in);
        if (RegCloseKey(key) != static_cast<LSTATUS>(ERROR_SUCCESS)) Fail("RegCloseKey failed");
        char name[kBuffer];
        DWORD length = sizeof name;
        if (RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                static_cast<LSTATUS>(ERROR_INVALID_HANDLE) ||
            RegCloseKey(key) != static_cast<LSTATUS>(ERROR_INVALID_HANDLE))
            Fail("a closed key still works");
    }

    CheckPortList(values);
    if (winapi_linux::OpenRegistryKeyCount() != 0) Fail("a registry key was left open");
    return 0;
}
