#include "ads/ironvine/IVZip.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "IronvineTesting.h"
#include "support/FoundationTesting.h"

namespace {

using ivtest::ZipEntry;

struct ZipFolder : ::testing::Test {
    void SetUp() override {
        dir = NSTemporaryDirectory()->utf8() + "ivzip-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    bool unzip(const std::vector<ZipEntry>& entries, const std::string& into = "out") {
        ivtest::writeZip(dir + "/a.zip", entries);
        return IVZip::unzipPackage(str(dir + "/a.zip").get(), str(dir + "/" + into).get());
    }
    std::string dir;
};

TEST_F(ZipFolder, UnpacksTheSameTree) {
    std::string big(100000, 'z');
    for (size_t i = 0; i < big.size(); i += 7)
        big[i] = static_cast<char>('a' + i % 26);
    EXPECT_TRUE(unzip({{"assets/", ""},
                       {"assets/img/logo.png", "\x89PNG...", false},
                       {"assets/empty.txt", ""},
                       {"index.html", "<p>hi</p>"},
                       {"deep/a/b/c.js", big}}));
    std::map<std::string, std::string> expected = {{"assets", "/"},
                                                   {"assets/img", "/"},
                                                   {"assets/img/logo.png", "\x89PNG..."},
                                                   {"assets/empty.txt", ""},
                                                   {"index.html", "<p>hi</p>"},
                                                   {"deep", "/"},
                                                   {"deep/a", "/"},
                                                   {"deep/a/b", "/"},
                                                   {"deep/a/b/c.js", big}};
    EXPECT_EQ(ivtest::tree(dir + "/out"), expected);
}

TEST_F(ZipFolder, NothingIsWrittenOutsideTheDestination) {
    std::string longName(300, 'n');
    EXPECT_TRUE(unzip({{"../x", "escape"},
                       {"/abs", "absolute"},
                       {"a/../../y", "escape"},
                       {longName, "too long"},
                       {"kept.txt", "ok"}},
                      "dest/inner"));
    EXPECT_EQ(ivtest::tree(dir + "/dest"),
              (std::map<std::string, std::string>{{"inner", "/"}, {"inner/kept.txt", "ok"}}));
    EXPECT_FALSE(std::filesystem::exists(dir + "/x"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/dest/x"));
    EXPECT_FALSE(std::filesystem::exists("/abs"));
}

TEST_F(ZipFolder, UnderstatedSizesAndDamageAreNotTrusted) {
    EXPECT_FALSE(unzip({{"short.txt", "hello world", false, 5}, {"fine.txt", "fine"}}));
    // The damaged entry leaves nothing half-written; the others are there.
    EXPECT_EQ(ivtest::tree(dir + "/out"),
              (std::map<std::string, std::string>{{"fine.txt", "fine"}}));
    std::string bytes = ivtest::writeZip(dir + "/t.zip", {{"a.txt", std::string(5000, 'a')}});
    ivtest::writeFile(dir + "/t.zip", bytes.substr(0, bytes.size() / 2));
    EXPECT_FALSE(IVZip::unzipPackage(str(dir + "/t.zip").get(), str(dir + "/t").get()));
    EXPECT_FALSE(IVZip::unzipPackage(str(dir + "/none.zip").get(), str(dir + "/n").get()));
}

}  // namespace
