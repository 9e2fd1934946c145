// URLs in the platform's classic form: the text is kept exactly as written (nothing is escaped on
// the way in), a relative URL keeps its base, and the parts are read from the generic syntax
// scheme:[//authority]path[;params][?query][#fragment]. Text with characters that may not appear
// in a URL gives nil rather than being repaired.
#pragma once

#include <mutex>
#include <string>

#include "Foundation/NSObject.h"

class NSArray;
class NSNumber;

// "file", the scheme of file URLs.
extern NSString* const NSURLFileScheme;

class NSURL : public NSObject {
    NS_OBJECT(NSURL, NSObject)

    // ---- creation ------------------------------------------------------------------------
    // nil for nil or text that is not a valid URL. An empty string is a valid, empty relative URL.
    static Ref<NSURL> URLWithString(NSString* string);
    // URLWithString:relativeToURL:. A string with a scheme of its own drops the base.
    static Ref<NSURL> URLWithString(NSString* string, NSURL* baseURL);
    // A file URL for a file-system path, escaped as a URL needs. A relative path is taken
    // relative to the current directory (which becomes the base). The one-argument form adds
    // the trailing slash when the path names an existing directory. A nil path raises
    // NSInvalidArgumentException; an empty one gives nil.
    static Ref<NSURL> fileURLWithPath(NSString* path);
    static Ref<NSURL> fileURLWithPath(NSString* path, bool isDirectory);

    bool initWithString(NSString* string);
    bool initWithString(NSString* string, NSURL* baseURL);  // initWithString:relativeToURL:
    bool initFileURLWithPath(NSString* path);
    bool initFileURLWithPath(NSString* path, bool isDirectory);

    // ---- the whole URL -------------------------------------------------------------------
    Ref<NSString> absoluteString();  // resolved against the base (RFC 3986 section 5)
    Ref<NSString> relativeString();  // the text as given
    Ref<NSURL> baseURL();
    Ref<NSURL> absoluteURL();  // self when there is no base
    // The same URL with "." and ".." segments removed from its path.
    Ref<NSURL> standardizedURL();

    // ---- parts (of the resolved URL unless said otherwise) ----------------------------------
    Ref<NSString> scheme();             // as written
    Ref<NSString> resourceSpecifier();  // the relative text after "scheme:"
    Ref<NSString> host();               // unescaped; an IPv6 literal without its brackets
    Ref<NSNumber> port();               // nil when none is given
    Ref<NSString> user();               // unescaped
    Ref<NSString> password();           // unescaped
    // Unescaped, without parameters; a trailing slash is dropped except for "/" itself.
    // "" for a URL with an authority and no path; nil when unescaping fails.
    Ref<NSString> path();
    Ref<NSString> relativePath();     // like path, of the relative part alone
    Ref<NSString> query();            // as written, not unescaped
    Ref<NSString> fragment();         // as written
    Ref<NSString> parameterString();  // the ";params" of the last path segment, without ";"

    // ---- path operations -----------------------------------------------------------------
    // "/" first for an absolute path, then the unescaped segments.
    Ref<NSArray> pathComponents();
    Ref<NSString> lastPathComponent();
    Ref<NSString> pathExtension();
    // The component is unescaped text; it is escaped as it goes into the URL.
    Ref<NSURL> URLByAppendingPathComponent(NSString* component);
    Ref<NSURL> URLByAppendingPathComponent(NSString* component, bool isDirectory);
    Ref<NSURL> URLByDeletingLastPathComponent();
    Ref<NSURL> URLByAppendingPathExtension(NSString* extension);
    Ref<NSURL> URLByDeletingPathExtension();

    bool isFileURL();

    // ---- NSObject ------------------------------------------------------------------------
    // Equal when the relative strings are equal and the bases are equal (or both absent).
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    // The relative string, then " -- " and the base's description when there is a base.
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }
    Ref<NSURL> copy() { return Ref<NSURL>(this); }

    // The generic-syntax split of URL text. The text must be ASCII; `valid` says whether it
    // obeys the rules for URL text (legal characters, well-formed escapes and port, one "#").
    struct Parts {
        bool valid = false;
        bool hasScheme = false, hasAuthority = false, hasQuery = false, hasFragment = false;
        std::string scheme, authority, path, query, fragment;
        // Reassembles the text from the parts.
        std::string text() const;
    };
    static Parts parse(const std::string& text);
    // The parts of the absolute URL (those of absoluteString, already split).
    const Parts& absoluteParts() const { return resolved_; }
    // RFC 3986 section 5.2: the reference resolved against an absolute base.
    static Parts resolve(const Parts& base, const Parts& reference);
    // RFC 3986 section 5.2.4.
    static std::string removeDotSegments(const std::string& path);

private:
    bool setUp(const std::string& text, NSURL* base);
    bool setUpFile(NSString* path, bool isDirectory);
    // A URL with the same base whose relative text is made of `parts`.
    Ref<NSURL> withRelativeParts(const Parts& parts);

    std::string text_;  // the relative text, ASCII once valid
    Ref<NSURL> base_;
    Parts parts_;     // of text_
    Parts resolved_;  // of the absolute URL (parts_ when there is no base)

    // Scheme, host and port are asked for again and again (every request reads them several
    // times); the URL never changes, so they are made once, on first use, from any thread.
    struct Located {
        Ref<NSString> scheme, host;
        Ref<NSNumber> port;
    };
    const Located& located();
    std::once_flag locatedOnce_;
    Located located_;
};
