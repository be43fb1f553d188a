#include "DevsimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

using Clock = std::chrono::steady_clock;

static int MillisLeft(Clock::time_point end) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

DevsimProcess::DevsimProcess(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        throw std::runtime_error("pipe2 failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);

    std::vector<std::string> all{DEVSIM_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const int rc = posix_spawn(&pid_, DEVSIM_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
    if (rc != 0) {
        pid_ = -1;
        ::close(outFd_);
        ::close(errFd_);
        throw std::runtime_error("cannot start " DEVSIM_PATH);
    }
}

DevsimProcess::~DevsimProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) ::close(outFd_);
    if (errFd_ >= 0) ::close(errFd_);
}

// One read() into the buffer; closes the descriptor at its end.
void DevsimProcess::ReadInto(int& fd, std::string& buffer) {
    char chunk[4096];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0) {
        buffer.append(chunk, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
        ::close(fd);
        fd = -1;
    }
}

std::optional<std::string> DevsimProcess::NextLine(std::chrono::milliseconds deadline) {
    const auto end = Clock::now() + deadline;
    for (;;) {
        if (const auto nl = out_.find('\n'); nl != std::string::npos) {
            std::string line = out_.substr(0, nl);
            out_.erase(0, nl + 1);
            lines_.push_back(line);
            return line;
        }
        if (outFd_ < 0) return std::nullopt;
        pollfd p{outFd_, POLLIN, 0};
        const int n = ::poll(&p, 1, MillisLeft(end));
        if (n == 0) return std::nullopt;
        if (n > 0) ReadInto(outFd_, out_);
    }
}

bool DevsimProcess::WaitForLine(const std::string& line, std::chrono::milliseconds deadline) {
    const auto end = Clock::now() + deadline;
    while (auto next = NextLine(std::chrono::milliseconds(MillisLeft(end))))
        if (*next == line) return true;
    return false;
}

std::string DevsimProcess::Transcript() const {
    std::string all;
    for (const auto& l : lines_)
        all += l + "\n";
    return all + (err_.empty() ? "" : "stderr: " + err_);
}

int DevsimProcess::Stop(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
    return WaitExit();
}

int DevsimProcess::WaitExit(std::chrono::milliseconds deadline) {
    if (pid_ <= 0) return -1;
    // Both pipes reach their end when the program has exited (it starts no other process).
    const auto end = Clock::now() + deadline;
    while (outFd_ >= 0 || errFd_ >= 0) {
        pollfd p[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
        if (::poll(p, 2, MillisLeft(end)) == 0) break;
        if (p[0].revents) ReadInto(outFd_, out_);
        if (p[1].revents) ReadInto(errFd_, err_);
    }
    const bool ended = outFd_ < 0 && errFd_ < 0;
    if (!ended) ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

long DevsimProcess::CpuTicks() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold blanks: the
    // third field comes first, so utime (14) and stime (15) are the 12th and 13th here.
    std::istringstream rest(text.substr(text.rfind(')') + 1));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return utime + stime;
}
