// The navigator's registry: URL patterns, the objects shared by URL (not retained), the
// generator patterns that turn objects back into URLs and the schemes the app answers itself;
// it also tells web, external and app URLs apart. Main thread only.
#pragma once

#include <vector>

#include "Foundation/NSObject.h"
#include "ui/core/DZURLPattern.h"

class NSDictionary;
class NSMutableDictionary;
class NSString;
class NSURL;

// The hosts of other apps that links lead to: a map service and two of the application store.
extern NSString* const DZExternalMapsHost;
extern NSString* const DZExternalStoreHost;
extern NSString* const DZExternalStoreLinkHost;

class DZURLMap : public NSObject {
    NS_OBJECT(DZURLMap, NSObject)

    // ---- registration ----------------------------------------------------------------------
    void fromToObject(NSString* URL, NSObject* target);
    void fromToObject(NSString* URL, NSObject* target, SEL selector);
    void fromToViewController(NSString* URL, Class target);
    void fromToViewController(NSString* URL, Class target, SEL selector);
    void fromToViewControllerTransition(NSString* URL, Class target, int32_t transition);
    void fromParentToViewController(NSString* URL, NSString* parent, Class target, SEL selector,
                                    int32_t transition);
    void fromToSharedViewController(NSString* URL, Class target);
    void fromToSharedViewController(NSString* URL, Class target, SEL selector);
    void fromParentToSharedViewController(NSString* URL, NSString* parent, Class target);
    void fromParentToSharedViewController(NSString* URL, NSString* parent, Class target,
                                          SEL selector);
    void fromToModalViewController(NSString* URL, Class target);
    void fromToModalViewController(NSString* URL, Class target, SEL selector);
    void fromToModalViewControllerTransition(NSString* URL, Class target, int32_t transition);
    void fromParentToModalViewController(NSString* URL, NSString* parent, Class target,
                                         SEL selector, int32_t transition);
    // Generators: from:toURL: and from:name:toURL:.
    void fromToURL(Class cls, NSString* URL);
    void fromNameToURL(Class cls, NSString* name, NSString* URL);

    void addObjectPattern(DZURLNavigatorPattern* pattern, NSString* URL);
    void addStringPattern(DZURLGeneratorPattern* pattern, NSString* URL, NSString* name);
    void registerScheme(NSString* scheme);
    bool isSchemeSupported(NSString* scheme);
    Ref<NSString> keyForClass(Class cls, NSString* name);

    // ---- objects ---------------------------------------------------------------------------
    // Not retained; a controller is handed to the navigator collection.
    void setObject(NSObject* object, NSString* URL);
    void removeURL(NSString* URL);
    void removeObject(NSObject*) {}
    void removeObjectForURL(NSString* URL);
    void removeAllObjects();
    Ref<NSObject> objectForURL(NSString* URL);
    Ref<NSObject> objectForURL(NSString* URL, NSDictionary* query);
    Ref<NSObject> objectForURL(NSString* URL, NSDictionary* query,
                               Ref<DZURLNavigatorPattern>* pattern);
    Ref<NSObject> dispatchURL(NSString* URL, NSObject* target, NSDictionary* query);

    // ---- queries ---------------------------------------------------------------------------
    Ref<DZURLNavigatorPattern> matchObjectPattern(NSURL* URL);
    int32_t navigationModeForURL(NSString* URL);
    int32_t transitionForURL(NSString* URL);
    bool isWebURL(NSURL* URL);
    bool isExternalURL(NSURL* URL);
    bool isAppURL(NSURL* URL);
    Ref<NSString> URLForObject(NSObject* object);
    Ref<NSString> URLForObject(NSObject* object, NSString* name);

    // For tests: the object patterns in their current order.
    const std::vector<Ref<DZURLNavigatorPattern>>& objectPatterns() { return objectPatterns_; }
    Ref<DZURLNavigatorPattern> defaultObjectPattern() { return defaultObjectPattern_; }

private:
    void registerPattern(NSString* URL, NSObject* target, int32_t mode, SEL selector,
                         NSString* parent, int32_t transition);

    Ref<NSMutableDictionary> objectMappings_;
    std::vector<Ref<DZURLNavigatorPattern>> objectPatterns_;
    std::vector<Ref<DZURLNavigatorPattern>> fragmentPatterns_;
    Ref<NSMutableDictionary> stringPatterns_;
    Ref<NSMutableDictionary> schemes_;
    Ref<DZURLNavigatorPattern> defaultObjectPattern_;
    bool invalidPatterns_ = false;
};
