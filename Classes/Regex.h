// The app's small layer over the regular-expression functions: the first capture of a pattern,
// optionally inside a window of the text between two marker strings, iteration over successive
// matches, and the plain text between two markers. Every scraping rule of the app goes through
// it. Patterns are ICU syntax.
#pragma once

#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"

// The text of `range` in `content`, as the captures of Regex are made.
Ref<NSString> regexCapturedText(NSString* content, NSRange range);

class Regex : public NSObject {
    NS_OBJECT(Regex, NSObject)
    static void describeClass(RuntimeClass& c);

    // The window starts at the first occurrence of startMark (the mark itself lies inside it;
    // at the end of the text when the mark is absent) and ends at the first occurrence of
    // endMark after the start mark (at the end of the text when absent). Either mark may be nil.
    bool initWithMarks(NSString* content, NSString* regex, NSString* startMark, NSString* endMark);

    // The text of capture group `capture` of the first match inside the window, or nil. Records
    // the capture's range as matchedRange (location NSNotFound when nothing was found).
    Ref<NSString> getMatchCapture(int capture);
    // Moves the window's start to the end of matchedRange, keeping its end. Only after a
    // capture that found something.
    void gotoNextMatch();

    // Capture 1 of the first match in the whole text, or nil.
    static Ref<NSString> getMatch(NSString* content, NSString* regex);
    // Capture 1 of the first match inside the window of the two marks, or nil.
    static Ref<NSString> getMatch(NSString* content, NSString* regex, NSString* startMark,
                                  NSString* endMark);
    // Capture 1 of the first match inside the window given as a range of the text, or nil. The
    // pattern sees only the window, as if it were the whole text.
    static Ref<NSString> getMatch(NSString* content, NSString* regex, NSRange window);
    // The text between the end of startMark and the beginning of endMark (to the end of the
    // text when endMark is absent); nil when startMark is absent or nothing lies between.
    static Ref<NSString> getSubstring(NSString* content, NSString* startMark, NSString* endMark);

    Ref<NSString> content() { return content_; }
    Ref<NSString> regex() { return regex_; }
    NSRange range() { return range_; }
    NSRange matchedRange() { return matchedRange_; }

    void dealloc() override;

private:
    Ref<NSString> content_;
    Ref<NSString> regex_;
    NSRange range_ = {0, 0};
    NSRange matchedRange_ = {NSNotFound, 0};
    // Where the start mark ended, so that getSubstring can skip the mark itself.
    NSUInteger startMarkLength_ = 0;
    // Set when an empty capture at the very end left the walk nowhere to go.
    bool exhausted_ = false;
};
