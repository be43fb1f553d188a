// The application object: the program's title and the application-level exception
// handler that shows the error box. The box itself is drawn by whoever binds
// ShowErrorBox (the window layer binds it to Qt); without a binding the text goes to stderr.
#pragma once

#include "Persistent.h"

#include <functional>
#include <string>

// The text the error box shows for an exception message: a full stop is added when the
// text is not empty and the code of its last character is above that of the full stop.
std::string ErrorBoxText(const std::string& Message);

class TApplication : public TObject {
public:
    TApplication(); // takes the default title from the program file
    std::string ClassName() const override { return "TApplication"; }

    // The title of error boxes: the program file's name without its extension.
    const std::string& Title() const { return title_; }
    void SetTitle(std::string Title) { title_ = std::move(Title); }

    // Call from inside a catch block: shows the current exception in the error box and
    // returns. Exception and std::exception show their message; anything else a fixed text.
    // Never throws; outside a catch block it does nothing.
    void HandleException(TObject* Sender);
    // Shows one message with the error box rule applied; without a ShowErrorBox binding
    // the text goes to stderr. Never throws.
    void ShowException(const std::string& Message);

    // Draws a modal error box (error icon, one OK button) and returns when it is closed.
    std::function<void(const std::string& Title, const std::string& Text)> ShowErrorBox;

private:
    std::string title_;
};

extern TApplication* Application;

// Runs Handler and passes any exception to Application->HandleException(Sender);
// every entry point from the toolkit into the system's handlers goes through it.
template <class Fn> void GuardHandler(TObject* Sender, Fn&& Handler) {
    try {
        Handler();
    } catch (...) {
        Application->HandleException(Sender);
    }
}
