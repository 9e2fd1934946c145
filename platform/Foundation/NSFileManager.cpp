#include "Foundation/NSFileManager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "Foundation/FileSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"

NSString* const NSFileType = NS("NSFileType");
NSString* const NSFileSize = NS("NSFileSize");
NSString* const NSFileModificationDate = NS("NSFileModificationDate");
NSString* const NSFileCreationDate = NS("NSFileCreationDate");
NSString* const NSFilePosixPermissions = NS("NSFilePosixPermissions");
NSString* const NSFileReferenceCount = NS("NSFileReferenceCount");
NSString* const NSFileOwnerAccountID = NS("NSFileOwnerAccountID");
NSString* const NSFileGroupOwnerAccountID = NS("NSFileGroupOwnerAccountID");
NSString* const NSFileSystemNumber = NS("NSFileSystemNumber");
NSString* const NSFileSystemFileNumber = NS("NSFileSystemFileNumber");
NSString* const NSFileAccessDate = NS("NSFileAccessDate");

NSString* const NSFileTypeDirectory = NS("NSFileTypeDirectory");
NSString* const NSFileTypeRegular = NS("NSFileTypeRegular");
NSString* const NSFileTypeSymbolicLink = NS("NSFileTypeSymbolicLink");
NSString* const NSFileTypeSocket = NS("NSFileTypeSocket");
NSString* const NSFileTypeCharacterSpecial = NS("NSFileTypeCharacterSpecial");
NSString* const NSFileTypeBlockSpecial = NS("NSFileTypeBlockSpecial");
NSString* const NSFileTypeUnknown = NS("NSFileTypeUnknown");

NSString* const NSFileSystemSize = NS("NSFileSystemSize");
NSString* const NSFileSystemFreeSize = NS("NSFileSystemFreeSize");
NSString* const NSFileSystemNodes = NS("NSFileSystemNodes");
NSString* const NSFileSystemFreeNodes = NS("NSFileSystemFreeNodes");

