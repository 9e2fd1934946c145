#include "ads/pebble/PBLNetworkUtilities.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSScanner.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/ProcessWide.h"

namespace {
Ref<NSString>& storedUserAgent() {
    struct Stored {
        Ref<NSString> userAgent;
    };
    static ProcessWide<Stored> slot;
    return slot.get()->userAgent;
}
}  // namespace

Ref<NSString> PBLNetworkUtilities::userAgentString() {
    return storedUserAgent();
}

void PBLNetworkUtilities::setUserAgentString(NSString* userAgent) {
    if (!userAgent || userAgent->length() == 0) return;
    auto& stored = storedUserAgent();
    if (stored && stored->isEqualToString(userAgent)) return;
    stored = userAgent->copy();
}

Ref<NSString> PBLNetworkUtilities::encodeURL(NSString* string) {
    if (!string) return nullptr;
    return string->stringByAddingPercentEscapesUsingEncoding(NSUTF8StringEncoding, nullptr,
                                                             NS("!*'();:@&=+$,/?%#[]"));
}

Ref<NSURL> PBLNetworkUtilities::appendQueryParameters(NSDictionary* parameters, NSURL* url) {
    if (!url) return nullptr;
    auto text = NSMutableString::stringWithString(url->absoluteString());
    auto query = url->query();
    NSString* separator = query && query->length() > 0 ? NS("&") : NS("?");
    if (parameters) {
        auto keys = parameters->allKeys();
        for (NSObject* key : *keys) {
            text->appendString(separator);
            separator = NS("&");
            text->appendString(key->description());
            auto value = encodeURL(parameters->objectForKey(key)->description());
            if (value && value->length() > 0) {
                text->appendString(NS("="));
                text->appendString(value);
            }
        }
    }
    return NSURL::URLWithString(text);
}

Ref<NSURL> PBLNetworkUtilities::appendQueryKey(NSString* key, NSString* value, NSURL* url) {
    if (!key) return appendQueryParameters(nullptr, url);
    auto parameters =
        NSDictionary::dictionaryWithObject(value ? static_cast<NSObject*>(value) : NS(""), key);
    return appendQueryParameters(parameters, url);
}

Ref<NSString> PBLNetworkUtilities::parameterValueForKey(NSString* key, NSURL* url) {
    auto query = url ? url->query() : nullptr;
    if (!key || !query) return nullptr;
    auto pieces = query->componentsSeparatedByString(NS("&"));
    for (NSObject* piece : *pieces) {
        auto parts = static_cast<NSString*>(piece)->componentsSeparatedByString(NS("="));
        if (parts->count() >= 2 && cast<NSString>(parts->objectAtIndex(0))->isEqualToString(key))
            return cast<NSString>(parts->objectAtIndex(1));
    }
    return nullptr;
}

Ref<NSMutableDictionary> PBLNetworkUtilities::dictionaryFromQueryString(NSString* query) {
    auto result = NSMutableDictionary::dictionary();
    if (!query) return result;
    auto separators = NSCharacterSet::characterSetWithCharactersInString(NS("&;"));
    auto scanner = NSScanner::scannerWithString(query);
    scanner->setCharactersToBeSkipped(nullptr);
    while (!scanner->isAtEnd()) {
        Ref<NSString> piece;
        scanner->scanUpToCharactersFromSet(separators, &piece);
        scanner->scanCharactersFromSet(separators, nullptr);
        if (!piece) continue;
        auto parts = piece->componentsSeparatedByString(NS("="));
        if (parts->count() != 2) continue;
        auto key = cast<NSString>(parts->objectAtIndex(0))
                       ->stringByReplacingPercentEscapesUsingEncoding(NSUTF8StringEncoding);
        auto value = cast<NSString>(parts->objectAtIndex(1))
                         ->stringByReplacingPercentEscapesUsingEncoding(NSUTF8StringEncoding);
        if (key && value) result->setObject(value, key->lowercaseString());
    }
    return result;
}
