#include "URLLoading/NSURLResponse.h"

#include <cctype>
#include <string>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"

namespace {

Ref<NSString> copied(NSString* s) {
    return s ? cast<NSString>(s->copy()) : nullptr;
}

std::string trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

std::string lowered(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The value of a field under any spelling of its name.
Ref<NSString> fieldValue(NSDictionary* fields, NSString* name) {
    if (!fields || !name) return nullptr;
    if (auto exact = as<NSString>(fields->objectForKey(name))) return exact;
    NSUInteger length = name->length();
    for (NSObject* key : *fields) {
        auto k = as<NSString>(key);
        if (k && k->length() == length && k->caseInsensitiveCompare(name) == NSOrderedSame)
            return as<NSString>(fields->objectForKey(k));
    }
    return nullptr;
}

}  // namespace

bool NSURLResponse::initWithURL(NSURL* url, NSString* MIMEType, long long expectedContentLength,
                                NSString* textEncodingName) {
    url_ = url;
    MIMEType_ = copied(MIMEType);
    expectedContentLength_ = expectedContentLength;
    textEncodingName_ = copied(textEncodingName);
    return true;
}

Ref<NSString> NSURLResponse::suggestedFilename() {
    Ref<NSString> last = url_ ? url_->lastPathComponent() : nullptr;
    if (!last || last->length() == 0 || last->isEqualToString(NS("/"))) return NS("index.html");
    return last;
}

Ref<NSString> NSURLResponse::description() {
    return NSString::stringWithFormat(NS("<%@ %@>"), className().get(),
                                      url_ ? url_->absoluteString().get() : NS("(null)"));
}

bool NSHTTPURLResponse::initWithURL(NSURL* url, NSInteger statusCode, NSString* HTTPVersion,
                                    NSDictionary* headerFields) {
    (void)HTTPVersion;
    statusCode_ = statusCode;
    headerFields_ = headerFields ? headerFields->copy() : NSDictionary::dictionary();
    Ref<NSString> mime;
    Ref<NSString> charset;
    if (auto type = fieldValue(headerFields_, NS("Content-Type"))) {
        std::string t = type->utf8();
        size_t semi = t.find(';');
        std::string media = lowered(trimmed(t.substr(0, semi)));
        if (!media.empty()) mime = NSString::fromUTF8(media);
        while (semi != std::string::npos) {
            size_t next = t.find(';', semi + 1);
            std::string param = trimmed(t.substr(
                semi + 1, next == std::string::npos ? std::string::npos : next - semi - 1));
            size_t eq = param.find('=');
            if (eq != std::string::npos && lowered(trimmed(param.substr(0, eq))) == "charset") {
                std::string value = trimmed(param.substr(eq + 1));
                if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                    value = value.substr(1, value.size() - 2);
                if (!value.empty()) charset = NSString::fromUTF8(lowered(value));
            }
            semi = next;
        }
    }
    long long length = NSURLResponseUnknownLength;
    if (auto value = fieldValue(headerFields_, NS("Content-Length"))) {
        std::string v = trimmed(value->utf8());
        if (!v.empty() && v.find_first_not_of("0123456789") == std::string::npos && v.size() < 19)
            length = std::stoll(v);
    }
    return NSURLResponse::initWithURL(url, mime, length, charset);
}

Ref<NSString> NSHTTPURLResponse::valueForHTTPHeaderField(NSString* field) {
    return fieldValue(headerFields_, field);
}

Ref<NSString> NSHTTPURLResponse::valueForHTTPHeaderField(NSDictionary* headerFields,
                                                         NSString* field) {
    return fieldValue(headerFields, field);
}

Ref<NSString> NSHTTPURLResponse::localizedStringForStatusCode(NSInteger statusCode) {
    switch (statusCode) {
        case 100:
            return NS("continue");
        case 101:
            return NS("switching protocols");
        case 200:
            return NS("no error");
        case 201:
            return NS("created");
        case 202:
            return NS("accepted");
        case 203:
            return NS("non-authoritative information");
        case 204:
            return NS("no content");
        case 205:
            return NS("reset content");
        case 206:
            return NS("partial content");
        case 300:
            return NS("multiple choices");
        case 301:
            return NS("moved permanently");
        case 302:
            return NS("found");
        case 303:
            return NS("see other");
        case 304:
            return NS("not modified");
        case 305:
            return NS("needs proxy");
        case 307:
            return NS("temporarily redirected");
        case 400:
            return NS("bad request");
        case 401:
            return NS("unauthorized");
        case 402:
            return NS("payment required");
        case 403:
            return NS("forbidden");
        case 404:
            return NS("not found");
        case 405:
            return NS("method not allowed");
        case 406:
            return NS("unacceptable");
        case 407:
            return NS("proxy authentication required");
        case 408:
            return NS("request timed out");
        case 409:
            return NS("conflict");
        case 410:
            return NS("no longer exists");
        case 411:
            return NS("length required");
        case 412:
            return NS("precondition failed");
        case 413:
            return NS("request too large");
        case 414:
            return NS("requested URL too long");
        case 415:
            return NS("unsupported media type");
        case 500:
            return NS("internal server error");
        case 501:
            return NS("unimplemented");
        case 502:
            return NS("bad gateway");
        case 503:
            return NS("service unavailable");
        case 504:
            return NS("gateway timed out");
        case 505:
            return NS("unsupported version");
        default:
            break;
    }
    if (statusCode >= 100 && statusCode < 200) return NS("informational");
    if (statusCode >= 200 && statusCode < 300) return NS("success");
    if (statusCode >= 300 && statusCode < 400) return NS("redirected");
    if (statusCode >= 400 && statusCode < 500) return NS("client error");
    return NS("server error");
}

Ref<NSString> NSHTTPURLResponse::description() {
    return NSString::stringWithFormat(NS("<%@ %@> { status code: %ld }"), className().get(),
                                      url_ ? url_->absoluteString().get() : NS("(null)"),
                                      static_cast<long>(statusCode_));
}
