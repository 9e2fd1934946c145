#include <gtest/gtest.h>

#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "Foundation/NSData.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSStream.h"

namespace {

Ref<NSData> bytes(std::string_view s) {
    return NSData::dataWithBytes(s.data(), static_cast<NSUInteger>(s.size()));
}

// Reads the stream to its end in chunks of `chunk` bytes, recording the size of each read.
std::string drain(NSInputStream* in, NSUInteger chunk, std::string* sizes = nullptr) {
    std::string out;
    uint8_t buffer[64];
    for (;;) {
        NSInteger n = in->read(buffer, chunk);
        if (sizes) *sizes += std::to_string(n) + " ";
        if (n <= 0) break;
        out.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(n));
    }
    return out;
}

TEST(NSInputStream, DataStreamReadsInSmallChunks) {
    auto in = NSInputStream::inputStreamWithData(bytes("abcdefgh"));
    uint8_t b[4];
    EXPECT_EQ(in->streamStatus(), NSStreamStatusNotOpen);
    EXPECT_EQ(in->read(b, 4), -1);  // not open yet
    in->open();
    EXPECT_EQ(in->streamStatus(), NSStreamStatusOpen);
    EXPECT_TRUE(in->hasBytesAvailable());
    std::string sizes;
    EXPECT_EQ(drain(in, 3, &sizes), "abcdefgh");
    EXPECT_EQ(sizes, "3 3 2 0 ");
    EXPECT_FALSE(in->hasBytesAvailable());
    EXPECT_EQ(in->streamStatus(), NSStreamStatusAtEnd);
    in->close();
    EXPECT_EQ(in->streamStatus(), NSStreamStatusClosed);
    EXPECT_EQ(in->read(b, 4), -1);
    uint8_t* direct = nullptr;
    NSUInteger length = 0;
    EXPECT_FALSE(in->getBuffer(&direct, &length));
}

TEST(NSInputStream, FileStreamReadsFromAnOffset) {
    std::string p = NSTemporaryDirectory()->utf8() + "stream-in";
    std::ofstream(p, std::ios::binary) << "0123456789";
    auto in = NSInputStream::inputStreamWithFileAtPath(str(p));
    EXPECT_TRUE(in->setProperty(NSNumber::numberWithInt(4), NSStreamFileCurrentOffsetKey));
    in->open();
    EXPECT_EQ(drain(in, 2), "456789");
    EXPECT_EQ(as<NSNumber>(in->propertyForKey(NSStreamFileCurrentOffsetKey))->intValue(), 10);
    in->close();
    std::filesystem::remove(p);

    auto missing = NSInputStream::inputStreamWithFileAtPath(str(p));
    missing->open();
    EXPECT_EQ(missing->streamStatus(), NSStreamStatusError);
    ASSERT_NE(missing->streamError(), nullptr);
    EXPECT_EQ(text(missing->streamError()->domain()), "NSPOSIXErrorDomain");
    EXPECT_EQ(missing->streamError()->code(), ENOENT);
    uint8_t b[4];
    EXPECT_EQ(missing->read(b, 4), -1);
}

// A subclass in the way the HTTP engine wraps its body streams: it hands out at most two bytes
// per read and counts them. Callers that hold it as an NSInputStream see its behaviour.
class TrickleStream : public NSInputStream {
    NS_OBJECT(TrickleStream, NSInputStream)
    NSInteger read(uint8_t* buffer, NSUInteger maxLength) override {
        NSInteger n = NSInputStream::read(buffer, std::min<NSUInteger>(maxLength, 2));
        if (n > 0) total += n;
        return n;
    }
    NSInteger total = 0;
};

TEST(NSInputStream, SubclassesOverrideReading) {
    auto t = make<TrickleStream>(&TrickleStream::initWithData, bytes("hello"));
    Ref<NSInputStream> in = t;
    in->open();
    std::string sizes;
    EXPECT_EQ(drain(in, 64, &sizes), "hello");
    EXPECT_EQ(sizes, "2 2 1 0 ");
    EXPECT_EQ(t->total, 5);
}

TEST(NSOutputStream, MemoryCollectsEverythingWritten) {
    auto out = NSOutputStream::outputStreamToMemory();
    EXPECT_EQ(out->write(reinterpret_cast<const uint8_t*>("x"), 1), -1);  // not open
    out->open();
    EXPECT_TRUE(out->hasSpaceAvailable());
    EXPECT_EQ(out->write(reinterpret_cast<const uint8_t*>("abc"), 3), 3);
    EXPECT_EQ(out->write(reinterpret_cast<const uint8_t*>("de"), 2), 2);
    auto written = as<NSData>(out->propertyForKey(NSStreamDataWrittenToMemoryStreamKey));
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(written->view(), "abcde");
    out->close();
    EXPECT_EQ(as<NSData>(out->propertyForKey(NSStreamDataWrittenToMemoryStreamKey))->view(),
              "abcde");
}

TEST(NSOutputStream, BufferStopsWhenFull) {
    uint8_t buffer[5] = {};
    auto out = NSOutputStream::outputStreamToBuffer(buffer, sizeof buffer);
    out->open();
    EXPECT_EQ(out->write(reinterpret_cast<const uint8_t*>("12345678"), 8), 5);
    EXPECT_FALSE(out->hasSpaceAvailable());
    EXPECT_EQ(out->write(reinterpret_cast<const uint8_t*>("9"), 1), 0);
    EXPECT_EQ(out->streamStatus(), NSStreamStatusAtEnd);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 5), "12345");
}

