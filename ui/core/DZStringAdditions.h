// The framework's extensions of data and strings: digests as hex text (the URL cache's file
// names), white-space tests, markup stripping, query strings and dotted version comparison.
#pragma once

#include "Foundation/NSString.h"

class NSData;
class NSDictionary;

// Lower-case hex digests: 32 digits for MD5, 40 for SHA-1.
Ref<NSString> md5Hash(NSData* data);
Ref<NSString> sha1Hash(NSData* data);
// The same of the string's UTF-8 bytes.
Ref<NSString> md5Hash(NSString* string);
Ref<NSString> sha1Hash(NSString* string);

// YES when every character is white space or a line break (YES for "").
bool isWhitespaceAndNewlines(NSString* string);
// YES when the string is empty once spaces and tabs (not line breaks) are trimmed.
bool isEmptyOrWhitespace(NSString* string);
// The text content of the string read as markup.
Ref<NSString> stringByRemovingHTMLTags(NSString* string);

// "a=1&b=2;c=3" as a dictionary of unescaped strings. Only "key=value" pairs count (a later
// one replaces an earlier one); "+" stays "+"; a pair with a bad percent escape is skipped.
Ref<NSDictionary> queryDictionaryUsingEncoding(NSString* string, NSStringEncoding encoding);
// The same, each key mapping to an array of all its values in order; a bare key adds NSNull.
Ref<NSDictionary> queryContentsUsingEncoding(NSString* string, NSStringEncoding encoding);
// The string with "?" (or "&" when it has a query already) and the pairs of the dictionary of
// strings; "?" and "=" inside values are escaped.
Ref<NSString> stringByAddingQueryDictionary(NSString* string, NSDictionary* query);
// Orders "1.9", "1.10", "2.0a3", "2.0a10", "2.0": the dotted numbers compare number by number
// (a missing number counts as 0), then a release is greater than its "a" versions, which
// compare by their number.
NSComparisonResult versionStringCompare(NSString* string, NSString* other);
