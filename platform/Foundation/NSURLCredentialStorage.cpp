#include "Foundation/NSURLCredentialStorage.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURLCredential.h"
#include "Foundation/NSURLProtectionSpace.h"
#include "Foundation/ProcessWide.h"

NSString* const NSURLCredentialStorageChangedNotification =
    NS("NSURLCredentialStorageChangedNotification");

Ref<NSURLCredentialStorage> NSURLCredentialStorage::sharedCredentialStorage() {
    static ProcessWide<NSURLCredentialStorage> shared;
    return shared.get();
}

bool NSURLCredentialStorage::init() {
    credentials_ = NSMutableDictionary::dictionary();
    defaults_ = NSMutableDictionary::dictionary();
    return true;
}

Ref<NSDictionary> NSURLCredentialStorage::allCredentials() {
    std::lock_guard lock(lock_);
    Ref<NSMutableDictionary> all = NSMutableDictionary::dictionary();
    for (NSObject* space : *credentials_)
        all->setObject(cast<NSDictionary>(credentials_->objectForKey(space))->copy(), space);
    return all;
}

Ref<NSDictionary> NSURLCredentialStorage::credentialsForProtectionSpace(
    NSURLProtectionSpace* space) {
    if (!space) return nullptr;
    std::lock_guard lock(lock_);
    auto users = as<NSDictionary>(credentials_->objectForKey(space));
    return users ? users->copy() : nullptr;
}

void NSURLCredentialStorage::setCredential(NSURLCredential* credential,
                                           NSURLProtectionSpace* space) {
    if (!credential || !space || !credential->user()) return;
    if (credential->persistence() == NSURLCredentialPersistenceNone) return;
    {
        std::lock_guard lock(lock_);
        store(credential, space);
    }
    changed();
}

void NSURLCredentialStorage::removeCredential(NSURLCredential* credential,
                                              NSURLProtectionSpace* space) {
    if (!credential || !space || !credential->user()) return;
    {
        std::lock_guard lock(lock_);
        auto users = as<NSMutableDictionary>(credentials_->objectForKey(space));
        if (!users || !users->objectForKey(credential->user())) return;
        users->removeObjectForKey(credential->user());
        if (users->count() == 0) credentials_->removeObjectForKey(space);
        auto user = as<NSString>(defaults_->objectForKey(space));
        if (user && user->isEqualToString(credential->user())) defaults_->removeObjectForKey(space);
    }
    changed();
}

Ref<NSURLCredential> NSURLCredentialStorage::defaultCredentialForProtectionSpace(
    NSURLProtectionSpace* space) {
    if (!space) return nullptr;
    std::lock_guard lock(lock_);
    auto user = as<NSString>(defaults_->objectForKey(space));
    auto users = as<NSDictionary>(credentials_->objectForKey(space));
    if (!user || !users) return nullptr;
    return as<NSURLCredential>(users->objectForKey(user));
}

void NSURLCredentialStorage::setDefaultCredential(NSURLCredential* credential,
                                                  NSURLProtectionSpace* space) {
    if (!credential || !space || !credential->user()) return;
    if (credential->persistence() == NSURLCredentialPersistenceNone) return;
    {
        std::lock_guard lock(lock_);
        store(credential, space);
        defaults_->setObject(credential->user(), space);
    }
    changed();
}

void NSURLCredentialStorage::removeAllCredentialsForTesting() {
    {
        std::lock_guard lock(lock_);
        credentials_->removeAllObjects();
        defaults_->removeAllObjects();
    }
    changed();
}

void NSURLCredentialStorage::store(NSURLCredential* credential, NSURLProtectionSpace* space) {
    auto users = as<NSMutableDictionary>(credentials_->objectForKey(space));
    if (!users) {
        users = NSMutableDictionary::dictionary();
        credentials_->setObject(users, space);
    }
    users->setObject(credential, credential->user());
}

// Observers hear of it outside the lock, so that they may read the storage again.
void NSURLCredentialStorage::changed() {
    NSNotificationCenter::defaultCenter()->postNotificationName(
        NSURLCredentialStorageChangedNotification, this);
}
