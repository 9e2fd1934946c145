// A credential: a user name and password, or a client identity with its certificates, and how
// long it should be kept. Immutable.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;
class NSString;

using NSURLCredentialPersistence = NSUInteger;
enum : NSURLCredentialPersistence {
    NSURLCredentialPersistenceNone = 0,        // used once, never stored
    NSURLCredentialPersistenceForSession = 1,  // kept until the process ends
    NSURLCredentialPersistencePermanent = 2,  // kept "in the keychain" (see NSURLCredentialStorage)
    NSURLCredentialPersistenceSynchronizable = 3,
};

class NSURLCredential : public NSObject {
    NS_OBJECT(NSURLCredential, NSObject)
    // credentialWithUser:password:persistence:
    static Ref<NSURLCredential> credentialWithUser(NSString* user, NSString* password,
                                                   NSURLCredentialPersistence persistence);
    // credentialWithIdentity:certificates:persistence: (an identity the TLS layer understands)
    static Ref<NSURLCredential> credentialWithIdentity(NSObject* identity, NSArray* certificates,
                                                       NSURLCredentialPersistence persistence);
    bool initWithUser(NSString* user, NSString* password, NSURLCredentialPersistence persistence);
    bool initWithIdentity(NSObject* identity, NSArray* certificates,
                          NSURLCredentialPersistence persistence);

    Ref<NSString> user() { return user_; }
    Ref<NSString> password() { return password_; }
    bool hasPassword() { return password_ != nullptr; }
    NSURLCredentialPersistence persistence() { return persistence_; }
    Ref<NSObject> identity() { return identity_; }
    Ref<NSArray> certificates() { return certificates_; }

    // Equal when user, password, identity and persistence are equal.
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    Ref<NSObject> copyWithZone() override;
    // Never shows the password.
    Ref<NSString> description() override;

private:
    Ref<NSString> user_;
    Ref<NSString> password_;
    Ref<NSObject> identity_;
    Ref<NSArray> certificates_;
    NSURLCredentialPersistence persistence_ = NSURLCredentialPersistenceNone;
};
