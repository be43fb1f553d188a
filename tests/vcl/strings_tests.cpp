// String lists: assignment, index checks and the default sort order.
#include "Exception.h"
#include "Strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Items(const TStrings& list) {
    std::vector<std::string> items;
    for (int i = 0; i < list.Count(); ++i)
        items.push_back(list[i]);
    return items;
}

void Fill(TStrings& list, const std::vector<std::string>& items) {
    list.Clear();
    for (const auto& item : items)
        list.Add(item);
}

// A list that records its update brackets, standing in for a control's items.
class TRecordingList : public TStringList {
public:
    std::vector<std::string> calls;
    void BeginUpdate() override { calls.push_back("begin"); }
    void EndUpdate() override { calls.push_back("end"); }
    void Clear() override {
        calls.push_back("clear");
        TStringList::Clear();
    }
};

TEST(StringsAssign, ReplacesContentsInsideOneUpdate) {
    TStringList source;
    Fill(source, {"COM3", "COM4"});
    TRecordingList dest;
    dest.Add("old");
    dest.calls.clear();

    dest.Assign(&source);

    EXPECT_EQ(Items(dest), (std::vector<std::string>{"COM3", "COM4"}));
    EXPECT_EQ(dest.calls, (std::vector<std::string>{"begin", "clear", "end"}));
}

TEST(StringsAssign, SelfAssignmentKeepsTheContents) {
    TStringList list;
    Fill(list, {"a", "b"});
    list.Assign(&list);
    EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "b"}));
}

TEST(StringsAssign, OtherClassesCannotBeAssigned) {
    TStringList list;
    list.Add("kept");
    TPersistent other;
    try {
        list.Assign(&other);
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a TPersistent to a TStringList");
    }
    EXPECT_EQ(Items(list), (std::vector<std::string>{"kept"}));
}

TEST(StringList, IndexOutsideTheListRaises) {
    TStringList list;
    Fill(list, {"a", "b"});
    struct Case {
        const char* what;
        std::function<void()> call;
        const char* message;
    };
    const Case cases[] = {
        {"Get(-1)", [&] { list.Get(-1); }, "List index out of bounds (-1)"},
        {"Get(Count)", [&] { list.Get(2); }, "List index out of bounds (2)"},
        {"Delete(Count)", [&] { list.Delete(2); }, "List index out of bounds (2)"},
        {"Insert(Count + 1)", [&] { list.Insert(3, "x"); }, "List index out of bounds (3)"},
        {"Insert(-1)", [&] { list.Insert(-1, "x"); }, "List index out of bounds (-1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            c.call();
            ADD_FAILURE() << "no error";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
    EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "b"}));

    list.Insert(2, "end");
    list.Insert(0, "start");
    list.Delete(1);
    EXPECT_EQ(Items(list), (std::vector<std::string>{"start", "b", "end"}));
}

TEST(AnsiCompareText, IgnoresCaseInLatinAndCyrillic) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {
        {"COM1", "com1", 0},
        {"COM1", "COM10", -1},
        {"COM10", "COM2", -1},
        {"Beta", "alpha", 1},
        {"\xD0\x9F\xD0\x9E\xD0\xA0\xD0\xA2", "\xD0\xBF\xD0\xBE\xD1\x80\xD1\x82", 0}, // ПОРТ / порт
        {"\xD0\x91\xD0\xB5\xD1\x82\xD0\xB0", "\xD0\xB0\xD0\xBB\xD1\x8C\xD1\x84\xD0\xB0",
         1}, // Бета / альфа
        {"", "a", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        const int result = AnsiCompareText(c.a, c.b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign);
        const int reverse = AnsiCompareText(c.b, c.a);
        EXPECT_EQ((reverse > 0) - (reverse < 0), -c.sign);
    }
}

TEST(StringList, SortsAsTextCaseInsensitivelyKeepingEveryEntry) {
    TStringList list;
    Fill(list, {"COM2", "com1", "COM10", "", "COM1", "COM2", "\xD0\x91", "\xD0\xB0"});
    list.Sort();
    const auto sorted = Items(list);
    ASSERT_EQ(sorted.size(), 8u);
    EXPECT_EQ(sorted[0], "");
    // com1 and COM1 compare equal: both stay, in either order.
    EXPECT_EQ(AnsiCompareText(sorted[1], "COM1"), 0);
    EXPECT_EQ(AnsiCompareText(sorted[2], "COM1"), 0);
    EXPECT_NE(sorted[1], sorted[2]);
    EXPECT_EQ(sorted[3], "COM10");
    EXPECT_EQ(sorted[4], "COM2");
    EXPECT_EQ(sorted[5], "COM2");
    EXPECT_EQ(sorted[6], "\xD0\xB0"); // а before Б
    EXPECT_EQ(sorted[7], "\xD0\x91");
}

TEST(StringList, SortKeepsBytesThatAreNotUtf8) {
    TStringList list;
    Fill(list, {"\xFF", "\xFE", "a\x80"});
    list.Sort();
    auto sorted = Items(list);
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::string>{"a\x80", "\xFE", "\xFF"}));
    EXPECT_NE(AnsiCompareText("\xFE", "\xFF"), 0);
}

} // namespace
