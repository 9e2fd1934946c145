// A request that posts a form: values and file parts collected while it is idle become, just
// before it is sent, a URL-encoded body (postFormat 1, the default) or a multipart body (any
// other format, and always once a file part exists).
#pragma once

#include "external/nk-http-request/Classes/NKHTTPRequest.h"

class NSMutableArray;

enum NKPostFormat : int32_t {
    NKMultipartFormDataPostFormat = 0,
    NKURLEncodedPostFormat = 1,
};

class NKFormDataRequest : public NKHTTPRequest {
    NS_OBJECT(NKFormDataRequest, NKHTTPRequest)
    static Ref<NKFormDataRequest> requestWithURL(NSURL* url);
    bool initWithURL(NSURL* url) override;
    Ref<NSObject> copyWithZone() override;

    // ---- values: any object, sent as its description -----------------------------------------
    void addPostValue(NSObject* value, NSString* key);
    // Removes every value of the key first; the new one goes to the end.
    void setPostValue(NSObject* value, NSString* key);

    // ---- file parts: a file path or bytes ----------------------------------------------------
    void addFile(NSString* filePath, NSString* key);
    void addFile(NSObject* data, NSString* fileName, NSString* contentType, NSString* key);
    void addData(NSData* data, NSString* key);
    void addData(NSData* data, NSString* fileName, NSString* contentType, NSString* key);
    void setFile(NSString* filePath, NSString* key);
    void setFile(NSObject* data, NSString* fileName, NSString* contentType, NSString* key);
    void setData(NSData* data, NSString* key);
    void setData(NSData* data, NSString* fileName, NSString* contentType, NSString* key);

    void buildPostBody() override;

    Ref<NSMutableArray> postData() { return postData_.get(); }
    void setPostData(NSMutableArray* v) { postData_.set(v); }
    Ref<NSMutableArray> fileData() { return fileData_.get(); }
    void setFileData(NSMutableArray* v) { fileData_.set(v); }
    int32_t postFormat() { return postFormat_; }
    void setPostFormat(int32_t format) { postFormat_ = format; }
    NSStringEncoding stringEncoding() { return stringEncoding_; }
    void setStringEncoding(NSStringEncoding encoding) { stringEncoding_ = encoding; }

protected:
    void buildURLEncodedPostBody();
    void buildMultipartFormDataPostBody();
    void appendPostString(NSString* string);
    Ref<NSString> encodeURL(NSString* string);

private:
    void removeEntries(NSMutableArray* list, NSString* key);

    nk_detail::AtomicRef<NSMutableArray> postData_;
    nk_detail::AtomicRef<NSMutableArray> fileData_;
    std::atomic<int32_t> postFormat_{NKURLEncodedPostFormat};
    std::atomic<NSStringEncoding> stringEncoding_{NSUTF8StringEncoding};
    bool builtOnce_ = false;
};
