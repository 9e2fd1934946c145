#include "Foundation/NSURLRequest.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"

void NSURLRequest::describeClass(RuntimeClass& c) {
    c.property("URL", &NSURLRequest::URL);
    c.property("HTTPMethod", &NSURLRequest::HTTPMethod);
    c.property("HTTPBody", &NSURLRequest::HTTPBody);
    c.method("valueForHTTPHeaderField:", &NSURLRequest::valueForHTTPHeaderField);
    c.method("allHTTPHeaderFields", &NSURLRequest::allHTTPHeaderFields);
}

Ref<NSURLRequest> NSURLRequest::requestWithURL(NSURL* url) {
    return make<NSURLRequest>(
        static_cast<bool (NSURLRequest::*)(NSURL*)>(&NSURLRequest::initWithURL), url);
}

Ref<NSURLRequest> NSURLRequest::requestWithURL(NSURL* url, NSURLRequestCachePolicy cachePolicy,
                                               NSTimeInterval timeoutInterval) {
    auto r = alloc<NSURLRequest>();
    r->initWithURL(url, cachePolicy, timeoutInterval);
    return r;
}

bool NSURLRequest::initWithURL(NSURL* url) {
    return initWithURL(url, NSURLRequestUseProtocolCachePolicy, NSURLRequestDefaultTimeoutInterval);
}

bool NSURLRequest::initWithURL(NSURL* url, NSURLRequestCachePolicy cachePolicy,
                               NSTimeInterval timeoutInterval) {
    url_ = url;
    cachePolicy_ = cachePolicy;
    timeoutInterval_ = timeoutInterval;
    method_ = NS("GET");
    return true;
}

long NSURLRequest::fieldIndex(NSString* field) {
    if (!field) return -1;
    for (size_t i = 0; i < headers_.size(); ++i) {
        if (headers_[i].name->caseInsensitiveCompare(field) == NSOrderedSame) return long(i);
    }
    return -1;
}

Ref<NSDictionary> NSURLRequest::allHTTPHeaderFields() {
    if (headers_.empty()) return nullptr;
    auto d = NSMutableDictionary::dictionary();
    for (auto& f : headers_)
        d->setObject(f.value, f.name);
    return d->copy();
}

Ref<NSString> NSURLRequest::valueForHTTPHeaderField(NSString* field) {
    long i = fieldIndex(field);
    return i < 0 ? nullptr : headers_[size_t(i)].value;
}

static bool sameObject(NSObject* a, NSObject* b) {
    return a == b || (a && b && a->isEqual(b));
}

bool NSURLRequest::isEqual(NSObject* other) {
    auto o = as<NSURLRequest>(other);
    if (!o) return false;
    if (o.get() == this) return true;
    if (!sameObject(url_, o->url_) || !sameObject(method_, o->method_) ||
        !sameObject(body_, o->body_) || cachePolicy_ != o->cachePolicy_ ||
        headers_.size() != o->headers_.size()) {
        return false;
    }
    for (auto& f : headers_) {
        auto v = o->valueForHTTPHeaderField(f.name);
        if (!v || !v->isEqualToString(f.value)) return false;
    }
    return true;
}

NSUInteger NSURLRequest::hash() {
    return url_ ? url_->hash() : 0;
}

Ref<NSString> NSURLRequest::description() {
    return NSString::stringWithFormat(NS("<%@ %@>"), className(),
                                      url_ ? url_->absoluteString() : Ref<NSString>(NS("(null)")));
}

void NSURLRequest::assignFrom(NSURLRequest* other) {
    url_ = other->url_;
    mainDocumentURL_ = other->mainDocumentURL_;
    cachePolicy_ = other->cachePolicy_;
    timeoutInterval_ = other->timeoutInterval_;
    method_ = other->method_;
    headers_ = other->headers_;
    body_ = other->body_;
    shouldHandleCookies_ = other->shouldHandleCookies_;
}

Ref<NSObject> NSURLRequest::copyWithZone() {
    // An immutable request never changes, so a copy may share it.
    return Ref<NSObject>(this);
}

Ref<NSObject> NSURLRequest::mutableCopyWithZone() {
    auto r = alloc<NSMutableURLRequest>();
    r->assignFrom(this);
    return r;
}

Ref<NSURLRequest> NSURLRequest::copy() {
    return cast<NSURLRequest>(copyWithZone());
}

Ref<NSMutableURLRequest> NSURLRequest::mutableCopy() {
    return cast<NSMutableURLRequest>(mutableCopyWithZone());
}

Ref<NSMutableURLRequest> NSMutableURLRequest::requestWithURL(NSURL* url) {
    return requestWithURL(url, NSURLRequestUseProtocolCachePolicy,
                          NSURLRequestDefaultTimeoutInterval);
}

Ref<NSMutableURLRequest> NSMutableURLRequest::requestWithURL(NSURL* url,
                                                             NSURLRequestCachePolicy cachePolicy,
                                                             NSTimeInterval timeoutInterval) {
    auto r = alloc<NSMutableURLRequest>();
    r->initWithURL(url, cachePolicy, timeoutInterval);
    return r;
}

void NSMutableURLRequest::setURL(NSURL* url) {
    url_ = url;
}

void NSMutableURLRequest::setMainDocumentURL(NSURL* url) {
    mainDocumentURL_ = url;
}

void NSMutableURLRequest::setHTTPMethod(NSString* method) {
    method_ = method ? method->copy() : Ref<NSString>(NS("GET"));
}

void NSMutableURLRequest::setAllHTTPHeaderFields(NSDictionary* fields) {
    headers_.clear();
    if (!fields) return;
    auto keys = fields->allKeys();  // held: a temporary would die before the loop runs
    for (NSObject* key : *keys) {
        auto name = as<NSString>(key);
        auto value = as<NSString>(fields->objectForKey(key));
        // The platform keeps only string names and values.
        if (name && value) setValueForHTTPHeaderField(value, name);
    }
}

void NSMutableURLRequest::setValueForHTTPHeaderField(NSString* value, NSString* field) {
    if (!field) return;
    long i = fieldIndex(field);
    if (!value) {
        if (i >= 0) headers_.erase(headers_.begin() + i);
        return;
    }
    if (i >= 0) {
        headers_[size_t(i)].value = value->copy();
    } else {
        headers_.push_back({field->copy(), value->copy()});
    }
}

void NSMutableURLRequest::addValue(NSString* value, NSString* field) {
    if (!field || !value) return;
    long i = fieldIndex(field);
    if (i < 0) {
        headers_.push_back({field->copy(), value->copy()});
    } else {
        auto& f = headers_[size_t(i)];
        f.value = NSString::stringWithFormat(NS("%@,%@"), f.value, value);
    }
}

void NSMutableURLRequest::setHTTPBody(NSData* body) {
    body_ = body ? body->copy() : nullptr;
}

Ref<NSObject> NSMutableURLRequest::copyWithZone() {
    // The immutable copy is a snapshot: later changes to this request do not reach it.
    auto r = alloc<NSURLRequest>();
    r->assignFrom(this);
    return r;
}
