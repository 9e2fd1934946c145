#include "ui/core/DZURLRequest.h"

#include <algorithm>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIImage.h"
#include "URLLoading/NSURLAuthenticationChallenge.h"
#include "URLLoading/NSURLResponse.h"
#include "ui/core/DZDelegateCalls.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZStringAdditions.h"
#include "ui/core/DZURLCache.h"
#include "ui/core/DZURLRequestQueue.h"

NSString* const DZURLRequestMultipartBoundary = NS("3i2ndDfv2rTHiSisAbouNdArYfORhtTPEefj3q2f");
NSString* const DZNetworkErrorDomain = NS("dodiz20.network");

namespace {
void appendText(NSMutableData* body, NSString* text, NSStringEncoding encoding) {
    if (Ref<NSData> bytes = text->dataUsingEncoding(encoding, true)) body->appendData(bytes);
}
}  // namespace

// ---- response processors ----------------------------------------------------------------------

Ref<NSError> DZURLDataResponse::requestProcessResponse(DZURLRequest*, NSHTTPURLResponse*,
                                                       NSObject* data) {
    if (auto bytes = as<NSData>(data)) data_ = bytes;
    return nullptr;
}

Ref<NSError> DZURLImageResponse::requestProcessResponse(DZURLRequest* request, NSHTTPURLResponse*,
                                                        NSObject* data) {
    if (auto image = as<UIImage>(data)) {
        image_ = image;
        return nullptr;
    }
    auto bytes = as<NSData>(data);
    if (!bytes) return nullptr;
    Ref<DZURLCache> cache = DZURLCache::sharedCache();
    Ref<UIImage> image = cache->imageForURL(request->urlPath(), false);
    if (!image) {
        image = UIImage::imageWithData(bytes);
        // A readable header is not yet an image: the pixels must decode too.
        if (image && !image->CGImage()) image = nullptr;
    }
    if (!image) return NSError::errorWithDomain(DZNetworkErrorDomain, 100, nullptr);
    image_ = image;
    if (!request->respondedFromCache()) cache->storeImage(image, request->urlPath());
    return nullptr;
}

// ---- user info --------------------------------------------------------------------------------

Ref<DZUserInfo> DZUserInfo::topic(NSString* topic, NSObject* strongRef, NSObject* weakRef) {
    auto info = make<DZUserInfo>(&DZUserInfo::initWithTopic, topic, strongRef, weakRef);
    info->autorelease();
    return info;
}

Ref<DZUserInfo> DZUserInfo::topic(NSString* topic) {
    return DZUserInfo::topic(topic, nullptr, nullptr);
}

Ref<DZUserInfo> DZUserInfo::weakRef(NSObject* weakRef) {
    return DZUserInfo::topic(nullptr, nullptr, weakRef);
}

bool DZUserInfo::initWithTopic(NSString* topic, NSObject* strongRef, NSObject* weakRef) {
    topic_ = topic;
    strongRef_ = strongRef;
    setWeakRef(weakRef);
    return true;
}

void DZUserInfo::setTopic(NSString* topic) {
    topic_ = topic;
}

void DZUserInfo::setWeakRef(NSObject* object) {
    weakRef_ = object;
    weakIdentity_ = object;
}

bool DZUserInfo::refersTo(NSObject* object) {
    if (!object) return false;
    if (Ref<NSObject> live = weakRef_.lock()) return live.get() == object;
    return weakIdentity_ == object;
}

// ---- the request ------------------------------------------------------------------------------

Ref<DZURLRequest> DZURLRequest::request() {
    auto r = make<DZURLRequest>();
    r->autorelease();
    return r;
}

Ref<DZURLRequest> DZURLRequest::requestWithURL(NSString* url, NSObject* delegate) {
    auto r = make<DZURLRequest>(&DZURLRequest::initWithURL, url, delegate);
    r->autorelease();
    return r;
}

bool DZURLRequest::init() {
    delegates_ = DZNewWeakMutableArray();
    cachePolicy_ = DZURLRequestCachePolicyDefault;
    cacheExpirationAge_ = 604800;
    charsetForMultipart_ = NSUTF8StringEncoding;
    shouldHandleCookies_ = true;
    return true;
}

bool DZURLRequest::initWithURL(NSString* url, NSObject* delegate) {
    if (!init()) return false;
    urlPath_ = url;
    if (delegate) delegates_->addObject(delegate);
    return true;
}

bool DZURLRequest::send() {
    return DZURLRequestQueue::mainQueue()->sendRequest(this);
}

bool DZURLRequest::sendSynchronously() {
    return DZURLRequestQueue::mainQueue()->sendSynchronousRequest(this);
}

void DZURLRequest::cancel() {
    DZURLRequestQueue::mainQueue()->cancelRequest(this);
}

