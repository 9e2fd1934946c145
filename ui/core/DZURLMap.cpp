#include "ui/core/DZURLMap.h"

#include <algorithm>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIViewController.h"
#include "ui/core/UIViewController+DZCategory.h"

NSString* const DZExternalMapsHost = NS("maps.mapservice.test");
NSString* const DZExternalStoreHost = NS("itunes.appstore.test");
NSString* const DZExternalStoreLinkHost = NS("phobos.appstore.test");

// ---- registration -------------------------------------------------------------------------------

void DZURLMap::registerPattern(NSString* URL, NSObject* target, int32_t mode, SEL selector,
                               NSString* parent, int32_t transition) {
    auto pattern = make<DZURLNavigatorPattern>(
        static_cast<bool (DZURLNavigatorPattern::*)(NSObject*, int32_t)>(
            &DZURLNavigatorPattern::initWithTarget),
        target, mode);
    // Set before compiling, so that an explicit selector replaces the deduced one.
    if (selector) pattern->setSelector(selector);
    if (parent) pattern->setParentURL(parent);
    if (transition) pattern->setTransition(transition);
    addObjectPattern(pattern, URL);
}

void DZURLMap::fromToObject(NSString* URL, NSObject* target) {
    registerPattern(URL, target, DZNavigationModeNone, nullptr, nullptr, 0);
}
void DZURLMap::fromToObject(NSString* URL, NSObject* target, SEL selector) {
    registerPattern(URL, target, DZNavigationModeNone, selector, nullptr, 0);
}
void DZURLMap::fromToViewController(NSString* URL, Class target) {
    registerPattern(URL, target, DZNavigationModeCreate, nullptr, nullptr, 0);
}
void DZURLMap::fromToViewController(NSString* URL, Class target, SEL selector) {
    registerPattern(URL, target, DZNavigationModeCreate, selector, nullptr, 0);
}
void DZURLMap::fromToViewControllerTransition(NSString* URL, Class target, int32_t transition) {
    registerPattern(URL, target, DZNavigationModeCreate, nullptr, nullptr, transition);
}
void DZURLMap::fromParentToViewController(NSString* URL, NSString* parent, Class target,
                                          SEL selector, int32_t transition) {
    registerPattern(URL, target, DZNavigationModeCreate, selector, parent, transition);
}
void DZURLMap::fromToSharedViewController(NSString* URL, Class target) {
    registerPattern(URL, target, DZNavigationModeShare, nullptr, nullptr, 0);
}
void DZURLMap::fromToSharedViewController(NSString* URL, Class target, SEL selector) {
    registerPattern(URL, target, DZNavigationModeShare, selector, nullptr, 0);
}
void DZURLMap::fromParentToSharedViewController(NSString* URL, NSString* parent, Class target) {
    registerPattern(URL, target, DZNavigationModeShare, nullptr, parent, 0);
}
void DZURLMap::fromParentToSharedViewController(NSString* URL, NSString* parent, Class target,
                                                SEL selector) {
    registerPattern(URL, target, DZNavigationModeShare, selector, parent, 0);
}
void DZURLMap::fromToModalViewController(NSString* URL, Class target) {
    registerPattern(URL, target, DZNavigationModeModal, nullptr, nullptr, 0);
}
void DZURLMap::fromToModalViewController(NSString* URL, Class target, SEL selector) {
    registerPattern(URL, target, DZNavigationModeModal, selector, nullptr, 0);
}
void DZURLMap::fromToModalViewControllerTransition(NSString* URL, Class target,
                                                   int32_t transition) {
    registerPattern(URL, target, DZNavigationModeModal, nullptr, nullptr, transition);
}
void DZURLMap::fromParentToModalViewController(NSString* URL, NSString* parent, Class target,
                                               SEL selector, int32_t transition) {
    registerPattern(URL, target, DZNavigationModeModal, selector, parent, transition);
}

void DZURLMap::fromToURL(Class cls, NSString* URL) {
    addStringPattern(make<DZURLGeneratorPattern>(&DZURLGeneratorPattern::initWithTargetClass, cls),
                     URL, nullptr);
}

void DZURLMap::fromNameToURL(Class cls, NSString* name, NSString* URL) {
    addStringPattern(make<DZURLGeneratorPattern>(&DZURLGeneratorPattern::initWithTargetClass, cls),
                     URL, name);
}

void DZURLMap::addObjectPattern(DZURLNavigatorPattern* pattern, NSString* URL) {
    // Controllers answer the navigator's initializers by name from here on.
    DZInstallControllerExtensions();
    pattern->setURL(URL);
    pattern->compile();
    registerScheme(pattern->scheme());
    if (pattern->isUniversal()) {
        defaultObjectPattern_ = pattern;
    } else if (pattern->isFragment()) {
        fragmentPatterns_.emplace_back(pattern);
    } else {
        objectPatterns_.emplace_back(pattern);
        invalidPatterns_ = true;
    }
}

void DZURLMap::addStringPattern(DZURLGeneratorPattern* pattern, NSString* URL, NSString* name) {
    pattern->setURL(URL);
    pattern->compile();
    registerScheme(pattern->scheme());
    if (!stringPatterns_) stringPatterns_ = NSMutableDictionary::dictionary();
    stringPatterns_->setObject(pattern, keyForClass(pattern->targetClass(), name));
}

void DZURLMap::registerScheme(NSString* scheme) {
    if (!scheme) return;
    if (!schemes_) schemes_ = NSMutableDictionary::dictionary();
    schemes_->setObject(NSNull::null(), scheme);
}

bool DZURLMap::isSchemeSupported(NSString* scheme) {
    return scheme && schemes_ && schemes_->objectForKey(scheme);
}

