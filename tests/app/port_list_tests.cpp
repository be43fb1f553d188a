// The first showing of the window: the port box filled from the machine's serial ports
// with the second one preselected, 9600 preselected, and a registry failure reported.
#include "WindowFixture.h"

namespace {

using winapi_linux::SerialDeviceList;

struct PortListCase {
    const char* name;
    std::optional<SerialDeviceList> registry;
    QStringList items;
    int portIndex;
    QString portText;
    int rateIndex;
    QString rateText;
    QString errorBox; // empty: none
};
void PrintTo(const PortListCase& Case, std::ostream* Out) {
    *Out << Case.name;
}

// clang-format off
const PortListCase PortListCases[] = {
    {"NoPorts", SerialDeviceList{}, {}, -1, "", 6, "9600", ""},
    // Entry 1 does not exist: Qt then selects nothing and empties the text.
    {"OnePort", SerialDeviceList{{"/dev/ttyS0", "ttyS0"}}, {"ttyS0"}, -1, "", 6, "9600", ""},
    {"ThreePortsInTextOrder", SerialDeviceList{{"a", "COM2"}, {"b", "COM10"}, {"c", "COM1"}},
     {"COM1", "COM10", "COM2"}, 1, "COM10", 6, "9600", ""},
    {"RegistryFails", std::nullopt, {}, -1, "ComboBox1", -1, "ComboBox2",
     "Ошибка обращения к системному реестру."},
};
// clang-format on

class PortListTest : public WindowTest, public ::testing::WithParamInterface<PortListCase> {};

} // namespace

TEST_P(PortListTest, FirstShowFillsAndPreselectsTheBoxes) {
    const PortListCase& c = GetParam();
    ShowWindow(c.registry);

    if (c.errorBox.isEmpty())
        EXPECT_TRUE(boxes.None());
    else
        ExpectErrorBox(boxes.Take(), c.errorBox);

    QStringList items;
    for (int i = 0; i < PortBox()->count(); ++i)
        items << PortBox()->itemText(i);
    EXPECT_EQ(items, c.items);
    EXPECT_EQ(PortBox()->currentIndex(), c.portIndex);
    EXPECT_EQ(PortBox()->currentText(), c.portText);
    EXPECT_EQ(RateBox()->currentIndex(), c.rateIndex);
    EXPECT_EQ(RateBox()->currentText(), c.rateText);
    EXPECT_TRUE(form->isVisible()); // shown all the same
}

INSTANTIATE_TEST_SUITE_P(Registry, PortListTest, ::testing::ValuesIn(PortListCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Showing the window again (after it was hidden) does not list the ports again.
TEST_F(WindowTest, OnlyTheFirstShowListsThePorts) {
    ShowWindow(SerialDeviceList{{"a", "COM1"}, {"b", "COM2"}});
    ASSERT_EQ(PortBox()->currentText(), "COM2");
    winapi_linux::SetSerialDeviceListForTesting(std::nullopt);
    form->hide();
    form->show();
    EXPECT_TRUE(boxes.None());
    EXPECT_EQ(PortBox()->count(), 2);
    EXPECT_EQ(PortBox()->currentText(), "COM2");
}
