#include "CFNetwork/CFStream.h"

#include "Foundation/NSError.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"

NSString* const kCFRunLoopDefaultMode = NS("kCFRunLoopDefaultMode");
NSString* const kCFRunLoopCommonModes = NS("kCFRunLoopCommonModes");

NSObject* CFNullValue() {
    static NSNull* const null = NSNull::null().get();
    return null;
}

NSNumber* CFBooleanTrueValue() {
    static NSNumber* const yes = [] {
        Ref<NSNumber> n = NSNumber::numberWithBool(true);
        n->makeImmortal();
        return n.get();
    }();
    return yes;
}

NSNumber* CFBooleanFalseValue() {
    static NSNumber* const no = [] {
        Ref<NSNumber> n = NSNumber::numberWithBool(false);
        n->makeImmortal();
        return n.get();
    }();
    return no;
}

NSRunLoop* CFRunLoopGetCurrent() {
    return NSThread::currentThread()->runLoop().get();
}

NSRunLoop* CFRunLoopGetMain() {
    return NSThread::mainThread()->runLoop().get();
}

// ---- the base stream: a stream with nothing behind it ---------------------------------------

bool CFReadStream::openStream() {
    return false;
}
void CFReadStream::closeStream() {}
CFStreamStatus CFReadStream::status() {
    return kCFStreamStatusNotOpen;
}
Ref<NSError> CFReadStream::copyError() {
    return nullptr;
}
CFIndex CFReadStream::readBytes(uint8_t*, CFIndex) {
    return -1;
}
bool CFReadStream::bytesAvailable() {
    return false;
}
Ref<NSObject> CFReadStream::copyProperty(NSString*) {
    return nullptr;
}
bool CFReadStream::storeProperty(NSString*, NSObject*) {
    return false;
}
bool CFReadStream::setClient(CFOptionFlags, CFReadStreamClientCallBack, CFStreamClientContext*) {
    return false;
}
void CFReadStream::schedule(NSRunLoop*, NSString*) {}
void CFReadStream::unschedule(NSRunLoop*, NSString*) {}

// ---- NSInputStream, through the stream's own behaviour ---------------------------------------

namespace {
// Hands CF events to the NSStream delegate when the stream is used as an NSInputStream.
void forwardToDelegate(CFReadStreamRef stream, CFStreamEventType type, void*) {
    stream->notifyDelegate(type);
}
}  // namespace

void CFReadStream::open() {
    openStream();
}
void CFReadStream::close() {
    closeStream();
}
NSStreamStatus CFReadStream::streamStatus() {
    return static_cast<NSStreamStatus>(status());
}
Ref<NSError> CFReadStream::streamError() {
    return copyError();
}
NSInteger CFReadStream::read(uint8_t* buffer, NSUInteger maxLength) {
    return readBytes(buffer, static_cast<CFIndex>(std::min<NSUInteger>(maxLength, NSIntegerMax)));
}
bool CFReadStream::hasBytesAvailable() {
    return bytesAvailable();
}
Ref<NSObject> CFReadStream::propertyForKey(NSString* key) {
    return copyProperty(key);
}
bool CFReadStream::setProperty(NSObject* property, NSString* key) {
    return storeProperty(key, property);
}
void CFReadStream::scheduleInRunLoop(NSRunLoop* runLoop, NSString* mode) {
    setClient(kCFStreamEventOpenCompleted | kCFStreamEventHasBytesAvailable |
                  kCFStreamEventErrorOccurred | kCFStreamEventEndEncountered,
              &forwardToDelegate, nullptr);
    schedule(runLoop, mode);
}
void CFReadStream::removeFromRunLoop(NSRunLoop* runLoop, NSString* mode) {
    unschedule(runLoop, mode);
}
void CFReadStream::dealloc() {
    NSInputStream::dealloc();
}

// ---- the C functions -------------------------------------------------------------------------

bool CFReadStreamOpen(CFReadStreamRef stream) {
    return stream && stream->openStream();
}
void CFReadStreamClose(CFReadStreamRef stream) {
    if (stream) stream->closeStream();
}
CFStreamStatus CFReadStreamGetStatus(CFReadStreamRef stream) {
    return stream ? stream->status() : kCFStreamStatusNotOpen;
}
Ref<NSError> CFReadStreamCopyError(CFReadStreamRef stream) {
    return stream ? stream->copyError() : nullptr;
}
CFStreamError CFReadStreamGetError(CFReadStreamRef stream) {
    CFStreamError out;
    Ref<NSError> e = CFReadStreamCopyError(stream);
    if (!e) return out;
    if (e->domain()->isEqualToString(NSPOSIXErrorDomain)) {
        out.domain = kCFStreamErrorDomainPOSIX;
    } else if (e->domain()->isEqualToString(NSOSStatusErrorDomain)) {
        out.domain = kCFStreamErrorDomainMacOSStatus;
    } else {
        out.domain = kCFStreamErrorDomainCustom;
    }
    out.error = e->code();
    return out;
}
CFIndex CFReadStreamRead(CFReadStreamRef stream, uint8_t* buffer, CFIndex bufferLength) {
    if (!stream || bufferLength < 0) return -1;
    return stream->readBytes(buffer, bufferLength);
}
bool CFReadStreamHasBytesAvailable(CFReadStreamRef stream) {
    return stream && stream->bytesAvailable();
}
Ref<NSObject> CFReadStreamCopyProperty(CFReadStreamRef stream, NSString* propertyName) {
    return stream && propertyName ? stream->copyProperty(propertyName) : nullptr;
}
bool CFReadStreamSetProperty(CFReadStreamRef stream, NSString* propertyName,
                             NSObject* propertyValue) {
    return stream && propertyName && stream->storeProperty(propertyName, propertyValue);
}
bool CFReadStreamSetClient(CFReadStreamRef stream, CFOptionFlags streamEvents,
                           CFReadStreamClientCallBack clientCB,
                           CFStreamClientContext* clientContext) {
    return stream && stream->setClient(streamEvents, clientCB, clientContext);
}
void CFReadStreamScheduleWithRunLoop(CFReadStreamRef stream, NSRunLoop* runLoop,
                                     NSString* runLoopMode) {
    if (stream && runLoop) stream->schedule(runLoop, runLoopMode);
}
void CFReadStreamUnscheduleFromRunLoop(CFReadStreamRef stream, NSRunLoop* runLoop,
                                       NSString* runLoopMode) {
    if (stream && runLoop) stream->unschedule(runLoop, runLoopMode);
}
