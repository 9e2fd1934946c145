#include "Foundation/FileSupport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <string_view>
#include <system_error>

#include "Foundation/ProcessWide.h"

namespace file_detail {

namespace {
std::string folderOf(const std::string& target) {
    std::string::size_type slash = target.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
}

// A temporary file's name: the target's, the mark and mkstemp's six letters or digits.
constexpr std::string_view kTempMark = ".writing-";
constexpr size_t kTempSuffix = 6;

bool isTemporaryName(std::string_view name) {
    if (name.size() <= kTempMark.size() + kTempSuffix) return false;
    std::string_view suffix = name.substr(name.size() - kTempSuffix);
    if (name.substr(name.size() - kTempSuffix - kTempMark.size(), kTempMark.size()) != kTempMark)
        return false;
    return std::all_of(suffix.begin(), suffix.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A write holds a shared lock on its temporary file from its making to its rename; true when
// the lock is held and the name still leads to the file.
bool lockAsOwnName(int fd, const std::string& name) {
    int locked;
    do {
        locked = ::flock(fd, LOCK_SH);
    } while (locked != 0 && errno == EINTR);
    struct stat held, named;
    return locked == 0 && ::fstat(fd, &held) == 0 && ::lstat(name.c_str(), &named) == 0 &&
           sameFile(held, named);
}

// Removes a leftover unless a write holds it; never follows a link, and leaves folders alone.
void removeLeftover(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat held, named;
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::lstat(path.c_str(), &named) == 0 && sameFile(held, named))
        ::unlink(path.c_str());
    ::close(fd);
}

void sweep(const std::string& root, bool wholeTree) {
    namespace fs = std::filesystem;
    std::error_code error;
    auto visit = [](const fs::directory_entry& entry) {
        std::error_code ignored;
        if (entry.is_regular_file(ignored) && !entry.is_symlink(ignored) &&
            isTemporaryName(entry.path().filename().native()))
            removeLeftover(entry.path().native());
    };
    auto options = fs::directory_options::skip_permission_denied;
    if (wholeTree) {
        fs::recursive_directory_iterator it(root, options, error), end;
        for (; !error && it != end; it.increment(error))
            visit(*it);
    } else {
        fs::directory_iterator it(root, options, error), end;
        for (; !error && it != end; it.increment(error))
            visit(*it);
    }
}

// The roots swept since the process started (since the last reset, in tests).
struct Sweeps {
    std::mutex lock;
    std::set<std::string> done;
};

void sweepBeforeFirstWrite(const std::string& target) {
    static ProcessWide<Sweeps> slot;
    auto sweeps = slot.get();
    std::string home = sandboxHomePath();
    bool inHome = target.size() > home.size() + 1 && target.compare(0, home.size(), home) == 0 &&
                  target[home.size()] == '/';
    std::string root = inHome ? home : folderOf(target);
    std::lock_guard hold(sweeps->lock);
    if (!sweeps->done.insert(root).second) return;
    sweep(root, inHome);
}
}  // namespace

bool writeAll(int fd, const void* bytes, size_t n) {
    auto p = static_cast<const unsigned char*>(bytes);
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool writeFileAtomically(const std::string& target, const void* bytes, size_t n, mode_t mode,
                         bool durable) {
    sweepBeforeFirstWrite(target);
    int fd = -1;
    std::string tmp;
    // A sweep of another process may take the new file between its making and its lock.
    for (int attempt = 0; attempt < 3 && fd < 0; ++attempt) {
        tmp = target + std::string(kTempMark) + "XXXXXX";
        fd = ::mkstemp(tmp.data());
        if (fd < 0) return false;
        if (!lockAsOwnName(fd, tmp)) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        errno = EAGAIN;
        return false;
    }
    // The mode is set before any byte is written, so that private contents are never readable
    // by others, not even in the temporary file.
    bool ok = ::fchmod(fd, mode) == 0;
    ok = ok && writeAll(fd, bytes, n);
    ok = ok && (!durable || ::fsync(fd) == 0);
    // Renamed while still held, so that no sweep takes it on the way.
    ok = ok && ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) {
        int err = errno;
        ::unlink(tmp.c_str());
        ::close(fd);
        errno = err;
        return false;
    }
    ::close(fd);
    if (!durable) return true;
    // The rename itself is durable once the folder is flushed.
    std::string folder = folderOf(target);
    if (int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace file_detail
