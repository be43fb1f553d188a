// Helpers shared by the component's tests.
#pragma once

#include "BCPort.h"

#include <functional>
#include <string>

// The message of the exception an action raises, or "(nothing raised)".
inline std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(nothing raised)";
}