namespace {

// NSFileWriteVolumeReadOnlyError: not among the shared codes, only the file manager reports it.
constexpr NSInteger kWriteVolumeReadOnly = 642;

enum class Op { Read, Write, Remove };

// The Cocoa code for a failed operation of the kind with errno.
NSInteger codeFor(Op op, int err) {
    if (op == Op::Read) {
        if (err == ENOENT || err == ENOTDIR) return NSFileReadNoSuchFileError;
        if (err == EACCES || err == EPERM) return NSFileReadNoPermissionError;
        return NSFileReadUnknownError;
    }
    if (err == ENOENT || err == ENOTDIR) return NSFileNoSuchFileError;
    if (err == EEXIST || err == ENOTEMPTY) return NSFileWriteFileExistsError;
    if (err == EACCES || err == EPERM) return NSFileWriteNoPermissionError;
    if (err == ENOSPC || err == EDQUOT) return NSFileWriteOutOfSpaceError;
    if (err == EROFS) return kWriteVolumeReadOnly;
    return NSFileWriteUnknownError;
}

// Fills the out-parameter (when given) and answers false, for `return fail(...)`.
bool failWith(Ref<NSError>* error, NSInteger code, int err, const std::string& path,
              const std::string* destination = nullptr) {
    if (!error) return false;
    auto info = NSMutableDictionary::dictionary();
    info->setObject(NSString::fromUTF8(path), NSFilePathErrorKey);
    if (destination) info->setObject(NSString::fromUTF8(*destination), NS("NSDestinationFilePath"));
    if (err != 0) {
        info->setObject(NSError::errorWithDomain(NSPOSIXErrorDomain, err, nullptr),
                        NSUnderlyingErrorKey);
    }
    *error = NSError::errorWithDomain(NSCocoaErrorDomain, code, info);
    return false;
}

bool fail(Ref<NSError>* error, Op op, int err, const std::string& path,
          const std::string* destination = nullptr) {
    return failWith(error, codeFor(op, err), err, path, destination);
}

// A nil or empty path is answered as a missing file.
std::string pathOf(NSString* path) {
    return path ? path->utf8() : std::string();
}

// stat (or, with follow false, lstat) of a path; a nil or missing one fills the error as a failed
// operation of the kind and answers false.
bool statOrFail(const std::string& path, struct stat& st, bool follow, Ref<NSError>* error, Op op,
                const std::string* destination = nullptr) {
    if (path.empty()) return fail(error, op, ENOENT, path, destination);
    if ((follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) {
        return fail(error, op, errno, path, destination);
    }
    return true;
}

// The checks before a move or a copy: the source exists and the destination does not.
bool canTransfer(const std::string& src, const std::string& dst, Ref<NSError>* error) {
    struct stat st;
    if (!statOrFail(src, st, false, error, Op::Remove, &dst)) return false;
    if (dst.empty()) return fail(error, Op::Write, ENOENT, src, &dst);
    if (::lstat(dst.c_str(), &st) == 0) return fail(error, Op::Write, EEXIST, dst, &dst);
    return true;
}

std::string join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// The names in a folder, sorted, or -1 with errno.
int listFolder(const std::string& path, std::vector<std::string>& names) {
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return -1;
    errno = 0;
    while (struct dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    int err = errno;
    ::closedir(dir);
    if (err != 0) {
        errno = err;
        return -1;
    }
    std::sort(names.begin(), names.end());
    return 0;
}

// The target of the link whose lstat is st; false with errno.
bool readLink(const std::string& path, const struct stat& st, std::string& target) {
    target.assign(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return false;
    target.resize(static_cast<size_t>(n));
    return true;
}

Ref<NSDate> dateOf(const struct timespec& ts) {
    return NSDate::dateWithTimeIntervalSince1970(static_cast<double>(ts.tv_sec) +
                                                 static_cast<double>(ts.tv_nsec) / 1e9);
}

struct timespec timespecOf(NSDate* date) {
    double t = date->timeIntervalSince1970();
    double whole = std::floor(t);
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(whole);
    long ns = std::lround((t - whole) * 1e9);
    if (ns >= 1000000000L) {
        ts.tv_sec += 1;
        ns -= 1000000000L;
    }
    ts.tv_nsec = ns;
    return ts;
}

NSString* typeOf(mode_t mode) {
    if (S_ISDIR(mode)) return NSFileTypeDirectory;
    if (S_ISREG(mode)) return NSFileTypeRegular;
    if (S_ISLNK(mode)) return NSFileTypeSymbolicLink;
    if (S_ISSOCK(mode)) return NSFileTypeSocket;
    if (S_ISCHR(mode)) return NSFileTypeCharacterSpecial;
    if (S_ISBLK(mode)) return NSFileTypeBlockSpecial;
    return NSFileTypeUnknown;
}

Ref<NSDictionary> attributesOf(const struct stat& st) {
    auto a = NSMutableDictionary::dictionaryWithCapacity(12);
    a->setObject(typeOf(st.st_mode), NSFileType);
    a->setObject(NSNumber::numberWithUnsignedLongLong(static_cast<unsigned long long>(st.st_size)),
                 NSFileSize);
    a->setObject(dateOf(st.st_mtim), NSFileModificationDate);
    // Linux keeps no birth time in stat; the change time is the nearest stand-in.
    a->setObject(dateOf(st.st_ctim), NSFileCreationDate);
    a->setObject(dateOf(st.st_atim), NSFileAccessDate);
    a->setObject(NSNumber::numberWithUnsignedShort(static_cast<unsigned short>(st.st_mode & 07777)),
                 NSFilePosixPermissions);
    a->setObject(NSNumber::numberWithUnsignedLong(static_cast<unsigned long>(st.st_nlink)),
                 NSFileReferenceCount);
    a->setObject(NSNumber::numberWithUnsignedLong(st.st_uid), NSFileOwnerAccountID);
    a->setObject(NSNumber::numberWithUnsignedLong(st.st_gid), NSFileGroupOwnerAccountID);
    a->setObject(NSNumber::numberWithUnsignedLongLong(st.st_dev), NSFileSystemNumber);
    a->setObject(NSNumber::numberWithUnsignedLongLong(st.st_ino), NSFileSystemFileNumber);
    return a->copy();
}

// Removes a file, a link or a folder tree; on failure errno and the failing path are set.
bool removeTree(const std::string& path, std::string& failedAt) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        failedAt = path;
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        std::vector<std::string> names;
        if (listFolder(path, names) != 0) {
            failedAt = path;
            return false;
        }
        for (const auto& n : names) {
            if (!removeTree(join(path, n), failedAt)) return false;
        }
        if (::rmdir(path.c_str()) != 0) {
            failedAt = path;
            return false;
        }
        return true;
    }
    if (::unlink(path.c_str()) != 0) {
        failedAt = path;
        return false;
    }
    return true;
}

bool copyFileBytes(const std::string& src, const std::string& dst, const struct stat& st) {
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        int err = errno;
        ::close(in);
        errno = err;
        return false;
    }
    char buffer[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (n == 0) break;
        if (!file_detail::writeAll(out, buffer, static_cast<size_t>(n))) {
            ok = false;
            break;
        }
    }
    int err = errno;
    if (ok) {
        // The copy keeps the original's times, as the platform's copies do.
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out, times);
        ::fchmod(out, st.st_mode & 07777);
    }
    ::close(in);
    if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    errno = err;
    return ok;
}

