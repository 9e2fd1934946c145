#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/FileSupport.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"

namespace {

Ref<NSData> bytes(std::string_view s) {
    return NSData::dataWithBytes(s.data(), static_cast<NSUInteger>(s.size()));
}
Ref<NSData> decode(const char* s, NSDataBase64DecodingOptions options = 0) {
    auto d = alloc<NSData>();
    return d->initWithBase64EncodedString(NSString::fromUTF8(s), options) ? d : nullptr;
}

TEST(NSData, DescriptionGroupsHexByFour) {
    EXPECT_EQ(text(bytes("Hello")), "<48656c6c 6f>");
    EXPECT_EQ(text(NSData::data()), "<>");
    EXPECT_EQ(text(bytes(std::string("\x00\x01\x02\x03\xfa\xfb\xfc\xfd", 8))),
              "<00010203 fafbfcfd>");
}

TEST(NSData, Base64RoundTrips) {
    const char* plain[] = {"", "f", "fo", "foo", "foob", "fooba", "foobar"};
    const char* coded[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
    for (int i = 0; i < 7; ++i) {
        auto d = bytes(plain[i]);
        EXPECT_EQ(d->base64EncodedString()->utf8(), coded[i]);
        auto back = decode(coded[i]);
        ASSERT_NE(back, nullptr) << coded[i];
        EXPECT_TRUE(back->isEqualToData(d)) << coded[i];
    }
    auto binary = bytes(std::string("\xff\xfe\x00\x3e\x3f", 5));
    EXPECT_EQ(binary->base64EncodedString()->utf8(), "//4APj8=");
}

TEST(NSData, Base64DecodingSkipsWhitespaceAndRejectsGarbage) {
    auto spaced = decode(" Zm9v\r\nYmFy\t");
    ASSERT_NE(spaced, nullptr);
    EXPECT_EQ(spaced->view(), "foobar");
    EXPECT_EQ(decode("Zm9"), nullptr);       // not a whole group
    EXPECT_EQ(decode("Zm9v!"), nullptr);     // outside the alphabet
    EXPECT_EQ(decode("Zg="), nullptr);       // padding short
    EXPECT_EQ(decode("Z==="), nullptr);      // one symbol cannot make a byte
    EXPECT_EQ(decode("Zg==Zg=="), nullptr);  // data after the padding
    auto lenient = decode("Zm9v!", NSDataBase64DecodingIgnoreUnknownCharacters);
    ASSERT_NE(lenient, nullptr);
    EXPECT_EQ(lenient->view(), "foo");
}

TEST(NSData, Base64LineBreaks) {
    std::string raw(60, 'x');  // 80 encoded characters
    auto s = bytes(raw)
                 ->base64EncodedStringWithOptions(NSDataBase64Encoding64CharacterLineLength)
                 ->utf8();
    ASSERT_EQ(s.size(), 82u);
    EXPECT_EQ(s.substr(64, 2), "\r\n");
    EXPECT_EQ(s.find('\r', 66), std::string::npos);
}

TEST(NSData, RangesAreChecked) {
    auto d = bytes("abcdef");
    char buf[8] = {};
    d->getBytes(buf, NSMakeRange(2, 3));
    EXPECT_STREQ(buf, "cde");
    EXPECT_EQ(d->subdataWithRange(NSMakeRange(4, 2))->view(), "ef");
    EXPECT_EQ(d->subdataWithRange(NSMakeRange(6, 0))->length(), 0u);
    EXPECT_THROW(d->getBytes(buf, NSMakeRange(4, 3)), ExceptionRaised);
    // A range whose end wraps around 32 bits is still out of range.
    EXPECT_THROW(d->subdataWithRange(NSMakeRange(2, 0xFFFFFFFFu)), ExceptionRaised);
    char small[3] = {};
    d->getBytes(small, 3);  // a length only copies that much
    EXPECT_EQ(std::string(small, 3), "abc");
}

TEST(NSData, RangeOfData) {
    auto hay = bytes("abcabcab");
    auto all = NSMakeRange(0, 8);
    EXPECT_EQ(hay->rangeOfData(bytes("ca"), 0, all), NSMakeRange(2, 2));
    EXPECT_EQ(hay->rangeOfData(bytes("ca"), NSDataSearchBackwards, all), NSMakeRange(5, 2));
    EXPECT_EQ(hay->rangeOfData(bytes("ab"), NSDataSearchBackwards, all), NSMakeRange(6, 2));
    EXPECT_EQ(hay->rangeOfData(bytes("ab"), 0, NSMakeRange(1, 7)), NSMakeRange(3, 2));
    EXPECT_EQ(hay->rangeOfData(bytes("bc"), NSDataSearchAnchored, all).location,
              static_cast<NSUInteger>(NSNotFound));
    EXPECT_EQ(hay->rangeOfData(bytes("ab"), NSDataSearchAnchored | NSDataSearchBackwards, all),
              NSMakeRange(6, 2));
    EXPECT_EQ(hay->rangeOfData(NSData::data(), 0, all).location,
              static_cast<NSUInteger>(NSNotFound));
    EXPECT_EQ(hay->rangeOfData(bytes("cab"), 0, NSMakeRange(0, 4)).location,
              static_cast<NSUInteger>(NSNotFound));
    EXPECT_THROW(hay->rangeOfData(bytes("a"), 0, NSMakeRange(0, 9)), ExceptionRaised);
}

TEST(NSData, EqualityAndCopies) {
    auto a = bytes("same");
    auto m = NSMutableData::dataWithData(a);
    EXPECT_TRUE(a->isEqual(m));
    EXPECT_EQ(a->hash(), m->hash());
    EXPECT_FALSE(a->isEqual(bytes("Same")));
    EXPECT_EQ(a->copy().get(), a.get());

    auto frozen = m->copy();
    EXPECT_FALSE(is<NSMutableData>(frozen));
    m->appendBytes("!", 1);
    EXPECT_EQ(frozen->view(), "same");
    auto thawed = a->mutableCopy();
    thawed->appendData(a);
    EXPECT_EQ(thawed->view(), "samesame");
    EXPECT_EQ(a->view(), "same");
}

TEST(NSData, NoCopyBuffers) {
    char stack[] = "outside";
    auto borrowed = NSData::dataWithBytesNoCopy(stack, 7, false);
    EXPECT_EQ(borrowed->bytes(), static_cast<const void*>(stack));
    // A mutable copy must not write into the borrowed buffer.
    auto m = borrowed->mutableCopy();
    static_cast<char*>(m->mutableBytes())[0] = 'O';
    EXPECT_EQ(std::string(stack), "outside");

    void* heap = std::malloc(4);
    std::memcpy(heap, "heap", 4);
    auto owned = NSData::dataWithBytesNoCopy(heap, 4);  // freed with the data
    EXPECT_EQ(owned->view(), "heap");
}

TEST(NSMutableData, GrowsShrinksAndZeroes) {
    auto m = NSMutableData::dataWithLength(4);
    EXPECT_EQ(m->view(), std::string(4, '\0'));
    std::memcpy(m->mutableBytes(), "abcd", 4);
    m->setLength(2);
    m->setLength(4);  // regrown bytes are zeroes, not the old "cd"
    EXPECT_EQ(m->view(), std::string("ab\0\0", 4));
    m->increaseLengthBy(1);
    EXPECT_EQ(m->length(), 5u);

    auto s = NSMutableData::dataWithBytes("xy", 2);
    for (int i = 0; i < 10; ++i)
        s->appendData(s);  // appending itself, across reallocations
    EXPECT_EQ(s->length(), 2048u);
    EXPECT_EQ(s->view().substr(2040), "xyxyxyxy");
    EXPECT_EQ(NSMutableData::dataWithCapacity(100)->length(), 0u);
}

// Small fields appended into room already there, from elsewhere and from the data's own bytes,
// and past the room.
TEST(NSMutableData, AppendsFieldsIntoItsRoom) {
    auto m = NSMutableData::dataWithCapacity(8);
    m->appendBytes("abc", 3);
    m->appendBytes(m->bytes(), 2);  // its own bytes, with room to spare
    EXPECT_EQ(m->view(), "abcab");
    m->appendBytes("de", 2);
    m->appendBytes(static_cast<const char*>(m->bytes()) + 3, 4);  // its own, past the room
    EXPECT_EQ(m->view(), "abcabdeabde");
    std::string expected(m->view());
    for (int i = 0; i < 100; ++i) {
        const char field[2] = {static_cast<char>('0' + i % 10), ';'};
        m->appendBytes(field, 2);
        expected.append(field, 2);
    }
    EXPECT_EQ(m->view(), expected);
}

TEST(NSMutableData, ReplacesAndResetsRanges) {
    auto m = NSMutableData::dataWithBytes("hello world", 11);
    m->replaceBytesInRange(NSMakeRange(0, 5), "HELLO");
    EXPECT_EQ(m->view(), "HELLO world");
    m->replaceBytesInRange(NSMakeRange(5, 1), "---", 3);
    EXPECT_EQ(m->view(), "HELLO---world");
    m->replaceBytesInRange(NSMakeRange(0, 8), "", 0);
    EXPECT_EQ(m->view(), "world");
    // Running past the end grows the data.
    m->replaceBytesInRange(NSMakeRange(3, 4), "LDS!");
    EXPECT_EQ(m->view(), "worLDS!");
    m->resetBytesInRange(NSMakeRange(1, 2));
    EXPECT_EQ(m->view(), std::string("w\0\0LDS!", 7));
    EXPECT_THROW(m->replaceBytesInRange(NSMakeRange(8, 0), "x", 1), ExceptionRaised);
    m->setData(bytes("new"));
    EXPECT_EQ(m->view(), "new");
    m->setData(nullptr);
    EXPECT_EQ(m->length(), 0u);
}

class NSDataFiles : public testing::Test {
protected:
    void SetUp() override {
        const char* base = std::getenv("BN_TEST_TMP");
        std::string templ = std::string(base ? base : "/tmp") + "/nsdata-XXXXXX";
        if (!::mkdtemp(templ.data())) {
            templ = "/tmp/nsdata-XXXXXX";
            ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        }
        dir_ = templ;
    }
    void TearDown() override {
        if (DIR* d = ::opendir(dir_.c_str())) {
            while (dirent* e = ::readdir(d)) {
                std::string name = e->d_name;
                if (name != "." && name != "..") ::unlink((dir_ + "/" + name).c_str());
            }
            ::closedir(d);
        }
        ::rmdir(dir_.c_str());
    }
    int entries() {
        int n = 0;
        DIR* d = ::opendir(dir_.c_str());
        while (dirent* e = ::readdir(d))
            n += std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0;
        ::closedir(d);
        return n;
    }
    Ref<NSString> path(const char* name) { return NSString::fromUTF8(dir_ + "/" + name); }
    std::string dir_;
};

TEST_F(NSDataFiles, WritesAndReadsBack) {
    auto d = bytes(std::string("bin\0ary", 7));
    ASSERT_TRUE(d->writeToFile(path("a.bin"), true));
    EXPECT_EQ(entries(), 1);  // no temporary left beside it
    auto back = NSData::dataWithContentsOfFile(path("a.bin"));
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->isEqualToData(d));

    // Overwriting, both ways, replaces the whole content.
    ASSERT_TRUE(bytes("xy")->writeToFile(path("a.bin"), false));
    EXPECT_EQ(NSData::dataWithContentsOfFile(path("a.bin"))->view(), "xy");
    ASSERT_TRUE(bytes("z")->writeToFile(path("a.bin"), true));
    EXPECT_EQ(NSMutableData::dataWithContentsOfFile(path("a.bin"))->view(), "z");

    EXPECT_EQ(NSData::dataWithContentsOfFile(path("missing")), nullptr);
    EXPECT_EQ(NSData::dataWithContentsOfFile(NSString::fromUTF8(dir_)), nullptr);
    EXPECT_FALSE(d->writeToFile(path("no/such/dir"), true));
    EXPECT_EQ(entries(), 1);

    // A file system without locks: the write goes on unlocked, and leaves nothing beside it.
    auto before = file_detail::exchangeLockCall([](int, int) {
        errno = ENOLCK;
        return -1;
    });
    EXPECT_TRUE(bytes("unlocked")->writeToFile(path("a.bin"), true));
    file_detail::exchangeLockCall(before);
    EXPECT_EQ(NSData::dataWithContentsOfFile(path("a.bin"))->view(), "unlocked");
    EXPECT_EQ(entries(), 1);
}

TEST(AtomicWrites, TheFirstWriteOfAProcessRemovesWhatWritesCutShortLeft) {
    // Two folders of the sandbox: an app home, and a folder outside it.
    namespace fs = std::filesystem;
    std::string sandbox = std::getenv("BAZAARNEST_HOME");
    std::string home = sandbox + "/sweep-home", outside = sandbox + "/sweep-outside";
    ::setenv("BAZAARNEST_HOME", home.c_str(), 1);
    for (const char* folder : {"/Library/Preferences", "/Library/Caches/videos",
                               "/Library/Caches/Ironvine", "/Documents"})
        fs::create_directories(home + folder);
    fs::create_directories(outside + "/deeper");
    fs::create_directories(outside + "/nolocks");
    fs::create_directories(outside + "/nolocks-ahead");
    // The app's clock is no measure of a file's age: a script's stands in 2012.
    ManualClockScope clock;
    constexpr NSTimeInterval kDay = 24 * 60 * 60;
    const auto wallNow = static_cast<NSTimeInterval>(::time(nullptr));
    // Made `age` seconds before the file system's now.
    auto put = [&](const std::string& path, NSTimeInterval age) {
        std::ofstream(path) << "half";
        NSTimeInterval when = wallNow - age;
        const timespec times[2] = {{static_cast<time_t>(when), 0}, {static_cast<time_t>(when), 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    };
    struct Case {
        std::string path;
        bool removed;
        NSTimeInterval age = 0;
    };
    const std::vector<Case> cases = {
        {home + "/Library/Caches/videos/.bnwriting-list.plist-Zz9Yy8", true},
        {home + "/Documents/.bnwriting-notes-000000", true},
        {outside + "/.bnwriting-state-q1W2e3", true},
        // Earlier writers' forms, beside a target written.
        {home + "/Library/Preferences/app.plist.writing-a1B2c3", true},
        {home + "/Library/Caches/videos/ad.mp4.writing-Zz9Yy8", true},  // a store of plain data
        // Its first form is no different from a person's own name, and only the URL cache made
        // ".tmp" files.
        {home + "/Library/Preferences/app.plist.a1B2c3", false},
        {home + "/Library/Preferences/app.plist.backup", false},
        {home + "/Library/Preferences/app.plist.tmp", false},
        // Beside a path a person chose, only the writer's own mark goes.
        {outside + "/home.png.backup", false},
        {outside + "/home.png.orig01", false},
        {outside + "/home.png.tmp", false},
        {outside + "/home.png.writing-abc123", false},
        // Even in the home: it goes only beside the app's own stores.
        {home + "/Documents/shot.png.writing-abc123", false},
        // Where the file system cannot lock, what no live write can hold any more.
        {outside + "/nolocks/.bnwriting-state-q1W2e3", true, kDay + 1},
        {outside + "/nolocks/.bnwriting-state-a1B2c3", false, kDay - 60},
        {outside + "/nolocks/.bnwriting-state-3days0", true, 3 * kDay},
        // Nor does a clock running two days ahead make a live write's file old.
        {outside + "/nolocks-ahead/.bnwriting-state-q1W2e3", false},
        // Not at the top of the folder written into outside the home.
        {outside + "/deeper/.bnwriting-state-q1W2e3", false},
        // Beside no target written: a package's own names.
        {home + "/Library/Caches/Ironvine/sprite.writing-atlas1", false},
        {home + "/Documents/notes.writing-000000", false},
        {home + "/Documents/.bnwriting-notes-a1B2c", false},
        // Not the writer's own names.
        {home + "/Documents/notes.writing-a1B2c", false},
        {home + "/Documents/notes.writing-a1B2c3d", false},
        {home + "/Documents/notes.writing-a1B-c3", false},
        {home + "/Documents/.writing-a1B2c3", false},
        {home + "/Documents/notes.a1B2c3", false},
        {home + "/Documents/notes.backup", false},
    };
    for (const auto& c : cases)
        put(c.path, c.age);
    // A folder or a link of that name is no write's leftover, and a file a write holds stays.
    fs::create_directories(home + "/Documents/.bnwriting-folder-a1B2c3");
    fs::create_symlink(home + "/Documents/notes.backup",
                       home + "/Documents/.bnwriting-link-a1B2c3");
    std::string held = home + "/Documents/.bnwriting-held-a1B2c3";
    int holder = ::open(held.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_SH), 0);

    ASSERT_TRUE(bytes("new")->writeToFile(NSString::fromUTF8(home + "/Documents/new.bin"), true));
    ASSERT_TRUE(bytes("new")->writeToFile(NSString::fromUTF8(outside + "/home.png"), true));
    ASSERT_TRUE(bytes("new")->writeToFile(NSString::fromUTF8(home + "/Documents/shot.png"), true));
    ASSERT_TRUE(NSDictionary::dictionary()->writeToFile(
        NSString::fromUTF8(home + "/Library/Preferences/app.plist"), true));
    ASSERT_TRUE(file_detail::writeDataAtomically(
        bytes("new").get(), NSString::fromUTF8(home + "/Library/Caches/videos/ad.mp4").get(),
        file_detail::Target::OwnStore));
    auto locking = file_detail::exchangeLockCall([](int, int) {
        errno = ENOLCK;
        return -1;
    });
    ASSERT_TRUE(bytes("new")->writeToFile(NSString::fromUTF8(outside + "/nolocks/state"), true));
    Clock::setNow(wallNow - NSTimeIntervalSince1970 + 2 * kDay);
    ASSERT_TRUE(
        bytes("new")->writeToFile(NSString::fromUTF8(outside + "/nolocks-ahead/state"), true));
    file_detail::exchangeLockCall(locking);
    for (const auto& c : cases)
        EXPECT_EQ(fs::exists(c.path), !c.removed) << c.path;
    EXPECT_TRUE(fs::is_directory(home + "/Documents/.bnwriting-folder-a1B2c3"));
    EXPECT_TRUE(fs::is_symlink(home + "/Documents/.bnwriting-link-a1B2c3"));
    EXPECT_TRUE(fs::exists(held));
    ::close(holder);

    // One sweep a process: what its own later writes find is theirs.
    put(home + "/Documents/.bnwriting-later-a1B2c3", 0);
    ASSERT_TRUE(bytes("again")->writeToFile(NSString::fromUTF8(home + "/Documents/new.bin"), true));
    EXPECT_TRUE(fs::exists(home + "/Documents/.bnwriting-later-a1B2c3"));
    ::setenv("BAZAARNEST_HOME", sandbox.c_str(), 1);
    fs::remove_all(home);
    fs::remove_all(outside);
}

}  // namespace
