// CreateFileA over arbitrary device names (what a user can type as the port).
//
// The target works in a private directory, which is also its working directory, seeded
// with a regular file, a FIFO, a directory and symbolic links to /dev/null, to the file
// and to a pseudo-terminal the target holds. After every input:
//   - a returned handle must be a terminal character device, one of ours, and close;
//   - a failure must be INVALID_HANDLE_VALUE with an error code;
//   - no seed may have changed and nothing may have been created;
//   - no descriptor or handle may be left behind.
//
// Input bytes 0x01 and 0x02 stand for the private directory's absolute path and for the
// pseudo-terminal's path, so that the fuzzer reaches them; a first byte 0x03 means "use the
// rest as the whole file name" instead of appending it to "\\.\".
//
// Safety: names can reach anything on the machine, and opening a real terminal (another
// developer's pty, a serial port, /dev/tty, /dev/console) could block, change its line or
// take it from its owner. Before calling CreateFileA the target resolves each path the
// name could mean (as typed from the working directory, under /dev, and the whole text)
// and skips the input when one of them exists and is not a seed, a directory, /dev/null,
// /dev/ptmx (a fresh pty of our own) or our own pseudo-terminal. Inputs naming nothing
// that exists still run, so the name parsing is fuzzed in full.
//
// Corpus and artifact paths given to this program must be absolute (it changes directory).
#include "device.h"
#include "handles.h"
#include "winapi.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h> // posix_openpt, grantpt, unlockpt, ptsname_r, mkdtemp
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& name, const std::string& what) {
    std::fprintf(stderr, "CreateFileA(\"");
    for (unsigned char c : name)
        std::fprintf(stderr, c >= 0x20 && c < 0x7F && c != '"' ? "%c" : "\\x%02x", c);
    std::fprintf(stderr, "\"): %s\n", what.c_str());
    std::abort();
}

[[noreturn]] void SetupFailed(const char* what) {
    std::fprintf(stderr, "fuzz_device_path setup: %s: %s\n", what, std::strerror(errno));
    std::abort();
}

struct Seed {
    std::string name;
    struct stat st {};
};

bool SameStat(const struct stat& a, const struct stat& b) {
    return a.st_mode == b.st_mode && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_nlink == b.st_nlink && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
           a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

int DescriptorCount() {
    int count = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d) != nullptr)
            ++count;
        ::closedir(d);
    }
    return count;
}