// Copies a file, link or folder tree to a destination that does not exist.
bool copyTree(const std::string& src, const std::string& dst, std::string& failedAt) {
    struct stat st;
    if (::lstat(src.c_str(), &st) != 0) {
        failedAt = src;
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        std::string target;
        if (!readLink(src, st, target)) {
            failedAt = src;
            return false;
        }
        if (::symlink(target.c_str(), dst.c_str()) != 0) {
            failedAt = dst;
            return false;
        }
        return true;
    }
    if (S_ISDIR(st.st_mode)) {
        // Writable while filling it; the original's mode is applied afterwards.
        if (::mkdir(dst.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0) {
            failedAt = dst;
            return false;
        }
        std::vector<std::string> names;
        if (listFolder(src, names) != 0) {
            failedAt = src;
            return false;
        }
        for (const auto& n : names) {
            if (!copyTree(join(src, n), join(dst, n), failedAt)) return false;
        }
        ::chmod(dst.c_str(), st.st_mode & 07777);
        return true;
    }
    if (!copyFileBytes(src, dst, st)) {
        failedAt = dst;
        return false;
    }
    return true;
}

bool sameContents(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    if (::lstat(a.c_str(), &sa) != 0 || ::lstat(b.c_str(), &sb) != 0) return false;
    if ((sa.st_mode & S_IFMT) != (sb.st_mode & S_IFMT)) return false;
    if (S_ISLNK(sa.st_mode)) {
        char ta[4096], tb[4096];
        ssize_t na = ::readlink(a.c_str(), ta, sizeof ta);
        ssize_t nb = ::readlink(b.c_str(), tb, sizeof tb);
        return na >= 0 && na == nb && std::memcmp(ta, tb, static_cast<size_t>(na)) == 0;
    }
    if (S_ISDIR(sa.st_mode)) {
        std::vector<std::string> na, nb;
        if (listFolder(a, na) != 0 || listFolder(b, nb) != 0 || na != nb) return false;
        for (const auto& n : na) {
            if (!sameContents(join(a, n), join(b, n))) return false;
        }
        return true;
    }
    if (!S_ISREG(sa.st_mode) || sa.st_size != sb.st_size) return false;
    auto da = NSData::dataWithContentsOfFile(NSString::fromUTF8(a));
    auto db = NSData::dataWithContentsOfFile(NSString::fromUTF8(b));
    return da && db && da->isEqualToData(db);
}

void collectSubpaths(const std::string& root, const std::string& relative,
                     std::vector<std::string>& out) {
    std::vector<std::string> names;
    if (listFolder(relative.empty() ? root : join(root, relative), names) != 0) return;
    for (const auto& n : names) {
        std::string rel = relative.empty() ? n : join(relative, n);
        out.push_back(rel);
        struct stat st;
        if (::lstat(join(root, rel).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            collectSubpaths(root, rel, out);
        }
    }
}

Ref<NSArray> stringsOf(const std::vector<std::string>& items) {
    std::vector<Ref<NSObject>> objects;
    objects.reserve(items.size());
    for (const auto& s : items)
        objects.push_back(NSString::fromUTF8(s));
    return NSArray::arrayWithVector(std::move(objects));
}

}  // namespace

// ---- the shared manager ----------------------------------------------------------------------

Ref<NSFileManager> NSFileManager::defaultManager() {
    static NSFileManager* shared = [] {
        Ref<NSFileManager> m = alloc<NSFileManager>();
        m->makeImmortal();
        return m.get();
    }();
    return shared;
}

// ---- existence and access --------------------------------------------------------------------

bool NSFileManager::fileExistsAtPath(NSString* path) {
    return fileExistsAtPath(path, nullptr);
}

bool NSFileManager::fileExistsAtPath(NSString* path, bool* isDirectory) {
    std::string p = pathOf(path);
    struct stat st;
    if (p.empty() || ::stat(p.c_str(), &st) != 0) return false;
    if (isDirectory) *isDirectory = S_ISDIR(st.st_mode);
    return true;
}

bool NSFileManager::isReadableFileAtPath(NSString* path) {
    std::string p = pathOf(path);
    return !p.empty() && ::access(p.c_str(), R_OK) == 0;
}

bool NSFileManager::isWritableFileAtPath(NSString* path) {
    std::string p = pathOf(path);
    return !p.empty() && ::access(p.c_str(), W_OK) == 0;
}

bool NSFileManager::isExecutableFileAtPath(NSString* path) {
    std::string p = pathOf(path);
    return !p.empty() && ::access(p.c_str(), X_OK) == 0;
}

bool NSFileManager::isDeletableFileAtPath(NSString* path) {
    std::string p = pathOf(path);
    struct stat st;
    if (p.empty() || ::lstat(p.c_str(), &st) != 0) return false;
    std::string parent = path->stringByDeletingLastPathComponent()->utf8();
    return ::access(parent.empty() ? "." : parent.c_str(), W_OK | X_OK) == 0;
}

// ---- creating and removing -------------------------------------------------------------------

bool NSFileManager::createDirectoryAtPath(NSString* path, bool withIntermediateDirectories,
                                          NSDictionary* attributes, Ref<NSError>* error) {
    std::string p = pathOf(path);
    if (p.empty()) return fail(error, Op::Write, ENOENT, p);
    mode_t mode = 0755;
    if (attributes) {
        if (auto perms = as<NSNumber>(attributes->objectForKey(NSFilePosixPermissions))) {
            mode = static_cast<mode_t>(perms->unsignedShortValue() & 07777);
        }
    }
    if (!withIntermediateDirectories) {
        if (::mkdir(p.c_str(), mode) != 0) return fail(error, Op::Write, errno, p);
        if (attributes) ::chmod(p.c_str(), mode);  // past the umask, as asked
        return true;
    }
    // Each missing folder along the path is made in turn; existing ones are fine.
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = p.find('/', pos + 1);
        std::string prefix = pos == std::string::npos ? p : p.substr(0, pos);
        if (prefix.empty() || prefix == "/") continue;
        struct stat st;
        if (::stat(prefix.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return fail(error, Op::Write, EEXIST, p);
            continue;
        }
        bool last = pos == std::string::npos || p.find_first_not_of('/', pos) == std::string::npos;
        if (::mkdir(prefix.c_str(), last ? mode : 0755) != 0 && errno != EEXIST) {
            return fail(error, Op::Write, errno, p);
        }
        if (last && attributes) ::chmod(prefix.c_str(), mode);
        if (last) break;
    }
    return true;
}

bool NSFileManager::createFileAtPath(NSString* path, NSData* contents, NSDictionary* attributes) {
    std::string p = pathOf(path);
    if (p.empty()) return false;
    Ref<NSData> data = contents ? Ref<NSData>(contents) : NSData::data();
    if (!data->writeToFile(path, true)) return false;
    if (attributes) setAttributes(attributes, path, nullptr);
    return true;
}

bool NSFileManager::removeItemAtPath(NSString* path, Ref<NSError>* error) {
    std::string p = pathOf(path);
    if (p.empty()) return fail(error, Op::Remove, ENOENT, p);
    std::string failedAt;
    if (!removeTree(p, failedAt)) return fail(error, Op::Remove, errno, failedAt);
    return true;
}

bool NSFileManager::moveItemAtPath(NSString* srcPath, NSString* dstPath, Ref<NSError>* error) {
    std::string src = pathOf(srcPath), dst = pathOf(dstPath);
    if (!canTransfer(src, dst, error)) return false;
    if (::rename(src.c_str(), dst.c_str()) == 0) return true;
    if (errno != EXDEV) return fail(error, Op::Write, errno, src, &dst);
    // Another file system: copy, then remove the original.
    std::string failedAt;
    if (!copyTree(src, dst, failedAt)) {
        int err = errno;
        std::string ignored;
        removeTree(dst, ignored);
        return fail(error, Op::Write, err, src, &dst);
    }
    if (!removeTree(src, failedAt)) return fail(error, Op::Write, errno, failedAt, &dst);
    return true;
}

bool NSFileManager::copyItemAtPath(NSString* srcPath, NSString* dstPath, Ref<NSError>* error) {
    std::string src = pathOf(srcPath), dst = pathOf(dstPath);
    if (!canTransfer(src, dst, error)) return false;
    std::string failedAt;
    if (!copyTree(src, dst, failedAt)) return fail(error, Op::Write, errno, failedAt, &dst);
    return true;
}

bool NSFileManager::createSymbolicLinkAtPath(NSString* path, NSString* destinationPath,
                                             Ref<NSError>* error) {
    std::string p = pathOf(path), target = pathOf(destinationPath);
    if (p.empty() || target.empty()) return fail(error, Op::Write, ENOENT, p);
    if (::symlink(target.c_str(), p.c_str()) != 0) return fail(error, Op::Write, errno, p);
    return true;
}

Ref<NSString> NSFileManager::destinationOfSymbolicLinkAtPath(NSString* path, Ref<NSError>* error) {
    std::string p = pathOf(path);
    struct stat st;
    if (!statOrFail(p, st, false, error, Op::Read)) return nullptr;
    std::string target;
    if (!readLink(p, st, target)) {
        fail(error, Op::Read, errno, p);
        return nullptr;
    }
    return NSString::fromUTF8(target);
}

// ---- contents --------------------------------------------------------------------------------

Ref<NSArray> NSFileManager::contentsOfDirectoryAtPath(NSString* path, Ref<NSError>* error) {
    std::string p = pathOf(path);
    std::vector<std::string> names;
    if (p.empty() || listFolder(p, names) != 0) {
        fail(error, Op::Read, p.empty() ? ENOENT : errno, p);
        return nullptr;
    }
    return stringsOf(names);
}

Ref<NSArray> NSFileManager::subpathsOfDirectoryAtPath(NSString* path, Ref<NSError>* error) {
    std::string p = pathOf(path);
    struct stat st;
    if (!statOrFail(p, st, true, error, Op::Read)) return nullptr;
    if (!S_ISDIR(st.st_mode)) {
        fail(error, Op::Read, ENOTDIR, p);
        return nullptr;
    }
    if (::access(p.c_str(), R_OK | X_OK) != 0) {
        fail(error, Op::Read, errno, p);
        return nullptr;
    }
    std::vector<std::string> out;
    collectSubpaths(p, std::string(), out);
    return stringsOf(out);
}

Ref<NSArray> NSFileManager::subpathsAtPath(NSString* path) {
    return subpathsOfDirectoryAtPath(path, nullptr);
}

Ref<NSDirectoryEnumerator> NSFileManager::enumeratorAtPath(NSString* path) {
    return make<NSDirectoryEnumerator>(&NSDirectoryEnumerator::initWithPath, path);
}

Ref<NSData> NSFileManager::contentsAtPath(NSString* path) {
    if (!path) return nullptr;
    bool isDirectory = false;
    if (!fileExistsAtPath(path, &isDirectory) || isDirectory) return nullptr;
    return NSData::dataWithContentsOfFile(path);
}

bool NSFileManager::contentsEqualAtPath(NSString* path1, NSString* path2) {
    std::string a = pathOf(path1), b = pathOf(path2);
    return !a.empty() && !b.empty() && sameContents(a, b);
}

// ---- attributes ------------------------------------------------------------------------------

Ref<NSDictionary> NSFileManager::attributesOfItemAtPath(NSString* path, Ref<NSError>* error) {
    std::string p = pathOf(path);
    struct stat st;
    if (!statOrFail(p, st, false, error, Op::Read)) return nullptr;
    return attributesOf(st);
}

Ref<NSDictionary> NSFileManager::attributesOfFileSystemForPath(NSString* path,
                                                               Ref<NSError>* error) {
    std::string p = pathOf(path);
    struct statvfs vfs;
    struct stat st;
    if (p.empty() || ::statvfs(p.c_str(), &vfs) != 0 || ::stat(p.c_str(), &st) != 0) {
        fail(error, Op::Read, p.empty() ? ENOENT : errno, p);
        return nullptr;
    }
    unsigned long long unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
    return NSDictionary::dictionaryWithPairs({
        {NSFileSystemSize, NSNumber::numberWithUnsignedLongLong(unit * vfs.f_blocks)},
        {NSFileSystemFreeSize, NSNumber::numberWithUnsignedLongLong(unit * vfs.f_bavail)},
        {NSFileSystemNodes, NSNumber::numberWithUnsignedLongLong(vfs.f_files)},
        {NSFileSystemFreeNodes, NSNumber::numberWithUnsignedLongLong(vfs.f_ffree)},
        {NSFileSystemNumber, NSNumber::numberWithUnsignedLongLong(st.st_dev)},
    });
}

bool NSFileManager::setAttributes(NSDictionary* attributes, NSString* path, Ref<NSError>* error) {
    std::string p = pathOf(path);
    struct stat st;
    if (!statOrFail(p, st, true, error, Op::Write)) return false;
    if (!attributes) return true;
    if (auto perms = as<NSNumber>(attributes->objectForKey(NSFilePosixPermissions))) {
        if (::chmod(p.c_str(), static_cast<mode_t>(perms->unsignedShortValue() & 07777)) != 0) {
            return fail(error, Op::Write, errno, p);
        }
    }
    auto modified = as<NSDate>(attributes->objectForKey(NSFileModificationDate));
    auto accessed = as<NSDate>(attributes->objectForKey(NSFileAccessDate));
    if (modified || accessed) {
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1] = times[0];
        if (accessed) times[0] = timespecOf(accessed);
        if (modified) times[1] = timespecOf(modified);
        if (::utimensat(AT_FDCWD, p.c_str(), times, 0) != 0) {
            return fail(error, Op::Write, errno, p);
        }
    }
    return true;
}

