#include "Foundation/FileSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace file_detail {

namespace {
std::string folderOf(const std::string& target) {
    std::string::size_type slash = target.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
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

bool writeFileAtomically(const std::string& target, const void* bytes, size_t n, mode_t mode) {
    std::string tmp = target + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) return false;
    // The mode is set before any byte is written, so that private contents are never readable
    // by others, not even in the temporary file.
    bool ok = ::fchmod(fd, mode) == 0;
    ok = ok && writeAll(fd, bytes, n);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) {
        int err = errno;
        ::unlink(tmp.c_str());
        errno = err;
        return false;
    }
    // The rename itself is durable once the folder is flushed.
    std::string folder = folderOf(target);
    if (int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

int removeAtomicWriteLeftovers(const std::string& target) {
    std::string folder = folderOf(target);
    std::string::size_type slash = target.find_last_of('/');
    std::string prefix = (slash == std::string::npos ? target : target.substr(slash + 1)) + ".";
    constexpr size_t kSuffix = 6;  // the X's of the temporary name's pattern
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return 0;
    std::vector<std::string> leftovers;
    while (const dirent* entry = ::readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + kSuffix || name.substr(0, prefix.size()) != prefix)
            continue;
        std::string_view suffix = name.substr(prefix.size());
        bool letters = true;
        for (char c : suffix)
            letters = letters &&
                      ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
        if (letters) leftovers.emplace_back(name);
    }
    ::closedir(dir);
    int removed = 0;
    for (const auto& name : leftovers) {
        std::string path = folder + "/" + name;
        struct stat st;
        // Never follows a link, and leaves folders alone.
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0)
            ++removed;
    }
    return removed;
}

}  // namespace file_detail
