// devsim: a simulated serial device on a pseudo-terminal (see docs/devsim.md).
#include "Log.h"
#include "Options.h"
#include "Pty.h"
#include "Server.h"
#include "StopSignal.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    const auto parsed = devsim::ParseOptions(argc, argv);
    if (const auto* error = std::get_if<devsim::UsageError>(&parsed)) {
        std::fprintf(stderr, "devsim: %s\nTry 'devsim --help'.\n", error->message.c_str());
        return 2;
    }
    const auto& options = std::get<devsim::Options>(parsed);
    if (options.help) {
        std::fputs(devsim::UsageText(), stdout);
        return 0;
    }
    try {
        // Handlers first: a stop signal right after the path has been printed ends cleanly.
        devsim::StopSignal stop;
        devsim::Pty pty;
        devsim::LogLine(pty.SlavePath());
        devsim::Server server(pty, options, stop.Fd());
        return server.Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "devsim: %s\n", e.what());
        return 1;
    }
}
