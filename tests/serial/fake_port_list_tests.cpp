// The serial port list, over registry contents set up by the test.
#include "BCPort.h"
#include "registry_linux.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using winapi_linux::SerialDeviceList;

std::vector<std::string> Contents(const TStrings& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
    return out;
}

SerialDeviceList Values(const std::vector<std::string>& data) {
    SerialDeviceList values;
    for (std::size_t i = 0; i < data.size(); ++i)
        values.emplace_back("\\Device\\Serial" + std::to_string(i), data[i]);
    return values;
}

TEST(ListSerialPorts, SortedTextOrderKeepingCaseDuplicatesAndEmptyEntries) {
    winapi_linux::ScopedRegistryReset reset;
    struct {
        std::vector<std::string> data;
        std::vector<std::string> expected;
    } const cases[] = {
        {{}, {}},
        {{"COM2", "COM10", "COM1"}, {"COM1", "COM10", "COM2"}},
        {{"ttyUSB0"}, {"ttyUSB0"}},
        {{"COM3", "", "COM3"}, {"", "COM3", "COM3"}},
    };
    for (const auto& c : cases) {
        winapi_linux::SetSerialDeviceListForTesting(Values(c.data));
        TStringList ports;
        ports.Add("stale entry");
        ListSerialPorts(&ports);
        EXPECT_EQ(Contents(ports), c.expected);
        EXPECT_EQ(winapi_linux::OpenRegistryKeyCount(), 0u);
    }
    // Names differing only in case are both kept (in either order).
    winapi_linux::SetSerialDeviceListForTesting(Values({"com1", "COM1"}));
    TStringList ports;
    ListSerialPorts(&ports);
    ASSERT_EQ(ports.Count(), 2);
    EXPECT_NE(ports[0], ports[1]);
}

TEST(ListSerialPorts, FailureRaisesAndLeavesTheListAlone) {
    winapi_linux::ScopedRegistryReset reset;
    const std::string longText(300, 'x');
    const std::optional<SerialDeviceList> failing[] = {
        std::nullopt,                                  // no key
        SerialDeviceList{{"\\Device\\Serial0", "COM1"}, {"\\Device\\Serial1", longText}}, // data too long
        SerialDeviceList{{longText, "COM1"}},          // name too long
    };
    for (const auto& values : failing) {
        winapi_linux::SetSerialDeviceListForTesting(values);
        TStringList ports;
        ports.Add("kept");
        try {
            ListSerialPorts(&ports);
            ADD_FAILURE() << "nothing raised";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.Message(), "Ошибка обращения к системному реестру");
        }
        EXPECT_EQ(Contents(ports), std::vector<std::string>{"kept"});
        EXPECT_EQ(winapi_linux::OpenRegistryKeyCount(), 0u);
    }
}

} // namespace
