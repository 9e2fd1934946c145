// The shared cookie jar. Cookies are kept in the order they were first set; a cookie with the
// name, domain and path of a stored one replaces it. Cookies that are not session-only are
// written to Library/Cookies/Cookies.plist in the sandbox (an XML property list of their
// property dictionaries) after every change, and read back on first use. Thread-safe.
#pragma once

#include <mutex>
#include <vector>

#include "Foundation/NSObject.h"

class NSArray;
class NSHTTPCookie;
class NSString;
class NSURL;

using NSHTTPCookieAcceptPolicy = NSUInteger;
enum : NSHTTPCookieAcceptPolicy {
    NSHTTPCookieAcceptPolicyAlways = 0,
    NSHTTPCookieAcceptPolicyNever = 1,
    NSHTTPCookieAcceptPolicyOnlyFromMainDocumentDomain = 2,
};

// Posted (on the thread that made the change) when the stored cookies or the policy change.
extern NSString* const NSHTTPCookieManagerCookiesChangedNotification;
extern NSString* const NSHTTPCookieManagerAcceptPolicyChangedNotification;

class NSHTTPCookieStorage : public NSObject {
    NS_OBJECT(NSHTTPCookieStorage, NSObject)
    static Ref<NSHTTPCookieStorage> sharedHTTPCookieStorage();

    // Every stored cookie that has not expired, in storage order.
    Ref<NSArray> cookies();
    // The cookies to send with a request to the URL: domain and path match, secure ones only
    // over https, expired ones dropped; longer paths first, then storage order.
    Ref<NSArray> cookiesForURL(NSURL* url);
    // Stores the cookie (replacing one with the same name, domain and path); an already expired
    // cookie removes the stored one instead. The accept policy applies only to
    // setCookies(cookies, URL, mainDocumentURL).
    void setCookie(NSHTTPCookie* cookie);
    // setCookies:forURL:mainDocumentURL:. Stores the cookies that the URL may set: the cookie's
    // domain must be the URL's host or a parent domain of it (not a bare top-level name);
    // others are refused. With the policy Never nothing is stored; with OnlyFromMainDocumentDomain
    // only when the URL's host is within the main document's domain (nil: any).
    void setCookies(NSArray* cookies, NSURL* url, NSURL* mainDocumentURL);
    void deleteCookie(NSHTTPCookie* cookie);
    // Removes every cookie (a convenience of later platform versions; used by tests and logout).
    void removeAllCookies();

    NSHTTPCookieAcceptPolicy cookieAcceptPolicy();
    void setCookieAcceptPolicy(NSHTTPCookieAcceptPolicy policy);

    // The file the persistent cookies live in.
    static Ref<NSString> cookieFilePath();

    Ref<NSString> description() override;

private:
    void loadIfNeeded();  // caller holds lock_
    void saveLocked();    // caller holds lock_
    void purgeExpiredLocked(NSTimeInterval now);
    bool storeLocked(NSHTTPCookie* cookie);  // true when something changed
    void postChanged();

    std::recursive_mutex lock_;
    bool loaded_ = false;
    std::vector<Ref<NSHTTPCookie>> cookies_;
    NSHTTPCookieAcceptPolicy policy_ = NSHTTPCookieAcceptPolicyAlways;
};