Ref<NSMutableURLRequest> DZURLRequest::createNSURLRequest() {
    return DZURLRequestQueue::mainQueue()->createNSURLRequest(this, nullptr);
}

void DZURLRequest::setUrlPath(NSString* url) {
    urlPath_ = url ? url->copy() : nullptr;
}

void DZURLRequest::setHttpMethod(NSString* method) {
    httpMethod_ = method ? method->copy() : nullptr;
}

void DZURLRequest::setHttpBody(NSData* body) {
    httpBody_ = body;
}

void DZURLRequest::setTimestamp(NSDate* date) {
    timestamp_ = date;
}

void DZURLRequest::setContentType(NSString* type) {
    contentType_ = type ? type->copy() : nullptr;
}

Ref<NSMutableDictionary> DZURLRequest::parameters() {
    if (!parameters_) parameters_ = NSMutableDictionary::dictionary();
    return parameters_;
}

void DZURLRequest::setValueForHTTPHeaderField(NSString* value, NSString* field) {
    if (!headers_) headers_ = NSMutableDictionary::dictionary();
    headers_->setObject(value, field);
}

void DZURLRequest::addFile(NSData* data, NSString* mimeType, NSString* fileName) {
    if (!files_) files_ = NSMutableArray::array();
    files_->addObject(data);
    files_->addObject(mimeType);
    files_->addObject(fileName);
}

DZURLResponse* DZURLRequest::responseProcessor() {
    return dynamic_cast<DZURLResponse*>(response_.get());
}

bool DZURLRequest::isPostOrPut() {
    return httpMethod_ &&
           (httpMethod_->isEqualToString(NS("POST")) || httpMethod_->isEqualToString(NS("PUT")));
}

Ref<NSData> DZURLRequest::httpBody() {
    if (httpBody_) return httpBody_;
    if (!httpMethod_) return nullptr;
    Ref<NSString> method = httpMethod_->uppercaseString();
    if (method->isEqualToString(NS("POST")) || method->isEqualToString(NS("PUT"))) {
        return generatePostBody();
    }
    return nullptr;
}

Ref<NSString> DZURLRequest::contentType() {
    if (contentType_) return contentType_;
    // The same upper-cased test as the body's, so a body always travels with its boundary.
    if (httpMethod_) {
        Ref<NSString> method = httpMethod_->uppercaseString();
        if (method->isEqualToString(NS("POST")) || method->isEqualToString(NS("PUT"))) {
            return NSString::stringWithFormat(NS("multipart/form-data; boundary=%@"),
                                              DZURLRequestMultipartBoundary);
        }
    }
    return nullptr;
}

Ref<NSString> DZURLRequest::cacheKey() {
    if (!cacheKey_) cacheKey_ = generateCacheKey();
    return cacheKey_;
}

Ref<NSString> DZURLRequest::generateCacheKey() {
    Ref<NSString> path = urlPath_ ? urlPath_ : Ref<NSString>(NS(""));
    if (!isPostOrPut()) return md5Hash(path);
    Ref<NSMutableString> joined = NSMutableString::stringWithString(path);
    Ref<NSMutableDictionary> params = parameters();
    Ref<NSArray> keys = params->allKeys();
    for (NSObject* key : *keys) {
        Ref<NSObject> value = params->objectForKey(key);
        joined->appendString(static_cast<NSString*>(key));
        joined->appendString(NS("="));
        if (auto text = as<NSString>(value)) joined->appendString(text);
    }
    return md5Hash(joined);
}

void DZURLRequest::appendImageData(NSData* data, NSString* name, NSMutableData* body) {
    appendText(body, NSString::stringWithFormat(NS("\r\n--%@\r\n"), DZURLRequestMultipartBoundary),
               NSUTF8StringEncoding);
    appendText(
        body,
        NSString::stringWithFormat(
            NS("Content-Disposition: form-data; name=\"%@\"; filename=\"image.jpg\"\r\n"), name),
        charsetForMultipart_);
    appendText(
        body,
        NSString::stringWithFormat(NS("Content-Length: %d\r\n"), static_cast<int>(data->length())),
        charsetForMultipart_);
    appendText(body, NS("Content-Type: image/jpeg\r\n\r\n"), charsetForMultipart_);
    body->appendData(data);
}

