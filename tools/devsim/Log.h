// Lines on stdout, each written whole and at once, so a reader sees every line as it happens.
#pragma once

#include <string_view>

namespace devsim {

// A reader that has gone away does not stop the device: failures are ignored.
void LogLine(std::string_view line);

} // namespace devsim
