// The framework's hooks bound to Qt: a hand-over from a port's event thread is served by
// the Qt event loop, on the main thread, while the window simply waits for events.
#include "PtyPair.h"
#include "WindowFixture.h"

#include <QTest>

TEST_F(WindowTest, ReceiveEventsReachTheWindowThroughTheQtLoop) {
    ShowWindow();
    PtyPair pty;
    TypeInto(PortBox(), QString::fromStdString(pty.SlavePath()));
    Click(Button("BitBtn1"));
    ASSERT_TRUE(form->BComPort1->IsOpen());

    // Wraps the window's handler to see where and when it runs.
    int calls = 0;
    bool onMainThread = true;
    const TRxCharEvent windowHandler = form->BComPort1->OnRxChar;
    form->BComPort1->OnRxChar = [&](TObject* Sender, int Count) {
        ++calls;
        onMainThread = onMainThread && IsMainThread();
        windowHandler(Sender, Count);
    };

    pty.Send(std::string("\x05"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 5000));
    EXPECT_TRUE(onMainThread);

    Click(Button("BitBtn2"));
    ExpectDisconnectedState();
    EXPECT_TRUE(boxes.None());
}
