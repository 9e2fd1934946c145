// A streamed request body is pulled only while its stream is on a run loop: a client that takes
// the stream off every loop (the request engine's throttle does so from inside a body read)
// holds the upload there until it schedules the stream again.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "CFNetwork/CFNetwork.h"
#include "Foundation/NSData.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "LoopbackServer.h"
#include "StreamTesting.h"
#include "support/RunLoopTesting.h"

namespace {

// Hands out the body 1,000 bytes a read and takes the HTTP stream off its loop at the first.
class PausingBody : public NSInputStream {
    NS_OBJECT(PausingBody, NSInputStream)
public:
    NSInteger read(uint8_t* buffer, NSUInteger maxLength) override {
        if (++reads == 1) {
            if (Ref<CFReadStream> s = stream.lock())
                CFReadStreamUnscheduleFromRunLoop(s, NSRunLoop::currentRunLoop(),
                                                  NSDefaultRunLoopMode);
        }
        return NSInputStream::read(buffer, std::min<NSUInteger>(maxLength, 1000));
    }
    Weak<CFReadStream> stream;
    int reads = 0;
};

struct Outcome {
    bool ended = false;
    bool failed = false;
};

void onEvent(CFReadStreamRef stream, CFStreamEventType type, void* info) {
    auto* outcome = static_cast<Outcome*>(info);
    if (type == kCFStreamEventHasBytesAvailable) {
        uint8_t buffer[256];
        CFReadStreamRead(stream, buffer, sizeof buffer);
    } else if (type == kCFStreamEventEndEncountered) {
        outcome->ended = true;
    } else if (type == kCFStreamEventErrorOccurred) {
        outcome->failed = true;
    }
}

unsigned long long written(CFReadStream* s) {
    auto n =
        as<NSNumber>(CFReadStreamCopyProperty(s, kCFStreamPropertyHTTPRequestBytesWrittenCount));
    return n ? n->unsignedLongLongValue() : 0;
}

}  // namespace

TEST(PausedUpload, UnscheduledStreamPullsNoMoreBodyUntilScheduledAgain) {
    std::string body(5000, 'u');
    SeenRequest seen;
    LoopbackServer server([&](ServerConnection& c) {
        SeenRequest r;
        if (!c.readRequest(r, 10)) return;
        seen = r;
        c.send(okResponse("ok"));
    });
    Ref<CFHTTPMessage> m = request(server.url("/upload"), "POST");
    CFHTTPMessageSetHeaderFieldValue(m, NS("Content-Length"), NS("5000"));
    Ref<PausingBody> input = alloc<PausingBody>();
    ASSERT_TRUE(input->initWithData(NSData::dataWithBytes(body.data(), body.size())));
    Ref<CFReadStream> s = CFReadStreamCreateForStreamedHTTPRequest(kCFAllocatorDefault, m, input);
    input->stream = s.get();
    Outcome outcome;
    CFStreamClientContext context{0, &outcome, nullptr, nullptr, nullptr};
    CFReadStreamSetClient(s,
                          kCFStreamEventHasBytesAvailable | kCFStreamEventErrorOccurred |
                              kCFStreamEventEndEncountered,
                          onEvent, &context);
    NSRunLoop* loop = NSRunLoop::currentRunLoop();
    CFReadStreamScheduleWithRunLoop(s, loop, NSDefaultRunLoopMode);
    ASSERT_TRUE(CFReadStreamOpen(s));

    // The first piece went out; nothing more is read while the stream is off the loop.
    ASSERT_TRUE(runLoopUntil([&] { return input->reads > 0; }));
    runLoopUntil([] { return false; }, 0.1);
    EXPECT_EQ(input->reads, 1);
    EXPECT_EQ(written(s), 1000u);

    // Back on the loop, the rest follows and the exchange ends.
    CFReadStreamScheduleWithRunLoop(s, loop, NSDefaultRunLoopMode);
    ASSERT_TRUE(runLoopUntil([&] { return outcome.ended || outcome.failed; }, 10));
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(written(s), 5000u);
    EXPECT_TRUE(seen.body == body);
    CFReadStreamSetClient(s, 0, nullptr, nullptr);
    CFReadStreamUnscheduleFromRunLoop(s, loop, NSDefaultRunLoopMode);
    CFReadStreamClose(s);
}
