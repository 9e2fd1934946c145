#include "ads/ironvine/IVUtil.h"

#include <cmath>
#include <string>

#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIDevice.h"

NSString* const IVAppStoreHost = NS("itunes.appstore.test");
NSString* const IVAppStoreCompanionHost = NS("phobos.appstore.test");
NSString* const IVMapsHost = NS("maps.mapservice.test");

bool IVIsPlainPathComponent(NSString* name) {
    if (!name || name->length() == 0) return false;
    std::string v = name->utf8();
    return v.find('/') == std::string::npos && v.find('\0') == std::string::npos && v != "." &&
           v != "..";
}

int IVUtil::versionCompare(NSString* a, NSString* b) {
    if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
    return static_cast<int>(a->compare(b, NSNumericSearch));
}

bool IVUtil::URLWillLoadExternalApp(NSURL* url) {
    if (!url) return false;
    auto host = url->host();
    if (host) {
        for (NSString* h : {IVAppStoreHost, IVAppStoreCompanionHost, IVMapsHost})
            if (host->caseInsensitiveCompare(h) == NSOrderedSame) return true;
    }
    auto scheme = url->scheme();
    if (!scheme) return false;
    if (scheme->isEqualToString(NS("tel")) &&
        versionCompare(UIDevice::currentDevice()->systemVersion().get(), NS("4.2.1")) >= 0)
        return true;
    return scheme->isEqualToString(NS("mailto"));
}

CGAffineTransform IVUtil::transformForOrientation(int orientation) {
    switch (orientation) {
        case 4:
            return CGAffineTransformRotate(CGAffineTransformIdentity,
                                           static_cast<CGFloat>(-M_PI / 2));
        case 3:
            return CGAffineTransformRotate(CGAffineTransformIdentity,
                                           static_cast<CGFloat>(M_PI / 2));
        case 2:
            return CGAffineTransformRotate(CGAffineTransformIdentity, static_cast<CGFloat>(M_PI));
        default:
            return CGAffineTransformIdentity;
    }
}

Ref<NSString> IVUtil::delimitedStringFromString(NSString* text, NSString* left, NSString* right,
                                                NSUInteger start) {
    if (!text || !left || !right || start > text->length()) return nullptr;
    NSRange l =
        text->rangeOfString(left, NSLiteralSearch, NSMakeRange(start, text->length() - start));
    if (l.location == NSNotFound) return nullptr;
    NSRange r = text->rangeOfString(right);
    if (r.location == NSNotFound) return nullptr;
    NSUInteger from = l.location + l.length;
    if (r.location <= from) return nullptr;
    return text->substringWithRange(NSMakeRange(from, r.location - from));
}

Ref<NSString> IVUtil::delimitedStringFromString(NSString* text, NSString* left, NSString* right) {
    return delimitedStringFromString(text, left, right, 0);
}

Ref<NSString> IVUtil::replaceString(NSString* replacement, NSString* left, NSString* right,
                                    NSString* text) {
    if (!text) return nullptr;
    if (!replacement || !left || !right || left->length() == 0 || right->length() == 0)
        return Ref<NSString>(text);
    Ref<NSString> out(text);
    NSUInteger from = 0;
    while (from <= out->length()) {
        NSRange l =
            out->rangeOfString(left, NSLiteralSearch, NSMakeRange(from, out->length() - from));
        if (l.location == NSNotFound) break;
        NSUInteger inner = l.location + l.length;
        NSRange r =
            out->rangeOfString(right, NSLiteralSearch, NSMakeRange(inner, out->length() - inner));
        if (r.location == NSNotFound) break;
        out = out->stringByReplacingCharactersInRange(NSMakeRange(inner, r.location - inner),
                                                      replacement);
        from = inner + replacement->length() + right->length();
    }
    return out;
}
