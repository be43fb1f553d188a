// The serial device map read from a sysfs tree: which tty entries become values, and
// that the machine's own pseudo-terminals never do.
#include "registry_linux.h"
#include "winapi.h"

#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using winapi_linux::ScopedRegistryReset;

namespace {

// A throw-away tree shaped like /sys: class/tty/<name> links into devices/, each real
// device with a "device" link whose "driver" link names its driver.
class SysfsTree {
  public:
    SysfsTree() {
        char pattern[] = "/tmp/sysfs-fixture-XXXXXX";
        root_ = ::mkdtemp(pattern);
        fs::create_directories(root_ / "class" / "tty");
        fs::create_directories(root_ / "dev");
    }
    ~SysfsTree() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    SysfsTree(const SysfsTree&) = delete;
    SysfsTree& operator=(const SysfsTree&) = delete;

    const fs::path& Root() const { return root_; }
    fs::path DevRoot() const { return root_ / "dev"; }

    // A tty with hardware behind it; type is the serial core's "type" attribute, if any.
    void AddDevice(const std::string& name, const std::string& driver,
                   std::optional<int> type = std::nullopt) {
        const fs::path hw = root_ / "devices" / ("hw-" + name);
        const fs::path tty = hw / "tty" / name;
        fs::create_directories(tty);
        fs::create_directories(root_ / "bus" / "drivers" / driver);
        fs::create_directory_symlink(fs::relative(root_ / "bus" / "drivers" / driver, hw),
                                     hw / "driver");
        fs::create_directory_symlink("../..", tty / "device");
        if (type) std::ofstream(tty / "type") << *type << "\n";
        Link(name, tty);
    }

    // A tty without a device link: consoles, virtual terminals, ptmx.
    void AddVirtual(const std::string& name) {
        const fs::path tty = root_ / "devices" / "virtual" / "tty" / name;
        fs::create_directories(tty);
        Link(name, tty);
    }

    void AddDevNodeFile(const std::string& name) {
        std::ofstream(DevRoot() / name) << "not a device";
    }

  private:
    void Link(const std::string& name, const fs::path& target) {
        fs::create_directory_symlink(fs::relative(target, root_ / "class" / "tty"),
                                     root_ / "class" / "tty" / name);
    }
    fs::path root_;
};

struct Value {
    std::string name, data;
    bool operator==(const Value&) const = default;
};

// All values of the serial device map, or nullopt when the key cannot be opened.
std::optional<std::vector<Value>> ReadSerialComm() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    std::vector<Value> values;
    for (DWORD index = 0;; ++index) {
        char name[256];
        BYTE data[256];
        DWORD nameLen = sizeof name, dataLen = sizeof data, type = 0;
        const LSTATUS rc =
            RegEnumValueA(key, index, name, &nameLen, nullptr, &type, data, &dataLen);
        if (rc == static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS)) break;
        EXPECT_EQ(rc, static_cast<LSTATUS>(ERROR_SUCCESS));
        if (rc != ERROR_SUCCESS) break;
        EXPECT_EQ(type, REG_SZ);
        EXPECT_GE(dataLen, 1u);
        EXPECT_EQ(data[dataLen - 1], 0) << "REG_SZ data keeps its terminating null";
        values.push_back(
            {std::string(name, nameLen), std::string(reinterpret_cast<char*>(data), dataLen - 1)});
    }
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    return values;
}

} // namespace

TEST(RegistrySysfs, ListsDevicesWithHardwareAndSkipsVirtualAndGhostSlots) {
    ScopedRegistryReset reset;
    SysfsTree tree;
    tree.AddVirtual("console");
    tree.AddVirtual("ptmx");
    tree.AddVirtual("tty0");
    tree.AddDevice("ttyUSB0", "ftdi_sio");
    tree.AddDevice("ttyACM0", "cdc_acm");
    tree.AddDevice("ttyAMA0", "uart-pl011");
    tree.AddDevice("ttyS0", "port", 4);       // a 16550A behind the slot
    tree.AddDevice("ttyS1", "serial8250", 0); // ghost slot: PORT_UNKNOWN
    tree.AddDevice("ttyS2", "serial8250");    // no "type": the driver probe fails on a non-device
    tree.AddDevNodeFile("ttyS2");
    tree.AddDevice("ttyX9", "serial8250", 0); // an 8250 slot under another name is checked too
    winapi_linux::SetSysfsRootForTesting(tree.Root());
    winapi_linux::SetDevRootForTesting(tree.DevRoot());

    const std::vector<Value> expected = {{"\\Device\\ttyACM0", "ttyACM0"},
                                         {"\\Device\\ttyAMA0", "ttyAMA0"},
                                         {"\\Device\\ttyS0", "ttyS0"},
                                         {"\\Device\\ttyUSB0", "ttyUSB0"}};
    EXPECT_EQ(ReadSerialComm(), expected);
}

TEST(RegistrySysfs, EmptyClassDirectoryGivesKeyWithoutValuesAndMissingOneNoKey) {
    ScopedRegistryReset reset;
    SysfsTree tree;
    winapi_linux::SetSysfsRootForTesting(tree.Root());
    EXPECT_EQ(ReadSerialComm(), std::vector<Value>{});

    winapi_linux::SetSysfsRootForTesting(tree.Root() / "nowhere");
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key),
        static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(key, nullptr);
}

TEST(RegistrySysfs, ListingIsTakenWhenTheKeyOpens) {
    ScopedRegistryReset reset;
    SysfsTree tree;
    tree.AddDevice("ttyUSB0", "ftdi_sio");
    winapi_linux::SetSysfsRootForTesting(tree.Root());

    HKEY key = nullptr;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key),
        ERROR_SUCCESS);
    tree.AddDevice("ttyACM0", "cdc_acm"); // plugged in while the key is open
    char name[256];
    DWORD nameLen = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 1, name, &nameLen, nullptr, nullptr, nullptr, nullptr),
              static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    EXPECT_EQ(ReadSerialComm()->size(), 2u);
}

TEST(RegistrySysfs, MachineListNeverOffersPseudoTerminals) {
    ScopedRegistryReset reset;
    PtyPair pty;
    const auto values = ReadSerialComm();
    ASSERT_TRUE(values.has_value()) << "this machine has /sys/class/tty";
    const std::string ptyName = fs::path(pty.SlavePath()).filename();
    for (const Value& v : *values) {
        EXPECT_NE(v.data, "ptmx");
        EXPECT_NE(v.data, ptyName);
        EXPECT_EQ(v.data.rfind("pts", 0), std::string::npos) << v.data;
    }
}
