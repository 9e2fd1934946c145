#include "Foundation/FileSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace file_detail {

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
    std::string::size_type slash = target.find_last_of('/');
    std::string folder = slash == std::string::npos ? "."
                         : slash == 0               ? "/"
                                                    : target.substr(0, slash);
    if (int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace file_detail
