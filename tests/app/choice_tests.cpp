// The pieces between the boxes and the component: the rate chosen in the rate box, the
// selected entry of an editable box, and a box's items as a string list.
#include "BaudRateChoice.h"
#include "ComboBoxItemIndex.h"
#include "ComboBoxStrings.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace {

struct RateCase {
    int selected;
    const char* typed;
    std::optional<TBaudRate> rate; // nullopt: refused
};

const RateCase RateCases[] = {
    {6, "9600", br9600},
    {0, "", br110},     // the selection decides, not the text
    {14, "", br256000}, // the last entry of the table
    {-1, "19200", br19200},
    {-1, " 57600 ", br57600},
    {-1, "256000", br256000},
    {15, "115200", br115200}, // an entry past the table is no entry: the text decides
    {-1, "12345", std::nullopt},
    {-1, "", std::nullopt},
    {-1, "9600.0", std::nullopt},
    {-1, "0x2580", std::nullopt},
    {-1, "ComboBox2", std::nullopt},
    {99, "abc", std::nullopt},
    {-7, "9600x", std::nullopt},
};

} // namespace

TEST(BaudRateChoice, SelectedEntryOrTypedRateOrAClearError) {
    for (const RateCase& c : RateCases) {
        SCOPED_TRACE(testing::Message() << c.selected << " '" << c.typed << "'");
        if (c.rate) {
            EXPECT_EQ(BaudRateFromChoice(c.selected, c.typed), *c.rate);
            continue;
        }
        try {
            BaudRateFromChoice(c.selected, c.typed);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_NE(e.Message().find(std::string("«") + c.typed + "»"), std::string::npos)
                << e.Message();
        }
    }
}

// Qt keeps the old current index while the user types over it; the handlers must see
// no selection then, and the selection again once the text is an entry's once more.
TEST(ComboBoxItemIndex, TypingOverTheSelectionClearsIt) {
    QComboBox box;
    box.setEditable(true);
    box.setInsertPolicy(QComboBox::NoInsert);
    box.addItems({"9600", "19200"});
    box.setCurrentIndex(1);
    EXPECT_EQ(ItemIndex(box), 1);

    box.lineEdit()->selectAll();
    QTest::keyClicks(box.lineEdit(), "777");
    EXPECT_EQ(box.currentIndex(), 1);
    EXPECT_EQ(ItemIndex(box), -1);

    box.setEditText("19200");
    EXPECT_EQ(ItemIndex(box), 1);
    box.setCurrentIndex(-1);
    EXPECT_EQ(ItemIndex(box), -1);
}

TEST(ComboBoxStrings, ListOperationsReachTheBoxItems) {
    QComboBox box;
    TComboBoxStrings items(&box);
    TStringList source;
    source.Add("COM1");
    source.Add("COM10");
    source.Add("COM2");

    items.Assign(&source);
    ASSERT_EQ(box.count(), 3);
    EXPECT_EQ(box.itemText(1), "COM10");
    EXPECT_EQ(items.Get(2), "COM2");

    items.Insert(0, "ttyUSB0");
    items.Delete(3);
    EXPECT_EQ(items.Count(), 3);
    EXPECT_EQ(items[0], "ttyUSB0");
    EXPECT_EQ(items[2], "COM10");

    items.Clear();
    EXPECT_EQ(box.count(), 0);
}

// Qt would quietly append or prepend; a list refuses and leaves the box as it was.
TEST(ComboBoxStrings, IndexesOutsideTheListRaise) {
    QComboBox box;
    box.addItem("COM1");
    TComboBoxStrings items(&box);
    EXPECT_THROW(items.Get(1), Exception);
    EXPECT_THROW(items.Get(-1), Exception);
    EXPECT_THROW(items.Insert(2, "x"), Exception);
    EXPECT_THROW(items.Insert(-1, "x"), Exception);
    EXPECT_THROW(items.Delete(1), Exception);
    ASSERT_EQ(box.count(), 1);
    EXPECT_EQ(box.itemText(0), "COM1");
}
