// Streams of bytes: the NSStream base with its status, error, properties and delegate, input
// streams over a file or a data, and output streams into memory, a caller's buffer or a file.
// The classes are meant to be subclassed (wrappers that throttle or count bytes override read,
// open, close, streamStatus and hasBytesAvailable).
#pragma once

#include <cstdint>
#include <string>

#include "Foundation/NSObject.h"

class NSData;
class NSError;
class NSMutableData;
class NSMutableDictionary;
class NSRunLoop;
class RunLoopSource;
class NSStream;
class NSString;
class NSURL;

using NSStreamStatus = NSUInteger;
enum : NSStreamStatus {
    NSStreamStatusNotOpen = 0,
    NSStreamStatusOpening = 1,
    NSStreamStatusOpen = 2,
    NSStreamStatusReading = 3,
    NSStreamStatusWriting = 4,
    NSStreamStatusAtEnd = 5,
    NSStreamStatusClosed = 6,
    NSStreamStatusError = 7,
};

using NSStreamEvent = NSUInteger;
enum : NSStreamEvent {
    NSStreamEventNone = 0,
    NSStreamEventOpenCompleted = 1 << 0,
    NSStreamEventHasBytesAvailable = 1 << 1,
    NSStreamEventHasSpaceAvailable = 1 << 2,
    NSStreamEventErrorOccurred = 1 << 3,
    NSStreamEventEndEncountered = 1 << 4,
};

// The bytes written so far by a memory output stream (an NSData).
extern NSString* const NSStreamDataWrittenToMemoryStreamKey;
// The position of a file stream (an NSNumber); settable before and while the stream is open.
extern NSString* const NSStreamFileCurrentOffsetKey;

class NSStreamDelegate {
public:
    virtual ~NSStreamDelegate() = default;
    virtual void stream(NSStream* aStream, NSStreamEvent eventCode) {
        (void)aStream;
        (void)eventCode;
    }
};

class NSStream : public NSObject {
    NS_OBJECT(NSStream, NSObject)
    virtual void open();
    virtual void close();
    virtual NSStreamStatus streamStatus();
    // The error that put the stream in NSStreamStatusError, else nil.
    virtual Ref<NSError> streamError();

    // nil when the stream has no such property.
    virtual Ref<NSObject> propertyForKey(NSString* key);
    // false when the stream does not take the property.
    virtual bool setProperty(NSObject* property, NSString* key);

    // Events reach the delegate only while the stream is scheduled on a run loop.
    Ref<NSStreamDelegate> delegate() { return delegate_.lock(); }
    virtual void setDelegate(NSStreamDelegate* delegate) { delegate_ = delegate; }
    // While scheduled, the stream tells its delegate, on that loop, that it opened, that
    // bytes or space are there (again after each read or write), that it ended or failed.
    virtual void scheduleInRunLoop(NSRunLoop* runLoop, NSString* mode);
    virtual void removeFromRunLoop(NSRunLoop* runLoop, NSString* mode);
    void dealloc() override;

    // Hands an event to the delegate, if there is one. The run loop a stream is scheduled on
    // calls it; the stream itself never calls its delegate from inside read or write.
    void notifyDelegate(NSStreamEvent event);

protected:
    // Subclasses call this after anything that may be news to the delegate (open, read,
    // write); a scheduled stream then delivers its events on the next pass of its loop.
    void streamChanged();
    // Marks a change when the scope ends, whichever way a read or write returns.
    struct ChangeScope {
        NSStream* stream;
        ~ChangeScope() { stream->streamChanged(); }
    };
    // Moves to NSStreamStatusError with the error.
    void failWithError(NSError* error);
    // Moves to NSStreamStatusError with an NSPOSIXErrorDomain error for errno.
    void failWithErrno(int err);

    NSStreamStatus status_ = NSStreamStatusNotOpen;
    Ref<NSError> error_;
    Weak<NSStreamDelegate> delegate_;

private:
    void deliverEvents();
    Ref<RunLoopSource> events_;
    bool openReported_ = false;
    bool endReported_ = false;
    bool errorReported_ = false;
};

class NSInputStream : public NSStream {
    NS_OBJECT(NSInputStream, NSStream)
    // A stream over the file; opening fails (status Error) when the file cannot be read.
    static Ref<NSInputStream> inputStreamWithFileAtPath(NSString* path);
    static Ref<NSInputStream> inputStreamWithData(NSData* data);
    // File URLs only; nil for others.
    static Ref<NSInputStream> inputStreamWithURL(NSURL* url);
    bool initWithFileAtPath(NSString* path);
    bool initWithData(NSData* data);
    bool initWithURL(NSURL* url);

    // Up to maxLength bytes into the buffer: the count read, 0 at the end, -1 on error (or
    // when the stream is not open).
    virtual NSInteger read(uint8_t* buffer, NSUInteger maxLength);
    // Direct access to the stream's buffer: not offered.
    virtual bool getBuffer(uint8_t** buffer, NSUInteger* length);
    // True while open and not at the end (a read might still give 0 for a file that shrank).
    virtual bool hasBytesAvailable();

    void open() override;
    void close() override;
    Ref<NSObject> propertyForKey(NSString* key) override;
    bool setProperty(NSObject* property, NSString* key) override;
    void dealloc() override;

private:
    std::string path_;  // a file stream when not empty
    Ref<NSData> data_;  // a data stream otherwise
    int fd_ = -1;
    uint64_t offset_ = 0;
    uint64_t pendingOffset_ = 0;  // for a file, the position to start from once opened
};

class NSOutputStream : public NSStream {
    NS_OBJECT(NSOutputStream, NSStream)
    // The bytes collect in memory; read them with NSStreamDataWrittenToMemoryStreamKey.
    static Ref<NSOutputStream> outputStreamToMemory();
    // Writes into the caller's buffer, which must outlive the stream; full means at end.
    static Ref<NSOutputStream> outputStreamToBuffer(uint8_t* buffer, NSUInteger capacity);
    // Creates (or, without append, truncates) the file on open.
    static Ref<NSOutputStream> outputStreamToFileAtPath(NSString* path, bool append);
    static Ref<NSOutputStream> outputStreamWithURL(NSURL* url, bool append);
    bool initToMemory();
    bool initToBuffer(uint8_t* buffer, NSUInteger capacity);
    bool initToFileAtPath(NSString* path, bool append);
    bool initWithURL(NSURL* url, bool append);

    // Writes up to length bytes: the count written, 0 when a buffer stream is full, -1 on
    // error (or when the stream is not open).
    virtual NSInteger write(const uint8_t* buffer, NSUInteger length);
    virtual bool hasSpaceAvailable();

    void open() override;
    void close() override;
    Ref<NSObject> propertyForKey(NSString* key) override;
    bool setProperty(NSObject* property, NSString* key) override;
    void dealloc() override;

private:
    enum class Target { Memory, Buffer, File };
    Target target_ = Target::Memory;
    Ref<NSMutableData> memory_;
    uint8_t* buffer_ = nullptr;
    NSUInteger capacity_ = 0;
    NSUInteger used_ = 0;
    std::string path_;
    bool append_ = false;
    int fd_ = -1;
};
