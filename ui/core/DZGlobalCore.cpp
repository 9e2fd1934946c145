#include "ui/core/DZGlobalCore.h"

#include <mutex>

#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSNumberFormatter.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSURLError.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIApplication.h"

Ref<NSMutableArray> DZNewWeakMutableArray() {
    return NSMutableArray::nonRetainingArray();
}

Ref<NSMutableDictionary> DZNewWeakMutableDictionary() {
    return NSMutableDictionary::nonRetainingDictionary();
}

const void* DZWeakRetainCallback(const void*, const void* value) {
    return value;
}

void DZWeakReleaseCallback(const void*, const void*) {}

bool DZIsNonEmptyString(NSObject* object) {
    auto* s = dynamic_cast<NSString*>(object);
    return s && s->length() > 0;
}

Ref<NSLocale> DZPreferredLocale() {
    Ref<NSArray> languages =
        NSUserDefaults::standardUserDefaults()->arrayForKey(NS("AppleLanguages"));
    if (languages && languages->count() > 0) {
        if (auto first = as<NSString>(languages->objectAtIndex(0)))
            return NSLocale::localeWithLocaleIdentifier(first);
    }
    return NSLocale::currentLocale();
}

namespace {
// Loaded on first use and kept: the bundle's resources do not change under a running app. It
// lies in the main bundle, which tests may point elsewhere, so it sits in a slot (nil when the
// main bundle has none).
struct FrameworkBundle {
    Ref<NSBundle> bundle;
};

Ref<NSBundle> frameworkBundle() {
    static ProcessWide<FrameworkBundle> slot{[] {
        auto found = std::make_shared<FrameworkBundle>();
        Ref<NSString> path = NSBundle::mainBundle()->resourcePath()->stringByAppendingPathComponent(
            NS("Dodiz20.bundle"));
        found->bundle = NSBundle::bundleWithPath(path);
        return found;
    }};
    return slot.get()->bundle;
}
}  // namespace

Ref<NSString> DZBundleLocalizedString(NSString* key, NSString*) {
    Ref<NSBundle> bundle = frameworkBundle();
    if (!bundle || !key) return key;
    return bundle->localizedStringForKey(key, key, nullptr);
}

Ref<NSString> DZUserErrorTitle(NSError* error) {
    if (error && objectsEqual(error->domain(), NSURLErrorDomain)) {
        switch (error->code()) {
            case NSURLErrorTimedOut:
                return DZBundleLocalizedString(NS("Connection Timed Out"), nullptr);
            case NSURLErrorNotConnectedToInternet:
                return DZBundleLocalizedString(NS("No Internet Connection"), nullptr);
            default:
                return DZBundleLocalizedString(NS("Connection Error"), nullptr);
        }
    }
    return DZBundleLocalizedString(NS("Error"), nullptr);
}

Ref<NSString> DZDecimalStringFromInt(int32_t number) {
    return NSNumberFormatter::localizedStringFromNumber(NSNumber::numberWithInt(number),
                                                        NSNumberFormatterDecimalStyle);
}

bool DZHasBundleScheme(NSString* url) {
    return url && url->hasPrefix(NS("bundle://"));
}

bool DZHasDocumentsScheme(NSString* url) {
    return url && url->hasPrefix(NS("documents://"));
}

Ref<NSString> DZBundleResourcePath(NSString* relativePath) {
    Ref<NSString> folder = NSBundle::mainBundle()->resourcePath();
    return relativePath ? folder->stringByAppendingPathComponent(relativePath) : folder;
}

// Worked out on each call: the Documents folder moves with the home folder.
Ref<NSString> DZDocumentsResourcePath(NSString* relativePath) {
    Ref<NSArray> dirs =
        NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true);
    Ref<NSString> first =
        dirs && dirs->count() ? as<NSString>(dirs->objectAtIndex(0)) : Ref<NSString>(NS(""));
    Ref<NSString> documents = first->stringByExpandingTildeInPath();
    return relativePath ? documents->stringByAppendingPathComponent(relativePath) : documents;
}

CGRect DZRectShrinkSize(CGRect rect, CGFloat dx, CGFloat dy) {
    return CGRectMake(rect.origin.x, rect.origin.y, rect.size.width - dx, rect.size.height - dy);
}

CGRect DZRectInsetByEdges(CGRect rect, UIEdgeInsets edges) {
    return CGRectMake(rect.origin.x + edges.left, rect.origin.y + edges.top,
                      rect.size.width - (edges.left + edges.right),
                      rect.size.height - (edges.top + edges.bottom));
}

namespace {
std::mutex activityLock;  // the framework's count and its holds change as one step
int32_t activityCount = 0;
}  // namespace

// Each download is one hold on the application's indicator, which other owners share: an end
// with none of the framework's downloads running gives nothing back, so it cannot turn the
// indicator off under another owner's load.
void DZNetworkActivityBegin() {
    std::lock_guard<std::mutex> hold(activityLock);
    ++activityCount;
    UIApplication::sharedApplication()->beginNetworkActivity();
}

void DZNetworkActivityEnd() {
    std::lock_guard<std::mutex> hold(activityLock);
    if (activityCount == 0) return;
    --activityCount;
    UIApplication::sharedApplication()->endNetworkActivity();
}

int32_t DZNetworkActivityCount() {
    std::lock_guard<std::mutex> hold(activityLock);
    return activityCount;
}
