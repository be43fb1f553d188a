#include "Application.h"

#include "Exception.h"

#include <cstdio>
#include <exception>
#include <unistd.h>

namespace {

// The program file's name without its directory and extension ("serialtest" for
// /usr/bin/serialtest, "demo" for ./demo.bin).
std::string ProgramTitle() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    std::string name(path, static_cast<std::size_t>(n));
    if (const auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
    if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

const char* const UnknownExceptionText = "An unknown error occurred";

TApplication applicationInstance;

} // namespace

TApplication* Application = &applicationInstance;

std::string ErrorBoxText(const std::string& Message) {
    // In UTF-8 every byte of a multi-byte character is above 0x7F, so the last byte
    // decides as the last character would: a letter of any script gains a full stop.
    if (!Message.empty() && static_cast<unsigned char>(Message.back()) > 0x2E) return Message + ".";
    return Message;
}

TApplication::TApplication() : title_(ProgramTitle()) {}

void TApplication::HandleException(TObject* /*Sender*/) {
    try {
        std::string message;
        const std::exception_ptr current = std::current_exception();
        if (!current) return; // not called from a handler: nothing to show
        try {
            std::rethrow_exception(current);
        } catch (const Exception& e) {
            message = e.Message();
        } catch (const std::exception& e) {
            message = e.what();
        } catch (...) {
            message = UnknownExceptionText;
        }
        ShowException(message);
    } catch (...) {
        // Reporting an error must never raise another one into the caller's loop.
    }
}

void TApplication::ShowException(const std::string& Message) {
    try {
        const std::string text = ErrorBoxText(Message);
        if (ShowErrorBox) {
            ShowErrorBox(title_, text);
            return;
        }
        std::fprintf(stderr, "%s: %s\n", title_.c_str(), text.c_str());
    } catch (...) {
        std::fprintf(stderr, "%s\n", Message.c_str());
    }
}
