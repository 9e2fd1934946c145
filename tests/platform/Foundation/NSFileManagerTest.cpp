#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"

namespace {

class NSFileManagerTest : public testing::Test {
protected:
    void SetUp() override {
        root_ = NSTemporaryDirectory()->utf8() + "fm-" +
                testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    Ref<NSString> path(const std::string& rel) { return str(root_ + "/" + rel); }
    void writeFile(const std::string& rel, const std::string& contents) {
        std::ofstream(root_ + "/" + rel, std::ios::binary) << contents;
    }
    std::string names(NSArray* a) {
        return a ? text(a->componentsJoinedByString(NS(","))) : "(nil)";
    }

    Ref<NSFileManager> fm = NSFileManager::defaultManager();
    std::string root_;
};

// The Cocoa code, the path and the underlying errno of an error.
void expectError(NSError* e, NSInteger code, const std::string& path, int err) {
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(text(e->domain()), "NSCocoaErrorDomain");
    EXPECT_EQ(e->code(), code);
    EXPECT_EQ(text(e->userInfo()->objectForKey(NSFilePathErrorKey)), path);
    auto under = as<NSError>(e->userInfo()->objectForKey(NSUnderlyingErrorKey));
    ASSERT_NE(under, nullptr);
    EXPECT_EQ(text(under->domain()), "NSPOSIXErrorDomain");
    EXPECT_EQ(under->code(), err);
}

TEST_F(NSFileManagerTest, CreatesFoldersWithAndWithoutIntermediates) {
    Ref<NSError> error;
    EXPECT_FALSE(fm->createDirectoryAtPath(path("a/b"), false, nullptr, &error));
    expectError(error, NSFileNoSuchFileError, root_ + "/a/b", ENOENT);

    auto attrs =
        NSDictionary::dictionaryWithObject(NSNumber::numberWithInt(0700), NSFilePosixPermissions);
    EXPECT_TRUE(fm->createDirectoryAtPath(path("a/b/c"), true, attrs, nullptr));
    bool isDir = false;
    EXPECT_TRUE(fm->fileExistsAtPath(path("a/b/c"), &isDir));
    EXPECT_TRUE(isDir);
    struct stat st;
    ASSERT_EQ(::stat((root_ + "/a/b/c").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    EXPECT_TRUE(fm->createDirectoryAtPath(path("a/b"), true, nullptr, nullptr));  // exists: fine
    error = nullptr;
    EXPECT_FALSE(fm->createDirectoryAtPath(path("a/b"), false, nullptr, &error));
    expectError(error, NSFileWriteFileExistsError, root_ + "/a/b", EEXIST);

    writeFile("file", "x");
    EXPECT_FALSE(fm->createDirectoryAtPath(path("file"), true, nullptr, nullptr));
}

TEST_F(NSFileManagerTest, FilesAreWrittenReadAndRemoved) {
    auto data = NSData::dataWithBytes("hello", 5);
    EXPECT_TRUE(fm->createFileAtPath(path("f.txt"), data, nullptr));
    EXPECT_TRUE(fm->createFileAtPath(path("empty"), nullptr, nullptr));
    EXPECT_TRUE(fm->contentsAtPath(path("f.txt"))->isEqualToData(data));
    EXPECT_EQ(fm->contentsAtPath(path("empty"))->length(), 0u);
    EXPECT_EQ(fm->contentsAtPath(path("missing")), nullptr);
    bool isDir = true;
    EXPECT_TRUE(fm->fileExistsAtPath(path("f.txt"), &isDir));
    EXPECT_FALSE(isDir);
    EXPECT_FALSE(fm->createFileAtPath(path("no/such/folder/f"), data, nullptr));

    fm->createDirectoryAtPath(path("tree/x/y"), true, nullptr, nullptr);
    writeFile("tree/x/y/z", "1");
    EXPECT_TRUE(fm->removeItemAtPath(path("tree"), nullptr));
    EXPECT_FALSE(fm->fileExistsAtPath(path("tree")));

    Ref<NSError> error;
    EXPECT_FALSE(fm->removeItemAtPath(path("tree"), &error));
    expectError(error, NSFileNoSuchFileError, root_ + "/tree", ENOENT);
}

TEST_F(NSFileManagerTest, MoveAndCopyRefuseAnExistingDestination) {
    writeFile("src", "source");
    writeFile("dst", "old");
    Ref<NSError> error;
    EXPECT_FALSE(fm->moveItemAtPath(path("src"), path("dst"), &error));
    expectError(error, NSFileWriteFileExistsError, root_ + "/dst", EEXIST);
    EXPECT_FALSE(fm->copyItemAtPath(path("src"), path("dst"), nullptr));
    EXPECT_EQ(fm->contentsAtPath(path("dst"))->view(), "old");

    error = nullptr;
    EXPECT_FALSE(fm->moveItemAtPath(path("nothing"), path("x"), &error));
    expectError(error, NSFileNoSuchFileError, root_ + "/nothing", ENOENT);

    EXPECT_TRUE(fm->moveItemAtPath(path("src"), path("moved"), nullptr));
    EXPECT_FALSE(fm->fileExistsAtPath(path("src")));
    EXPECT_EQ(fm->contentsAtPath(path("moved"))->view(), "source");
}

TEST_F(NSFileManagerTest, CopiesWholeTreesWithLinksAndTimes) {
    fm->createDirectoryAtPath(path("t/sub"), true, nullptr, nullptr);
    writeFile("t/a", "A");
    writeFile("t/sub/b", "B");
    ASSERT_TRUE(fm->createSymbolicLinkAtPath(path("t/link"), NS("a"), nullptr));
    auto old = NSDate::dateWithTimeIntervalSince1970(1000000000);
    fm->setAttributes(NSDictionary::dictionaryWithObject(old, NSFileModificationDate), path("t/a"),
                      nullptr);

    ASSERT_TRUE(fm->copyItemAtPath(path("t"), path("u"), nullptr));
    EXPECT_TRUE(fm->contentsEqualAtPath(path("t"), path("u")));
    EXPECT_EQ(text(fm->destinationOfSymbolicLinkAtPath(path("u/link"), nullptr)), "a");
    auto copied = as<NSDate>(
        fm->attributesOfItemAtPath(path("u/a"), nullptr)->objectForKey(NSFileModificationDate));
    EXPECT_NEAR(copied->timeIntervalSince1970(), 1000000000, 1e-3);

    writeFile("u/sub/b", "changed");
    EXPECT_FALSE(fm->contentsEqualAtPath(path("t"), path("u")));
}

TEST_F(NSFileManagerTest, ListsFoldersInNameOrder) {
    fm->createDirectoryAtPath(path("d/b/inner"), true, nullptr, nullptr);
    writeFile("d/c", "");
    writeFile("d/a", "");
    writeFile("d/b/inner/x", "");
    EXPECT_EQ(names(fm->contentsOfDirectoryAtPath(path("d"), nullptr)), "a,b,c");
    EXPECT_EQ(names(fm->subpathsOfDirectoryAtPath(path("d"), nullptr)), "a,b,b/inner,b/inner/x,c");

    Ref<NSError> error;
    EXPECT_EQ(fm->contentsOfDirectoryAtPath(path("none"), &error), nullptr);
    expectError(error, NSFileReadNoSuchFileError, root_ + "/none", ENOENT);

    auto walk = fm->enumeratorAtPath(path("d"));
    ASSERT_NE(walk, nullptr);
    std::string seen;
    while (auto next = walk->nextObject()) {
        seen += text(next) + "@" + std::to_string(walk->level()) + " ";
        if (text(next) == "b/inner") walk->skipDescendents();
    }
    EXPECT_EQ(seen, "a@1 b@1 b/inner@2 c@1 ");
    EXPECT_EQ(fm->enumeratorAtPath(path("none")), nullptr);
}

TEST_F(NSFileManagerTest, AttributesRoundTrip) {
    writeFile("f", "12345");
    auto a = fm->attributesOfItemAtPath(path("f"), nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(as<NSNumber>(a->objectForKey(NSFileSize))->unsignedLongLongValue(), 5u);
    EXPECT_EQ(text(a->objectForKey(NSFileType)), "NSFileTypeRegular");
    EXPECT_NE(as<NSDate>(a->objectForKey(NSFileCreationDate)), nullptr);

    auto modified = NSDate::dateWithTimeIntervalSince1970(1330603200.25);
    auto accessed = NSDate::dateWithTimeIntervalSince1970(1330000000.5);
    auto change = NSDictionary::dictionaryWithPairs(
        {{NSFileModificationDate, modified},
         {NSFileAccessDate, accessed},
         {NSFilePosixPermissions, NSNumber::numberWithInt(0640)}});
    ASSERT_TRUE(fm->setAttributes(change, path("f"), nullptr));
    a = fm->attributesOfItemAtPath(path("f"), nullptr);
    EXPECT_NEAR(as<NSDate>(a->objectForKey(NSFileModificationDate))->timeIntervalSince1970(),
                1330603200.25, 1e-5);
    EXPECT_NEAR(as<NSDate>(a->objectForKey(NSFileAccessDate))->timeIntervalSince1970(),
                1330000000.5, 1e-5);
    EXPECT_EQ(as<NSNumber>(a->objectForKey(NSFilePosixPermissions))->intValue(), 0640);

    // Setting only the access time leaves the modification time alone.
    fm->setAttributes(NSDictionary::dictionaryWithObject(modified, NSFileAccessDate), path("f"),
                      nullptr);
    a = fm->attributesOfItemAtPath(path("f"), nullptr);
    EXPECT_NEAR(as<NSDate>(a->objectForKey(NSFileModificationDate))->timeIntervalSince1970(),
                1330603200.25, 1e-5);

    Ref<NSError> error;
    EXPECT_EQ(fm->attributesOfItemAtPath(path("gone"), &error), nullptr);
    expectError(error, NSFileReadNoSuchFileError, root_ + "/gone", ENOENT);
    error = nullptr;
    EXPECT_FALSE(fm->setAttributes(change, path("gone"), &error));
    expectError(error, NSFileNoSuchFileError, root_ + "/gone", ENOENT);
}

TEST_F(NSFileManagerTest, SymbolicLinks) {
    writeFile("target", "t");
    ASSERT_TRUE(fm->createSymbolicLinkAtPath(path("link"), path("target"), nullptr));
    EXPECT_EQ(text(fm->destinationOfSymbolicLinkAtPath(path("link"), nullptr)), root_ + "/target");
    EXPECT_EQ(text(fm->attributesOfItemAtPath(path("link"), nullptr)->objectForKey(NSFileType)),
              "NSFileTypeSymbolicLink");
    EXPECT_EQ(fm->contentsAtPath(path("link"))->view(), "t");

    Ref<NSError> error;
    EXPECT_FALSE(fm->createSymbolicLinkAtPath(path("link"), path("target"), &error));
    expectError(error, NSFileWriteFileExistsError, root_ + "/link", EEXIST);

    // Removing the link leaves its target; a dangling link does not "exist".
    ASSERT_TRUE(fm->removeItemAtPath(path("target"), nullptr));
    EXPECT_FALSE(fm->fileExistsAtPath(path("link")));
    EXPECT_TRUE(fm->removeItemAtPath(path("link"), nullptr));
    error = nullptr;
    EXPECT_EQ(fm->destinationOfSymbolicLinkAtPath(path("link"), &error), nullptr);
    expectError(error, NSFileReadNoSuchFileError, root_ + "/link", ENOENT);
}

TEST_F(NSFileManagerTest, AccessChecks) {
    writeFile("f", "x");
    EXPECT_TRUE(fm->isReadableFileAtPath(path("f")));
    EXPECT_TRUE(fm->isWritableFileAtPath(path("f")));
    EXPECT_TRUE(fm->isDeletableFileAtPath(path("f")));
    EXPECT_FALSE(fm->isReadableFileAtPath(path("none")));
    EXPECT_FALSE(fm->isDeletableFileAtPath(path("none")));
}

TEST_F(NSFileManagerTest, PermissionErrorsCarryTheirCodes) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the super-user";
    fm->createDirectoryAtPath(path("locked"), false, nullptr, nullptr);
    writeFile("locked/f", "x");
    ::chmod((root_ + "/locked").c_str(), 0500);
    Ref<NSError> error;
    EXPECT_FALSE(fm->createDirectoryAtPath(path("locked/sub"), false, nullptr, &error));
    expectError(error, NSFileWriteNoPermissionError, root_ + "/locked/sub", EACCES);
    EXPECT_FALSE(fm->isDeletableFileAtPath(path("locked/f")));
    ::chmod((root_ + "/locked").c_str(), 0000);
    error = nullptr;
    EXPECT_EQ(fm->contentsOfDirectoryAtPath(path("locked"), &error), nullptr);
    expectError(error, NSFileReadNoPermissionError, root_ + "/locked", EACCES);
    ::chmod((root_ + "/locked").c_str(), 0700);
}

TEST_F(NSFileManagerTest, CurrentFolderChanges) {
    auto before = fm->currentDirectoryPath();
    ASSERT_TRUE(fm->changeCurrentDirectoryPath(str(root_)));
    EXPECT_EQ(text(fm->currentDirectoryPath()), std::filesystem::canonical(root_).string());
    EXPECT_FALSE(fm->changeCurrentDirectoryPath(path("none")));
    ASSERT_TRUE(fm->changeCurrentDirectoryPath(before));
}

}  // namespace
