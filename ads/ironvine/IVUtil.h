// Stateless helpers of the ad views: version order, links that open another application,
// orientation transforms and delimited substrings. Scripts reach the class methods through the
// reflection handler.
#pragma once

#include "CoreGraphics/CGAffineTransform.h"
#include "Foundation/NSObject.h"

class NSString;
class NSURL;

// The store's two web hosts and the maps host whose links leave for their applications.
extern NSString* const IVAppStoreHost;
extern NSString* const IVAppStoreCompanionHost;
extern NSString* const IVMapsHost;

class IVUtil : public NSObject {
    NS_OBJECT(IVUtil, NSObject)
    // -1, 0 or 1, numbers compared as numbers (4.10 after 4.9).
    static int versionCompare(NSString* a, NSString* b);
    static bool URLWillLoadExternalApp(NSURL* url);
    static CGAffineTransform transformForOrientation(int orientation);
    static Ref<NSString> delimitedStringFromString(NSString* text, NSString* left, NSString* right,
                                                   NSUInteger start);
    static Ref<NSString> delimitedStringFromString(NSString* text, NSString* left, NSString* right);
    // Every region between a left delimiter and the next right one takes the replacement, the
    // delimiters kept; each region is found in the text as already changed.
    static Ref<NSString> replaceString(NSString* replacement, NSString* left, NSString* right,
                                       NSString* text);
};

// Whether `name` can stand as one entry of a folder the engine owns: text, not empty, not "." or
// "..", without "/" or a zero. Names that come from the server or the ads table are joined to
// the engine's folders only when they pass.
bool IVIsPlainPathComponent(NSString* name);
