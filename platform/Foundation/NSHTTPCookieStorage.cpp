#include "Foundation/NSHTTPCookieStorage.h"

#include <arpa/inet.h>

#include <algorithm>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSHTTPCookie.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/ProcessWide.h"

NSString* const NSHTTPCookieManagerCookiesChangedNotification =
    NS("NSHTTPCookieManagerCookiesChangedNotification");
NSString* const NSHTTPCookieManagerAcceptPolicyChangedNotification =
    NS("NSHTTPCookieManagerAcceptPolicyChangedNotification");

namespace {

ProcessWide<NSHTTPCookieStorage>& sharedStorage() {
    static ProcessWide<NSHTTPCookieStorage> slot;
    return slot;
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool isAddress(const std::string& host) {
    unsigned char buffer[16];
    return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// Whether `host` is `domain` or lies under it at a label boundary.
bool withinDomain(const std::string& host, const std::string& domain) {
    if (host == domain) return true;
    return host.size() > domain.size() + 1 &&
           host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
           host[host.size() - domain.size() - 1] == '.';
}

// Whether a response from `host` may set the cookie: a host-only cookie for the host itself,
// a domain cookie for the host or a parent of it, never for a bare top-level name (".com") nor
// for another address.
bool hostMaySet(const std::string& host, NSHTTPCookie* cookie) {
    std::string domain = lower(cookie->domain()->utf8());
    if (domain.empty()) return false;
    if (domain[0] != '.') return domain == host;
    std::string bare = domain.substr(1);
    if (bare.empty()) return false;
    if (isAddress(host)) return bare == host;
    if (bare.find('.') == std::string::npos && bare != host) return false;
    return withinDomain(host, bare);
}

// The domain of the main document, for OnlyFromMainDocumentDomain: its host without the first
// label when that leaves at least two labels ("www.example.com" -> "example.com").
std::string documentDomain(const std::string& host) {
    if (isAddress(host)) return host;
    size_t dot = host.find('.');
    if (dot == std::string::npos) return host;
    std::string rest = host.substr(dot + 1);
    return rest.find('.') == std::string::npos ? host : rest;
}

}  // namespace

Ref<NSHTTPCookieStorage> NSHTTPCookieStorage::sharedHTTPCookieStorage() {
    return sharedStorage().get();
}

Ref<NSString> NSHTTPCookieStorage::cookieFilePath() {
    return NSHomeDirectory()->stringByAppendingPathComponent(NS("Library/Cookies/Cookies.plist"));
}

void NSHTTPCookieStorage::loadIfNeeded() {
    if (loaded_) return;
    loaded_ = true;
    Ref<NSArray> stored = NSArray::arrayWithContentsOfFile(cookieFilePath());
    if (!stored) return;
    NSTimeInterval now = Clock::now();
    for (NSObject* o : *stored) {
        auto props = as<NSDictionary>(o);
        if (!props) continue;
        auto cookie = NSHTTPCookie::cookieWithProperties(props);
        if (cookie && !cookie->isExpiredAt(now) && !cookie->isSessionOnly()) storeLocked(cookie);
    }
}

void NSHTTPCookieStorage::saveLocked() {
    NSTimeInterval now = Clock::now();
    auto list = NSMutableArray::array();
    for (auto& c : cookies_) {
        if (!c->isSessionOnly() && !c->isExpiredAt(now)) list->addObject(c->properties());
    }
    Ref<NSString> path = cookieFilePath();
    auto fm = NSFileManager::defaultManager();
    if (list->count() == 0 && !fm->fileExistsAtPath(path)) return;
    fm->createDirectoryAtPath(path->stringByDeletingLastPathComponent(), true, nullptr, nullptr);
    list->writeToFile(path, true);
}

void NSHTTPCookieStorage::purgeExpiredLocked(NSTimeInterval now) {
    cookies_.erase(std::remove_if(cookies_.begin(), cookies_.end(),
                                  [now](Ref<NSHTTPCookie>& c) { return c->isExpiredAt(now); }),
                   cookies_.end());
}

bool NSHTTPCookieStorage::storeLocked(NSHTTPCookie* cookie) {
    auto same = std::find_if(cookies_.begin(), cookies_.end(),
                             [cookie](Ref<NSHTTPCookie>& c) { return c->isEqual(cookie); });
    if (cookie->isExpiredAt(Clock::now())) {
        // An expired cookie is how a server deletes the one it set.
        if (same == cookies_.end()) return false;
        cookies_.erase(same);
        return true;
    }
    if (same != cookies_.end()) {
        *same = cookie;  // the replacement keeps the old one's place
    } else {
        cookies_.emplace_back(cookie);
    }
    return true;
}

void NSHTTPCookieStorage::postChanged() {
    NSNotificationCenter::defaultCenter()->postNotificationName(
        NSHTTPCookieManagerCookiesChangedNotification, this);
}

Ref<NSArray> NSHTTPCookieStorage::cookies() {
    std::lock_guard<std::recursive_mutex> g(lock_);
    loadIfNeeded();
    purgeExpiredLocked(Clock::now());
    return NSArray::arrayWithVector(cookies_);
}

Ref<NSArray> NSHTTPCookieStorage::cookiesForURL(NSURL* url) {
    if (!url) return NSArray::array();
    std::vector<Ref<NSHTTPCookie>> found;
    {
        std::lock_guard<std::recursive_mutex> g(lock_);
        loadIfNeeded();
        purgeExpiredLocked(Clock::now());
        for (auto& c : cookies_) {
            if (c->matchesURL(url)) found.push_back(c);
        }
    }
    // More specific paths first, as servers expect; storage order among equals.
    std::stable_sort(found.begin(), found.end(),
                     [](const Ref<NSHTTPCookie>& a, const Ref<NSHTTPCookie>& b) {
                         return a->path()->length() > b->path()->length();
                     });
    return NSArray::arrayWithVector(found);
}

void NSHTTPCookieStorage::setCookie(NSHTTPCookie* cookie) {
    if (!cookie) return;
    bool changed;
    {
        std::lock_guard<std::recursive_mutex> g(lock_);
        loadIfNeeded();
        changed = storeLocked(cookie);
        if (changed) saveLocked();
    }
    if (changed) postChanged();
}

void NSHTTPCookieStorage::setCookies(NSArray* cookies, NSURL* url, NSURL* mainDocumentURL) {
    if (!cookies || !url) return;
    Ref<NSURL> absolute = url->absoluteURL();
    std::string host = absolute->host() ? lower(absolute->host()->utf8()) : "";
    if (host.empty()) return;
    bool changed = false;
    {
        std::lock_guard<std::recursive_mutex> g(lock_);
        loadIfNeeded();
        if (policy_ == NSHTTPCookieAcceptPolicyNever) return;
        if (policy_ == NSHTTPCookieAcceptPolicyOnlyFromMainDocumentDomain && mainDocumentURL) {
            Ref<NSString> mainHost = mainDocumentURL->absoluteURL()->host();
            if (!mainHost || !withinDomain(host, documentDomain(lower(mainHost->utf8())))) return;
        }
        for (NSObject* o : *cookies) {
            auto cookie = as<NSHTTPCookie>(o);
            if (!cookie || !hostMaySet(host, cookie)) continue;
            changed = storeLocked(cookie) || changed;
        }
        if (changed) saveLocked();
    }
    if (changed) postChanged();
}

void NSHTTPCookieStorage::deleteCookie(NSHTTPCookie* cookie) {
    if (!cookie) return;
    bool changed = false;
    {
        std::lock_guard<std::recursive_mutex> g(lock_);
        loadIfNeeded();
        auto it = std::find_if(cookies_.begin(), cookies_.end(),
                               [cookie](Ref<NSHTTPCookie>& c) { return c->isEqual(cookie); });
        if (it != cookies_.end()) {
            cookies_.erase(it);
            changed = true;
            saveLocked();
        }
    }
    if (changed) postChanged();
}

void NSHTTPCookieStorage::removeAllCookies() {
    bool changed;
    {
        std::lock_guard<std::recursive_mutex> g(lock_);
        loadIfNeeded();
        changed = !cookies_.empty();
        cookies_.clear();
        if (changed) saveLocked();
    }
    if (changed) postChanged();
}

NSHTTPCookieAcceptPolicy NSHTTPCookieStorage::cookieAcceptPolicy() {
    std::lock_guard<std::recursive_mutex> g(lock_);
    return policy_;
}

void NSHTTPCookieStorage::setCookieAcceptPolicy(NSHTTPCookieAcceptPolicy policy) {
    {
        std::lock_guard<std::recursive_mutex> g(lock_);
        if (policy_ == policy) return;
        policy_ = policy;
    }
    NSNotificationCenter::defaultCenter()->postNotificationName(
        NSHTTPCookieManagerAcceptPolicyChangedNotification, this);
}

Ref<NSString> NSHTTPCookieStorage::description() {
    std::lock_guard<std::recursive_mutex> g(lock_);
    return NSString::stringWithFormat(NS("<NSHTTPCookieStorage %p cookies:%u>"),
                                      static_cast<void*>(this),
                                      static_cast<unsigned>(cookies_.size()));
}
