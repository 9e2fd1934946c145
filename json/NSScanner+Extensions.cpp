#include "json/NSScanner+Extensions.h"

#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSException.h"
#include "Foundation/NSScanner.h"
#include "Foundation/NSString.h"

Ref<NSString> remainingString(NSScanner* scanner) {
    return scanner->string()->substringFromIndex(scanner->scanLocation());
}

char16_t currentCharacter(NSScanner* scanner) {
    auto string = scanner->string();
    NSUInteger at = scanner->scanLocation();
    return at < string->length() ? string->characterAtIndex(at) : 0;
}

char16_t scanCharacter(NSScanner* scanner) {
    auto string = scanner->string();
    NSUInteger at = scanner->scanLocation();
    if (at >= string->length()) return 0;
    scanner->setScanLocation(at + 1);
    return string->characterAtIndex(at);
}

bool scanCharacter(NSScanner* scanner, char16_t c) {
    auto string = scanner->string();
    NSUInteger at = scanner->scanLocation();
    if (at >= string->length() || string->characterAtIndex(at) != c) return false;
    scanner->setScanLocation(at + 1);
    return true;
}

void backtrack(NSScanner* scanner, NSUInteger count) {
    if (count > scanner->scanLocation()) {
        NSException::raise(NSGenericException, NS("Backtracked too far."));
    }
    scanner->setScanLocation(scanner->scanLocation() - count);
}

bool scanCStyleComment(NSScanner* scanner, Ref<NSString>* into) {
    NSUInteger begin = scanner->scanLocation();
    if (!scanner->scanString(NS("/*"), nullptr)) return false;
    auto string = scanner->string();
    NSUInteger from = scanner->scanLocation();
    NSUInteger length = string->length();
    NSRange close =
        string->rangeOfString(NS("*/"), NSLiteralSearch, NSMakeRange(from, length - from));
    if (close.location == static_cast<NSUInteger>(NSNotFound)) {
        scanner->setScanLocation(begin);
        NSException::raise(NSGenericException,
                           NS("Started to scan a C style comment but it wasn't terminated."));
    }
    auto body = string->substringWithRange(NSMakeRange(from, close.location - from));
    if (body->rangeOfString(NS("/*"), NSLiteralSearch).location !=
        static_cast<NSUInteger>(NSNotFound)) {
        scanner->setScanLocation(begin);
        NSException::raise(NSGenericException, NS("C style comments should not be nested."));
    }
    scanner->setScanLocation(NSMaxRange(close));
    if (into) *into = body;
    return true;
}

bool scanCPlusPlusStyleComment(NSScanner* scanner, Ref<NSString>* into) {
    if (!scanner->scanString(NS("//"), nullptr)) return false;
    auto string = scanner->string();
    auto breaks = linebreaksCharacterSet();
    NSUInteger from = scanner->scanLocation();
    NSUInteger length = string->length();
    NSUInteger end = from;
    while (end < length && !breaks->characterIsMember(string->characterAtIndex(end)))
        ++end;
    auto text = string->substringWithRange(NSMakeRange(from, end - from));
    while (end < length && breaks->characterIsMember(string->characterAtIndex(end)))
        ++end;
    scanner->setScanLocation(end);
    if (into) *into = text;
    return true;
}

Ref<NSCharacterSet> linebreaksCharacterSet() {
    static NSCharacterSet* const set = [] {
        auto s = NSCharacterSet::characterSetWithCharactersInString(NS("\n\f\r\u0085\u2028\u2029"));
        s->makeImmortal();
        return s.get();
    }();
    return set;
}
