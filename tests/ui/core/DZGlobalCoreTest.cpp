#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "DodizTesting.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSURLError.h"
#include "Foundation/NSUserDefaults.h"
#include "UIKit/UIApplication.h"
#include "support/FoundationTesting.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZRecursiveProgress.h"

namespace {

class CoreMember : public NSObject {
    NS_OBJECT(CoreMember, NSObject)
};

TEST(DZGlobalCore, WeakCollectionsKeepNothingAlive) {
    auto list = DZNewWeakMutableArray();
    auto map = DZNewWeakMutableDictionary();
    Weak<CoreMember> gone;
    {
        auto member = make<CoreMember>();
        gone = member;
        list->addObject(member);
        map->setObject(member, NS("key"));
        EXPECT_EQ(list->count(), 1u);
        EXPECT_EQ(map->objectForKey(NS("key")).get(), member.get());
    }
    EXPECT_FALSE(gone.alive());
    EXPECT_EQ(list->count(), 0u);
    EXPECT_EQ(map->count(), 0u);
    int token = 5;
    EXPECT_EQ(DZWeakRetainCallback(nullptr, &token), &token);
    DZWeakReleaseCallback(nullptr, &token);
    EXPECT_EQ(token, 5);
}

TEST(DZGlobalCore, NonEmptyStringsOnly) {
    EXPECT_FALSE(DZIsNonEmptyString(NS("")));
    EXPECT_FALSE(DZIsNonEmptyString(nullptr));
    EXPECT_FALSE(DZIsNonEmptyString(NSNumber::numberWithInt(1)));
    EXPECT_TRUE(DZIsNonEmptyString(NS("x")));
}

class PreferredLocale : public testing::Test {
protected:
    void TearDown() override {
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("AppleLanguages"));
    }
};

TEST_F(PreferredLocale, FirstOfTheUsersLanguagesElseTheCurrentLocale) {
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->removeObjectForKey(NS("AppleLanguages"));
    Ref<NSArray> registered = defaults->arrayForKey(NS("AppleLanguages"));
    // The platform registers the process's language; with no list at all, the current locale.
    defaults->registerDefaults(
        NSDictionary::dictionaryWithObjectsAndKeys({NSArray::array(), NS("AppleLanguages")}));
    EXPECT_EQ(text(DZPreferredLocale()->localeIdentifier()),
              text(NSLocale::currentLocale()->localeIdentifier()));
    defaults->setObject(NSArray::array(), NS("AppleLanguages"));
    EXPECT_EQ(text(DZPreferredLocale()->localeIdentifier()),
              text(NSLocale::currentLocale()->localeIdentifier()));
    defaults->setObject(NSArray::arrayWithObjects({NS("fr"), NS("de")}), NS("AppleLanguages"));
    EXPECT_EQ(text(DZPreferredLocale()->localeIdentifier()), "fr");
    defaults->removeObjectForKey(NS("AppleLanguages"));
    if (registered)
        defaults->registerDefaults(
            NSDictionary::dictionaryWithObjectsAndKeys({registered.get(), NS("AppleLanguages")}));
}

TEST(DZGlobalCore, TextsComeFromTheFrameworkBundle) {
    EXPECT_EQ(text(DZBundleLocalizedString(NS("Today"), NS("a comment"))), "This day");
    EXPECT_EQ(text(DZBundleLocalizedString(NS("Not in the table"), nullptr)), "Not in the table");
    // The main bundle's own table is not the framework's.
    EXPECT_EQ(text(NSBundle::mainBundle()->localizedStringForKey(NS("Today"), nullptr, nullptr)),
              "Today");
}

TEST(DZGlobalCore, ErrorTitles) {
    auto url = [](NSInteger code) {
        return DZUserErrorTitle(NSError::errorWithDomain(NSURLErrorDomain, code, nullptr));
    };
    EXPECT_EQ(text(url(NSURLErrorTimedOut)), "Timed out!");
    EXPECT_EQ(text(url(NSURLErrorNotConnectedToInternet)), "Offline!");
    EXPECT_EQ(text(url(NSURLErrorCannotConnectToHost)), "Connection trouble!");
    EXPECT_EQ(text(DZUserErrorTitle(NSError::errorWithDomain(NS("other"), -1001, nullptr))),
              "Trouble!");
}

TEST(DZGlobalCore, DecimalNumbersAreGrouped) {
    EXPECT_EQ(text(DZDecimalStringFromInt(1234567)), "1,234,567");
    EXPECT_EQ(text(DZDecimalStringFromInt(-1000)), "-1,000");
    EXPECT_EQ(text(DZDecimalStringFromInt(12)), "12");
}