Ref<NSString> DZURLMap::keyForClass(Class cls, NSString* name) {
    return NSString::stringWithFormat(NS("%s_%@"), cls ? cls->name().c_str() : "",
                                      name ? name : NS(""));
}

// ---- objects ------------------------------------------------------------------------------------

void DZURLMap::setObject(NSObject* object, NSString* URL) {
    if (!object || !URL) return;
    if (!objectMappings_) objectMappings_ = NSMutableDictionary::nonRetainingDictionary();
    objectMappings_->setObject(object, URL);
    if (auto controller = as<UIViewController>(object)) dzAddNavigatorController(controller);
}

void DZURLMap::removeURL(NSString* URL) {
    removeObjectForURL(URL);
    auto it = std::find_if(objectPatterns_.begin(), objectPatterns_.end(),
                           [URL](auto& p) { return p->URL()->isEqualToString(URL); });
    if (it != objectPatterns_.end()) objectPatterns_.erase(it);
}

void DZURLMap::removeObjectForURL(NSString* URL) {
    if (objectMappings_ && URL) objectMappings_->removeObjectForKey(URL);
}

void DZURLMap::removeAllObjects() {
    objectMappings_ = nullptr;
}

Ref<NSObject> DZURLMap::objectForURL(NSString* URL) {
    return objectForURL(URL, nullptr, nullptr);
}

Ref<NSObject> DZURLMap::objectForURL(NSString* URL, NSDictionary* query) {
    return objectForURL(URL, query, nullptr);
}

Ref<NSObject> DZURLMap::objectForURL(NSString* URL, NSDictionary* query,
                                     Ref<DZURLNavigatorPattern>* patternOut) {
    if (!URL) return nullptr;
    Ref<NSObject> object = objectMappings_ ? objectMappings_->objectForKey(URL) : nullptr;
    if (object && !patternOut) return object;
    auto url = NSURL::URLWithString(URL);
    auto pattern = matchObjectPattern(url);
    if (!pattern) return nullptr;
    if (!object) {
        object = pattern->createObjectFromURL(url, query);
        if (pattern->navigationMode() == DZNavigationModeShare && object) setObject(object, URL);
    }
    if (patternOut) *patternOut = pattern;
    return object;
}

Ref<NSObject> DZURLMap::dispatchURL(NSString* URL, NSObject* target, NSDictionary* query) {
    if (!target) return nullptr;
    auto url = NSURL::URLWithString(URL);
    for (auto& pattern : fragmentPatterns_) {
        if (pattern->matchURL(url)) return pattern->invoke(target, url, query);
    }
    // Only a method without arguments that the class registers is sent by its name.
    auto fragment = url ? url->fragment() : nullptr;
    if (fragment && fragment->length()) {
        SEL selector = Selector::named(fragment->utf8());
        if (selector->keywordCount == 0 && target->respondsToSelector(selector))
            invokeMethod(target, selector, {});
    }
    return nullptr;
}

// ---- queries ------------------------------------------------------------------------------------

Ref<DZURLNavigatorPattern> DZURLMap::matchObjectPattern(NSURL* URL) {
    if (invalidPatterns_) {
        std::stable_sort(objectPatterns_.begin(), objectPatterns_.end(), [](auto& a, auto& b) {
            return a->compareSpecificity(b.get()) == NSOrderedAscending;
        });
        invalidPatterns_ = false;
    }
    if (URL && !objectPatterns_.empty()) {
        auto parts = DZURLMatchParts::of(URL);
        for (auto& pattern : objectPatterns_) {
            if (pattern->matchParts(parts)) return pattern;
        }
    }
    return defaultObjectPattern_;
}

int32_t DZURLMap::navigationModeForURL(NSString* URL) {
    auto url = NSURL::URLWithString(URL);
    if (isAppURL(url)) return DZNavigationModeExternal;
    auto pattern = matchObjectPattern(url);
    return pattern ? pattern->navigationMode() : DZNavigationModeExternal;
}

int32_t DZURLMap::transitionForURL(NSString* URL) {
    auto pattern = matchObjectPattern(NSURL::URLWithString(URL));
    return pattern ? pattern->transition() : 0;
}

bool DZURLMap::isWebURL(NSURL* URL) {
    auto scheme = URL ? URL->scheme() : nullptr;
    if (!scheme) return false;
    for (NSString* web : {NS("http"), NS("https"), NS("ftp"), NS("ftps"), NS("data")}) {
        if (scheme->caseInsensitiveCompare(web) == NSOrderedSame) return true;
    }
    return false;
}

bool DZURLMap::isExternalURL(NSURL* URL) {
    auto host = URL ? URL->host() : nullptr;
    if (!host) return false;
    return host->isEqualToString(DZExternalMapsHost) ||
           host->isEqualToString(DZExternalStoreHost) ||
           host->isEqualToString(DZExternalStoreLinkHost);
}

bool DZURLMap::isAppURL(NSURL* URL) {
    if (!URL) return false;
    if (isExternalURL(URL)) return true;
    if (!UIApplication::sharedApplication()->canOpenURL(URL)) return false;
    if (isSchemeSupported(URL->scheme())) return false;
    return !isWebURL(URL);
}

Ref<NSString> DZURLMap::URLForObject(NSObject* object) {
    return URLForObject(object, nullptr);
}

Ref<NSString> DZURLMap::URLForObject(NSObject* object, NSString* name) {
    if (!object || !stringPatterns_) return nullptr;
    Class cls = dynamic_cast<RuntimeClass*>(object);
    if (!cls) cls = object->getClass();
    for (; cls; cls = cls->superclass()) {
        auto pattern =
            as<DZURLGeneratorPattern>(stringPatterns_->objectForKey(keyForClass(cls, name)));
        if (pattern) return pattern->generateURLFromObject(object);
    }
    return nullptr;
}
