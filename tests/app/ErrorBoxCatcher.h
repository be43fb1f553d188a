// Catches the modal error boxes that the window shows, records them and presses OK, so
// that a test can check them and never hangs on a box nobody closes. Arm it (construct
// it) before the action that may show a box: the box runs its own event loop inside
// the action, and the catcher's timer keeps polling there.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <deque>
#include <optional>

struct CaughtBox {
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

class ErrorBoxCatcher {
  public:
    ErrorBoxCatcher(); // starts polling at once
    ErrorBoxCatcher(const ErrorBoxCatcher&) = delete;
    ErrorBoxCatcher& operator=(const ErrorBoxCatcher&) = delete;

    // The oldest box not yet taken, waiting up to Deadline for one to appear.
    std::optional<CaughtBox> Take(std::chrono::milliseconds Deadline = std::chrono::seconds(3));
    // True when no box has been caught since the last Take.
    bool None() const { return caught_.empty(); }

  private:
    void Poll();

    QTimer timer_;
    QPointer<QMessageBox> lastBox_;
    std::deque<CaughtBox> caught_;
};
