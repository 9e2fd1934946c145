#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "Foundation/NSData.h"
#include "Foundation/NSFileHandle.h"
#include "Foundation/NSPathUtilities.h"

namespace {

Ref<NSData> bytes(std::string_view s) {
    return NSData::dataWithBytes(s.data(), static_cast<NSUInteger>(s.size()));
}

std::string tempFile(const char* name, const std::string& contents) {
    std::string p = NSTemporaryDirectory()->utf8() + name;
    std::ofstream(p, std::ios::binary) << contents;
    return p;
}

TEST(NSFileHandle, ReadsInChunksAndSeeks) {
    auto p = tempFile("fh-read", "0123456789");
    auto h = NSFileHandle::fileHandleForReadingAtPath(str(p));
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->readDataOfLength(3)->view(), "012");
    EXPECT_EQ(h->offsetInFile(), 3u);
    EXPECT_EQ(h->readDataToEndOfFile()->view(), "3456789");
    EXPECT_EQ(h->readDataOfLength(5)->length(), 0u);  // at the end
    h->seekToFileOffset(8);
    EXPECT_EQ(h->availableData()->view(), "89");
    EXPECT_EQ(h->seekToEndOfFile(), 10u);
    EXPECT_EQ(NSFileHandle::fileHandleForReadingAtPath(str(p + ".missing")), nullptr);
    std::filesystem::remove(p);
}

TEST(NSFileHandle, WritesUpdatesAndTruncates) {
    auto p = tempFile("fh-write", "abcdef");
    auto h = NSFileHandle::fileHandleForUpdatingAtPath(str(p));
    ASSERT_NE(h, nullptr);
    h->seekToFileOffset(2);
    h->writeData(bytes("XY"));
    h->seekToEndOfFile();
    h->writeData(bytes("!"));
    h->synchronizeFile();
    EXPECT_EQ(NSData::dataWithContentsOfFile(str(p))->view(), "abXYef!");
    h->truncateFileAtOffset(3);
    EXPECT_EQ(h->offsetInFile(), 3u);
    h->closeFile();
    EXPECT_EQ(NSData::dataWithContentsOfFile(str(p))->view(), "abX");
    // The writing form neither creates nor truncates.
    EXPECT_EQ(NSFileHandle::fileHandleForWritingAtPath(str(p + ".new")), nullptr);
    EXPECT_NE(NSFileHandle::fileHandleForWritingAtPath(str(p)), nullptr);
    EXPECT_EQ(NSData::dataWithContentsOfFile(str(p))->length(), 3u);
    std::filesystem::remove(p);
}

TEST(NSFileHandle, FailuresRaise) {
    auto p = tempFile("fh-fail", "x");
    auto reader = NSFileHandle::fileHandleForReadingAtPath(str(p));
    EXPECT_EQ(raisedName([&] { reader->writeData(bytes("no")); }),
              "NSFileHandleOperationException");
    reader->closeFile();
    EXPECT_EQ(raisedName([&] { reader->readDataToEndOfFile(); }), "NSFileHandleOperationException");
    // Closing a standard handle does not stop others from using it.
    NSFileHandle::fileHandleWithStandardError()->closeFile();
    EXPECT_EQ(raisedName([] { NSFileHandle::fileHandleWithStandardError()->writeData(bytes("")); }),
              "");
    std::filesystem::remove(p);
}

TEST(NSFileHandle, DescriptorsAndPipes) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    {
        auto in = make<NSFileHandle>(
            static_cast<bool (NSFileHandle::*)(int, bool)>(&NSFileHandle::initWithFileDescriptor),
            fds[0], true);
        auto out = make<NSFileHandle>(
            static_cast<bool (NSFileHandle::*)(int, bool)>(&NSFileHandle::initWithFileDescriptor),
            fds[1], false);
        out->writeData(bytes("ping"));
        EXPECT_EQ(in->availableData()->view(), "ping");
        EXPECT_EQ(in->fileDescriptor(), fds[0]);
    }
    // The reading end was closed with its handle; the writing end was not.
    EXPECT_EQ(::fcntl(fds[0], F_GETFD), -1);
    EXPECT_NE(::fcntl(fds[1], F_GETFD), -1);
    ::close(fds[1]);
    EXPECT_EQ(NSFileHandle::fileHandleWithNullDevice()->readDataToEndOfFile()->length(), 0u);
}

}  // namespace
