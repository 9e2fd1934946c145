#include "Foundation/NSFileHandle.h"

#include "Foundation/FileSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "Foundation/NSData.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"

NSString* const NSFileHandleOperationException = NS("NSFileHandleOperationException");

namespace {

Ref<NSFileHandle> openAt(NSString* path, int flags) {
    if (!path) return nullptr;
    std::string p = path->utf8();
    if (p.empty()) return nullptr;
    int fd = ::open(p.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return make<NSFileHandle>(
        static_cast<bool (NSFileHandle::*)(int, bool)>(&NSFileHandle::initWithFileDescriptor), fd,
        true);
}

// A handle on a standard descriptor, shared and never freed; closing it leaves the descriptor
// open (the platform does not let an app close its standard streams through these).
Ref<NSFileHandle> standardHandle(int fd) {
    auto h = alloc<NSFileHandle>();
    h->initWithFileDescriptor(fd, false);
    h->makeImmortal();
    return h;
}

// One read() with the retries the system asks for; -1 with errno on failure.
ssize_t readSome(int fd, void* buffer, size_t length) {
    for (;;) {
        ssize_t n = ::read(fd, buffer, length);
        if (n >= 0 || errno != EINTR) return n;
    }
}

}  // namespace

Ref<NSFileHandle> NSFileHandle::fileHandleForReadingAtPath(NSString* path) {
    return openAt(path, O_RDONLY);
}

Ref<NSFileHandle> NSFileHandle::fileHandleForWritingAtPath(NSString* path) {
    return openAt(path, O_WRONLY);
}

Ref<NSFileHandle> NSFileHandle::fileHandleForUpdatingAtPath(NSString* path) {
    return openAt(path, O_RDWR);
}

Ref<NSFileHandle> NSFileHandle::fileHandleWithStandardInput() {
    static NSFileHandle* shared = standardHandle(STDIN_FILENO).get();
    return shared;
}

Ref<NSFileHandle> NSFileHandle::fileHandleWithStandardOutput() {
    static NSFileHandle* shared = standardHandle(STDOUT_FILENO).get();
    return shared;
}

Ref<NSFileHandle> NSFileHandle::fileHandleWithStandardError() {
    static NSFileHandle* shared = standardHandle(STDERR_FILENO).get();
    return shared;
}

Ref<NSFileHandle> NSFileHandle::fileHandleWithNullDevice() {
    auto h = alloc<NSFileHandle>();
    h->nullDevice_ = true;
    return h;
}

bool NSFileHandle::initWithFileDescriptor(int fd) {
    return initWithFileDescriptor(fd, false);
}

bool NSFileHandle::initWithFileDescriptor(int fd, bool closeOnDealloc) {
    fd_ = fd;
    closeOnDealloc_ = closeOnDealloc;
    return true;
}

void NSFileHandle::dealloc() {
    if (closeOnDealloc_ && !closed_ && fd_ >= 0) ::close(fd_);
    closed_ = true;
    NSObject::dealloc();
}

void NSFileHandle::raiseOperation(const char* what, int err) {
    NSException::raise(NSFileHandleOperationException, NS("*** -[NSFileHandle %s]: %s"), what,
                       std::strerror(err));
}

void NSFileHandle::checkOpen(const char* what) {
    if (closed_ || (fd_ < 0 && !nullDevice_)) raiseOperation(what, EBADF);
}

// ---- reading ---------------------------------------------------------------------------------

Ref<NSData> NSFileHandle::readDataToEndOfFile() {
    checkOpen("readDataToEndOfFile");
    auto data = NSMutableData::data();
    if (nullDevice_) return data;
    char buffer[65536];
    for (;;) {
        ssize_t n = readSome(fd_, buffer, sizeof buffer);
        if (n < 0) raiseOperation("readDataToEndOfFile", errno);
        if (n == 0) break;
        data->appendBytes(buffer, static_cast<NSUInteger>(n));
    }
    return data;
}

Ref<NSData> NSFileHandle::readDataOfLength(NSUInteger length) {
    checkOpen("readDataOfLength:");
    auto data = NSMutableData::data();
    if (nullDevice_) return data;
    char buffer[65536];
    while (data->length() < length) {
        size_t want = std::min<size_t>(sizeof buffer, length - data->length());
        ssize_t n = readSome(fd_, buffer, want);
        if (n < 0) raiseOperation("readDataOfLength:", errno);
        if (n == 0) break;
        data->appendBytes(buffer, static_cast<NSUInteger>(n));
    }
    return data;
}

Ref<NSData> NSFileHandle::availableData() {
    checkOpen("availableData");
    if (nullDevice_) return NSData::data();
    struct stat st;
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) return readDataToEndOfFile();
    // A pipe, socket or terminal: whatever one read brings.
    char buffer[65536];
    ssize_t n = readSome(fd_, buffer, sizeof buffer);
    if (n < 0) raiseOperation("availableData", errno);
    return NSData::dataWithBytes(buffer, static_cast<NSUInteger>(n));
}

// ---- writing ---------------------------------------------------------------------------------

void NSFileHandle::writeData(NSData* data) {
    checkOpen("writeData:");
    if (nullDevice_ || !data) return;
    if (!file_detail::writeAll(fd_, data->bytes(), data->length())) {
        raiseOperation("writeData:", errno);
    }
}

// ---- position --------------------------------------------------------------------------------

uint64_t NSFileHandle::offsetInFile() {
    checkOpen("offsetInFile");
    if (nullDevice_) return 0;
    off_t at = ::lseek(fd_, 0, SEEK_CUR);
    if (at < 0) raiseOperation("offsetInFile", errno);
    return static_cast<uint64_t>(at);
}

uint64_t NSFileHandle::seekToEndOfFile() {
    checkOpen("seekToEndOfFile");
    if (nullDevice_) return 0;
    off_t at = ::lseek(fd_, 0, SEEK_END);
    if (at < 0) raiseOperation("seekToEndOfFile", errno);
    return static_cast<uint64_t>(at);
}

void NSFileHandle::seekToFileOffset(uint64_t offset) {
    checkOpen("seekToFileOffset:");
    if (nullDevice_) return;
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        raiseOperation("seekToFileOffset:", errno);
    }
}

void NSFileHandle::truncateFileAtOffset(uint64_t offset) {
    checkOpen("truncateFileAtOffset:");
    if (nullDevice_) return;
    if (::ftruncate(fd_, static_cast<off_t>(offset)) != 0) {
        raiseOperation("truncateFileAtOffset:", errno);
    }
    // The position moves to the new end, as the platform does.
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        raiseOperation("truncateFileAtOffset:", errno);
    }
}

void NSFileHandle::synchronizeFile() {
    checkOpen("synchronizeFile");
    if (nullDevice_) return;
    // Pipes and terminals cannot be synced; that is not a failure.
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        raiseOperation("synchronizeFile", errno);
    }
}

void NSFileHandle::closeFile() {
    // The shared standard handles stay usable: other code writes through them too.
    if (closed_ || isImmortal()) return;
    closed_ = true;
    if (!nullDevice_ && fd_ >= 0) ::close(fd_);
}
