#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSPathUtilities.h"

namespace {

bool isFolder(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Points the sandbox variables elsewhere for one test and puts them back afterwards.
class EnvScope {
public:
    EnvScope() {
        for (const char* name : {"BAZAARNEST_HOME", "XDG_DATA_HOME"}) {
            const char* v = std::getenv(name);
            saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
    }
    ~EnvScope() {
        for (auto& [name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

std::string freshFolder(const char* name) {
    std::string base = std::string(std::getenv("BAZAARNEST_HOME")) + "/paths-" + name;
    std::filesystem::remove_all(base);
    return base;
}

TEST(NSPathUtilities, HomeIsMadeWithTheSandboxFolders) {
    std::string home = freshFolder("home");
    EnvScope env;
    setenv("BAZAARNEST_HOME", (home + "//").c_str(), 1);  // trailing slashes are dropped
    EXPECT_EQ(NSHomeDirectory()->utf8(), home);
    for (const char* sub : {"Documents", "Library", "Library/Caches", "Library/Preferences", "tmp"})
        EXPECT_TRUE(isFolder(home + "/" + sub)) << sub;
    EXPECT_EQ(NSTemporaryDirectory()->utf8(), home + "/tmp/");
}

TEST(NSPathUtilities, FallsBackToTheDataHome) {
    std::string data = freshFolder("xdg");
    EnvScope env;
    unsetenv("BAZAARNEST_HOME");
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    EXPECT_EQ(NSHomeDirectory()->utf8(), data + "/bazaarnest");
    EXPECT_TRUE(isFolder(data + "/bazaarnest/Library/Caches"));
}

// The test program's sandbox takes in the person's home too: without the app's variables the
// home falls back under it, never into the person's own data folder.
TEST(NSPathUtilities, WithoutItsVariablesTheHomeStaysInTheTestSandbox) {
    std::string sandbox = std::getenv("BAZAARNEST_HOME");
    EnvScope env;
    unsetenv("BAZAARNEST_HOME");
    unsetenv("XDG_DATA_HOME");
    std::string home = NSHomeDirectory()->utf8();
    EXPECT_EQ(home.rfind(sandbox + "/", 0), 0u) << home;
    EXPECT_EQ(home, std::string(std::getenv("HOME")) + "/.local/share/bazaarnest");
    EXPECT_TRUE(isFolder(home + "/Library/Caches"));
}

TEST(NSPathUtilities, SearchPathsNameTheSandboxFolders) {
    std::string home = NSHomeDirectory()->utf8();
    auto first = [](NSSearchPathDirectory d, NSSearchPathDomainMask m, bool expand) {
        auto a = NSSearchPathForDirectoriesInDomains(d, m, expand);
        return a->count() == 1 ? text(a->objectAtIndex(0)) : std::to_string(a->count());
    };
    EXPECT_EQ(first(NSDocumentDirectory, NSUserDomainMask, true), home + "/Documents");
    EXPECT_EQ(first(NSLibraryDirectory, NSUserDomainMask, true), home + "/Library");
    EXPECT_EQ(first(NSCachesDirectory, NSUserDomainMask, true), home + "/Library/Caches");
    EXPECT_EQ(first(NSApplicationSupportDirectory, NSUserDomainMask, true),
              home + "/Library/Application Support");
    EXPECT_EQ(first(NSDocumentDirectory, NSUserDomainMask, false), "~/Documents");
    EXPECT_EQ(first(NSDocumentDirectory, NSAllDomainsMask, true), home + "/Documents");
    EXPECT_EQ(first(NSDocumentDirectory, NSSystemDomainMask, true), "0");
    EXPECT_EQ(first(NSDesktopDirectory, NSUserDomainMask, true), "0");
}

TEST(NSPathUtilities, UserNameIsNotEmpty) {
    EXPECT_GT(NSUserName()->length(), 0u);
}

}  // namespace
