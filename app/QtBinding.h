// Binds the framework's hooks to Qt for the lifetime of this object: the error box and
// the wake-up of the main thread for hand-overs and hidden-window messages.
// Create it after the QApplication and destroy it before.
#pragma once

#include <memory>

class QSocketNotifier;

class TQtBinding {
  public:
    TQtBinding();
    ~TQtBinding(); // unbinds: nothing may post into a Qt loop that is going away
    TQtBinding(const TQtBinding&) = delete;
    TQtBinding& operator=(const TQtBinding&) = delete;

  private:
    std::unique_ptr<QSocketNotifier> wake_;
};