TEST(DZGlobalCore, SchemesAndResourcePaths) {
    EXPECT_TRUE(DZHasBundleScheme(NS("bundle://Dodiz20.bundle/images/backIcon.png")));
    EXPECT_FALSE(DZHasBundleScheme(NS("bundle:/x")));
    EXPECT_FALSE(DZHasBundleScheme(NS("documents://x")));
    EXPECT_TRUE(DZHasDocumentsScheme(NS("documents://photo.jpg")));
    EXPECT_FALSE(DZHasDocumentsScheme(NS("document://photo.jpg")));
    EXPECT_FALSE(DZHasDocumentsScheme(nullptr));
    EXPECT_EQ(text(DZBundleResourcePath(NS("a/b.png"))),
              text(NSBundle::mainBundle()->resourcePath()->stringByAppendingPathComponent(
                  NS("a/b.png"))));
    Ref<NSString> docs = DZDocumentsResourcePath(NS("c.txt"));
    EXPECT_EQ(text(docs), text(NSHomeDirectory()
                                   ->stringByAppendingPathComponent(NS("Documents"))
                                   ->stringByAppendingPathComponent(NS("c.txt"))));
}

TEST(DZGlobalCore, TheDocumentsPathFollowsTheHomeFolder) {
    EXPECT_TRUE(DZDocumentsResourcePath(nullptr)->hasPrefix(NSHomeDirectory()));  // first use
    std::string previous = std::getenv("BAZAARNEST_HOME");
    std::string home = previous + "/another-home";
    setenv("BAZAARNEST_HOME", home.c_str(), 1);
    auto docs = text(DZDocumentsResourcePath(NS("c.txt")).get());
    setenv("BAZAARNEST_HOME", previous.c_str(), 1);
    EXPECT_EQ(docs, home + "/Documents/c.txt");
}

TEST(DZGlobalCore, RectangleHelpers) {
    EXPECT_EQ(rectText(DZRectShrinkSize(CGRectMake(1, 2, 30, 40), 5, 6)),
              rectText(CGRectMake(1, 2, 25, 34)));
    EXPECT_EQ(
        rectText(DZRectInsetByEdges(CGRectMake(10, 20, 100, 50), UIEdgeInsetsMake(1, 2, 3, 4))),
        rectText(CGRectMake(12, 21, 94, 46)));
}

TEST(DZGlobalCore, NetworkActivityDrivesTheIndicator) {
    auto app = UIApplication::sharedApplication();
    ASSERT_EQ(DZNetworkActivityCount(), 0);
    DZNetworkActivityBegin();
    EXPECT_TRUE(app->isNetworkActivityIndicatorVisible());
    DZNetworkActivityBegin();
    DZNetworkActivityEnd();
    EXPECT_TRUE(app->isNetworkActivityIndicatorVisible());
    EXPECT_EQ(DZNetworkActivityCount(), 1);
    DZNetworkActivityEnd();
    EXPECT_FALSE(app->isNetworkActivityIndicatorVisible());
    DZNetworkActivityEnd();
    EXPECT_EQ(DZNetworkActivityCount(), 0);
    EXPECT_FALSE(app->isNetworkActivityIndicatorVisible());
    // A later begin still shows it: the extra end did not drive the count below zero.
    DZNetworkActivityBegin();
    EXPECT_TRUE(app->isNetworkActivityIndicatorVisible());
    DZNetworkActivityEnd();
}

TEST(DZGlobalCore, NetworkActivityFromManyThreads) {
    auto app = UIApplication::sharedApplication();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 500; ++i) {
                DZNetworkActivityBegin();
                DZNetworkActivityEnd();
            }
        });
    }
    DZNetworkActivityBegin();
    for (auto& t : threads)
        t.join();
    // Whatever the interleaving, the count and the indicator agree at the end.
    EXPECT_EQ(DZNetworkActivityCount(), 1);
    EXPECT_TRUE(app->isNetworkActivityIndicatorVisible());
    DZNetworkActivityEnd();
    EXPECT_FALSE(app->isNetworkActivityIndicatorVisible());
}

class ProgressReceiver : public NSObject, public DZRecursiveProgressDelegate {
    NS_OBJECT(ProgressReceiver, NSObject)
    void didSetProgress(float p) override { values.push_back(p); }
    std::vector<float> values;
};

TEST(DZRecursiveProgress, NestedRangesCompose) {
    auto receiver = make<ProgressReceiver>();
    auto root = DZRecursiveProgress::progressWithDelegate(receiver);
    auto firstHalf = DZRecursiveProgress::progressWithParent(root, 0, 0.5f);
    auto inner = DZRecursiveProgress::progressWithParent(firstHalf, 0.5f, 1.0f);
    EXPECT_FLOAT_EQ(inner->percentWidth(), 0.5f);
    inner->setPercent(0.5f);
    ASSERT_EQ(receiver->values.size(), 1u);
    EXPECT_FLOAT_EQ(receiver->values[0], 0.375f);
    EXPECT_EQ(inner->percent(), 0);
    root->setPercent(0.25f);
    EXPECT_FLOAT_EQ(receiver->values.back(), 0.25f);
    EXPECT_EQ(root->firstPercent(), 0);
    EXPECT_EQ(root->lastPercent(), 1);
    EXPECT_EQ(root->delegate().get(), static_cast<DZRecursiveProgressDelegate*>(receiver.get()));
    EXPECT_EQ(inner->delegate().get(), nullptr);
}

}  // namespace
