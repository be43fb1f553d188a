#include "Log.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace devsim {

void LogLine(std::string_view line) {
    std::string text(line);
    text += '\n';
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return;
    }
}

} // namespace devsim
