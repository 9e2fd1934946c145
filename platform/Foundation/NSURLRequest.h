// URL load requests: the URL, the cache policy and time-out, and for HTTP the method, header
// fields and body. NSURLRequest is immutable; NSMutableURLRequest adds the setters.
#pragma once

#include <vector>

#include "Foundation/NSObject.h"

class NSData;
class NSDictionary;
class NSMutableDictionary;
class NSMutableURLRequest;
class NSURL;

enum NSURLRequestCachePolicy : NSUInteger {
    NSURLRequestUseProtocolCachePolicy = 0,
    NSURLRequestReloadIgnoringLocalCacheData = 1,
    NSURLRequestReloadIgnoringLocalAndRemoteCacheData = 4,
    NSURLRequestReloadIgnoringCacheData = NSURLRequestReloadIgnoringLocalCacheData,
    NSURLRequestReturnCacheDataElseLoad = 2,
    NSURLRequestReturnCacheDataDontLoad = 3,
    NSURLRequestReloadRevalidatingCacheData = 5,
};

// The time-out a request gets when none is given.
inline constexpr NSTimeInterval NSURLRequestDefaultTimeoutInterval = 60.0;

class NSURLRequest : public NSObject {
    NS_OBJECT(NSURLRequest, NSObject)
    static void describeClass(RuntimeClass& c);

    static Ref<NSURLRequest> requestWithURL(NSURL* url);
    static Ref<NSURLRequest> requestWithURL(NSURL* url, NSURLRequestCachePolicy cachePolicy,
                                            NSTimeInterval timeoutInterval);
    bool initWithURL(NSURL* url);
    bool initWithURL(NSURL* url, NSURLRequestCachePolicy cachePolicy,
                     NSTimeInterval timeoutInterval);

    Ref<NSURL> URL() { return url_; }
    NSURLRequestCachePolicy cachePolicy() { return cachePolicy_; }
    NSTimeInterval timeoutInterval() { return timeoutInterval_; }
    // The URL of the top-level page the request belongs to (cookie policy); nil when not set.
    Ref<NSURL> mainDocumentURL() { return mainDocumentURL_; }

    // "GET" unless set otherwise.
    Ref<NSString> HTTPMethod() { return method_; }
    // The header fields under the names as first given; nil when there are none.
    Ref<NSDictionary> allHTTPHeaderFields();
    // Header names compare without regard to case; nil when the field is absent.
    Ref<NSString> valueForHTTPHeaderField(NSString* field);
    Ref<NSData> HTTPBody() { return body_; }
    bool HTTPShouldHandleCookies() { return shouldHandleCookies_; }

    // Equal when URL, method, headers, body and cache policy agree.
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    // "<NSURLRequest URL>", as the platform prints it.
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override;
    Ref<NSObject> mutableCopyWithZone() override;
    Ref<NSURLRequest> copy();
    Ref<NSMutableURLRequest> mutableCopy();

protected:
    friend class NSMutableURLRequest;
    void assignFrom(NSURLRequest* other);
    // Index of the field in headers_ (compared case-insensitively), or -1.
    long fieldIndex(NSString* field);

    Ref<NSURL> url_;
    Ref<NSURL> mainDocumentURL_;
    NSURLRequestCachePolicy cachePolicy_ = NSURLRequestUseProtocolCachePolicy;
    NSTimeInterval timeoutInterval_ = NSURLRequestDefaultTimeoutInterval;
    Ref<NSString> method_;
    // Kept in the order first set, each name as first spelt.
    struct Field {
        Ref<NSString> name;
        Ref<NSString> value;
    };
    std::vector<Field> headers_;
    Ref<NSData> body_;
    bool shouldHandleCookies_ = true;
};

class NSMutableURLRequest : public NSURLRequest {
    NS_OBJECT(NSMutableURLRequest, NSURLRequest)
    static Ref<NSMutableURLRequest> requestWithURL(NSURL* url);
    static Ref<NSMutableURLRequest> requestWithURL(NSURL* url, NSURLRequestCachePolicy cachePolicy,
                                                   NSTimeInterval timeoutInterval);

    void setURL(NSURL* url);
    void setCachePolicy(NSURLRequestCachePolicy policy) { cachePolicy_ = policy; }
    void setTimeoutInterval(NSTimeInterval seconds) { timeoutInterval_ = seconds; }
    void setMainDocumentURL(NSURL* url);
    // nil restores "GET".
    void setHTTPMethod(NSString* method);
    // Replaces every field; nil removes them all.
    void setAllHTTPHeaderFields(NSDictionary* fields);
    // setValue:forHTTPHeaderField: (named apart from key-value coding's setValue:forKey:).
    // Sets the field, replacing a value under any spelling of the name; nil removes it.
    void setValueForHTTPHeaderField(NSString* value, NSString* field);
    // Adds to the field: a value already there is followed by "," and the new one.
    void addValue(NSString* value, NSString* field);
    void setHTTPBody(NSData* body);
    void setHTTPShouldHandleCookies(bool handle) { shouldHandleCookies_ = handle; }

    Ref<NSObject> copyWithZone() override;
};
