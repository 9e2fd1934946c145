#include "Foundation/NSStream.h"

#include "Foundation/NSRunLoop.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Foundation/NSData.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"

NSString* const NSStreamDataWrittenToMemoryStreamKey = NS("kCFStreamPropertyDataWritten");
NSString* const NSStreamFileCurrentOffsetKey = NS("kCFStreamPropertyFileCurrentOffset");

namespace {

std::string pathOf(NSString* path) {
    return path ? path->utf8() : std::string();
}

// Closes a file stream's descriptor once, on close or when the stream is freed unclosed.
void closeFile(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

bool isOpen(NSStreamStatus s) {
    return s == NSStreamStatusOpen || s == NSStreamStatusReading || s == NSStreamStatusWriting;
}

}  // namespace

// ---- NSStream --------------------------------------------------------------------------------

void NSStream::open() {
    if (status_ == NSStreamStatusNotOpen) status_ = NSStreamStatusOpen;
}

void NSStream::close() {
    if (status_ != NSStreamStatusNotOpen && status_ != NSStreamStatusError) {
        status_ = NSStreamStatusClosed;
    }
}

NSStreamStatus NSStream::streamStatus() {
    return status_;
}

Ref<NSError> NSStream::streamError() {
    return error_;
}

Ref<NSObject> NSStream::propertyForKey(NSString* key) {
    (void)key;
    return nullptr;
}

bool NSStream::setProperty(NSObject* property, NSString* key) {
    (void)property;
    (void)key;
    return false;
}

void NSStream::scheduleInRunLoop(NSRunLoop* runLoop, NSString* mode) {
    if (!runLoop) return;
    if (!events_) {
        Weak<NSStream> weak(this);  // the source must not keep its stream alive
        events_ = RunLoopSource::sourceWithHandler([weak] {
            if (auto s = weak.lock()) s->deliverEvents();
        });
    }
    runLoop->addSource(events_, mode);
    streamChanged();
}

void NSStream::removeFromRunLoop(NSRunLoop* runLoop, NSString* mode) {
    if (runLoop && events_) runLoop->removeSource(events_, mode);
}

void NSStream::dealloc() {
    if (events_) events_->invalidate();
    NSObject::dealloc();
}

void NSStream::streamChanged() {
    if (events_) events_->signal();
}

void NSStream::deliverEvents() {
    Ref<NSStream> keep(this);
    NSStreamStatus st = streamStatus();
    if (st == NSStreamStatusNotOpen || st == NSStreamStatusClosed) return;
    if (!openReported_ && st != NSStreamStatusError) {
        openReported_ = true;
        notifyDelegate(NSStreamEventOpenCompleted);
        st = streamStatus();
    }
    if (st == NSStreamStatusError) {
        if (!errorReported_) {
            errorReported_ = true;
            notifyDelegate(NSStreamEventErrorOccurred);
        }
        return;
    }
    bool ended = st == NSStreamStatusAtEnd;
    if (auto* in = dynamic_cast<NSInputStream*>(this)) {
        if (!ended && in->hasBytesAvailable()) {
            notifyDelegate(NSStreamEventHasBytesAvailable);
            return;
        }
        ended = true;  // open with nothing left to read
    } else if (auto* out = dynamic_cast<NSOutputStream*>(this)) {
        if (!ended && out->hasSpaceAvailable()) {
            notifyDelegate(NSStreamEventHasSpaceAvailable);
            return;
        }
    }
    if (ended && !endReported_) {
        endReported_ = true;
        notifyDelegate(NSStreamEventEndEncountered);
    }
}

void NSStream::notifyDelegate(NSStreamEvent event) {
    if (auto d = delegate_.lock()) d->stream(this, event);
}

void NSStream::failWithError(NSError* error) {
    error_ = error;
    status_ = NSStreamStatusError;
    streamChanged();
}

void NSStream::failWithErrno(int err) {
    failWithError(NSError::errorWithDomain(NSPOSIXErrorDomain, err, nullptr));
}

// ---- NSInputStream ---------------------------------------------------------------------------

Ref<NSInputStream> NSInputStream::inputStreamWithFileAtPath(NSString* path) {
    return make<NSInputStream>(&NSInputStream::initWithFileAtPath, path);
}

Ref<NSInputStream> NSInputStream::inputStreamWithData(NSData* data) {
    return make<NSInputStream>(&NSInputStream::initWithData, data);
}

Ref<NSInputStream> NSInputStream::inputStreamWithURL(NSURL* url) {
    return make<NSInputStream>(&NSInputStream::initWithURL, url);
}

bool NSInputStream::initWithFileAtPath(NSString* path) {
    path_ = pathOf(path);
    return !path_.empty();
}

bool NSInputStream::initWithData(NSData* data) {
    if (!data) return false;
    data_ = data->copy();
    return true;
}

bool NSInputStream::initWithURL(NSURL* url) {
    if (!url || !url->isFileURL()) return false;
    return initWithFileAtPath(url->path());
}

void NSInputStream::open() {
    if (status_ != NSStreamStatusNotOpen) return;
    ChangeScope changed{this};
    if (!path_.empty()) {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            failWithErrno(errno);
            return;
        }
        if (pendingOffset_ > 0 && ::lseek(fd_, static_cast<off_t>(pendingOffset_), SEEK_SET) < 0) {
            failWithErrno(errno);
            return;
        }
    }
    status_ = NSStreamStatusOpen;
}

