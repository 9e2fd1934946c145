// Credentials, protection spaces and the shared credential storage.
#include <gtest/gtest.h>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSURLCredential.h"
#include "Foundation/NSURLCredentialStorage.h"
#include "Foundation/NSURLProtectionSpace.h"
#include "support/FoundationTesting.h"

namespace {

Ref<NSURLProtectionSpace> server(const char* host, NSInteger port, const char* realm) {
    return make<NSURLProtectionSpace>(&NSURLProtectionSpace::initWithHost, str(host), port,
                                      NSURLProtectionSpaceHTTP, realm ? str(realm) : nullptr,
                                      nullptr);
}

class CredentialStorage : public ::testing::Test {
protected:
    void SetUp() override { storage->removeAllCredentialsForTesting(); }
    void TearDown() override { storage->removeAllCredentialsForTesting(); }
    Ref<NSURLCredentialStorage> storage = NSURLCredentialStorage::sharedCredentialStorage();
};

}  // namespace

TEST(ProtectionSpace, EqualityFollowsEveryPartButHostCase) {
    auto a = server("Bazaarnest.TEST", 80, "r");
    EXPECT_TRUE(a->isEqual(server("bazaarnest.test", 80, "r")));
    EXPECT_EQ(a->hash(), server("bazaarnest.test", 80, "r")->hash());
    EXPECT_FALSE(a->isEqual(server("bazaarnest.test", 8080, "r")));
    EXPECT_FALSE(a->isEqual(server("bazaarnest.test", 80, "other")));
    EXPECT_FALSE(a->isEqual(server("bazaarnest.test", 80, nullptr)));
    auto proxy =
        make<NSURLProtectionSpace>(&NSURLProtectionSpace::initWithProxyHost, NS("bazaarnest.test"),
                                   80, NSURLProtectionSpaceHTTPProxy, NS("r"), nullptr);
    // Same host, port and text of protocol/type, but a proxy is another space.
    EXPECT_FALSE(a->isEqual(proxy));
    EXPECT_TRUE(proxy->isProxy());
    EXPECT_EQ(text(proxy->proxyType()), "http");
    EXPECT_FALSE(proxy->protocol());
    EXPECT_EQ(text(a->authenticationMethod()), "NSURLAuthenticationMethodDefault");
}

TEST(URLCredential, HoldsWhatItWasGivenAndHidesThePassword) {
    auto c = NSURLCredential::credentialWithUser(NS("ann"), NS("s3cret"),
                                                 NSURLCredentialPersistencePermanent);
    EXPECT_EQ(text(c->user()), "ann");
    EXPECT_EQ(text(c->password()), "s3cret");
    EXPECT_TRUE(c->hasPassword());
    EXPECT_EQ(c->persistence(), NSURLCredentialPersistencePermanent);
    EXPECT_EQ(text(c).find("s3cret"), std::string::npos);
    EXPECT_TRUE(c->isEqual(NSURLCredential::credentialWithUser(
        NS("ann"), NS("s3cret"), NSURLCredentialPersistencePermanent)));
    EXPECT_FALSE(c->isEqual(NSURLCredential::credentialWithUser(
        NS("ann"), NS("other"), NSURLCredentialPersistencePermanent)));
}

TEST_F(CredentialStorage, DefaultCredentialPerSpace) {
    auto space = server("bazaarnest.test", 0, "r");
    auto ann = NSURLCredential::credentialWithUser(NS("ann"), NS("1"),
                                                   NSURLCredentialPersistencePermanent);
    auto bob = NSURLCredential::credentialWithUser(NS("bob"), NS("2"),
                                                   NSURLCredentialPersistenceForSession);
    storage->setCredential(ann, space);
    EXPECT_FALSE(storage->defaultCredentialForProtectionSpace(space));
    storage->setDefaultCredential(bob, space);
    EXPECT_EQ(storage->defaultCredentialForProtectionSpace(space).get(), bob.get());
    EXPECT_EQ(storage->credentialsForProtectionSpace(space)->count(), 2u);
    // An equal space made anew finds the same.
    EXPECT_EQ(storage->defaultCredentialForProtectionSpace(server("BAZAARNEST.test", 0, "r")).get(),
              bob.get());
    EXPECT_FALSE(storage->defaultCredentialForProtectionSpace(server("bazaarnest.test", 0, "x")));

    // A new password for the same user replaces the old one, default mark included.
    auto bob2 = NSURLCredential::credentialWithUser(NS("bob"), NS("3"),
                                                    NSURLCredentialPersistencePermanent);
    storage->setCredential(bob2, space);
    EXPECT_EQ(text(storage->defaultCredentialForProtectionSpace(space)->password()), "3");

    storage->removeCredential(bob2, space);
    EXPECT_FALSE(storage->defaultCredentialForProtectionSpace(space));
    storage->removeCredential(ann, space);
    EXPECT_FALSE(storage->credentialsForProtectionSpace(space));
    EXPECT_EQ(storage->allCredentials()->count(), 0u);
}

TEST_F(CredentialStorage, CredentialsForOneUseAreNeverStored) {
    auto space = server("h", 0, nullptr);
    storage->setDefaultCredential(
        NSURLCredential::credentialWithUser(NS("u"), NS("p"), NSURLCredentialPersistenceNone),
        space);
    EXPECT_FALSE(storage->defaultCredentialForProtectionSpace(space));
    EXPECT_EQ(storage->allCredentials()->count(), 0u);
}

TEST_F(CredentialStorage, ChangesAreAnnounced) {
    int heard = 0;
    auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
        NSURLCredentialStorageChangedNotification, nullptr, [&](NSNotification*) { ++heard; });
    storage->setCredential(
        NSURLCredential::credentialWithUser(NS("u"), NS("p"), NSURLCredentialPersistenceForSession),
        server("h", 0, nullptr));
    EXPECT_EQ(heard, 1);
    NSNotificationCenter::defaultCenter()->removeObserver(token);
}
