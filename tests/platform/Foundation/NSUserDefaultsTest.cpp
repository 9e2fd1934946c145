#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSUserDefaults.h"

namespace {

namespace fs = std::filesystem;

// Every test starts from a store without a file, as on a first launch.
class NSUserDefaultsTest : public testing::Test {
protected:
    void SetUp() override {
        NSUserDefaults::resetStandardUserDefaults();
        file_ = NSUserDefaults::standardUserDefaults()->path()->utf8();
        removeFiles();
        NSUserDefaults::resetStandardUserDefaults();
    }
    void TearDown() override {
        removeFiles();
        NSUserDefaults::resetStandardUserDefaults();
    }
    void removeFiles() {
        for (auto& e : fs::directory_iterator(fs::path(file_).parent_path())) {
            if (e.path().string().rfind(file_, 0) == 0) fs::remove_all(e.path());
        }
    }
    // Simulates quitting and launching again.
    Ref<NSUserDefaults> restart() {
        NSUserDefaults::resetStandardUserDefaults();
        return NSUserDefaults::standardUserDefaults();
    }
    std::string fileText() {
        auto d = NSData::dataWithContentsOfFile(str(file_));
        return d ? std::string(d->view()) : std::string();
    }
    std::vector<std::string> filesBeside() {
        std::vector<std::string> names;
        for (auto& e : fs::directory_iterator(fs::path(file_).parent_path()))
            names.push_back(e.path().filename().string());
        return names;
    }

