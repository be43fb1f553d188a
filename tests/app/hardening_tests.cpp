// What must be harmless whatever the user types or the device does: odd port names,
// pasted numbers that look like format strings, and a device that floods the line.
#include "ExchangeFixture.h"

#include <QLineEdit>
#include <QMetaObject>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

// Resident memory of this process, in KiB.
long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// A typed port name that is not a serial device is refused with the missing-port text;
// nothing is opened, created or changed.
TEST_F(WindowTest, OddPortNamesAreRefusedAndTouchNothing) {
    char dir[] = "/tmp/serialtest-namesXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/file", fifo = std::string(dir) + "/fifo";
    { std::ofstream(file) << "keep"; }
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct stat fileBefore {};
    ASSERT_EQ(stat(file.c_str(), &fileBefore), 0);

    ShowWindow();
    const QString names[] = {
        "", QString(300, 'x'), "..", "../../etc/passwd", "/etc/passwd", "/dev/null",
        QString::fromStdString(file), QString::fromStdString(fifo), QString::fromStdString(dir),
        "COM1 ", "порт-1", "%s%n",
    };
    for (const QString& name : names) {
        PortBox()->setEditText(name); // as typed or pasted: some are not keyboard text
        Click(Button("BitBtn1"));
        ExpectErrorBox(boxes.Take(), "Попытка открыть несуществующий COM-порт.");
        ExpectDisconnectedState();
    }
    struct stat fileAfter {};
    ASSERT_EQ(stat(file.c_str(), &fileAfter), 0);
    EXPECT_EQ(fileAfter.st_size, fileBefore.st_size);
    EXPECT_EQ(fileAfter.st_mtim.tv_nsec, fileBefore.st_mtim.tv_nsec);
    std::remove(file.c_str());
    std::remove(fifo.c_str());
    rmdir(dir);
}

// Pasted text reaches the conversion as it is and comes back literally in the box.
TEST_F(ExchangeTest, PastedTextIsShownLiterallyNeverAsAFormat) {
    Connect({"--silent"});
    const std::string texts[] = {"%s", "%n%n%n%n", "%x %p", std::string(400, '9')};
    for (const std::string& text : texts) {
        NumberBox()->setText(QString::fromStdString(text)); // as a paste: not filtered
        Send();
        ExpectErrorBox(boxes.Take(), QString::fromStdString("'" + text + "' is not a valid integer value."));
        EXPECT_EQ(NextLogLine(), "rx 41"); // the command text went; the value did not
    }
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr auto FloodTime = std::chrono::seconds(10); // the sanitizers slow every event down
#else
constexpr auto FloodTime = std::chrono::seconds(30);
#endif

// A device that floods the line: the window keeps answering the user, the log grows, and
// the memory grows with the log only (the bytes not yet read stay in the kernel's queue).
TEST_F(ExchangeTest, FloodingDeviceLeavesTheWindowResponsive) {
    Connect({"--flood"});
    Send(); // the first command starts the flood
    QTest::qWait(1000);
    const long rssStart = ResidentKiB();
    const qsizetype logStart = form->Memo1Text().size();
    const auto end = std::chrono::steady_clock::now() + FloodTime;
    while (std::chrono::steady_clock::now() < end) QTest::qWait(100);
    const long rssEnd = ResidentKiB();
    const qsizetype logGrowth = form->Memo1Text().size() - logStart;
    EXPECT_GT(logGrowth, 0);
    // Qt keeps each line of the log as a text block (a few hundred bytes each) and the log
    // keeps its exact text too: allow 1 KiB per logged character, plus 64 MiB of slack.
    const long allowedKiB = static_cast<long>(logGrowth) + 64 * 1024;
    EXPECT_LT(rssEnd - rssStart, allowedKiB)
        << "rss " << rssStart << " -> " << rssEnd << " KiB, log +" << logGrowth << " chars";
    std::printf("flood %lld s: log +%lld chars, rss %ld -> %ld KiB\n",
                static_cast<long long>(FloodTime.count()), static_cast<long long>(logGrowth), rssStart,
                rssEnd);

    // A click that waits its turn in the event queue is still handled promptly.
    QMetaObject::invokeMethod(Button("BitBtn2"), "click", Qt::QueuedConnection);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->windowTitle() == "Test"; }, 5000));
    ExpectDisconnectedState();
}

} // namespace
