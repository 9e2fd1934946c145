// The C-level read stream of the platform, over our object model.
//
// Toll-free mapping. The platform's CF types are its Foundation objects seen through C
// functions; here they are our Foundation classes:
//   CFStringRef -> NSString*      CFDictionaryRef -> NSDictionary*   CFArrayRef -> NSArray*
//   CFNumberRef -> NSNumber*      CFBooleanRef    -> NSNumber* (bool) CFDataRef -> NSData*
//   CFURLRef    -> NSURL*         CFErrorRef      -> NSError*          kCFNull -> NSNull
//   CFRunLoopRef -> NSRunLoop*    CFTypeRef       -> NSObject*
//   CFReadStreamRef -> CFReadStream*, an NSInputStream subclass (so a read stream can be handed
//   to anything that takes an input stream).
// Functions follow the platform's ownership rule in C++ terms: a "Create" or "Copy" function
// returns a Ref<> that the caller owns; a "Get" function returns a plain value or a borrowed
// pointer. Arguments are borrowed for the call.
#pragma once

#include <cstdint>

#include "Foundation/NSNumber.h"  // kCFBooleanTrue/False are usable wherever CF is
#include "Foundation/NSStream.h"

class NSArray;
class NSData;
class NSDictionary;
class NSError;
class NSNumber;
class NSRunLoop;
class NSString;
class NSURL;
class CFReadStream;

using CFIndex = NSInteger;
using CFOptionFlags = NSUInteger;
using CFTypeRef = NSObject*;
using CFStringRef = NSString*;
using CFDictionaryRef = NSDictionary*;
using CFArrayRef = NSArray*;
using CFNumberRef = NSNumber*;
using CFDataRef = NSData*;
using CFURLRef = NSURL*;
using CFErrorRef = NSError*;
using CFRunLoopRef = NSRunLoop*;
using CFReadStreamRef = CFReadStream*;

// Allocators exist only so that calls keep the platform's shape; pass kCFAllocatorDefault.
struct CFAllocatorOpaque;
using CFAllocatorRef = const CFAllocatorOpaque*;
inline constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;

// The shared null object (NSNull::null()).
NSObject* CFNullValue();
#define kCFNull (CFNullValue())
// The shared boolean numbers.
NSNumber* CFBooleanTrueValue();
NSNumber* CFBooleanFalseValue();
#define kCFBooleanTrue (CFBooleanTrueValue())
#define kCFBooleanFalse (CFBooleanFalseValue())

using CFStreamStatus = CFIndex;
enum : CFStreamStatus {
    kCFStreamStatusNotOpen = 0,
    kCFStreamStatusOpening = 1,
    kCFStreamStatusOpen = 2,
    kCFStreamStatusReading = 3,
    kCFStreamStatusWriting = 4,
    kCFStreamStatusAtEnd = 5,
    kCFStreamStatusClosed = 6,
    kCFStreamStatusError = 7,
};

using CFStreamEventType = CFOptionFlags;
enum : CFStreamEventType {
    kCFStreamEventNone = 0,
    kCFStreamEventOpenCompleted = 1,
    kCFStreamEventHasBytesAvailable = 2,
    kCFStreamEventCanAcceptBytes = 4,
    kCFStreamEventErrorOccurred = 8,
    kCFStreamEventEndEncountered = 16,
};

// The older error form: a domain number and a code.
using CFStreamErrorDomain = CFIndex;
enum : CFStreamErrorDomain {
    kCFStreamErrorDomainCustom = -1,
    kCFStreamErrorDomainPOSIX = 1,
    kCFStreamErrorDomainMacOSStatus = 2,
};
struct CFStreamError {
    CFIndex domain = 0;
    int32_t error = 0;
};

// The client's context. `info` is handed to the callback as it is; with `retain`/`release` set
// the stream calls them on `info` (the engine passes none: its context is not retained).
struct CFStreamClientContext {
    CFIndex version = 0;
    void* info = nullptr;
    void* (*retain)(void* info) = nullptr;
    void (*release)(void* info) = nullptr;
    NSString* (*copyDescription)(void* info) = nullptr;
};

