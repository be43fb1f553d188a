// "Отправить" against devsim: the bytes on the line, as devsim logs them.
#include "ExchangeFixture.h"

#include <QClipboard>
#include <QGuiApplication>

namespace {

struct SendCase {
    const char* name;
    const char* command; // typed into Edit2; nullptr keeps the design text "A"
    const char* number;  // typed into Edit1; nullptr keeps the design text "0"
    const char* line;    // what devsim receives
};
void PrintTo(const SendCase& Case, std::ostream* Out) {
    *Out << Case.name;
}

const SendCase SendCases[] = {
    {"InitialTexts", nullptr, nullptr, "rx 41 00 00"},
    {"LowByteFirst", nullptr, "258", "rx 41 02 01"},
    {"OnlyTheLow16Bits", nullptr, "65537", "rx 41 01 00"},
    {"EmptyCommandSendsOnlyTheValue", "", "258", "rx 02 01"},
    {"CyrillicInWindows1251", "Ав", nullptr, "rx c0 e2 00 00"},
    {"OutsideWindows1251BecomesQuestionMark", "☃", nullptr, "rx 3f 00 00"},
};

class SendTest : public ExchangeTest, public ::testing::WithParamInterface<SendCase> {};

} // namespace

TEST_P(SendTest, PutsTheCommandAndTheValueOnTheLine) {
    const SendCase& c = GetParam();
    Connect({"--silent"});
    if (c.command != nullptr) TypeText(CommandBox(), QString::fromUtf8(c.command));
    if (c.number != nullptr) TypeText(NumberBox(), c.number);

    Send();
    EXPECT_TRUE(boxes.None());
    EXPECT_EQ(NextLogLine(), c.line) << devsim->Transcript();
}

INSTANTIATE_TEST_SUITE_P(Send, SendTest, ::testing::ValuesIn(SendCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The command goes out before the number is converted; a bad number shows the
// conversion error and sends no value. The next send starts a clean command.
TEST_F(ExchangeTest, EmptyNumberSendsTheCommandThenShowsTheConversionError) {
    Connect({"--silent"});
    TypeText(NumberBox(), "");
    ASSERT_EQ(NumberBox()->text(), "");

    Send();
    ExpectErrorBox(boxes.Take(), "'' is not a valid integer value.");
    EXPECT_EQ(NextLogLine(), "rx 41") << devsim->Transcript();
    ExpectConnectedState(QString::fromStdString(port));

    TypeText(NumberBox(), "5");
    Send();
    EXPECT_TRUE(boxes.None());
    EXPECT_EQ(NextLogLine(), "rx 41 05 00") << devsim->Transcript();
}

// Text pasted rather than typed is not filtered: a hexadecimal number with a leading
// blank converts.
TEST_F(ExchangeTest, PastedHexadecimalNumberIsSent) {
    Connect({"--silent"});
    NumberBox()->selectAll();
    QGuiApplication::clipboard()->setText(" $1F2");
    NumberBox()->paste(); // what the box's context menu does
    ASSERT_EQ(NumberBox()->text(), " $1F2");

    Send();
    EXPECT_TRUE(boxes.None());
    EXPECT_EQ(NextLogLine(), "rx 41 f2 01") << devsim->Transcript();
}
