// What a URL load answered: the URL, the content's type, its expected length and text encoding;
// for HTTP also the status code and the header fields. Immutable.
#pragma once

#include "Foundation/NSObject.h"

class NSDictionary;
class NSString;
class NSURL;

// The length a response reports when it does not know its length.
inline constexpr long long NSURLResponseUnknownLength = -1;

class NSURLResponse : public NSObject {
    NS_OBJECT(NSURLResponse, NSObject)
    // initWithURL:MIMEType:expectedContentLength:textEncodingName:
    bool initWithURL(NSURL* url, NSString* MIMEType, long long expectedContentLength,
                     NSString* textEncodingName);

    Ref<NSURL> URL() { return url_; }
    Ref<NSString> MIMEType() { return MIMEType_; }
    long long expectedContentLength() { return expectedContentLength_; }
    Ref<NSString> textEncodingName() { return textEncodingName_; }
    // The last path component of the URL, "index.html" when it has none.
    Ref<NSString> suggestedFilename();

    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }
    Ref<NSString> description() override;

protected:
    Ref<NSURL> url_;
    Ref<NSString> MIMEType_;
    long long expectedContentLength_ = NSURLResponseUnknownLength;
    Ref<NSString> textEncodingName_;
};

class NSHTTPURLResponse : public NSURLResponse {
    NS_OBJECT(NSHTTPURLResponse, NSURLResponse)
    // initWithURL:statusCode:HTTPVersion:headerFields:. The MIME type, text encoding and
    // expected length come from "Content-Type" and "Content-Length".
    bool initWithURL(NSURL* url, NSInteger statusCode, NSString* HTTPVersion,
                     NSDictionary* headerFields);

    NSInteger statusCode() { return statusCode_; }
    // The header fields under their names as received (repeated fields joined with ", ").
    Ref<NSDictionary> allHeaderFields() { return headerFields_; }
    // The field under any spelling of its name; nil when absent.
    Ref<NSString> valueForHTTPHeaderField(NSString* field);
    // The same lookup in header fields kept apart from their response (names compare without
    // regard to case, as HTTP has them); nil without fields or without that field.
    static Ref<NSString> valueForHTTPHeaderField(NSDictionary* headerFields, NSString* field);
    // The reason phrase of a status code, in lower case ("not found"), "server error" for
    // codes without one.
    static Ref<NSString> localizedStringForStatusCode(NSInteger statusCode);

    Ref<NSString> description() override;

private:
    NSInteger statusCode_ = 0;
    Ref<NSDictionary> headerFields_;
};
