// Fetches one video file with one URL connection, resuming a partial file with a range request.
// The reply's status decides what happens to the file: 206 from the file's length appends, 200
// rewrites it from the start, 416 for a file already whole finishes; anything else fails and
// leaves the file as it was. Bytes received before a connection drops are kept, so the next
// attempt resumes after them.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"
#include "URLLoading/NSURLConnection.h"

class MRURLDownload;
class NSError;
class NSMutableData;
class NSURL;

class MRURLDownloadDelegate {
public:
    virtual ~MRURLDownloadDelegate() = default;
    virtual void downloadDidFinish(MRURLDownload* download) = 0;
    virtual void downloadDidFail(MRURLDownload* download, NSError* error) = 0;
};

class MRURLDownload : public NSObject, public NSURLConnectionDelegate {
    NS_OBJECT(MRURLDownload, NSObject)

    bool initWithURL(NSURL* url, NSString* file, MRURLDownloadDelegate* delegate);
    void startDownload(NSURL* url, int32_t offset);
    void dealloc() override;

    Ref<MRURLDownloadDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(MRURLDownloadDelegate* d) { delegate_ = d; }
    Ref<NSString> filePath() { return filePath_; }
    float totalDataDownloaded() { return totalDataDownloaded_; }
    float contentLength() { return contentLength_; }

    void connectionDidReceiveResponse(NSURLConnection* connection,
                                      NSURLResponse* response) override;
    void connectionDidReceiveData(NSURLConnection* connection, NSData* data) override;
    void connectionDidFinishLoading(NSURLConnection* connection) override;
    void connectionDidFailWithError(NSURLConnection* connection, NSError* error) override;

private:
    enum class Disposition { Unknown, Append, Rewrite, AlreadyWhole, Refuse };
    // Writes what this connection brought as the reply's status allows.
    void storeReceivedBytes();
    void fail(NSError* error);

    Ref<NSURL> url_;
    Ref<NSString> filePath_;
    float totalDataDownloaded_ = 0;
    float contentLength_ = 0;
    Ref<NSMutableData> downloadData_;
    Ref<NSURLConnection> connection_;
    bool firstDownload_ = false;
    Weak<MRURLDownloadDelegate> delegate_;
    int64_t offset_ = 0;
    Disposition disposition_ = Disposition::Unknown;
};