using CFReadStreamClientCallBack = void (*)(CFReadStreamRef stream, CFStreamEventType type,
                                            void* clientCallBackInfo);

// The stream object. Use it through the C functions below (or as an NSInputStream); its
// members are the implementation's.
class CFReadStream : public NSInputStream {
    NS_OBJECT(CFReadStream, NSInputStream)
    // NSInputStream, mapped onto the C functions.
    void open() override;
    void close() override;
    NSStreamStatus streamStatus() override;
    Ref<NSError> streamError() override;
    NSInteger read(uint8_t* buffer, NSUInteger maxLength) override;
    bool hasBytesAvailable() override;
    Ref<NSObject> propertyForKey(NSString* key) override;
    bool setProperty(NSObject* property, NSString* key) override;
    void scheduleInRunLoop(NSRunLoop* runLoop, NSString* mode) override;
    void removeFromRunLoop(NSRunLoop* runLoop, NSString* mode) override;
    void dealloc() override;

    // The behaviour behind the functions; subclasses (the HTTP stream) override these.
    virtual bool openStream();
    virtual void closeStream();
    virtual CFStreamStatus status();
    virtual Ref<NSError> copyError();
    virtual CFIndex readBytes(uint8_t* buffer, CFIndex length);
    virtual bool bytesAvailable();
    virtual Ref<NSObject> copyProperty(NSString* key);
    virtual bool storeProperty(NSString* key, NSObject* value);
    virtual bool setClient(CFOptionFlags events, CFReadStreamClientCallBack callback,
                           CFStreamClientContext* context);
    virtual void schedule(NSRunLoop* runLoop, NSString* mode);
    virtual void unschedule(NSRunLoop* runLoop, NSString* mode);
};

bool CFReadStreamOpen(CFReadStreamRef stream);
void CFReadStreamClose(CFReadStreamRef stream);
CFStreamStatus CFReadStreamGetStatus(CFReadStreamRef stream);
// The error that put the stream into kCFStreamStatusError, else nil.
Ref<NSError> CFReadStreamCopyError(CFReadStreamRef stream);
CFStreamError CFReadStreamGetError(CFReadStreamRef stream);
// Up to bufferLength bytes: the count read, 0 at the end, -1 on error. On a stream that is not
// scheduled on any run loop the call blocks until bytes, the end or an error come.
CFIndex CFReadStreamRead(CFReadStreamRef stream, uint8_t* buffer, CFIndex bufferLength);
bool CFReadStreamHasBytesAvailable(CFReadStreamRef stream);
Ref<NSObject> CFReadStreamCopyProperty(CFReadStreamRef stream, NSString* propertyName);
bool CFReadStreamSetProperty(CFReadStreamRef stream, NSString* propertyName,
                             NSObject* propertyValue);
// Events are delivered on the run loops the stream is scheduled on, in the modes it was
// scheduled for. A null callback (or no events) removes the client; the stream never retains
// the context's info unless the context supplies retain/release.
bool CFReadStreamSetClient(CFReadStreamRef stream, CFOptionFlags streamEvents,
                           CFReadStreamClientCallBack clientCB,
                           CFStreamClientContext* clientContext);
void CFReadStreamScheduleWithRunLoop(CFReadStreamRef stream, NSRunLoop* runLoop,
                                     NSString* runLoopMode);
void CFReadStreamUnscheduleFromRunLoop(CFReadStreamRef stream, NSRunLoop* runLoop,
                                       NSString* runLoopMode);

extern NSString* const kCFRunLoopDefaultMode;  // NSDefaultRunLoopMode
extern NSString* const kCFRunLoopCommonModes;  // NSRunLoopCommonModes
// The run loop of the calling thread.
NSRunLoop* CFRunLoopGetCurrent();
NSRunLoop* CFRunLoopGetMain();
