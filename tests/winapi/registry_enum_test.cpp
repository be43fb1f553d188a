// RegOpenKeyExA / RegEnumValueA / RegCloseKey on a fixed list of values: the buffer
// rules the port list relies on, and the failures it must tell apart.
#include "registry_linux.h"
#include "winapi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using winapi_linux::ScopedRegistryReset;

namespace {

constexpr const char* kSerialComm = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr LSTATUS kSuccess = ERROR_SUCCESS;
constexpr LSTATUS kMoreData = ERROR_MORE_DATA;
constexpr LSTATUS kNoMoreItems = ERROR_NO_MORE_ITEMS;
constexpr LSTATUS kNotFound = ERROR_FILE_NOT_FOUND;
constexpr LSTATUS kBadHandle = ERROR_INVALID_HANDLE;

// Holds the serial device map open over a fixed list of values.
class FixedKey : public ::testing::Test {
  protected:
    void Open(winapi_linux::SerialDeviceList values) {
        winapi_linux::SetSerialDeviceListForTesting(std::move(values));
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_READ, &key_), kSuccess);
    }
    void TearDown() override {
        if (key_ != nullptr) {
            EXPECT_EQ(RegCloseKey(key_), kSuccess);
        }
        EXPECT_EQ(winapi_linux::OpenRegistryKeyCount(), 0u);
    }
    ScopedRegistryReset reset_;
    HKEY key_ = nullptr;
};

} // namespace

TEST_F(FixedKey, EnumeratesValuesInOrderKeepingEmptyDuplicateAndCaseVariants) {
    const winapi_linux::SerialDeviceList values = {
        {"\\Device\\Serial0", "COM2"}, {"\\Device\\Serial1", "COM10"},
        {"\\Device\\Serial2", "COM1"}, {"\\Device\\Serial3", "com1"},
        {"\\Device\\Serial3", "COM1"}, {"", ""}};
    Open(values);
    for (DWORD i = 0; i < values.size(); ++i) {
        char name[256];
        char data[256];
        std::memset(data, 'x', sizeof data);
        DWORD nameLen = sizeof name, dataLen = sizeof data, type = 0;
        ASSERT_EQ(RegEnumValueA(key_, i, name, &nameLen, nullptr, &type,
                                reinterpret_cast<LPBYTE>(data), &dataLen),
                  kSuccess);
        EXPECT_EQ(std::string(name, nameLen), values[i].first);
        EXPECT_EQ(name[nameLen], '\0');
        EXPECT_EQ(type, REG_SZ);
        EXPECT_EQ(dataLen, values[i].second.size() + 1) << "the size counts the terminating null";
        EXPECT_STREQ(data, values[i].second.c_str());
    }
    char name[256];
    DWORD nameLen = sizeof name;
    EXPECT_EQ(RegEnumValueA(key_, static_cast<DWORD>(values.size()), name, &nameLen, nullptr,
                            nullptr, nullptr, nullptr),
              kNoMoreItems);
    EXPECT_EQ(RegEnumValueA(key_, 0xFFFFFFFFu, name, &nameLen, nullptr, nullptr, nullptr, nullptr),
              kNoMoreItems);
}

TEST_F(FixedKey, KeyWithoutValuesHasNoFirstItem) {
    Open({});
    char name[256];
    DWORD nameLen = sizeof name;
    EXPECT_EQ(RegEnumValueA(key_, 0, name, &nameLen, nullptr, nullptr, nullptr, nullptr),
              kNoMoreItems);
}

