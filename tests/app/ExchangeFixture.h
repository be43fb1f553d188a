// The window connected to devsim, the simulated device, run as a child process on a
// real pseudo-terminal. devsim logs every command it receives ("rx 41 00 00") and every
// answer it sends ("tx 00 00 00"); the tests read that log to see the line.
#pragma once

#include "DevsimProcess.h"
#include "WindowFixture.h"

#include <QLineEdit>
#include <QPlainTextEdit>

#include <memory>
#include <string>
#include <vector>

class ExchangeTest : public WindowTest {
  protected:
    // Starts devsim with Args, shows the window and connects it to devsim's port.
    void Connect(const std::vector<std::string>& Args = {});

    QLineEdit* NumberBox() const { return Control<QLineEdit>("Edit1"); }
    QLineEdit* CommandBox() const { return Control<QLineEdit>("Edit2"); }
    QPlainTextEdit* Memo() const { return Control<QPlainTextEdit>("Memo1"); }

    // Replaces a box's text by typing it, one key event per character, so that any
    // character (Cyrillic too) arrives as a user's key press would.
    static void TypeText(QLineEdit* Box, const QString& Text);
    void Send() const { Click(Button("BitBtn3")); }

    // The next rx/tx line of devsim's log; "" when none comes in time.
    std::string NextLogLine();
    // Waits until the log holds at least Length characters; false when it does not in
    // time.
    bool WaitForLog(qsizetype Length) const;

    std::unique_ptr<DevsimProcess> devsim;
    std::string port;
};