TEST(NSOutputStream, FileTruncatesOrAppends) {
    std::string p = NSTemporaryDirectory()->utf8() + "stream-out";
    auto write = [&](const char* s, bool append) {
        auto out = NSOutputStream::outputStreamToFileAtPath(str(p), append);
        out->open();
        EXPECT_EQ(out->write(reinterpret_cast<const uint8_t*>(s), std::strlen(s)),
                  static_cast<NSInteger>(std::strlen(s)));
        out->close();
    };
    write("first", false);
    write("+more", true);
    EXPECT_EQ(NSData::dataWithContentsOfFile(str(p))->view(), "first+more");
    write("new", false);
    EXPECT_EQ(NSData::dataWithContentsOfFile(str(p))->view(), "new");
    std::filesystem::remove(p);

    auto bad = NSOutputStream::outputStreamToFileAtPath(str(p + "/no/such/folder"), false);
    bad->open();
    EXPECT_EQ(bad->streamStatus(), NSStreamStatusError);
    EXPECT_EQ(bad->streamError()->code(), ENOENT);
}

class Recorder : public NSObject, public NSStreamDelegate {
    NS_OBJECT(Recorder, NSObject)
    void stream(NSStream*, NSStreamEvent event) override { events += std::to_string(event) + " "; }
    std::string events;
};

TEST(NSStream, DelegateIsNotRetained) {
    auto in = NSInputStream::inputStreamWithData(bytes("x"));
    auto r = make<Recorder>();
    in->setDelegate(r);
    in->notifyDelegate(NSStreamEventOpenCompleted);
    in->notifyDelegate(NSStreamEventEndEncountered);
    EXPECT_EQ(r->events, "1 16 ");
    EXPECT_EQ(r->retainCount(), 1u);
    r = nullptr;
    EXPECT_EQ(in->delegate(), nullptr);
    in->notifyDelegate(NSStreamEventOpenCompleted);  // no one left to call
}

// Records what a scheduled stream tells it, reading or writing a few bytes each time it may.
class StreamClient : public NSObject, public NSStreamDelegate {
public:
    void stream(NSStream* s, NSStreamEvent event) override {
        events.push_back(event);
        if (event == NSStreamEventHasBytesAvailable) {
            uint8_t buf[4];
            NSInteger n = static_cast<NSInputStream*>(s)->read(buf, sizeof buf);
            if (n > 0) got.append(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
        } else if (event == NSStreamEventHasSpaceAvailable && writes < 3) {
            ++writes;
            static_cast<NSOutputStream*>(s)->write(reinterpret_cast<const uint8_t*>("xy"), 2);
        }
    }
    std::vector<NSStreamEvent> events;
    std::string got;
    int writes = 0;
};

TEST(NSStream, ScheduledStreamsTellTheirDelegateOnTheirLoop) {
    auto in = NSInputStream::inputStreamWithData(NSData::dataWithBytes("abcdefghij", 10));
    auto client = make<StreamClient>();
    in->setDelegate(client.get());
    in->scheduleInRunLoop(NSRunLoop::currentRunLoop(), NSDefaultRunLoopMode);
    in->open();
    EXPECT_TRUE(client->events.empty());  // events come from the loop, not from open()
    ASSERT_TRUE(runLoopUntil([&] {
        return !client->events.empty() && client->events.back() == NSStreamEventEndEncountered;
    }));
    EXPECT_EQ(client->got, "abcdefghij");
    std::vector<NSStreamEvent> want = {NSStreamEventOpenCompleted, NSStreamEventHasBytesAvailable,
                                       NSStreamEventHasBytesAvailable,
                                       NSStreamEventHasBytesAvailable, NSStreamEventEndEncountered};
    EXPECT_EQ(client->events, want);
    in->close();
    in->removeFromRunLoop(NSRunLoop::currentRunLoop(), NSDefaultRunLoopMode);

    // An output stream offers space again after each write, until the client stops writing.
    auto out = NSOutputStream::outputStreamToMemory();
    auto writer = make<StreamClient>();
    out->setDelegate(writer.get());
    out->scheduleInRunLoop(NSRunLoop::currentRunLoop(), NSDefaultRunLoopMode);
    out->open();
    ASSERT_TRUE(runLoopUntil([&] { return writer->writes == 3; }));
    for (int pass = 0; pass < 5; ++pass) {  // no more events once it stopped writing
        NSRunLoop::currentRunLoop()->runInMode(NSDefaultRunLoopMode, 0, false);
    }
    // Opened, then space after each of the three writes plus the first: the last offer goes
    // unused and nothing follows it.
    EXPECT_EQ(writer->events.size(), 5u);
    auto written = as<NSData>(out->propertyForKey(NSStreamDataWrittenToMemoryStreamKey));
    EXPECT_EQ(written->length(), 6u);
    out->close();
    out->removeFromRunLoop(NSRunLoop::currentRunLoop(), NSDefaultRunLoopMode);
}

}  // namespace
