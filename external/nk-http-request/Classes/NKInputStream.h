// The stream a request body is sent from. It wraps a plain input stream over the body file or
// the body bytes and counts every read against the process-wide bandwidth allowance. It is an
// input stream itself (the HTTP stream pulls from it) and passes everything else through to the
// stream it wraps.
#pragma once

#include "Foundation/NSStream.h"

class NKHTTPRequest;
class NSData;
class NSString;

class NKInputStream : public NSInputStream {
    NS_OBJECT(NKInputStream, NSInputStream)
    static Ref<NKInputStream> inputStreamWithFileAtPath(NSString* path, NKHTTPRequest* request);
    static Ref<NKInputStream> inputStreamWithData(NSData* data, NKHTTPRequest* request);

    // Reads through the bandwidth accounting of the request class.
    NSInteger read(uint8_t* buffer, NSUInteger maxLength) override;

    // Passed through to the wrapped stream.
    void open() override;
    void close() override;
    bool hasBytesAvailable() override;
    bool getBuffer(uint8_t** buffer, NSUInteger* length) override;
    NSStreamStatus streamStatus() override;
    Ref<NSError> streamError() override;
    Ref<NSObject> propertyForKey(NSString* key) override;
    bool setProperty(NSObject* property, NSString* key) override;
    void setDelegate(NSStreamDelegate* delegate) override;
    void scheduleInRunLoop(NSRunLoop* runLoop, NSString* mode) override;
    void removeFromRunLoop(NSRunLoop* runLoop, NSString* mode) override;

    Ref<NSInputStream> stream() { return stream_; }
    void setStream(NSInputStream* stream) { stream_ = stream; }
    // Not retained: the request owns this stream.
    Ref<NKHTTPRequest> request();
    void setRequest(NKHTTPRequest* request);

private:
    Ref<NSInputStream> stream_;
    Weak<NKHTTPRequest> request_;
};
