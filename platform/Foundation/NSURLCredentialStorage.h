// The shared credential store: credentials by protection space and user name, with at most one
// default credential per space. Session and permanent credentials are both held in memory for the
// life of the process (there is no keychain here); credentials with persistence None are never
// stored. Thread-safe.
#pragma once

#include <mutex>

#include "Foundation/NSObject.h"

class NSDictionary;
class NSMutableDictionary;
class NSString;
class NSURLCredential;
class NSURLProtectionSpace;

// Posted (on the thread that made the change) when the stored credentials change.
extern NSString* const NSURLCredentialStorageChangedNotification;

class NSURLCredentialStorage : public NSObject {
    NS_OBJECT(NSURLCredentialStorage, NSObject)
    static Ref<NSURLCredentialStorage> sharedCredentialStorage();

    // Space -> (user name -> credential), for every space that holds any.
    Ref<NSDictionary> allCredentials();
    // User name -> credential; nil when the space holds none.
    Ref<NSDictionary> credentialsForProtectionSpace(NSURLProtectionSpace* space);
    // Stores the credential under its user name, replacing one of the same user.
    void setCredential(NSURLCredential* credential, NSURLProtectionSpace* space);
    // Removes the credential of that user name (and the default mark, if it had it).
    void removeCredential(NSURLCredential* credential, NSURLProtectionSpace* space);
    Ref<NSURLCredential> defaultCredentialForProtectionSpace(NSURLProtectionSpace* space);
    // Stores the credential and makes it the space's default.
    void setDefaultCredential(NSURLCredential* credential, NSURLProtectionSpace* space);

    // Test aid: forgets every credential.
    void removeAllCredentialsForTesting();

    bool init() override;

private:
    void store(NSURLCredential* credential, NSURLProtectionSpace* space);  // under the lock
    void changed();

    std::recursive_mutex lock_;
    Ref<NSMutableDictionary> credentials_;  // space -> (user -> credential)
    Ref<NSMutableDictionary> defaults_;     // space -> user name
};
