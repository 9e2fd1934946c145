// The helper functions the whole UI framework shares: non-retaining collections for delegate
// lists, the framework's localized texts and locale, error titles, number texts, "bundle://"
// and "documents://" paths, two rectangle helpers and the network activity count.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIGeometry.h"

class NSError;
class NSLocale;
class NSMutableArray;
class NSMutableDictionary;
class NSString;

// A mutable array that does not retain its elements; a freed element drops out of it.
Ref<NSMutableArray> DZNewWeakMutableArray();
// A mutable dictionary that retains its keys but not its values.
Ref<NSMutableDictionary> DZNewWeakMutableDictionary();
// The element callbacks of the above: retaining hands the value back unchanged, releasing does
// nothing.
const void* DZWeakRetainCallback(const void* allocator, const void* value);
void DZWeakReleaseCallback(const void* allocator, const void* value);

// YES for a string of at least one character; NO for nil, other objects and "".
bool DZIsNonEmptyString(NSObject* object);

// The first of the user's "AppleLanguages" as a locale, else the current locale.
Ref<NSLocale> DZPreferredLocale();
// The text for the key in the string table of "Dodiz20.bundle" (in the main bundle's resource
// folder), or the key itself.
Ref<NSString> DZBundleLocalizedString(NSString* key, NSString* comment);
// A title for an alert about the error: timed out, offline, other connection errors, others.
Ref<NSString> DZUserErrorTitle(NSError* error);
// The number with the decimal style's grouping.
Ref<NSString> DZDecimalStringFromInt(int32_t number);

bool DZHasBundleScheme(NSString* url);     // "bundle://..."
bool DZHasDocumentsScheme(NSString* url);  // "documents://..."
Ref<NSString> DZBundleResourcePath(NSString* relativePath);
Ref<NSString> DZDocumentsResourcePath(NSString* relativePath);

CGRect DZRectShrinkSize(CGRect rect, CGFloat dx, CGFloat dy);
CGRect DZRectInsetByEdges(CGRect rect, UIEdgeInsets edges);

// One download begins or ends, from any thread: each running download is one hold on the
// application's network activity indicator. The count never goes below zero.
void DZNetworkActivityBegin();
void DZNetworkActivityEnd();
// The current count (for tests and diagnostics).
int32_t DZNetworkActivityCount();