// Name buffers count characters and must hold the null too; data buffers count bytes
// with the null. A value that does not fit gives ERROR_MORE_DATA and the data size needed.
TEST_F(FixedKey, BufferSizesDecideBetweenSuccessAndMoreData) {
    const std::string name5 = "Name5", data4 = "COM7";
    const std::string longName(300, 'n'), longData(300, 'd');
    Open({{name5, data4}, {longName, "ttyUSB0"}, {"\\Device\\Serial9", longData}});

    struct Case {
        const char* what;
        DWORD index, nameBuffer, dataBuffer;
        LSTATUS result;
        DWORD nameLenAfter, dataLenAfter;
    };
    const Case cases[] = {
        {"both fit exactly", 0, 6, 5, kSuccess, 5, 5},
        {"name without room for its null", 0, 5, 5, kMoreData, 5, 5},
        {"data without room for its null", 0, 6, 4, kMoreData, 5, 5},
        {"name buffer of zero", 0, 0, 5, kMoreData, 0, 5},
        {"300-character name in 256", 1, 256, 256, kMoreData, 256, 256},
        {"300-byte data in 256", 2, 256, 256, kMoreData, 15, 301},
        {"300-byte data in 301", 2, 256, 301, kSuccess, 15, 301},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string name(400, '\0');
        std::string data(400, '\0');
        DWORD nameLen = c.nameBuffer, dataLen = c.dataBuffer;
        EXPECT_EQ(RegEnumValueA(key_, c.index, name.data(), &nameLen, nullptr, nullptr,
                                reinterpret_cast<LPBYTE>(data.data()), &dataLen),
                  c.result);
        EXPECT_EQ(nameLen, c.nameLenAfter);
        EXPECT_EQ(dataLen, c.dataLenAfter);
        EXPECT_EQ(name[c.nameBuffer], '\0') << "nothing written past the name buffer";
        EXPECT_EQ(data[c.dataBuffer], '\0') << "nothing written past the data buffer";
    }

    // Without a data buffer the size alone is reported.
    char name[256];
    DWORD nameLen = sizeof name, dataLen = 0;
    EXPECT_EQ(RegEnumValueA(key_, 2, name, &nameLen, nullptr, nullptr, nullptr, &dataLen),
              kSuccess);
    EXPECT_EQ(dataLen, 301u);
}

TEST_F(FixedKey, RefusesMalformedCalls) {
    Open({{"\\Device\\Serial0", "COM1"}});
    char name[16];
    BYTE data[16];
    DWORD nameLen = sizeof name, dataLen = sizeof data, reserved = 0;
    EXPECT_EQ(RegEnumValueA(key_, 0, nullptr, &nameLen, nullptr, nullptr, data, &dataLen),
              static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegEnumValueA(key_, 0, name, nullptr, nullptr, nullptr, data, &dataLen),
              static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegEnumValueA(key_, 0, name, &nameLen, &reserved, nullptr, data, &dataLen),
              static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegEnumValueA(key_, 0, name, &nameLen, nullptr, nullptr, data, nullptr),
              static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_READ, nullptr),
              static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
}

TEST_F(FixedKey, ClosedOrUnknownKeyIsABadHandle) {
    Open({{"\\Device\\Serial0", "COM1"}});
    HKEY closed = key_;
    ASSERT_EQ(RegCloseKey(key_), kSuccess);
    key_ = nullptr;
    char name[16];
    DWORD nameLen = sizeof name;
    EXPECT_EQ(RegEnumValueA(closed, 0, name, &nameLen, nullptr, nullptr, nullptr, nullptr),
              kBadHandle);
    EXPECT_EQ(RegCloseKey(closed), kBadHandle);
    EXPECT_EQ(RegCloseKey(nullptr), kBadHandle);
}

TEST(RegistryKeys, OnlyTheSerialDeviceMapExists) {
    ScopedRegistryReset reset;
    winapi_linux::SetSerialDeviceListForTesting(winapi_linux::SerialDeviceList{{"a", "COM1"}});
    struct Case {
        const char* subKey;
        REGSAM access;
        LSTATUS result;
    };
    const Case cases[] = {
        {"HARDWARE\\DEVICEMAP\\SERIALCOMM", KEY_READ, kSuccess},
        {"hardware\\devicemap\\serialcomm", KEY_READ, kSuccess}, // key names ignore case
        {"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0x20006 /*KEY_WRITE*/,
         static_cast<LSTATUS>(ERROR_ACCESS_DENIED)},
        {"HARDWARE\\DEVICEMAP\\SERIALCOMM\\", KEY_READ, kNotFound},
        {"HARDWARE\\DEVICEMAP", KEY_READ, kNotFound},
        {"SOFTWARE", KEY_READ, kNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.subKey);
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.subKey, 0, c.access, &key), c.result);
        EXPECT_EQ(key != nullptr, c.result == kSuccess);
        if (key != nullptr) {
            EXPECT_EQ(RegCloseKey(key), kSuccess);
        }
    }
    EXPECT_EQ(winapi_linux::OpenRegistryKeyCount(), 0u);
}

TEST(RegistryKeys, MissingKeyFailsToOpen) {
    ScopedRegistryReset reset;
    winapi_linux::SetSerialDeviceListForTesting(std::nullopt);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_READ, &key), kNotFound);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(winapi_linux::OpenRegistryKeyCount(), 0u);
}
