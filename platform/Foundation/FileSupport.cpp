#include "Foundation/FileSupport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string_view>
#include <system_error>
#include <vector>

#include "Foundation/ProcessWide.h"

namespace file_detail {

namespace {
std::string folderOf(const std::string& target) {
    std::string::size_type slash = target.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    std::string::size_type slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A temporary file's name: the mark, the target's name, a dash and mkstemp's six letters or
// digits. The leading dot and the mark keep it apart from any name a person or a package picks.
constexpr std::string_view kTempMark = ".bnwriting-";
constexpr size_t kTempSuffix = 6;

bool isSuffixLetters(std::string_view suffix) {
    return suffix.size() == kTempSuffix && std::all_of(suffix.begin(), suffix.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
           });
}

bool isTemporaryName(std::string_view name) {
    return name.size() > kTempMark.size() + kTempSuffix + 1 &&
           name.substr(0, kTempMark.size()) == kTempMark &&
           name[name.size() - kTempSuffix - 1] == '-' &&
           isSuffixLetters(name.substr(name.size() - kTempSuffix));
}

// The name an earlier writer of the app left beside a target, "<target>.writing-XXXXXX": gives
// the target's name, or an empty string. Its first form, "<target>.XXXXXX", cannot be told from a
// person's "notes.backup" or "photo.orig01", so it is not looked for; the URL cache removes its
// own "<entry>.tmp" itself.
std::string_view olderFormTarget(std::string_view name) {
    constexpr std::string_view kWritingMark = ".writing-";
    if (name.size() <= kWritingMark.size() + kTempSuffix + 1 ||
        !isSuffixLetters(name.substr(name.size() - kTempSuffix)))
        return {};
    std::string_view rest = name.substr(0, name.size() - kTempSuffix);
    return rest.substr(rest.size() - kWritingMark.size()) == kWritingMark
               ? rest.substr(0, rest.size() - kWritingMark.size())
               : std::string_view();
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// What the writer keeps for the process (until the next reset, in tests).
struct WriterState {
    std::atomic<LockCall> lockCall{&::flock};
    std::mutex lock;
    std::set<std::string> swept;  // the roots swept
    // Older forms of leftovers the sweeps found, by the path of the target they stand beside.
    std::map<std::string, std::vector<std::string>, std::less<>> older;
};

std::shared_ptr<WriterState> writerState() {
    static ProcessWide<WriterState> slot;
    return slot.get();
}

enum class Held { Locked, Unlockable, Lost };

// A write holds a shared lock on its temporary file from its making to its rename, and checks
// that the name still leads to the file (a sweep of another process may have taken it). Where
// the file system has no locks the write goes on without one: it then loses only the guard
// against a sweep running at the same moment.
Held lockAsOwnName(int fd, const std::string& name) {
    LockCall call = writerState()->lockCall.load();
    int locked;
    do {
        locked = call(fd, LOCK_SH);
    } while (locked != 0 && errno == EINTR);
    struct stat held, named;
    if (::fstat(fd, &held) != 0 || ::lstat(name.c_str(), &named) != 0 || !sameFile(held, named))
        return Held::Lost;
    return locked == 0 ? Held::Locked : Held::Unlockable;
}

double secondsOf(const timespec& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The file system's own "now": the time it stamps on a file made in the folder at this moment.
// A leftover's age is read against it, not against the Clock, which a script or a test sets
// anywhere and which may run ahead of the machine that stamps the folder's files. Where nothing
// can be made there, the system's wall time. The probe carries the writer's mark, so that one a
// crash leaves is a leftover like any other.
double fileSystemNow(const std::string& folder) {
    std::string probe = folder + "/" + std::string(kTempMark) + "now-XXXXXX";
    if (int fd = ::mkstemp(probe.data()); fd >= 0) {
        struct stat made;
        bool stamped = ::fstat(fd, &made) == 0;
        ::unlink(probe.c_str());
        ::close(fd);
        if (stamped) return secondsOf(made.st_mtim);
    }
    timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    return secondsOf(now);
}

// Where the file system cannot lock, no lock tells a dead write's file from a live one's, so only
// a file untouched for a day goes: a write touches its file as it goes, and ends in moments.
bool untouchedForADay(const struct stat& file, const std::string& path) {
    constexpr double kDay = 24 * 60 * 60;
    return fileSystemNow(folderOf(path)) - secondsOf(file.st_mtim) >= kDay;
}

// Removes a leftover unless a write holds it; never follows a link, and leaves folders alone.
void removeLeftover(const std::string& path, LockCall lockCall) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat held, named;
    bool dead = ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode);
    if (dead && lockCall(fd, LOCK_EX | LOCK_NB) != 0)
        dead = errno != EWOULDBLOCK && errno != EINTR && untouchedForADay(held, path);
    if (dead && ::lstat(path.c_str(), &named) == 0 && sameFile(held, named)) ::unlink(path.c_str());
    ::close(fd);
}

// Removes the writer's own leftovers under the root and, in the app's home (never in a folder a
// person chose), notes the older form, for the first write of the app's store it stands beside.
// Called under the state's lock.
void sweep(WriterState& state, const std::string& root, bool wholeTree) {
    namespace fs = std::filesystem;
    std::error_code error;
    LockCall lockCall = state.lockCall.load();
    auto visit = [&](const fs::directory_entry& entry) {
        std::error_code ignored;
        if (!entry.is_regular_file(ignored) || entry.is_symlink(ignored)) return;
        const std::string& path = entry.path().native();
        std::string name = nameOf(path);
        if (isTemporaryName(name)) {
            removeLeftover(path, lockCall);
        } else if (auto target = olderFormTarget(name); wholeTree && !target.empty()) {
            std::string targetPath = path.substr(0, path.size() - name.size());
            state.older[targetPath.append(target)].push_back(path);
        }
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

void sweepBeforeWrite(const std::string& target, Target kind) {
    auto state = writerState();
    std::string home = sandboxHomePath();
    bool inHome = target.size() > home.size() + 1 && target.compare(0, home.size(), home) == 0 &&
                  target[home.size()] == '/';
    std::string root = inHome ? home : folderOf(target);
    std::lock_guard hold(state->lock);
    if (state->swept.insert(root).second) sweep(*state, root, inHome);
    // A name beside a path a person chose is theirs, whatever it looks like.
    if (kind != Target::OwnStore) return;
    if (auto older = state->older.find(target); older != state->older.end()) {
        for (const auto& path : older->second)
            removeLeftover(path, state->lockCall.load());
        state->older.erase(older);
    }
}
}  // namespace

LockCall exchangeLockCall(LockCall call) {
    return writerState()->lockCall.exchange(call);
}

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
                         bool durable, Target kind) {
    sweepBeforeWrite(target, kind);
    int fd = -1;
    std::string tmp;
    // A sweep of another process may take the new file between its making and its lock.
    for (int attempt = 0; attempt < 3 && fd < 0; ++attempt) {
        tmp = folderOf(target) + "/" + std::string(kTempMark) + nameOf(target) + "-XXXXXX";
        fd = ::mkstemp(tmp.data());
        if (fd < 0) return false;
        if (lockAsOwnName(fd, tmp) == Held::Lost) {
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
