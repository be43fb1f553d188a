// The framework's general exception and the few kinds the system raises besides EComPort.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const noexcept { return message_; } // UTF-8
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// Raised by StrToInt and by TPersistent when an assignment is impossible.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};
