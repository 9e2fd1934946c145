// HTTP cookies: one name/value pair with the attributes that decide where it is sent, made from
// a property dictionary or parsed from a response's "Set-Cookie" fields.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;
class NSDate;
class NSDictionary;
class NSNumber;
class NSString;
class NSURL;

// Property keys (the values are the platform's key strings).
extern NSString* const NSHTTPCookieName;        // "Name"
extern NSString* const NSHTTPCookieValue;       // "Value"
extern NSString* const NSHTTPCookieOriginURL;   // "OriginURL"
extern NSString* const NSHTTPCookieVersion;     // "Version"
extern NSString* const NSHTTPCookieDomain;      // "Domain"
extern NSString* const NSHTTPCookiePath;        // "Path"
extern NSString* const NSHTTPCookieSecure;      // "Secure"
extern NSString* const NSHTTPCookieExpires;     // "Expires"
extern NSString* const NSHTTPCookieComment;     // "Comment"
extern NSString* const NSHTTPCookieCommentURL;  // "CommentURL"
extern NSString* const NSHTTPCookieDiscard;     // "Discard"
extern NSString* const NSHTTPCookieMaximumAge;  // "Max-Age"
extern NSString* const NSHTTPCookiePort;        // "Port"
// Not a public key of the platform's dictionary, but kept in properties: "HttpOnly".
extern NSString* const NSHTTPCookieHTTPOnly;

class NSHTTPCookie : public NSObject {
    NS_OBJECT(NSHTTPCookie, NSObject)

    // nil when the properties lack a name, a value, or a domain (or an origin URL to take it
    // from). The path defaults to the origin URL's directory, else "/". Values may be strings
    // or, where natural, numbers, dates and URLs: "Expires" takes an NSDate or a date string,
    // "Secure" and "Discard" any true-ish value ("TRUE", "1", a number), "Max-Age" digits.
    static Ref<NSHTTPCookie> cookieWithProperties(NSDictionary* properties);
    bool initWithProperties(NSDictionary* properties);

    // Parses every cookie of the "Set-Cookie" field of the header dictionary (repeated fields
    // joined with ", " are split apart; commas inside an expiry date are not separators).
    // A cookie without Domain gets the URL's host (host-only); without Path, the URL's
    // directory. Cookies that cannot be made (no name, a malformed pair) are skipped.
    static Ref<NSArray> cookiesWithResponseHeaderFields(NSDictionary* headerFields, NSURL* url);
    // {"Cookie": "a=1; b=2"} for the cookies in order; empty dictionary for none.
    static Ref<NSDictionary> requestHeaderFieldsWithCookies(NSArray* cookies);

    Ref<NSDictionary> properties();
    NSUInteger version() { return version_; }
    Ref<NSString> name() { return name_; }
    Ref<NSString> value() { return value_; }
    // nil for a session cookie.
    Ref<NSDate> expiresDate() { return expires_; }
    bool isSessionOnly();
    // A leading "." means the domain and all its subdomains; without it, that host alone.
    // Parsing gives a "Domain" attribute the leading dot and a cookie without one the bare
    // host of the URL.
    Ref<NSString> domain() { return domain_; }
    Ref<NSString> path() { return path_; }
    bool isSecure() { return secure_; }
    bool isHTTPOnly() { return httpOnly_; }
    Ref<NSString> comment() { return comment_; }
    Ref<NSURL> commentURL() { return commentURL_; }
    Ref<NSArray> portList() { return ports_; }

    // Whether the cookie is expired at `now` (clock seconds); session cookies never are.
    bool isExpiredAt(NSTimeInterval now);
    // Whether the cookie goes with a request to the URL: domain and path match, secure only
    // over https. Expiry is not looked at.
    bool matchesURL(NSURL* url);
    // Whether the domain attribute covers the host (the rules of domain()).
    bool domainMatchesHost(NSString* host);

    // Equal when name, domain and path are equal (domain without regard to case).
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }

private:
    Ref<NSDictionary> properties_;
    Ref<NSString> name_, value_, domain_, path_, comment_;
    Ref<NSURL> commentURL_;
    Ref<NSDate> expires_;
    Ref<NSArray> ports_;
    NSUInteger version_ = 0;
    bool secure_ = false;
    bool httpOnly_ = false;
    bool discard_ = false;
};