void NSInputStream::close() {
    closeFile(fd_);
    NSStream::close();
}

void NSInputStream::dealloc() {
    closeFile(fd_);
    NSStream::dealloc();
}

NSInteger NSInputStream::read(uint8_t* buffer, NSUInteger maxLength) {
    ChangeScope changed{this};
    if (status_ == NSStreamStatusAtEnd) return 0;
    if (!isOpen(status_) || !buffer) return -1;
    if (maxLength == 0) return 0;
    // Counts are 32-bit signed: one read never reports more than that.
    size_t want = std::min<size_t>(maxLength, static_cast<size_t>(NSIntegerMax));
    if (path_.empty()) {
        size_t left = data_->length() - offset_;
        size_t n = std::min(want, left);
        if (n == 0) {
            status_ = NSStreamStatusAtEnd;
            return 0;
        }
        std::memcpy(buffer, static_cast<const uint8_t*>(data_->bytes()) + offset_, n);
        offset_ += n;
        return static_cast<NSInteger>(n);
    }
    for (;;) {
        ssize_t n = ::read(fd_, buffer, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            failWithErrno(errno);
            return -1;
        }
        if (n == 0) status_ = NSStreamStatusAtEnd;
        return static_cast<NSInteger>(n);
    }
}

bool NSInputStream::getBuffer(uint8_t** buffer, NSUInteger* length) {
    (void)buffer;
    (void)length;
    return false;
}

bool NSInputStream::hasBytesAvailable() {
    if (!isOpen(status_)) return false;
    if (path_.empty()) return offset_ < data_->length();
    return true;
}

Ref<NSObject> NSInputStream::propertyForKey(NSString* key) {
    if (key && key->isEqualToString(NSStreamFileCurrentOffsetKey) && !path_.empty()) {
        if (fd_ >= 0) {
            off_t at = ::lseek(fd_, 0, SEEK_CUR);
            if (at >= 0) return NSNumber::numberWithUnsignedLongLong(static_cast<uint64_t>(at));
        }
        return NSNumber::numberWithUnsignedLongLong(pendingOffset_);
    }
    return NSStream::propertyForKey(key);
}

bool NSInputStream::setProperty(NSObject* property, NSString* key) {
    if (key && key->isEqualToString(NSStreamFileCurrentOffsetKey) && !path_.empty()) {
        auto n = as<NSNumber>(property);
        if (!n) return false;
        uint64_t at = n->unsignedLongLongValue();
        if (fd_ >= 0) {
            if (::lseek(fd_, static_cast<off_t>(at), SEEK_SET) < 0) return false;
            if (status_ == NSStreamStatusAtEnd) status_ = NSStreamStatusOpen;
        } else {
            pendingOffset_ = at;
        }
        return true;
    }
    return NSStream::setProperty(property, key);
}

// ---- NSOutputStream --------------------------------------------------------------------------

Ref<NSOutputStream> NSOutputStream::outputStreamToMemory() {
    return make<NSOutputStream>(&NSOutputStream::initToMemory);
}

