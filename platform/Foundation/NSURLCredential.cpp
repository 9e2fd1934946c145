#include "Foundation/NSURLCredential.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"

namespace {

Ref<NSString> copied(NSString* s) {
    return s ? cast<NSString>(s->copy()) : nullptr;
}

bool sameObject(NSObject* a, NSObject* b) {
    if (!a || !b) return !a && !b;
    return a->isEqual(b);
}

}  // namespace

Ref<NSURLCredential> NSURLCredential::credentialWithUser(NSString* user, NSString* password,
                                                         NSURLCredentialPersistence persistence) {
    auto c = make<NSURLCredential>(&NSURLCredential::initWithUser, user, password, persistence);
    if (c) c->autorelease();
    return c;
}

Ref<NSURLCredential> NSURLCredential::credentialWithIdentity(
    NSObject* identity, NSArray* certificates, NSURLCredentialPersistence persistence) {
    auto c = make<NSURLCredential>(&NSURLCredential::initWithIdentity, identity, certificates,
                                   persistence);
    if (c) c->autorelease();
    return c;
}

bool NSURLCredential::initWithUser(NSString* user, NSString* password,
                                   NSURLCredentialPersistence persistence) {
    user_ = copied(user);
    password_ = copied(password);
    persistence_ = persistence;
    return true;
}

bool NSURLCredential::initWithIdentity(NSObject* identity, NSArray* certificates,
                                       NSURLCredentialPersistence persistence) {
    identity_ = identity;
    certificates_ = certificates ? cast<NSArray>(certificates->copy()) : nullptr;
    persistence_ = persistence;
    return true;
}

bool NSURLCredential::isEqual(NSObject* other) {
    if (other == this) return true;
    auto o = as<NSURLCredential>(other);
    if (!o) return false;
    return persistence_ == o->persistence_ && sameObject(user_, o->user_) &&
           sameObject(password_, o->password_) && identity_.get() == o->identity_.get();
}

NSUInteger NSURLCredential::hash() {
    return (user_ ? user_->hash() : 0u) ^ persistence_;
}

Ref<NSObject> NSURLCredential::copyWithZone() {
    return Ref<NSObject>(this);  // immutable
}

Ref<NSString> NSURLCredential::description() {
    if (identity_) return NS("<NSURLCredential: client identity>");
    return NSString::stringWithFormat(NS("<NSURLCredential: %@, persistence %u>"),
                                      user_ ? user_.get() : NS("(no user)"),
                                      static_cast<unsigned>(persistence_));
}
