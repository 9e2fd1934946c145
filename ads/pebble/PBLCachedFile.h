// One downloaded resource kept in the caches folder and revalidated against its source with a
// conditional GET. Main thread only; the transfer runs on the main run loop.
#pragma once

#include "Foundation/NSObject.h"
#include "URLLoading/NSURLConnection.h"

class NSDateFormatter;
class NSDictionary;
class NSError;
class NSMutableData;
class NSString;
class NSURL;
class PBLCachedFile;

class PBLCachedFileDelegate {
public:
    virtual ~PBLCachedFileDelegate() = default;
    // The file is current: freshly written, or confirmed by 304.
    virtual void cachedFileDownloadDidEnd(PBLCachedFile* file) = 0;
    virtual void cachedFileDownloadDidFail(PBLCachedFile* file, NSError* error) = 0;
    // nil lets the redirect proceed; an error stops the fetch and is reported as its failure.
    virtual Ref<NSError> cachedFileShouldRedirectToURL(PBLCachedFile* file, NSURL* url) = 0;
};

class PBLCachedFile : public NSObject, public NSURLConnectionDelegate {
    NS_OBJECT(PBLCachedFile, NSObject)
    bool initWithDelegate(PBLCachedFileDelegate* delegate, NSURL* url);
    void dealloc() override;
    static Ref<NSDateFormatter> formatterForHTTPDate();

    void validate();
    // Adds "unique" with the current time, so no cache on the way answers.
    void validateWithCacheBuster();
    void beginFetchWithCacheBuster(bool cacheBuster);
    void cancel() { cleanUpConnection(); }
    void invalidate();
    void cleanUpConnection();

    Ref<NSString> content();
    bool hasContent();
    Ref<NSString> filePath();
    Ref<NSString> fileModificationDate();
    Ref<NSDictionary> httpHeaders() { return httpHeaders_; }
    int httpStatusCode() { return httpStatusCode_; }
    Ref<NSURL> httpDestinationURL() { return httpDestinationURL_; }
    Ref<NSURL> sourceURL() { return sourceURL_; }
    Ref<PBLCachedFileDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(PBLCachedFileDelegate* delegate) { delegate_ = delegate; }
    Ref<NSString> description() override;
    bool isFetching() { return connection_ != nullptr; }

    Ref<NSURLRequest> connectionWillSendRequest(NSURLConnection* connection, NSURLRequest* request,
                                                NSURLResponse* redirectResponse) override;
    void connectionDidReceiveResponse(NSURLConnection* connection,
                                      NSURLResponse* response) override;
    void connectionDidReceiveData(NSURLConnection* connection, NSData* data) override;
    void connectionDidFinishLoading(NSURLConnection* connection) override;
    void connectionDidFailWithError(NSURLConnection* connection, NSError* error) override;
    void saveHeadersFromResponse(NSURLResponse* response);

private:
    void fail(NSError* error);
    Weak<PBLCachedFileDelegate> delegate_;
    Ref<NSURL> sourceURL_;
    Ref<NSString> filePath_;
    Ref<NSURLConnection> connection_;
    Ref<NSMutableData> receivedData_;
    Ref<NSString> receivedModificationDate_;
    Ref<NSURL> httpDestinationURL_;
    int httpStatusCode_ = 0;
    Ref<NSDictionary> httpHeaders_;
};