std::set<std::string> Entries(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

class Fixture {
  public:
    Fixture() {
        char pattern[] = "/tmp/fuzz-device-path-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) SetupFailed("mkdtemp");
        dir_ = pattern;
        if (::chdir(dir_.c_str()) != 0) SetupFailed("chdir");

        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char slave[128];
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
            ::ptsname_r(master_, slave, sizeof slave) != 0)
            SetupFailed("pseudo-terminal");
        slavePath_ = slave;

        if (int fd = ::open("file", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            fd < 0 || ::write(fd, "precious", 8) != 8 || ::close(fd) != 0)
            SetupFailed("file");
        if (::mkfifo("fifo", 0644) != 0) SetupFailed("fifo");
        if (::mkdir("dir", 0755) != 0) SetupFailed("dir");
        if (::symlink("/dev/null", "null-link") != 0 || ::symlink("file", "file-link") != 0 ||
            ::symlink(slavePath_.c_str(), "pty-link") != 0 ||
            ::symlink("nowhere", "dangling-link") != 0)
            SetupFailed("symlink");
        for (const char* name :
             {"file", "fifo", "dir", "null-link", "file-link", "pty-link", "dangling-link"}) {
            Seed seed{name, {}};
            if (::lstat(name, &seed.st) != 0) SetupFailed(name);
            seeds_.push_back(seed);
        }
        entries_ = Entries(dir_);

        struct stat st {};
        if (::stat("file", &st) != 0) SetupFailed("stat file");
        files_.insert({st.st_dev, st.st_ino});
        if (::stat("fifo", &st) != 0) SetupFailed("stat fifo");
        files_.insert({st.st_dev, st.st_ino});
        if (::stat(slavePath_.c_str(), &st) != 0) SetupFailed("stat pty");
        slaveDevice_ = st.st_rdev;
        if (::stat("/dev/null", &st) != 0) SetupFailed("stat /dev/null");
        harmless_.insert(st.st_rdev);
        if (::stat("/dev/ptmx", &st) == 0) harmless_.insert(st.st_rdev);
    }

    ~Fixture() {
        ::close(master_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    const std::string& Dir() const { return dir_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Whether whatever `path` resolves to (if anything) may be handed to CreateFileA.
    bool SafeToTry(const std::string& path) const {
        struct stat st {};
        if (path.empty() || ::stat(path.c_str(), &st) != 0) return true; // names nothing
        if (S_ISDIR(st.st_mode)) return true;
        if (S_ISCHR(st.st_mode))
            return st.st_rdev == slaveDevice_ || harmless_.contains(st.st_rdev);
        return files_.contains({st.st_dev, st.st_ino});
    }

    // A handle CreateFileA returned: a terminal device that is ours.
    void CheckOpened(const std::string& name, HANDLE h) const {
        const auto device = winapi_linux::Lookup<winapi_linux::CommDevice>(h);
        if (!device) Fail(name, "the handle is not a serial device");
        struct stat st {};
        if (::fstat(device->fd, &st) != 0 || !S_ISCHR(st.st_mode))
            Fail(name, "opened something that is not a character device");
        if (!::isatty(device->fd)) Fail(name, "opened a character device that is not a terminal");
        if (st.st_rdev != slaveDevice_ && !harmless_.contains(st.st_rdev))
            Fail(name, "opened a terminal that the filter did not let through: " + device->path);
    }

    void CheckSeeds(const std::string& name) const {
        for (const Seed& seed : seeds_) {
            struct stat now {};
            if (::lstat(seed.name.c_str(), &now) != 0 || !SameStat(now, seed.st))
                Fail(name, "changed " + seed.name);
        }
        char content[16] = {};
        const int fd = ::open("file", O_RDONLY | O_CLOEXEC);
        const ssize_t n = fd < 0 ? -1 : ::read(fd, content, sizeof content);
        if (fd >= 0) ::close(fd);
        if (n != 8 || std::memcmp(content, "precious", 8) != 0) Fail(name, "changed file's bytes");
        if (Entries(dir_) != entries_) Fail(name, "created or removed an entry");
    }

  private:
    std::string dir_, slavePath_;
    int master_ = -1;
    std::vector<Seed> seeds_;
    std::set<std::string> entries_;
    std::set<std::pair<dev_t, ino_t>> files_;
    dev_t slaveDevice_ = 0;
    std::set<dev_t> harmless_;
};

Fixture& TheFixture() {
    static Fixture fixture;
    return fixture;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Fixture& fixture = TheFixture();

    bool whole = size > 0 && data[0] == 0x03;
    std::string typed;
    for (std::size_t i = whole ? 1 : 0; i < size && data[i] != 0; ++i) {
        if (data[i] == 0x01)
            typed += fixture.Dir();
        else if (data[i] == 0x02)
            typed += fixture.SlavePath();
        else
            typed += static_cast<char>(data[i]);
    }
    const std::string name = whole ? typed : "\\\\.\\" + typed;

    if (!fixture.SafeToTry(typed) || !fixture.SafeToTry("/dev/" + typed) ||
        !fixture.SafeToTry(name))
        return 0;

    const int descriptors = DescriptorCount();
    const std::size_t handles = winapi_linux::LiveHandleCount();

    SetLastError(ERROR_SUCCESS);
    HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_SUCCESS) Fail(name, "failed without an error code");
    } else {
        if (h == nullptr) Fail(name, "returned a null handle");
        fixture.CheckOpened(name, h);
        if (!CloseHandle(h)) Fail(name, "CloseHandle failed on the returned handle");
    }

    fixture.CheckSeeds(name);
    if (DescriptorCount() != descriptors) Fail(name, "left a descriptor open");
    if (winapi_linux::LiveHandleCount() != handles) Fail(name, "left a handle behind");
    return 0;
}
