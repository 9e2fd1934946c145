// One cached video per video id: its remote URL, local file, expiry and play count, archived
// with its ad in the library folder's "mrsdk" next to the video file.
#pragma once

#include <cstdint>

#include "Foundation/NSCoder.h"
#include "Foundation/NSObject.h"

class MRJSONAd;
class MRURLDownload;
class MRURLDownloadDelegate;
class NSArray;
class NSDate;
class NSError;
class NSNumber;
class NSURL;

class MRVideoCache : public NSObject, public NSCoding {
    NS_OBJECT(MRVideoCache, NSObject)

    // Ids name files: an empty id, "." or "..", or one holding "/" is refused.
    static bool isUsableVideoId(NSString* vid);
    // The library folder's "mrsdk", where entries, videos and "cachedVideo.plist" live.
    static Ref<NSString> cacheFolder();
    static Ref<NSString> cachedVideoListPath();

    // False for an ad whose video id is not usable.
    bool initWithAd(MRJSONAd* ad);
    void updateWithNewAd(MRJSONAd* ad);
    Ref<NSString> localFilePath();
    Ref<NSString> archivedFilePath();
    void save();
    static Ref<MRVideoCache> loadFromArchive(NSString* vid);
    static bool cacheExists(NSString* vid);
    bool isDownloadComplete();
    bool isCacheExpired();
    void incrementNumPlaysBy(int32_t plays);
    void startOrFinishDownloadWithDelegate(MRURLDownloadDelegate* delegate);
    void restartDownloadWithDelegate(MRURLDownloadDelegate* delegate);
    void downloadDidFinish(MRURLDownload* download);
    void downloadDidFail(MRURLDownload* download, NSError* error);
    void removeCache();
    static Ref<NSArray> cachedVideoPaths();
    static void removeExpiredCaches();

    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

    Ref<NSString> vid() { return id_; }
    void setVid(NSString* vid);
    Ref<NSURL> url() { return url_; }
    void setUrl(NSURL* url);
    bool downloadFinished() { return downloadFinished_; }
    void setDownloadFinished(bool v) { downloadFinished_ = v; }
    Ref<NSNumber> numPlays() { return numPlays_; }
    void setNumPlays(NSNumber* n);
    Ref<NSDate> experation() { return experation_; }
    void setExperation(NSDate* d);
    Ref<NSString> localPath() { return localPath_; }
    void setLocalPath(NSString* path);
    Ref<MRJSONAd> ad() { return ad_; }
    void setAd(MRJSONAd* ad);
    // The download running for this entry, if any.
    Ref<MRURLDownload> download() { return download_; }

private:
    // The classes an archived entry is made of, entered before reading one.
    static void registerArchivedClasses();

    Ref<NSString> id_;
    Ref<NSURL> url_;
    bool downloadFinished_ = false;
    Ref<NSNumber> numPlays_;
    Ref<NSDate> experation_;
    Ref<NSString> localPath_;
    Ref<MRJSONAd> ad_;
    Ref<MRURLDownload> download_;
};