    std::string file_;
};

TEST_F(NSUserDefaultsTest, LivesInThePreferencesFolder) {
    EXPECT_EQ(file_,
              NSHomeDirectory()->utf8() + "/Library/Preferences/com.bazaarnest.mobile.plist");
}

TEST_F(NSUserDefaultsTest, ValuesConvertOnReading) {
    auto d = NSUserDefaults::standardUserDefaults();
    d->setObject(NS("42"), NS("text"));
    d->setObject(NS("YES"), NS("yes"));
    d->setObject(NS("true"), NS("true"));
    d->setObject(NS("0"), NS("zero"));
    d->setObject(NSNumber::numberWithDouble(2.5), NS("number"));
    EXPECT_EQ(d->integerForKey(NS("text")), 42);
    EXPECT_EQ(d->doubleForKey(NS("text")), 42.0);
    EXPECT_TRUE(d->boolForKey(NS("text")));
    EXPECT_TRUE(d->boolForKey(NS("yes")));
    EXPECT_TRUE(d->boolForKey(NS("true")));
    EXPECT_FALSE(d->boolForKey(NS("zero")));
    EXPECT_EQ(text(d->stringForKey(NS("number"))), "2.5");
    EXPECT_EQ(d->integerForKey(NS("number")), 2);
    EXPECT_EQ(d->floatForKey(NS("number")), 2.5f);
    EXPECT_EQ(d->arrayForKey(NS("text")), nullptr);
    // Missing keys read as nothing.
    EXPECT_EQ(d->stringForKey(NS("missing")), nullptr);
    EXPECT_EQ(d->integerForKey(NS("missing")), 0);
    EXPECT_FALSE(d->boolForKey(NS("missing")));
    EXPECT_EQ(d->doubleForKey(NS("missing")), 0.0);
    EXPECT_EQ(d->objectForKey(nullptr), nullptr);

    d->setObject(NSArray::arrayWithObjects({NS("a"), NS("b")}), NS("strings"));
    d->setObject(NSArray::arrayWithObjects({NS("a"), NSNumber::numberWithInt(1)}), NS("mixed"));
    EXPECT_EQ(d->stringArrayForKey(NS("strings"))->count(), 2u);
    EXPECT_EQ(d->stringArrayForKey(NS("mixed")), nullptr);
    EXPECT_EQ(d->arrayForKey(NS("mixed"))->count(), 2u);
}

TEST_F(NSUserDefaultsTest, ValuesSurviveARestart) {
    ManualClockScope clock;
    auto d = NSUserDefaults::standardUserDefaults();
    d->setBool(true, NS("askedForRating"));
    d->setInteger(7, NS("runCount1"));
    d->setObject(NSDate::date(), NS("fistRun1"));
    d->setObject(NSData::dataWithBytes("\x01\x02", 2), NS("blob"));
    d->setURL(NSURL::URLWithString(NS("http://example.com/a")), NS("url"));
    d->setObject(NS("gone"), NS("removed"));
    d->removeObjectForKey(NS("removed"));
    d->setObject(NS("x"), NS("nil-removes"));
    d->setObject(nullptr, NS("nil-removes"));
    EXPECT_TRUE(d->synchronize());

    EXPECT_NE(fileText().find("<key>askedForRating</key>\n\t<true/>"), std::string::npos);
    struct stat st;
    ASSERT_EQ(::stat(file_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    auto again = restart();
    EXPECT_NE(again.get(), d.get());
    EXPECT_TRUE(again->boolForKey(NS("askedForRating")));
    EXPECT_TRUE(as<NSNumber>(again->objectForKey(NS("askedForRating")))->isBoolean());
    EXPECT_EQ(again->integerForKey(NS("runCount1")), 7);
    EXPECT_TRUE(again->objectForKey(NS("fistRun1"))->isEqual(NSDate::date()));
    EXPECT_EQ(again->dataForKey(NS("blob"))->length(), 2u);
    EXPECT_EQ(text(again->URLForKey(NS("url"))), "http://example.com/a");
    EXPECT_EQ(again->objectForKey(NS("removed")), nullptr);
    EXPECT_EQ(again->objectForKey(NS("nil-removes")), nullptr);
}

TEST_F(NSUserDefaultsTest, StoredContainersAreCopies) {
    auto d = NSUserDefaults::standardUserDefaults();
    auto list = NSMutableArray::arrayWithObject(NS("first"));
    d->setObject(list, NS("list"));
    list->addObject(NS("later"));
    EXPECT_EQ(d->arrayForKey(NS("list"))->count(), 1u);
    EXPECT_FALSE(is<NSMutableArray>(d->arrayForKey(NS("list"))));
}

TEST_F(NSUserDefaultsTest, NonPropertyListValuesRaise) {
    auto d = NSUserDefaults::standardUserDefaults();
    EXPECT_EQ(raisedName([&] { d->setObject(NSNull::null(), NS("k")); }),
              "NSInvalidArgumentException");
    EXPECT_EQ(raisedName([&] { d->setObject(NSArray::arrayWithObject(NSNull::null()), NS("k")); }),
              "NSInvalidArgumentException");
    EXPECT_EQ(raisedName([&] { d->setObject(NS("v"), nullptr); }), "NSInvalidArgumentException");
    EXPECT_EQ(d->objectForKey(NS("k")), nullptr);
}

TEST_F(NSUserDefaultsTest, RegisteredDefaultsLieUnderStoredValues) {
    auto d = NSUserDefaults::standardUserDefaults();
    d->registerDefaults(NSDictionary::dictionaryWithPairs(
        {{NS("Region"), NS("US")}, {NS("theme"), NSNumber::numberWithInt(1)}}));
    d->registerDefaults(NSDictionary::dictionaryWithObject(NS("CA"), NS("Region")));
    EXPECT_EQ(text(d->stringForKey(NS("Region"))), "CA");
    d->setObject(NS("GB"), NS("Region"));
    EXPECT_EQ(text(d->stringForKey(NS("Region"))), "GB");
    auto all = d->dictionaryRepresentation();
    EXPECT_EQ(text(all->objectForKey(NS("Region"))), "GB");
    EXPECT_EQ(d->integerForKey(NS("theme")), 1);
    EXPECT_EQ(fileText().find("theme"), std::string::npos);  // never written
    d->removeObjectForKey(NS("Region"));
    EXPECT_EQ(text(d->stringForKey(NS("Region"))), "CA");
    EXPECT_EQ(restart()->objectForKey(NS("theme")), nullptr);  // registrations are volatile
}

TEST_F(NSUserDefaultsTest, ADamagedFileIsMovedAside) {
    std::ofstream(file_) << "<plist><dict><key>broken";
    auto d = restart();
    EXPECT_EQ(d->persistentDomain()->count(), 0u);
    std::string aside;
    for (const auto& name : filesBeside())
        if (name.find(".damaged-") != std::string::npos) aside = name;
    ASSERT_FALSE(aside.empty());
    std::ifstream in(fs::path(file_).parent_path() / aside);
    std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "<plist><dict><key>broken");
    // The store works on: the next change writes a good file.
    d->setInteger(1, NS("after"));
    EXPECT_EQ(restart()->integerForKey(NS("after")), 1);
}

TEST_F(NSUserDefaultsTest, AFailedWriteLeavesTheOldFileWhole) {
    std::string folder = NSTemporaryDirectory()->utf8() + "defaults-atomic";
    fs::remove_all(folder);
    fs::create_directories(folder);
    auto d = make<NSUserDefaults>(&NSUserDefaults::initWithFile, str(folder + "/prefs.plist"));
    ASSERT_NE(d, nullptr);
    d->setObject(NS("v"), NS("k"));
    EXPECT_TRUE(d->synchronize());
    // Something takes the file's place that a rename cannot replace.
    fs::remove(folder + "/prefs.plist");
    fs::create_directories(folder + "/prefs.plist/inside");
    d->setObject(NS("v2"), NS("k"));
    EXPECT_FALSE(d->synchronize());
    EXPECT_EQ(text(d->stringForKey(NS("k"))), "v2");  // kept in memory
    EXPECT_TRUE(fs::is_directory(folder + "/prefs.plist/inside"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

    if (::geteuid() != 0) {
        // A folder that refuses the temporary file: the old file stays as it was.
        fs::remove_all(folder);
        fs::create_directories(folder);
        auto store = make<NSUserDefaults>(&NSUserDefaults::initWithFile, str(folder + "/p.plist"));
        store->setObject(NS("old"), NS("k"));
        ::chmod(folder.c_str(), 0500);
        store->setObject(NS("new"), NS("k"));
        ::chmod(folder.c_str(), 0700);
        auto reread = make<NSUserDefaults>(&NSUserDefaults::initWithFile, str(folder + "/p.plist"));
        EXPECT_EQ(text(reread->stringForKey(NS("k"))), "old");
    }
    fs::remove_all(folder);
}

TEST_F(NSUserDefaultsTest, ConcurrentWritersLoseNothing) {
    auto d = NSUserDefaults::standardUserDefaults();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([d, t] {
            NSAutoreleasePool pool;
            for (int i = 0; i < 10; ++i) {
                auto key = NSString::stringWithFormat(NS("t%d-%d"), t, i);
                d->setInteger(i, key);
                EXPECT_EQ(d->integerForKey(key), i);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    auto again = restart();
    EXPECT_EQ(again->persistentDomain()->count(), 40u);
    EXPECT_EQ(again->integerForKey(NS("t3-9")), 9);
}

}  // namespace

TEST_F(NSUserDefaultsTest, LanguagesAreRegisteredFromTheProcessLocale) {
    const char* oldAll = std::getenv("LC_ALL");
    const char* oldLang = std::getenv("LANG");
    std::string keepAll = oldAll ? oldAll : "", keepLang = oldLang ? oldLang : "";
    unsetenv("LC_ALL");
    setenv("LANG", "de_DE.UTF-8", 1);
    auto d = restart();
    EXPECT_EQ(text(d->stringArrayForKey(NS("AppleLanguages"))),
              text(NSArray::arrayWithObject(NS("de"))));
    // Registered, not stored: the file does not get it and a stored value wins.
    d->setObject(NSArray::arrayWithObject(NS("fr")), NS("AppleLanguages"));
    EXPECT_EQ(text(d->stringArrayForKey(NS("AppleLanguages"))->objectAtIndex(0)), "fr");
    d->removeObjectForKey(NS("AppleLanguages"));
    EXPECT_EQ(fileText().find("AppleLanguages"), std::string::npos);
    setenv("LANG", "C", 1);
    EXPECT_EQ(text(restart()->stringArrayForKey(NS("AppleLanguages"))->objectAtIndex(0)), "en");
    if (oldAll) setenv("LC_ALL", keepAll.c_str(), 1);
    if (oldLang)
        setenv("LANG", keepLang.c_str(), 1);
    else
        unsetenv("LANG");
    restart();
}