Ref<NSOutputStream> NSOutputStream::outputStreamToBuffer(uint8_t* buffer, NSUInteger capacity) {
    return make<NSOutputStream>(&NSOutputStream::initToBuffer, buffer, capacity);
}

Ref<NSOutputStream> NSOutputStream::outputStreamToFileAtPath(NSString* path, bool append) {
    return make<NSOutputStream>(&NSOutputStream::initToFileAtPath, path, append);
}

Ref<NSOutputStream> NSOutputStream::outputStreamWithURL(NSURL* url, bool append) {
    return make<NSOutputStream>(&NSOutputStream::initWithURL, url, append);
}

bool NSOutputStream::initToMemory() {
    target_ = Target::Memory;
    memory_ = NSMutableData::data();
    return true;
}

bool NSOutputStream::initToBuffer(uint8_t* buffer, NSUInteger capacity) {
    if (!buffer && capacity > 0) return false;
    target_ = Target::Buffer;
    buffer_ = buffer;
    capacity_ = capacity;
    return true;
}

bool NSOutputStream::initToFileAtPath(NSString* path, bool append) {
    target_ = Target::File;
    path_ = pathOf(path);
    append_ = append;
    return !path_.empty();
}

bool NSOutputStream::initWithURL(NSURL* url, bool append) {
    if (!url || !url->isFileURL()) return false;
    return initToFileAtPath(url->path(), append);
}

void NSOutputStream::open() {
    if (status_ != NSStreamStatusNotOpen) return;
    ChangeScope changed{this};
    if (target_ == Target::File) {
        int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append_ ? O_APPEND : O_TRUNC);
        fd_ = ::open(path_.c_str(), flags, 0644);
        if (fd_ < 0) {
            failWithErrno(errno);
            return;
        }
    }
    status_ = NSStreamStatusOpen;
}

void NSOutputStream::close() {
    closeFile(fd_);
    NSStream::close();
}

void NSOutputStream::dealloc() {
    closeFile(fd_);
    NSStream::dealloc();
}

NSInteger NSOutputStream::write(const uint8_t* buffer, NSUInteger length) {
    ChangeScope changed{this};
    if (!isOpen(status_) || (!buffer && length > 0)) return -1;
    if (length == 0) return 0;
    size_t want = std::min<size_t>(length, static_cast<size_t>(NSIntegerMax));
    switch (target_) {
        case Target::Memory:
            memory_->appendBytes(buffer, static_cast<NSUInteger>(want));
            return static_cast<NSInteger>(want);
        case Target::Buffer: {
            size_t n = std::min<size_t>(want, capacity_ - used_);
            if (n == 0) {
                status_ = NSStreamStatusAtEnd;
                return 0;
            }
            std::memcpy(buffer_ + used_, buffer, n);
            used_ += static_cast<NSUInteger>(n);
            return static_cast<NSInteger>(n);
        }
        case Target::File:
            for (;;) {
                ssize_t n = ::write(fd_, buffer, want);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) {
                    failWithErrno(errno);
                    return -1;
                }
                return static_cast<NSInteger>(n);
            }
    }
    return -1;
}

bool NSOutputStream::hasSpaceAvailable() {
    if (!isOpen(status_)) return false;
    if (target_ == Target::Buffer) return used_ < capacity_;
    return true;
}

Ref<NSObject> NSOutputStream::propertyForKey(NSString* key) {
    if (!key) return nullptr;
    if (target_ == Target::Memory && key->isEqualToString(NSStreamDataWrittenToMemoryStreamKey)) {
        return memory_->copy();
    }
    if (target_ == Target::File && key->isEqualToString(NSStreamFileCurrentOffsetKey)) {
        off_t at = fd_ >= 0 ? ::lseek(fd_, 0, SEEK_CUR) : 0;
        return NSNumber::numberWithUnsignedLongLong(at > 0 ? static_cast<uint64_t>(at) : 0);
    }
    return NSStream::propertyForKey(key);
}

bool NSOutputStream::setProperty(NSObject* property, NSString* key) {
    if (target_ == Target::File && fd_ >= 0 && key &&
        key->isEqualToString(NSStreamFileCurrentOffsetKey)) {
        auto n = as<NSNumber>(property);
        return n && ::lseek(fd_, static_cast<off_t>(n->unsignedLongLongValue()), SEEK_SET) >= 0;
    }
    return NSStream::setProperty(property, key);
}
