// A URL load described for the framework's request queue: the URL, method, body or form values
// and files, extra headers, the cache policy and expiry, the response processor that turns the
// bytes into the caller's result, and the delegates that hear how it goes. Main thread only.
#pragma once

#include <vector>

#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"

class DZURLRequest;
class NSData;
class NSDate;
class NSError;
class NSHTTPURLResponse;
class NSMutableArray;
class NSMutableData;
class NSMutableDictionary;
class NSMutableURLRequest;
class NSString;
class NSURLAuthenticationChallenge;
class UIImage;

// Cache policy bits.
enum : int32_t {
    DZURLRequestCachePolicyMemory = 1,   // the memory image map may answer
    DZURLRequestCachePolicyDisk = 2,     // disk copies (while not suspended), bundle and documents
    DZURLRequestCachePolicyNetwork = 4,  // what the cache does not answer is downloaded
    DZURLRequestCachePolicyNoStore = 8,  // the download is not written to disk
    DZURLRequestCachePolicyEtag = 16,    // with disk: revalidate with "If-None-Match"
    DZURLRequestCachePolicyDefault = 7,
};

// The fixed multipart boundary.
extern NSString* const DZURLRequestMultipartBoundary;
// The domain of an image processor's error for bytes that are no image (code 100).
extern NSString* const DZNetworkErrorDomain;

// What a request's delegates hear; every method is optional and probed before each call (the
// implementing class lists the selectors it answers in its class description).
class DZURLRequestDelegate {
public:
    virtual ~DZURLRequestDelegate() = default;
    virtual void requestDidStartLoad(DZURLRequest*) {}
    virtual void requestDidUploadData(DZURLRequest*) {}
    virtual void requestDidFinishLoad(DZURLRequest*) {}
    // request:didReceiveAuthenticationChallenge:; answer through the challenge's sender.
    virtual void requestDidReceiveAuthenticationChallenge(DZURLRequest*,
                                                          NSURLAuthenticationChallenge*) {}
    virtual void requestDidFailLoadWithError(DZURLRequest*, NSError*) {}
    virtual void requestDidCancelLoad(DZURLRequest*) {}
};

// A response processor: turns the bytes (an NSData, or an image from the memory cache) into the
// caller's result. The response is nil for an answer from the cache. An error fails the load.
class DZURLResponse {
public:
    virtual ~DZURLResponse() = default;
    // request:processResponse:data:
    virtual Ref<NSError> requestProcessResponse(DZURLRequest* request, NSHTTPURLResponse* response,
                                                NSObject* data) = 0;
};

// Keeps the bytes.
class DZURLDataResponse : public NSObject, public DZURLResponse {
    NS_OBJECT(DZURLDataResponse, NSObject)
    Ref<NSError> requestProcessResponse(DZURLRequest* request, NSHTTPURLResponse* response,
                                        NSObject* data) override;
    Ref<NSData> data() { return data_; }

private:
    Ref<NSData> data_;
};

// Decodes an image (or takes the memory cache's) and keeps it in the memory cache.
class DZURLImageResponse : public NSObject, public DZURLResponse {
    NS_OBJECT(DZURLImageResponse, NSObject)
    Ref<NSError> requestProcessResponse(DZURLRequest* request, NSHTTPURLResponse* response,
                                        NSObject* data) override;
    Ref<UIImage> image() { return image_; }

private:
    Ref<UIImage> image_;
};

// A request's userInfo that takes part in cancelling by an object: cancelRequestsWithDelegate:
// with the weakRef cancels the request.
class DZUserInfo : public NSObject {
    NS_OBJECT(DZUserInfo, NSObject)
    static Ref<DZUserInfo> topic(NSString* topic, NSObject* strongRef, NSObject* weakRef);
    static Ref<DZUserInfo> topic(NSString* topic);
    static Ref<DZUserInfo> weakRef(NSObject* weakRef);
    bool initWithTopic(NSString* topic, NSObject* strongRef, NSObject* weakRef);

    Ref<NSString> topic() { return topic_; }
    void setTopic(NSString* topic);
    Ref<NSObject> strongRef() { return strongRef_; }
    void setStrongRef(NSObject* object) { strongRef_ = object; }
    Ref<NSObject> weakRef() { return weakRef_.lock(); }
    void setWeakRef(NSObject* object);
    // Whether the weak reference names this object. Also true for an object whose dealloc is
    // running, which the weak reference no longer reads.
    bool refersTo(NSObject* object);

private:
    Ref<NSString> topic_;
    Ref<NSObject> strongRef_;
    Weak<NSObject> weakRef_;
    const void* weakIdentity_ = nullptr;  // compared only, never followed
};

class DZURLRequest : public NSObject {
    NS_OBJECT(DZURLRequest, NSObject)
    static Ref<DZURLRequest> request();
    static Ref<DZURLRequest> requestWithURL(NSString* url, NSObject* delegate);
    bool init() override;
    bool initWithURL(NSString* url, NSObject* delegate);

    // YES when the cache answered before it returned (the delegates have been told).
    bool send();
    bool sendSynchronously();
    void cancel();
    Ref<NSMutableURLRequest> createNSURLRequest();

