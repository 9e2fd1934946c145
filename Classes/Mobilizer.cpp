#include "Classes/Mobilizer.h"

#include "Classes/MatchKit/MatchKit.h"

namespace {

// Markers used while the text is cleaned: a line break, and the two brackets that stand for
// the angle brackets of a kept tag while every other tag is removed.
#define BREAK_MARK "\u2591"
#define OPEN_MARK "\u3010"
#define CLOSE_MARK "\u3011"

const char* const kBreakPatterns[] = {"</table>", "</tr>",     "<p [^>]*>",
                                      "</p>",     "<hr[^>]*>", "<br[^>]*>"};
const char* const kKeptTags[] = {"img", "a", "b"};

Ref<NSString> replaceAll(NSString* text, NSString* pattern, NSString* replacement,
                         MTKRegexOptions options) {
    return stringByReplacingOccurrencesOfRegex(text, pattern, replacement, options,
                                               NSMakeRange(0, NSUIntegerMax), nullptr);
}

}  // namespace

Ref<NSString> withoutScriptsAndStyles(NSString* html) {
    if (!html) return nullptr;
    Ref<NSString> text = html;
    for (const char* name : {"script", "style"}) {
        auto pattern =
            NSString::stringWithFormat(NS("<%s(?:[\\s/][^>]*)?>.*?(?:</%s\\s*>|$)"), name, name);
        text = replaceAll(text.get(), pattern.get(), NS(" "), MTKRegexCaseless | MTKRegexDotAll);
    }
    return text;
}

Ref<NSString> Mobilizer::mobilizer(NSString* html) {
    if (!html) return nullptr;
    Ref<NSString> text = withoutScriptsAndStyles(html);
    for (const char* pattern : kBreakPatterns)
        text = replaceAll(text.get(), NSString::stringWithUTF8String(pattern).get(), NS(BREAK_MARK),
                          MTKRegexCaseless);
    // The name is a prefix: with "b" the big, body and blockquote tags survive too.
    for (const char* tag : kKeptTags) {
        auto pattern = NSString::stringWithFormat(NS("<(/?%s[^>]*)>"), tag);
        text =
            replaceAll(text.get(), pattern.get(), NS(OPEN_MARK "$1" CLOSE_MARK), MTKRegexCaseless);
    }
    text = replaceAll(text.get(), NS("<[^>]*>"), NS(" "), MTKRegexNoOptions);
    text =
        replaceAll(text.get(), NS(BREAK_MARK "{3,}"), NS(BREAK_MARK BREAK_MARK), MTKRegexNoOptions);
    text = text->stringByReplacingOccurrencesOfString(NS(BREAK_MARK), NS("<br />"));
    for (const char* tag : kKeptTags) {
        auto pattern =
            NSString::stringWithFormat(NS(OPEN_MARK "(/?%s[^" CLOSE_MARK "]*)" CLOSE_MARK), tag);
        text = replaceAll(text.get(), pattern.get(), NS("<$1>"), MTKRegexCaseless);
    }
    return text;
}
