#include "Regex.h"

#include <string_view>

#include "Foundation/Runtime.h"
#include "MatchKit/MatchKit.h"

// A scrape makes several of these per row, so a string that keeps its units in place hands them
// to a string that holds them in its own allocation.
Ref<NSString> regexCapturedText(NSString* content, NSRange r) {
    if (const char16_t* units = content->charactersPtr()) {
        if (r.length == content->length()) return content->substringWithRange(r);
        return NSString::compactStringWithUnits(std::u16string_view(units + r.location, r.length));
    }
    return content->substringWithRange(r);
}

// Nothing of a Regex is reached by name.
void Regex::describeClass(RuntimeClass& c) {
    (void)c;
}

bool Regex::initWithMarks(NSString* content, NSString* regex, NSString* startMark,
                          NSString* endMark) {
    if (!NSObject::init()) return false;
    NSUInteger length = content ? content->length() : 0;
    NSUInteger start = 0;
    NSUInteger end = length;
    startMarkLength_ = 0;
    if (startMark && content) {
        NSRange found = content->rangeOfString(startMark);
        if (found.location != NSNotFound) {
            start = found.location;
            startMarkLength_ = found.length;
        } else {
            start = length;
        }
    }
    if (endMark && content) {
        NSUInteger from = start + startMarkLength_;
        NSRange found = content->rangeOfString(endMark, 0, NSMakeRange(from, length - from));
        if (found.location != NSNotFound) end = found.location;
    }
    content_ = content;
    regex_ = regex;
    range_ = NSMakeRange(start, end - start);
    matchedRange_ = NSMakeRange(NSNotFound, 0);
    exhausted_ = false;
    return true;
}

Ref<NSString> Regex::getMatchCapture(int capture) {
    if (!content_) return nullptr;
    if (exhausted_) {
        matchedRange_ = NSMakeRange(NSNotFound, 0);
        return nullptr;
    }
    // Without a pattern there is nothing to find; the pattern-less window only serves
    // getSubstring.
    if (!regex_) {
        matchedRange_ = NSMakeRange(NSNotFound, 0);
        return nullptr;
    }
    matchedRange_ =
        rangeOfRegex(content_.get(), regex_.get(), MTKRegexNoOptions, range_, capture, nullptr);
    if (matchedRange_.location == NSNotFound) return nullptr;
    return regexCapturedText(content_.get(), matchedRange_);
}

void Regex::gotoNextMatch() {
    if (matchedRange_.location == NSNotFound) return;
    NSUInteger end = range_.location + range_.length;
    NSUInteger next = matchedRange_.location + matchedRange_.length;
    // An empty capture at the window's very start would find itself again forever; step past
    // it so that every iteration moves, and end the walk once there is nowhere left to go.
    if (next <= range_.location) {
        if (range_.location >= end) {
            exhausted_ = true;
            return;
        }
        next = range_.location + 1;
    }
    range_ = NSMakeRange(next, end - next);
}

Ref<NSString> Regex::getMatch(NSString* content, NSString* regex) {
    return getMatch(content, regex, nullptr, nullptr);
}

Ref<NSString> Regex::getMatch(NSString* content, NSString* regex, NSString* startMark,
                              NSString* endMark) {
    auto r = make<Regex>(&Regex::initWithMarks, content, regex, startMark, endMark);
    return r->getMatchCapture(1);
}

Ref<NSString> Regex::getMatch(NSString* content, NSString* regex, NSRange window) {
    if (!content || !regex) return nullptr;
    NSRange r = rangeOfRegex(content, regex, MTKRegexNoOptions, window, 1, nullptr);
    if (r.location == NSNotFound) return nullptr;
    return regexCapturedText(content, r);
}

Ref<NSString> Regex::getSubstring(NSString* content, NSString* startMark, NSString* endMark) {
    if (!content) return nullptr;
    auto r = make<Regex>(&Regex::initWithMarks, content, nullptr, startMark, endMark);
    NSUInteger length = content->length();
    if (startMark && r->range_.location >= length && r->startMarkLength_ == 0) return nullptr;
    NSUInteger from = r->range_.location + r->startMarkLength_;
    NSUInteger to = r->range_.location + r->range_.length;
    if (to <= from) return nullptr;
    return content->substringWithRange(NSMakeRange(from, to - from));
}

void Regex::dealloc() {
    content_ = nullptr;
    regex_ = nullptr;
    NSObject::dealloc();
}
