// Connecting, disconnecting and leaving, on real pseudo-terminals.
#include "PtyPair.h"
#include "WindowFixture.h"

#include <QAction>
#include <QLineEdit>

#include <termios.h>

#include <functional>

namespace {

// Opens the device as another program would; INVALID_HANDLE_VALUE when it cannot.
HANDLE OpenElsewhere(const std::string& Path) {
    return CreateFileA(("\\\\.\\" + Path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

void ExpectRawAt(const SlaveMode& Mode, unsigned Rate) {
    EXPECT_EQ(Mode.ispeed, Rate);
    EXPECT_EQ(Mode.ospeed, Rate);
    EXPECT_EQ(Mode.lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(Mode.iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP), 0u);
    EXPECT_EQ(Mode.oflag & OPOST, 0u);
}

} // namespace

TEST_F(WindowTest, ConnectsToTheTypedPortAndDisconnects) {
    ShowWindow();
    PtyPair pty;
    const QString path = QString::fromStdString(pty.SlavePath());
    TypeInto(PortBox(), path);

    Click(Button("BitBtn1"));
    EXPECT_TRUE(boxes.None());
    ExpectConnectedState(path);
    ExpectRawAt(pty.Mode(), 9600);

    Click(Button("BitBtn2"));
    EXPECT_TRUE(boxes.None());
    ExpectDisconnectedState();
    // Closed for real: another program may now have it.
    HANDLE other = OpenElsewhere(pty.SlavePath());
    EXPECT_NE(other, INVALID_HANDLE_VALUE);
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
}

// A rate typed over the selection counts, as long as it is one of the fifteen.
TEST_F(WindowTest, ConnectsAtATypedRate) {
    ShowWindow();
    PtyPair pty;
    TypeInto(PortBox(), QString::fromStdString(pty.SlavePath()));
    TypeInto(RateBox(), "19200");

    Click(Button("BitBtn1"));
    EXPECT_TRUE(boxes.None());
    EXPECT_TRUE(form->BComPort1->IsOpen());
    EXPECT_EQ(form->BComPort1->BaudRate(), br19200);
    ExpectRawAt(pty.Mode(), 19200);
}

namespace {

struct FailedConnectCase {
    const char* name;
    const char* port; // nullptr: the pty's path
    const char* rate; // nullptr: the preselected 9600
    bool holdPort;    // another handle holds the pty meanwhile
    const char* errorBox;
};
void PrintTo(const FailedConnectCase& Case, std::ostream* Out) {
    *Out << Case.name;
}

const FailedConnectCase FailedConnectCases[] = {
    {"MissingPort", "/dev/serialtest-no-such-port", nullptr, false,
     "Попытка открыть несуществующий COM-порт."},
    {"PortHeldByAnotherHandle", nullptr, nullptr, true, "Порт занят другой программой."},
    {"RateNotInTheTable", nullptr, "12345", false,
     "Скорость «12345» не поддерживается: выберите значение из списка."},
};

class FailedConnectTest : public WindowTest,
                          public ::testing::WithParamInterface<FailedConnectCase> {};

} // namespace

TEST_P(FailedConnectTest, ShowsTheErrorAndStaysDisconnected) {
    const FailedConnectCase& c = GetParam();
    ShowWindow();
    PtyPair pty;
    TypeInto(PortBox(),
             c.port != nullptr ? QString(c.port) : QString::fromStdString(pty.SlavePath()));
    if (c.rate != nullptr) TypeInto(RateBox(), c.rate);
    HANDLE holder = c.holdPort ? OpenElsewhere(pty.SlavePath()) : INVALID_HANDLE_VALUE;
    if (c.holdPort) {
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    }

    Click(Button("BitBtn1"));
    ExpectErrorBox(boxes.Take(), QString::fromUtf8(c.errorBox));
    ExpectDisconnectedState();

    if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
    HANDLE after = OpenElsewhere(pty.SlavePath()); // the failed connect left nothing open
    EXPECT_NE(after, INVALID_HANDLE_VALUE);
    if (after != INVALID_HANDLE_VALUE) CloseHandle(after);
}

INSTANTIATE_TEST_SUITE_P(Connect, FailedConnectTest, ::testing::ValuesIn(FailedConnectCases),
                         [](const auto& info) { return std::string(info.param.name); });

// With a single port there is no second entry to preselect: the empty port box then
// fails to open like any missing port, and nothing else breaks.
TEST_F(WindowTest, EmptyPortBoxFailsAsAMissingPort) {
    ShowWindow(winapi_linux::SerialDeviceList{{"/dev/ttyS0", "ttyS0"}});
    ASSERT_EQ(PortBox()->currentText(), "");
    Click(Button("BitBtn1"));
    ExpectErrorBox(boxes.Take(), "Попытка открыть несуществующий COM-порт.");
    ExpectDisconnectedState();
}

namespace {

struct LeaveCase {
    const char* name;
    std::function<void(TForm1& Form)> leave;
};
void PrintTo(const LeaveCase& Case, std::ostream* Out) {
    *Out << Case.name;
}

const LeaveCase LeaveCases[] = {
    {"CloseBox", [](TForm1& Form) { Form.close(); }},
    {"ExitMenuItem", [](TForm1& Form) { Form.findChild<QAction*>("N2")->trigger(); }},
};

class LeaveTest : public WindowTest, public ::testing::WithParamInterface<LeaveCase> {};

} // namespace

TEST_P(LeaveTest, ClosingWhileConnectedClosesThePort) {
    ShowWindow();
    PtyPair pty;
    const QString path = QString::fromStdString(pty.SlavePath());
    TypeInto(PortBox(), path);
    Click(Button("BitBtn1"));
    ASSERT_TRUE(form->BComPort1->IsOpen());

    GetParam().leave(*form);
    EXPECT_TRUE(boxes.None());
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->BComPort1->IsOpen());
    // Closing touches only the two connect buttons.
    EXPECT_TRUE(Button("BitBtn1")->isEnabled());
    EXPECT_FALSE(Button("BitBtn2")->isEnabled());
    EXPECT_TRUE(Button("BitBtn3")->isEnabled());
    EXPECT_EQ(form->windowTitle(), path);

    HANDLE again = OpenElsewhere(pty.SlavePath());
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    if (again != INVALID_HANDLE_VALUE) CloseHandle(again);
}

TEST_P(LeaveTest, ClosingWhileDisconnectedJustCloses) {
    ShowWindow();
    GetParam().leave(*form);
    EXPECT_TRUE(boxes.None());
    EXPECT_FALSE(form->isVisible());
    ExpectDisconnectedState();
}

INSTANTIATE_TEST_SUITE_P(Leave, LeaveTest, ::testing::ValuesIn(LeaveCases),
                         [](const auto& info) { return std::string(info.param.name); });