Ref<NSData> DZURLRequest::generatePostBody() {
    Ref<NSMutableData> body = NSMutableData::data();
    Ref<NSString> separator =
        NSString::stringWithFormat(NS("\r\n--%@\r\n"), DZURLRequestMultipartBoundary);
    appendText(body, NSString::stringWithFormat(NS("--%@\r\n"), DZURLRequestMultipartBoundary),
               NSUTF8StringEncoding);
    Ref<NSMutableDictionary> params = parameters();
    Ref<NSArray> keys = params->allKeys();
    for (NSObject* key : *keys) {
        Ref<NSObject> value = params->objectForKey(key);
        if (is<UIImage>(value.get()) || is<NSData>(value.get())) continue;
        appendText(body, separator, NSUTF8StringEncoding);
        appendText(body,
                   NSString::stringWithFormat(
                       NS("Content-Disposition: form-data; name=\"%@\"\r\n\r\n"), key),
                   charsetForMultipart_);
        if (auto text = as<NSString>(value)) {
            appendText(body, text, charsetForMultipart_);
        } else if (value) {
            appendText(body, value->description(), charsetForMultipart_);
        }
    }
    // Images and data parts. The parameters stay as they are: a body built again, for a retry,
    // still carries the photo.
    for (NSObject* key : *keys) {
        Ref<NSObject> value = params->objectForKey(key);
        Ref<NSData> data;
        if (auto image = as<UIImage>(value)) {
            data = UIImageJPEGRepresentation(
                image, DZURLRequestQueue::mainQueue()->imageCompressionQuality());
        } else if (auto bytes = as<NSData>(value)) {
            data = bytes;
        }
        if (data) appendImageData(data, static_cast<NSString*>(key), body);
    }
    if (files_) {
        for (NSUInteger i = 0; i + 2 < files_->count(); i += 3) {
            auto data = as<NSData>(files_->objectAtIndex(i));
            auto mimeType = as<NSString>(files_->objectAtIndex(i + 1));
            auto fileName = as<NSString>(files_->objectAtIndex(i + 2));
            appendText(body, separator, NSUTF8StringEncoding);
            appendText(body,
                       NSString::stringWithFormat(
                           NS("Content-Disposition: form-data; name=\"%@\"; filename=\"%@\"\r\n"),
                           fileName, fileName),
                       charsetForMultipart_);
            appendText(body,
                       NSString::stringWithFormat(NS("Content-Length: %d\r\n"),
                                                  static_cast<int>(data ? data->length() : 0)),
                       charsetForMultipart_);
            appendText(body, NSString::stringWithFormat(NS("Content-Type: %@\r\n\r\n"), mimeType),
                       charsetForMultipart_);
            if (data) body->appendData(data);
        }
    }
    appendText(body,
               NSString::stringWithFormat(NS("\r\n--%@--\r\n"), DZURLRequestMultipartBoundary),
               NSUTF8StringEncoding);
    return body;
}

bool DZURLRequest::hasDelegate(NSObject* object) {
    if (!object) return false;
    if (delegates_->indexOfObjectIdenticalTo(object) != NSNotFound) return true;
    // From the object's own dealloc the list no longer reads it; its identity still counts.
    if (objectTryRetain(object)) {
        object->release();
        return false;
    }
    return std::find(delegateIdentities_.begin(), delegateIdentities_.end(), object) !=
           delegateIdentities_.end();
}

void DZURLRequest::markDelegates() {
    delegateIdentities_.clear();
    for (NSObject* object : *delegates_)
        delegateIdentities_.push_back(object);
}

Ref<NSString> DZURLRequest::description() {
    return NSString::stringWithFormat(NS("<DZURLRequest %@>"), urlPath_);
}

void DZURLRequest::notifyDidStartLoad() {
    callDelegates<DZURLRequestDelegate>(
        delegates_,
        "requestDidStartLoad:", [&](DZURLRequestDelegate* d) { d->requestDidStartLoad(this); });
}

void DZURLRequest::notifyDidUploadData() {
    callDelegates<DZURLRequestDelegate>(
        delegates_,
        "requestDidUploadData:", [&](DZURLRequestDelegate* d) { d->requestDidUploadData(this); });
}

void DZURLRequest::notifyDidFinishLoad() {
    callDelegates<DZURLRequestDelegate>(
        delegates_,
        "requestDidFinishLoad:", [&](DZURLRequestDelegate* d) { d->requestDidFinishLoad(this); });
}

void DZURLRequest::notifyDidFailLoadWithError(NSError* error) {
    callDelegates<DZURLRequestDelegate>(
        delegates_, "request:didFailLoadWithError:", [&](DZURLRequestDelegate* d) {
            d->requestDidFailLoadWithError(this, error);
        });
}

void DZURLRequest::notifyDidCancelLoad() {
    callDelegates<DZURLRequestDelegate>(
        delegates_,
        "requestDidCancelLoad:", [&](DZURLRequestDelegate* d) { d->requestDidCancelLoad(this); });
}

bool DZURLRequest::notifyDidReceiveAuthenticationChallenge(
    NSURLAuthenticationChallenge* challenge) {
    bool answered = false;
    callDelegates<DZURLRequestDelegate>(
        delegates_, "request:didReceiveAuthenticationChallenge:", [&](DZURLRequestDelegate* d) {
            answered = true;
            d->requestDidReceiveAuthenticationChallenge(this, challenge);
        });
    return answered;
}
