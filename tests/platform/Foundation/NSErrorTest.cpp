#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include <string>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"

namespace {

TEST(NSError, UserInfoIsNeverNil) {
    auto e = NSError::errorWithDomain(NSCocoaErrorDomain, NSFileNoSuchFileError, nullptr);
    ASSERT_NE(e->userInfo(), nullptr);
    EXPECT_EQ(e->userInfo()->count(), 0u);
    EXPECT_EQ(e->code(), 4);
    EXPECT_TRUE(e->domain()->isEqualToString(NS("NSCocoaErrorDomain")));
    EXPECT_EQ(e->localizedFailureReason(), nullptr);
    EXPECT_EQ(e->localizedRecoverySuggestion(), nullptr);
}

TEST(NSError, LocalizedDescriptionFallsBackToDomainAndCode) {
    auto e = NSError::errorWithDomain(NSURLErrorDomain, NSURLErrorNotConnectedToInternet, nullptr);
    EXPECT_EQ(e->localizedDescription()->utf8(),
              "The operation couldn\u2019t be completed. (NSURLErrorDomain error -1009.)");
    auto info = NSDictionary::dictionaryWithObjectsAndKeys(
        {NS("Offline."), NSLocalizedDescriptionKey, NS("No network."),
         NSLocalizedFailureReasonErrorKey, NS("Try later."),
         NSLocalizedRecoverySuggestionErrorKey});
    auto f = NSError::errorWithDomain(NSURLErrorDomain, -1009, info);
    EXPECT_EQ(f->localizedDescription()->utf8(), "Offline.");
    EXPECT_EQ(text(f->localizedFailureReason()), "No network.");
    EXPECT_EQ(text(f->localizedRecoverySuggestion()), "Try later.");
}

TEST(NSError, DescriptionAsThePlatformPrintsIt) {
    auto plain = NSError::errorWithDomain(NSCocoaErrorDomain, 4, nullptr);
    EXPECT_EQ(text(plain),
              "Error Domain=NSCocoaErrorDomain Code=4 \"The operation couldn\u2019t be completed. "
              "(NSCocoaErrorDomain error 4.)\"");
    auto info = NSDictionary::dictionaryWithObjectsAndKeys(
        {NS("Offline."), NSLocalizedDescriptionKey, NS("http://x.test/"),
         NSURLErrorFailingURLStringErrorKey});
    std::string s = text(NSError::errorWithDomain(NSURLErrorDomain, -1009, info));
    const std::string head = "Error Domain=NSURLErrorDomain Code=-1009 \"Offline.\" UserInfo=0x";
    EXPECT_EQ(s.substr(0, head.size()), head) << s;
    const std::string tail =
        " {NSLocalizedDescription=Offline., NSErrorFailingURLStringKey=http://x.test/}";
    ASSERT_GT(s.size(), tail.size());
    EXPECT_EQ(s.substr(s.size() - tail.size()), tail) << s;
}

TEST(NSError, KeepsItsOwnUserInfoAndComparesByValue) {
    auto info = NSMutableDictionary::dictionary();
    info->setObject(NS("/tmp/x"), NSFilePathErrorKey);
    auto e = NSError::errorWithDomain(NSCocoaErrorDomain, NSFileReadNoSuchFileError, info);
    info->setObject(NS("late"), NSLocalizedDescriptionKey);
    EXPECT_EQ(e->userInfo()->count(), 1u);

    auto same = NSError::errorWithDomain(
        NS("NSCocoaErrorDomain"), 260,
        NSDictionary::dictionaryWithObjectsAndKeys({NS("/tmp/x"), NSFilePathErrorKey}));
    EXPECT_TRUE(e->isEqual(same));
    EXPECT_EQ(e->hash(), same->hash());
    EXPECT_FALSE(e->isEqual(NSError::errorWithDomain(NSCocoaErrorDomain, 260, nullptr)));
    EXPECT_FALSE(e->isEqual(NSError::errorWithDomain(NSPOSIXErrorDomain, 260, info)));
    EXPECT_EQ(e->copy().get(), e.get());
    // No user info and an empty one are the same thing.
    EXPECT_TRUE(
        NSError::errorWithDomain(NSMachErrorDomain, 1, nullptr)
            ->isEqual(NSError::errorWithDomain(NSMachErrorDomain, 1, NSDictionary::dictionary())));
}

TEST(NSError, KeyNamesAndCodes) {
    EXPECT_EQ(text(NSURLErrorFailingURLErrorKey), "NSErrorFailingURLKey");
    EXPECT_TRUE(NSURLErrorFailingURLStringErrorKey->isEqualToString(NSErrorFailingURLStringKey));
    EXPECT_EQ(text(NSUnderlyingErrorKey), "NSUnderlyingError");
    EXPECT_EQ(text(NSURLErrorKey), "NSURL");
    EXPECT_EQ(text(NSOSStatusErrorDomain), "NSOSStatusErrorDomain");
    EXPECT_EQ(NSURLErrorCancelled, -999);
    EXPECT_EQ(NSURLErrorTimedOut, -1001);
    EXPECT_EQ(NSURLErrorDownloadDecodingFailedToComplete, -3007);
    EXPECT_EQ(NSPropertyListReadCorruptError, 3840);
}

}  // namespace
