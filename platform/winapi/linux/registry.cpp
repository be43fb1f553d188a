// The registry on Linux: only HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, read-only.
// Its values are the machine's serial devices found under /sys/class/tty, one value per
// device: name "\Device\<tty name>", data the bare tty name ("ttyUSB0") as REG_SZ.
// The list is taken once when the key is opened, so enumeration by index is stable.
#include "registry_linux.h"
#include "winapi.h"

#include <fcntl.h>
#include <linux/serial.h> // struct serial_struct, PORT_UNKNOWN
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace winapi_linux {
namespace {

constexpr const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Access rights that would change the key; the device map is read-only.
constexpr REGSAM kWriteAccess = 0x0002 /*KEY_SET_VALUE*/ | 0x0004 /*KEY_CREATE_SUB_KEY*/ |
                                0x0020 /*KEY_CREATE_LINK*/ | 0x00010000 /*DELETE*/ |
                                0x00040000 /*WRITE_DAC*/ | 0x00080000 /*WRITE_OWNER*/ |
                                0x10000000 /*GENERIC_ALL*/ | 0x40000000 /*GENERIC_WRITE*/;

struct Settings {
    std::mutex mutex;
    std::string sysRoot = "/sys";
    std::string devRoot = "/dev";
    bool fixed = false; // use fixedValues instead of the scan
    std::optional<SerialDeviceList> fixedValues;
};

Settings& settings() {
    static Settings instance;
    return instance;
}

using Snapshot = std::shared_ptr<const SerialDeviceList>;

struct KeyTable {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, Snapshot> keys;
    // Never reused within a run, so a closed key cannot reach a newer one.
    std::uintptr_t next = 0x10000;
};

KeyTable& keyTable() {
    static KeyTable instance;
    return instance;
}

Snapshot FindKey(HKEY key) {
    KeyTable& t = keyTable();
    std::lock_guard lock(t.mutex);
    auto it = t.keys.find(reinterpret_cast<std::uintptr_t>(key));
    return it == t.keys.end() ? nullptr : it->second;
}

bool EqualsIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(*a) != lower(*b)) return false;
    }
    return *a == *b;
}

// The value of a small sysfs attribute such as "type", or nullopt when it cannot be read.
std::optional<int> ReadIntAttribute(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string text;
    if (!in || !std::getline(in, text)) return std::nullopt;
    int value = 0;
    const auto [end, err] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (err != std::errc{} || end == text.data()) return std::nullopt;
    return value;
}

// Fallback when sysfs has no "type": ask the driver. Non-blocking, never a non-device.
bool ProbeUartType(const std::string& devPath) {
    struct stat st {};
    if (::stat(devPath.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const int fd = ::open(devPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    serial_struct info{};
    const bool ok = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return ok;
}

// The 8250 driver registers a fixed number of ttyS slots whether or not a UART sits
// behind them; such ghosts report type PORT_UNKNOWN. The sysfs "type" attribute tells
// without opening the port (opening would raise DTR and may block on some machines).
bool IsLegacyUartSlot(const std::string& name, const std::filesystem::path& entry) {
    if (name.rfind("ttyS", 0) == 0) return true;
    std::error_code ec;
    const auto driver = std::filesystem::read_symlink(entry / "device" / "driver", ec);
    return !ec && driver.filename() == "serial8250";
}

bool LegacyUartPresent(const std::filesystem::path& entry, const std::string& devPath) {
    if (const auto type = ReadIntAttribute(entry / "type")) return *type != PORT_UNKNOWN;
    return ProbeUartType(devPath);
}

std::optional<SerialDeviceList> ScanSysfs(const std::string& sysRoot, const std::string& devRoot) {
    namespace fs = std::filesystem;
    const fs::path classDir = fs::path(sysRoot) / "class" / "tty";
    std::error_code ec;
    fs::directory_iterator it(classDir, ec);
    if (ec) return std::nullopt;

    std::vector<std::string> names;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return std::nullopt;
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());

    SerialDeviceList values;
    for (const std::string& name : names) {
        const fs::path entry = classDir / name;
        // Pseudo-terminals, consoles and virtual terminals have no device behind them.
        if (!fs::exists(entry / "device", ec)) continue;
        if (IsLegacyUartSlot(name, entry) && !LegacyUartPresent(entry, devRoot + "/" + name))
            continue;
        values.emplace_back("\\Device\\" + name, name);
    }
    return values;
}

// The values of a newly opened key, or nullopt when the key does not exist.
std::optional<SerialDeviceList> CurrentValues() {
    std::string sysRoot, devRoot;
    {
        Settings& s = settings();
        std::lock_guard lock(s.mutex);
        if (s.fixed) return s.fixedValues;
        sysRoot = s.sysRoot;
        devRoot = s.devRoot;
    }
    return ScanSysfs(sysRoot, devRoot);
}

} // namespace

void SetSysfsRootForTesting(std::string root) {
    Settings& s = settings();
    std::lock_guard lock(s.mutex);
    s.sysRoot = std::move(root);
    s.fixed = false;
    s.fixedValues.reset();
}

void SetDevRootForTesting(std::string root) {
    Settings& s = settings();
    std::lock_guard lock(s.mutex);
    s.devRoot = std::move(root);
}

void SetSerialDeviceListForTesting(std::optional<SerialDeviceList> values) {
    Settings& s = settings();
    std::lock_guard lock(s.mutex);
    s.fixed = true;
    s.fixedValues = std::move(values);
}

void ResetRegistryForTesting() {
    Settings& s = settings();
    std::lock_guard lock(s.mutex);
    s.sysRoot = "/sys";
    s.devRoot = "/dev";
    s.fixed = false;
    s.fixedValues.reset();
}

std::size_t OpenRegistryKeyCount() {
    KeyTable& t = keyTable();
    std::lock_guard lock(t.mutex);
    return t.keys.size();
}

} // namespace winapi_linux