// ---- the current folder ----------------------------------------------------------------------

Ref<NSString> NSFileManager::currentDirectoryPath() {
    std::string buffer(4096, '\0');
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) return nullptr;
        buffer.resize(buffer.size() * 2);
    }
    return NSString::fromUTF8(buffer.c_str());
}

bool NSFileManager::changeCurrentDirectoryPath(NSString* path) {
    std::string p = pathOf(path);
    return !p.empty() && ::chdir(p.c_str()) == 0;
}

// ---- NSDirectoryEnumerator -------------------------------------------------------------------

bool NSDirectoryEnumerator::initWithPath(NSString* path) {
    root_ = pathOf(path);
    struct stat st;
    if (root_.empty() || ::stat(root_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    if (::access(root_.c_str(), R_OK | X_OK) != 0) return false;
    pushFolder(std::string(), 1);
    return true;
}

void NSDirectoryEnumerator::pushFolder(const std::string& relative, NSUInteger depth) {
    std::vector<std::string> names;
    if (listFolder(relative.empty() ? root_ : join(root_, relative), names) != 0) return;
    // A stack: pushed last first, so that the walk hands them out in sorted order.
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        pending_.emplace_back(relative.empty() ? *it : join(relative, *it), depth);
    }
}

Ref<NSObject> NSDirectoryEnumerator::nextObject() {
    // The folder handed out last is entered only now, so skipDescendents() can still stop it.
    if (lastIsDirectory_ && !skip_) pushFolder(last_, lastLevel_ + 1);
    lastIsDirectory_ = false;
    skip_ = false;
    if (pending_.empty()) {
        last_.clear();
        lastLevel_ = 0;
        return nullptr;
    }
    auto [rel, depth] = pending_.back();
    pending_.pop_back();
    last_ = rel;
    lastLevel_ = depth;
    struct stat st;
    lastIsDirectory_ = ::lstat(join(root_, rel).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    return NSString::fromUTF8(rel);
}

Ref<NSDictionary> NSDirectoryEnumerator::fileAttributes() {
    if (last_.empty()) return nullptr;
    struct stat st;
    if (::lstat(join(root_, last_).c_str(), &st) != 0) return nullptr;
    return attributesOf(st);
}

void NSDirectoryEnumerator::skipDescendents() {
    skip_ = true;
}

NSUInteger NSDirectoryEnumerator::level() {
    return lastLevel_;
}
