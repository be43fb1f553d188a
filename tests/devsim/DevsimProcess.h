// The devsim program run as a child process, its stdout and stderr read through pipes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class DevsimProcess {
  public:
    explicit DevsimProcess(const std::vector<std::string>& args); // throws std::runtime_error
    ~DevsimProcess();                                             // kills it if still running
    DevsimProcess(const DevsimProcess&) = delete;
    DevsimProcess& operator=(const DevsimProcess&) = delete;

    pid_t Pid() const { return pid_; }

    // The next line of stdout, or nullopt at its end or when the deadline passes first.
    std::optional<std::string>
    NextLine(std::chrono::milliseconds deadline = std::chrono::seconds(5));
    // Reads lines until one equals `line`; false when stdout ends or the deadline passes.
    bool WaitForLine(const std::string& line,
                     std::chrono::milliseconds deadline = std::chrono::seconds(5));
    // Every line read so far, for failure messages.
    std::string Transcript() const;

    // Sends the signal and waits (bounded) for the exit; the exit status, or -1 when it was
    // killed by a signal or had to be killed.
    int Stop(int signal);
    // Waits (bounded) for an exit of its own; as Stop.
    int WaitExit(std::chrono::milliseconds deadline = std::chrono::seconds(5));
    // Everything written to stderr; complete once the program has ended.
    const std::string& Errors() const { return err_; }

    // CPU time used so far, user plus system, in clock ticks.
    long CpuTicks() const;

  private:
    void ReadInto(int& fd, std::string& buffer);

    pid_t pid_ = -1;
    int outFd_ = -1, errFd_ = -1;
    std::string out_, err_;
    std::vector<std::string> lines_;
};
