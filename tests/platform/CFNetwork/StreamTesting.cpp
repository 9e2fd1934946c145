#include "StreamTesting.h"

#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "support/RunLoopTesting.h"

namespace {
void onEvent(CFReadStreamRef stream, CFStreamEventType type, void* info) {
    auto* run = static_cast<StreamRun*>(info);
    run->events.push_back(type);
    auto written = as<NSNumber>(
        CFReadStreamCopyProperty(stream, kCFStreamPropertyHTTPRequestBytesWrittenCount));
    run->written.push_back(written ? written->unsignedLongLongValue() : 0);
    if (type == kCFStreamEventHasBytesAvailable) {
        std::string buffer(run->readSize, '\0');
        CFIndex n = CFReadStreamRead(stream, reinterpret_cast<uint8_t*>(buffer.data()),
                                     static_cast<CFIndex>(buffer.size()));
        if (n > 0) run->body.append(buffer.data(), static_cast<size_t>(n));
    } else if (type == kCFStreamEventEndEncountered) {
        run->ended = true;
    } else if (type == kCFStreamEventErrorOccurred) {
        run->failed = true;
        run->error = CFReadStreamCopyError(stream);
    }
    if (run->done() && !run->response) {
        run->response = as<CFHTTPMessage>(
            CFReadStreamCopyProperty(stream, kCFStreamPropertyHTTPResponseHeader));
    }
}
}  // namespace

StreamRun runStream(CFReadStream* stream, double seconds, NSString* mode) {
    StreamRun run;
    if (!mode) mode = NSDefaultRunLoopMode;
    CFStreamClientContext context{0, &run, nullptr, nullptr, nullptr};
    CFReadStreamSetClient(stream,
                          kCFStreamEventOpenCompleted | kCFStreamEventHasBytesAvailable |
                              kCFStreamEventErrorOccurred | kCFStreamEventEndEncountered,
                          onEvent, &context);
    NSRunLoop* loop = CFRunLoopGetCurrent();
    CFReadStreamScheduleWithRunLoop(stream, loop, mode);
    if (CFReadStreamOpen(stream)) runLoopUntil([&] { return run.done(); }, seconds, mode);
    CFReadStreamSetClient(stream, 0, nullptr, nullptr);
    CFReadStreamUnscheduleFromRunLoop(stream, loop, mode);
    return run;
}

Ref<CFHTTPMessage> request(const std::string& url, const char* method) {
    return CFHTTPMessageCreateRequest(kCFAllocatorDefault, NSString::fromUTF8(method),
                                      NSURL::URLWithString(NSString::fromUTF8(url)),
                                      kCFHTTPVersion1_1);
}

bool isNewConnectionError(NSError* error) {
    if (!error) return false;
    if (error->domain()->isEqualToString(NSPOSIXErrorDomain))
        return error->code() == kPOSIXErrorEPIPE || error->code() == kPOSIXErrorENOTCONN;
    return error->domain()->isEqualToString(kCFErrorDomainCFNetwork) &&
           error->code() == kCFURLErrorNetworkConnectionLost;
}