    Ref<NSString> urlPath() { return urlPath_; }
    void setUrlPath(NSString* url);
    Ref<NSString> URL() { return urlPath_; }
    void setURL(NSString* url) { setUrlPath(url); }
    Ref<NSString> httpMethod() { return httpMethod_; }
    void setHttpMethod(NSString* method);
    // The explicit body, else a multipart body built on every read for POST and PUT.
    Ref<NSData> httpBody();
    void setHttpBody(NSData* body);
    Ref<NSMutableDictionary> parameters();
    Ref<NSMutableDictionary> headers() { return headers_; }
    // setValue:forHTTPHeaderField: (named apart from key-value coding's setValue:forKey:).
    void setValueForHTTPHeaderField(NSString* value, NSString* field);
    // The explicit type, else the multipart type for POST and PUT.
    Ref<NSString> contentType();
    void setContentType(NSString* type);
    NSStringEncoding charsetForMultipart() { return charsetForMultipart_; }
    void setCharsetForMultipart(NSStringEncoding encoding) { charsetForMultipart_ = encoding; }
    Ref<NSMutableArray> files() { return files_; }
    void addFile(NSData* data, NSString* mimeType, NSString* fileName);
    Ref<NSObject> response() { return response_; }
    DZURLResponse* responseProcessor();
    void setResponse(NSObject* response) { response_ = response; }
    int32_t cachePolicy() { return cachePolicy_; }
    void setCachePolicy(int32_t policy) { cachePolicy_ = policy; }
    NSTimeInterval cacheExpirationAge() { return cacheExpirationAge_; }
    void setCacheExpirationAge(NSTimeInterval age) { cacheExpirationAge_ = age; }
    Ref<NSString> cacheKey();
    void setCacheKey(NSString* key) { cacheKey_ = key; }
    Ref<NSDate> timestamp() { return timestamp_; }
    void setTimestamp(NSDate* date);
    int32_t totalBytesLoaded() { return totalBytesLoaded_; }
    void setTotalBytesLoaded(int32_t n) { totalBytesLoaded_ = n; }
    int32_t totalBytesExpected() { return totalBytesExpected_; }
    void setTotalBytesExpected(int32_t n) { totalBytesExpected_ = n; }
    Ref<NSObject> userInfo() { return userInfo_; }
    void setUserInfo(NSObject* info) { userInfo_ = info; }
    bool isLoading() { return isLoading_; }
    void setIsLoading(bool loading) { isLoading_ = loading; }
    bool shouldHandleCookies() { return shouldHandleCookies_; }
    void setShouldHandleCookies(bool handle) { shouldHandleCookies_ = handle; }
    bool respondedFromCache() { return respondedFromCache_; }
    void setRespondedFromCache(bool cached) { respondedFromCache_ = cached; }
    bool filterPasswordLogging() { return filterPasswordLogging_; }
    void setFilterPasswordLogging(bool filter) { filterPasswordLogging_ = filter; }
    // The delegates, not retained.
    Ref<NSMutableArray> delegates() { return delegates_; }

    // Whether the object is one of the delegates, also from the object's own dealloc (when the
    // list no longer reads it): the identities seen at the last send or mark are compared.
    bool hasDelegate(NSObject* object);
    // Notes the delegates' identities (the queue does it at every send).
    void markDelegates();

    Ref<NSString> description() override;

    // Delivery to the delegates, each probed for the method.
    void notifyDidStartLoad();
    void notifyDidUploadData();
    void notifyDidFinishLoad();
    void notifyDidFailLoadWithError(NSError* error);
    void notifyDidCancelLoad();
    // Whether some delegate answers request:didReceiveAuthenticationChallenge:; each that does
    // is given the challenge.
    bool notifyDidReceiveAuthenticationChallenge(NSURLAuthenticationChallenge* challenge);

    void appendImageData(NSData* data, NSString* name, NSMutableData* body);

private:
    Ref<NSString> generateCacheKey();
    Ref<NSData> generatePostBody();
    bool isPostOrPut();  // exactly "POST" or "PUT"

    Ref<NSString> urlPath_;
    Ref<NSString> httpMethod_;
    Ref<NSData> httpBody_;
    Ref<NSMutableDictionary> parameters_;
    Ref<NSMutableDictionary> headers_;
    Ref<NSString> contentType_;
    NSStringEncoding charsetForMultipart_ = 4;
    Ref<NSMutableArray> files_;
    Ref<NSObject> response_;
    int32_t cachePolicy_ = DZURLRequestCachePolicyDefault;
    NSTimeInterval cacheExpirationAge_ = 604800;
    Ref<NSString> cacheKey_;
    Ref<NSDate> timestamp_;
    int32_t totalBytesLoaded_ = 0;
    int32_t totalBytesExpected_ = 0;
    Ref<NSObject> userInfo_;
    bool isLoading_ = false;
    bool shouldHandleCookies_ = true;
    bool respondedFromCache_ = false;
    bool filterPasswordLogging_ = false;
    Ref<NSMutableArray> delegates_;
    std::vector<const void*> delegateIdentities_;  // compared only, never followed
};
