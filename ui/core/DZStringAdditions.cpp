#include "ui/core/DZStringAdditions.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "CommonCrypto/CommonDigest.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNull.h"
#include "ui/core/DZMarkupStripper.h"

namespace {
Ref<NSString> hexText(const unsigned char* digest, size_t length) {
    std::string out;
    out.reserve(length * 2);
    char two[3];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(two, sizeof two, "%02x", digest[i]);
        out += two;
    }
    return NSString::fromUTF8(out);
}

const void* bytesOf(NSData* data) {
    return data && data->length() ? data->bytes() : "";
}
}  // namespace

Ref<NSString> md5Hash(NSData* data) {
    unsigned char digest[CC_MD5_DIGEST_LENGTH];
    CC_MD5(bytesOf(data), data ? data->length() : 0, digest);
    return hexText(digest, sizeof digest);
}

Ref<NSString> sha1Hash(NSData* data) {
    unsigned char digest[CC_SHA1_DIGEST_LENGTH];
    CC_SHA1(bytesOf(data), data ? data->length() : 0, digest);
    return hexText(digest, sizeof digest);
}

Ref<NSString> md5Hash(NSString* string) {
    return md5Hash(string->dataUsingEncoding(NSUTF8StringEncoding));
}

Ref<NSString> sha1Hash(NSString* string) {
    return sha1Hash(string->dataUsingEncoding(NSUTF8StringEncoding));
}

bool isWhitespaceAndNewlines(NSString* string) {
    Ref<NSCharacterSet> space = NSCharacterSet::whitespaceAndNewlineCharacterSet();
    for (NSUInteger i = 0; i < string->length(); ++i) {
        if (!space->characterIsMember(string->characterAtIndex(i))) return false;
    }
    return true;
}

bool isEmptyOrWhitespace(NSString* string) {
    return string->length() == 0 ||
           string->stringByTrimmingCharactersInSet(NSCharacterSet::whitespaceCharacterSet())
                   ->length() == 0;
}

Ref<NSString> stringByRemovingHTMLTags(NSString* string) {
    auto stripper = make<DZMarkupStripper>();
    return stripper->parse(string);
}

namespace {
// Calls back with each pair text between runs of "&" and ";" split at every "=".
void forEachPair(NSString* string, const std::function<void(NSArray* parts)>& fn) {
    Ref<NSCharacterSet> separators = NSCharacterSet::characterSetWithCharactersInString(NS("&;"));
    Ref<NSArray> pairs = string->componentsSeparatedByCharactersInSet(separators);
    for (NSObject* o : *pairs) {
        auto pair = static_cast<NSString*>(o);
        if (pair->length() == 0) continue;  // a run of separators
        fn(pair->componentsSeparatedByString(NS("=")));
    }
}
}  // namespace

Ref<NSDictionary> queryDictionaryUsingEncoding(NSString* string, NSStringEncoding encoding) {
    auto result = NSMutableDictionary::dictionary();
    forEachPair(string, [&](NSArray* parts) {
        if (parts->count() != 2) return;
        auto key = cast<NSString>(parts->objectAtIndex(0))
                       ->stringByReplacingPercentEscapesUsingEncoding(encoding);
        auto value = cast<NSString>(parts->objectAtIndex(1))
                         ->stringByReplacingPercentEscapesUsingEncoding(encoding);
        if (!key || !value) return;  // a bad escape: the pair cannot be read
        result->setObject(value, key);
    });
    return result->copy();
}

Ref<NSDictionary> queryContentsUsingEncoding(NSString* string, NSStringEncoding encoding) {
    auto result = NSMutableDictionary::dictionary();
    forEachPair(string, [&](NSArray* parts) {
        if (parts->count() != 1 && parts->count() != 2) return;
        auto key = cast<NSString>(parts->objectAtIndex(0))
                       ->stringByReplacingPercentEscapesUsingEncoding(encoding);
        Ref<NSObject> value = NSNull::null();
        if (parts->count() == 2) {
            value = cast<NSString>(parts->objectAtIndex(1))
                        ->stringByReplacingPercentEscapesUsingEncoding(encoding);
        }
        if (!key || !value) return;
        auto values = as<NSMutableArray>(result->objectForKey(key));
        if (!values) {
            values = NSMutableArray::array();
            result->setObject(values, key);
        }
        values->addObject(value);
    });
    // Immutable all the way down.
    auto frozen = NSMutableDictionary::dictionary();
    for (NSObject* key : *result)
        frozen->setObject(cast<NSArray>(result->objectForKey(key))->copy(), key);
    return frozen->copy();
}

Ref<NSString> stringByAddingQueryDictionary(NSString* string, NSDictionary* query) {
    auto pairs = NSMutableArray::array();
    if (query) {
        for (NSObject* key : *query) {
            Ref<NSObject> raw = query->objectForKey(key);
            auto value = as<NSString>(raw);
            if (!value) value = raw->description();
            value = value->stringByReplacingOccurrencesOfString(NS("?"), NS("%3F"))
                        ->stringByReplacingOccurrencesOfString(NS("="), NS("%3D"));
            pairs->addObject(NSString::stringWithFormat(NS("%@=%@"), key, value));
        }
    }
    Ref<NSString> joined = pairs->componentsJoinedByString(NS("&"));
    if (string->rangeOfString(NS("?")).location == NSNotFound)
        return string->stringByAppendingFormat(NS("?%@"), joined);
    return string->stringByAppendingFormat(NS("&%@"), joined);
}

namespace {
NSComparisonResult compareNumbers(long long a, long long b) {
    return a < b ? NSOrderedAscending : a > b ? NSOrderedDescending : NSOrderedSame;
}

// "1.10" against "1.9", number by number.
NSComparisonResult compareDotted(NSString* a, NSString* b) {
    Ref<NSArray> x = a->componentsSeparatedByString(NS("."));
    Ref<NSArray> y = b->componentsSeparatedByString(NS("."));
    NSUInteger n = std::max(x->count(), y->count());
    for (NSUInteger i = 0; i < n; ++i) {
        long long u = i < x->count() ? cast<NSString>(x->objectAtIndex(i))->longLongValue() : 0;
        long long v = i < y->count() ? cast<NSString>(y->objectAtIndex(i))->longLongValue() : 0;
        if (NSComparisonResult r = compareNumbers(u, v); r != NSOrderedSame) return r;
    }
    return NSOrderedSame;
}
}  // namespace

NSComparisonResult versionStringCompare(NSString* string, NSString* other) {
    Ref<NSArray> mine = string->componentsSeparatedByString(NS("a"));
    Ref<NSArray> theirs = other->componentsSeparatedByString(NS("a"));
    NSComparisonResult first = compareDotted(cast<NSString>(mine->objectAtIndex(0)),
                                             cast<NSString>(theirs->objectAtIndex(0)));
    if (first != NSOrderedSame) return first;
    // A release is greater than its "a" versions.
    if (mine->count() < theirs->count()) return NSOrderedDescending;
    if (mine->count() > theirs->count()) return NSOrderedAscending;
    if (mine->count() == 1) return NSOrderedSame;
    return compareNumbers(cast<NSString>(mine->objectAtIndex(1))->longLongValue(),
                          cast<NSString>(theirs->objectAtIndex(1))->longLongValue());
}