using namespace winapi_linux;

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                      HKEY* phkResult) {
    if (phkResult == nullptr) return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    *phkResult = nullptr;
    if (hKey != HKEY_LOCAL_MACHINE) {
        // Our only key has no subkeys.
        return static_cast<LSTATUS>(FindKey(hKey) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE);
    }
    if (lpSubKey == nullptr || *lpSubKey == '\0') {
        *phkResult = HKEY_LOCAL_MACHINE; // a predefined key opens as itself
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    }
    if (!EqualsIgnoringCase(lpSubKey, kSerialCommKey))
        return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
    if ((samDesired & kWriteAccess) != 0) return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);

    std::optional<SerialDeviceList> values = CurrentValues();
    if (!values) return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);

    auto snapshot = std::make_shared<const SerialDeviceList>(std::move(*values));
    KeyTable& t = keyTable();
    std::lock_guard lock(t.mutex);
    const std::uintptr_t value = t.next;
    t.next += 4;
    t.keys.emplace(value, std::move(snapshot));
    *phkResult = reinterpret_cast<HKEY>(value);
    return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
        (lpData != nullptr && lpcbData == nullptr)) {
        return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    }
    if (hKey == HKEY_LOCAL_MACHINE)
        return static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS); // no values of its own
    const Snapshot key = FindKey(hKey);
    if (!key) return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
    if (dwIndex >= key->size()) return static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS);

    const auto& [name, data] = (*key)[dwIndex];
    // The name buffer must hold the name and its null; its length is counted in
    // characters without the null. When it does not fit, the length is left as it was.
    if (name.size() >= *lpcchValueName) return static_cast<LSTATUS>(ERROR_MORE_DATA);
    std::memcpy(lpValueName, name.data(), name.size());
    lpValueName[name.size()] = '\0';
    *lpcchValueName = static_cast<DWORD>(name.size());
    if (lpType != nullptr) *lpType = REG_SZ;

    // REG_SZ data is stored with its terminating null, which the size counts.
    const std::size_t needed = data.size() + 1;
    LSTATUS result = static_cast<LSTATUS>(ERROR_SUCCESS);
    if (lpData != nullptr) {
        if (needed > *lpcbData) {
            result = static_cast<LSTATUS>(ERROR_MORE_DATA);
        } else {
            std::memcpy(lpData, data.c_str(), needed);
        }
    }
    if (lpcbData != nullptr) *lpcbData = static_cast<DWORD>(needed);
    return result;
}

LSTATUS RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_LOCAL_MACHINE) return static_cast<LSTATUS>(ERROR_SUCCESS);
    Snapshot doomed; // freed outside the lock
    KeyTable& t = keyTable();
    std::lock_guard lock(t.mutex);
    auto it = t.keys.find(reinterpret_cast<std::uintptr_t>(hKey));
    if (it == t.keys.end()) return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
    doomed = std::move(it->second);
    t.keys.erase(it);
    return static_cast<LSTATUS>(ERROR_SUCCESS);
}
