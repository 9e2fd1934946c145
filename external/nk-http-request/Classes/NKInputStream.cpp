#include "external/nk-http-request/Classes/NKInputStream.h"

#include <mutex>

#include "Foundation/NSData.h"
#include "Foundation/NSError.h"
#include "Foundation/NSLock.h"
#include "Foundation/NSString.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"

namespace {
// Body reads of all requests pass one at a time, so that the allowance is shared fairly. A
// platform lock: it is held while throttling takes the engine's own locks and may wait.
NSLock& readLock() {
    static NSLock* lock = [] {
        Ref<NSLock> made = make<NSLock>();
        made->retain();  // lives as long as the process
        return made.get();
    }();
    return *lock;
}
}  // namespace

Ref<NKInputStream> NKInputStream::inputStreamWithFileAtPath(NSString* path,
                                                            NKHTTPRequest* request) {
    Ref<NKInputStream> s = make<NKInputStream>();
    s->setStream(NSInputStream::inputStreamWithFileAtPath(path));
    s->setRequest(request);
    return s;
}

Ref<NKInputStream> NKInputStream::inputStreamWithData(NSData* data, NKHTTPRequest* request) {
    Ref<NKInputStream> s = make<NKInputStream>();
    s->setStream(NSInputStream::inputStreamWithData(data));
    s->setRequest(request);
    return s;
}

Ref<NKHTTPRequest> NKInputStream::request() {
    return request_.lock();
}

void NKInputStream::setRequest(NKHTTPRequest* request) {
    request_ = request;
}

NSInteger NKInputStream::read(uint8_t* buffer, NSUInteger maxLength) {
    if (!stream_) return -1;
    NSUInteger length = maxLength;
    {
        std::lock_guard<NSLock> g(readLock());
        if (NKHTTPRequest::isBandwidthThrottled()) {
            // A share of what is left of this second's allowance, and at least one byte.
            unsigned long allowed = NKHTTPRequest::maxUploadReadLength();
            if (allowed <= length) length = allowed > 0 ? static_cast<NSUInteger>(allowed) : 1;
            if (Ref<NKHTTPRequest> r = request()) r->performThrottling();
        }
        // What is asked for counts, not what arrives.
        NKHTTPRequest::incrementBandwidthUsedInLastSecond(length);
    }
    return stream_->read(buffer, length);
}

void NKInputStream::open() {
    if (stream_) stream_->open();
}

void NKInputStream::close() {
    if (stream_) stream_->close();
}

bool NKInputStream::hasBytesAvailable() {
    return stream_ && stream_->hasBytesAvailable();
}

bool NKInputStream::getBuffer(uint8_t** buffer, NSUInteger* length) {
    return stream_ && stream_->getBuffer(buffer, length);
}

NSStreamStatus NKInputStream::streamStatus() {
    return stream_ ? stream_->streamStatus() : NSStreamStatusNotOpen;
}

Ref<NSError> NKInputStream::streamError() {
    return stream_ ? stream_->streamError() : nullptr;
}

Ref<NSObject> NKInputStream::propertyForKey(NSString* key) {
    return stream_ ? stream_->propertyForKey(key) : nullptr;
}

bool NKInputStream::setProperty(NSObject* property, NSString* key) {
    return stream_ && stream_->setProperty(property, key);
}

void NKInputStream::setDelegate(NSStreamDelegate* delegate) {
    if (stream_) stream_->setDelegate(delegate);
}

void NKInputStream::scheduleInRunLoop(NSRunLoop* runLoop, NSString* mode) {
    if (stream_) stream_->scheduleInRunLoop(runLoop, mode);
}

void NKInputStream::removeFromRunLoop(NSRunLoop* runLoop, NSString* mode) {
    if (stream_) stream_->removeFromRunLoop(runLoop, mode);
}
