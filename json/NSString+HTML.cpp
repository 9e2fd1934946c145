#include "json/NSString+HTML.h"

#include <set>
#include <string>
#include <vector>

#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSScanner.h"
#include "Foundation/NSString.h"
#include "json/NSString+HXHTMLAdditions.h"

namespace {

NSCharacterSet* sharedSet(NSString* characters) {
    auto set = NSCharacterSet::characterSetWithCharactersInString(characters);
    set->makeImmortal();
    return set.get();
}

NSCharacterSet* whitespace() {
    static NSCharacterSet* const set = sharedSet(NS(" \t\n\r\u0085\f\u2028\u2029"));
    return set;
}

NSCharacterSet* newlines() {
    static NSCharacterSet* const set = sharedSet(NS("\n\r\u0085\f\u2028\u2029"));
    return set;
}

NSCharacterSet* stopCharacters() {
    static NSCharacterSet* const set = sharedSet(NS("< \t\n\r\u0085\f\u2028\u2029"));
    return set;
}

NSCharacterSet* tagNameLetters() {
    static NSCharacterSet* const set =
        sharedSet(NS("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
    return set;
}

// A scanner that reads every character and compares exactly.
Ref<NSScanner> plainScanner(NSString* string) {
    auto scanner = NSScanner::scannerWithString(string);
    scanner->setCharactersToBeSkipped(nullptr);
    scanner->setCaseSensitive(true);
    return scanner;
}

// Closing tags of inline elements do not separate words.
bool isInlineTag(NSString* name) {
    static const std::set<std::u16string> names = {
        u"a", u"b", u"i", u"q", u"span", u"em", u"strong", u"cite", u"abbr", u"acronym", u"label"};
    return names.count(name->lowercaseString()->u16()) != 0;
}

}  // namespace

Ref<NSString> stringByDecodingHTMLEntities(NSString* string) {
    auto decoded = hx_stringByUnescapingFromHTML(string);
    // Most scraped texts hold no reference and come back as themselves; immutable texts, those
    // and the decoded ones, are their own copies.
    if (!decoded || decoded->hasFixedText()) return decoded;
    return decoded->copy();
}

Ref<NSString> stringByEncodingHTMLEntities(NSString* string) {
    auto encoded = hx_stringByEscapingForAsciiHTML(string);
    return encoded ? encoded->copy() : nullptr;
}

Ref<NSString> stringByConvertingHTMLToPlainText(NSString* string) {
    if (!string) return nullptr;
    auto scanner = plainScanner(string);
    auto result = NSMutableString::stringWithCapacity(string->length());
    Ref<NSString> run;
    while (!scanner->isAtEnd()) {
        if (scanner->scanUpToCharactersFromSet(stopCharacters(), &run)) {
            result->appendString(run);
        }
        if (scanner->scanString(NS("<"), nullptr)) {
            if (scanner->scanString(NS("!--"), nullptr)) {
                scanner->scanUpToString(NS("-->"), nullptr);
                scanner->scanString(NS("-->"), nullptr);
            } else {
                if (scanner->scanString(NS("/"), nullptr)) {
                    Ref<NSString> name;
                    scanner->scanCharactersFromSet(tagNameLetters(), &name);
                    bool separates = !name || !isInlineTag(name);
                    if (separates && result->length() && !scanner->isAtEnd()) {
                        result->appendString(NS(" "));
                    }
                }
                scanner->scanUpToString(NS(">"), nullptr);
                scanner->scanString(NS(">"), nullptr);
            }
        } else if (scanner->scanCharactersFromSet(whitespace(), nullptr)) {
            if (result->length() && !scanner->isAtEnd()) result->appendString(NS(" "));
        }
    }
    return stringByDecodingHTMLEntities(result);
}

Ref<NSString> stringWithNewLinesAsBRs(NSString* string) {
    if (!string) return nullptr;
    auto scanner = plainScanner(string);
    auto result = NSMutableString::stringWithCapacity(string->length());
    Ref<NSString> run;
    while (!scanner->isAtEnd()) {
        if (scanner->scanUpToCharactersFromSet(newlines(), &run)) result->appendString(run);
        if (scanner->scanString(NS("\r\n"), nullptr)) {
            result->appendString(NS("<br />"));
        } else if (scanner->scanCharactersFromSet(newlines(), &run)) {
            for (NSUInteger i = 0; i < run->length(); ++i)
                result->appendString(NS("<br />"));
        }
    }
    return result->copy();
}

Ref<NSString> stringByRemovingNewLinesAndWhitespace(NSString* string) {
    if (!string) return nullptr;
    auto scanner = plainScanner(string);
    auto result = NSMutableString::stringWithCapacity(string->length());
    Ref<NSString> run;
    while (!scanner->isAtEnd()) {
        if (scanner->scanUpToCharactersFromSet(whitespace(), &run)) result->appendString(run);
        if (scanner->scanCharactersFromSet(whitespace(), nullptr)) {
            if (result->length() && !scanner->isAtEnd()) result->appendString(NS(" "));
        }
    }
    return result->copy();
}

Ref<NSString> stringByStrippingTags(NSString* string) {
    if (!string) return nullptr;
    if (string->rangeOfString(NS("<"), NSLiteralSearch).location ==
        static_cast<NSUInteger>(NSNotFound)) {
        return string->copy();
    }
    // Each distinct tag text once, in the order first seen.
    std::vector<Ref<NSString>> tags;
    std::set<std::u16string> seen;
    auto scanner = plainScanner(string);
    Ref<NSString> tag;
    while (!scanner->isAtEnd()) {
        scanner->scanUpToString(NS("<"), nullptr);
        if (scanner->scanUpToString(NS(">"), &tag)) {
            auto text = tag->stringByAppendingString(NS(">"));
            if (seen.insert(text->u16()).second) tags.push_back(text);
        }
    }
    static const std::set<std::u16string> dropped = {
        u"<a>", u"</a>", u"<span>", u"</span>", u"<strong>", u"</strong>", u"<em>", u"</em>"};
    auto result = string->mutableCopy();
    for (const auto& t : tags) {
        NSString* replacement = dropped.count(t->u16()) ? NS("") : NS(" ");
        result->replaceOccurrencesOfString(t, replacement, NSLiteralSearch,
                                           NSMakeRange(0, result->length()));
    }
    return stringByRemovingNewLinesAndWhitespace(result);
}
