// Replies from devsim appended to the log.
#include "ExchangeFixture.h"

#include <QTest>

namespace {

struct ReplyCase {
    const char* name;
    std::vector<std::string> devsim; // how devsim answers
    const char* value;               // the decimal value the log gains
    int leftQueued;                  // bytes still waiting after the reply was read
};
void PrintTo(const ReplyCase& Case, std::ostream* Out) {
    *Out << Case.name;
}

const ReplyCase ReplyCases[] = {
    {"SecondByteCounts256", {"--reply", "00,01,00"}, "256", 0},
    {"FirstByteIsLowest", {"--reply", "2c,01,00"}, "300", 0},
    {"ThirdByteCounts65536", {"--reply", "00,00,01"}, "65536", 0},
    {"SingleByte", {"--reply", "05"}, "5", 0},
    // Bytes 1..10 in one write: three are read, seven wait for the next arrival.
    {"BurstLeavesTheRestQueued", {"--burst", "10"}, "197121", 7},
};

class ReplyTest : public ExchangeTest, public ::testing::WithParamInterface<ReplyCase> {};

QString LogEntry(const QString& Value) {
    return "\n\r" + Value + "\n\r";
}

} // namespace

TEST_P(ReplyTest, AppendsTheValueBetweenLineBreaks) {
    const ReplyCase& c = GetParam();
    Connect(c.devsim);
    Send();
    ASSERT_TRUE(WaitForLog(LogEntry(c.value).size())) << devsim->Transcript();

    EXPECT_EQ(form->Memo1Text(), LogEntry(c.value));
    EXPECT_EQ(Memo()->toPlainText(), "\n" + QString(c.value) + "\n"); // CR shows nothing
    EXPECT_EQ(form->BComPort1->BytesWaiting(), c.leftQueued);
    EXPECT_TRUE(boxes.None());
    ExpectConnectedState(QString::fromStdString(port));
}

INSTANTIATE_TEST_SUITE_P(Reply, ReplyTest, ::testing::ValuesIn(ReplyCases),
                         [](const auto& info) { return std::string(info.param.name); });

// devsim echoes the value by default: each reply adds its piece to the log. What the
// user types into the log stays on the screen; the log's own text holds what the window
// wrote.
TEST_F(ExchangeTest, RepliesAccumulate) {
    Connect();
    QTest::keyClicks(Memo(), "note");
    TypeText(NumberBox(), "256");
    Send();
    ASSERT_TRUE(WaitForLog(LogEntry("256").size())) << devsim->Transcript();
    TypeText(NumberBox(), "300");
    Send();
    const QString both = LogEntry("256") + LogEntry("300");
    ASSERT_TRUE(WaitForLog(both.size())) << devsim->Transcript();

    EXPECT_EQ(form->Memo1Text(), both);
    EXPECT_EQ(Memo()->toPlainText(), "note\n256\n\n300\n");
}

// The device hangs up while connected: the window goes on answering clicks, and
// "Отключить" still disconnects.
TEST_F(ExchangeTest, DeviceVanishingLeavesTheWindowUsable) {
    Connect({"--vanish-after", "1"});
    Send();
    ASSERT_TRUE(WaitForLog(LogEntry("0").size())) << devsim->Transcript();
    ASSERT_TRUE(devsim->WaitForLine("vanished")) << devsim->Transcript();
    EXPECT_EQ(devsim->WaitExit(), 0);

    // The write to the hung-up line fails and says so; the window carries on.
    Send();
    ExpectErrorBox(boxes.Take(), "Ошибка записи в порт.");
    EXPECT_EQ(form->Memo1Text(), LogEntry("0"));

    Click(Button("BitBtn2"));
    EXPECT_TRUE(boxes.None());
    ExpectDisconnectedState();
}
