#include "ads/meridian/MRVideoCache.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSKeyedArchiver.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "ads/meridian/MRJSONAd.h"
#include "ads/meridian/MRJSONVideoButton.h"
#include "ads/meridian/MRURLDownload.h"

namespace {

Ref<NSString> libraryFolder() {
    auto paths = NSSearchPathForDirectoriesInDomains(NSLibraryDirectory, NSUserDomainMask, true);
    return paths->count() ? cast<NSString>(paths->objectAtIndex(0)) : NSHomeDirectory();
}

Ref<NSString> urlExtension(NSURL* url) {
    return url ? url->absoluteString()->pathExtension() : NSString::string();
}

}  // namespace

bool MRVideoCache::isUsableVideoId(NSString* vid) {
    if (!vid || vid->length() == 0) return false;
    if (vid->isEqualToString(NS(".")) || vid->isEqualToString(NS(".."))) return false;
    return vid->rangeOfString(NS("/")).location == NSNotFound;
}

Ref<NSString> MRVideoCache::cacheFolder() {
    return NSString::stringWithFormat(NS("%@/mrsdk"), libraryFolder().get());
}

Ref<NSString> MRVideoCache::cachedVideoListPath() {
    return NSString::stringWithFormat(NS("%@/mrsdk/cachedVideo.plist"), libraryFolder().get());
}

void MRVideoCache::setVid(NSString* vid) {
    id_ = vid ? cast<NSString>(vid->copy()) : nullptr;
}

void MRVideoCache::setLocalPath(NSString* path) {
    localPath_ = path ? cast<NSString>(path->copy()) : nullptr;
}

void MRVideoCache::setUrl(NSURL* url) {
    url_ = url;
}

void MRVideoCache::setNumPlays(NSNumber* n) {
    numPlays_ = n;
}

void MRVideoCache::setExperation(NSDate* d) {
    experation_ = d;
}

void MRVideoCache::setAd(MRJSONAd* ad) {
    ad_ = ad;
}

bool MRVideoCache::initWithAd(MRJSONAd* ad) {
    if (!init() || !ad || !isUsableVideoId(ad->videoId().get())) return false;
    ad_ = ad;
    setVid(ad->videoId().get());
    url_ = ad->videoContentURL();
    experation_ = ad->videoExpirationDate();
    setLocalPath(localFilePath().get());
    downloadFinished_ = false;
    numPlays_ = NSNumber::numberWithInt(0);
    return true;
}

void MRVideoCache::updateWithNewAd(MRJSONAd* ad) {
    if (!ad) return;
    auto cached = ad_ ? ad_->videoButtons() : nullptr;
    auto fresh = ad->videoButtons();
    bool sameId = ad_ && ad_->videoId() && ad->videoId() &&
                  ad_->videoId()->isEqualToString(ad->videoId().get());
    bool differ = !cached || !fresh || cached->count() != fresh->count();
    for (NSUInteger i = 0; !differ && i < fresh->count(); ++i) {
        auto a = as<MRJSONVideoButton>(cached->objectAtIndex(i));
        auto b = as<MRJSONVideoButton>(fresh->objectAtIndex(i));
        differ = !a || !a->isEqualToVideoButton(b.get());
    }
    // The cached buttons have their images already; only a changed list is fetched again.
    if (!(sameId && differ) && cached) ad->setVideoButtons(cached.get());
    if (!ad->buttonsHaveBeenDownloaded()) ad->downloadButtons();
    ad_ = ad;
    setVid(ad->videoId().get());
    url_ = ad->videoContentURL();
    experation_ = ad->videoExpirationDate();
    setLocalPath(localFilePath().get());
    save();
}

Ref<NSString> MRVideoCache::localFilePath() {
    return NSString::stringWithFormat(NS("%@/mrsdk/%@.%@"), libraryFolder().get(), id_.get(),
                                      urlExtension(url_.get()).get());
}

Ref<NSString> MRVideoCache::archivedFilePath() {
    return NSString::stringWithFormat(NS("%@/mrsdk/%@.%@"), libraryFolder().get(), id_.get(),
                                      NS("mmarchive"));
}

void MRVideoCache::save() {
    NSFileManager::defaultManager()->createDirectoryAtPath(cacheFolder().get(), true, nullptr,
                                                           nullptr);
    NSKeyedArchiver::archiveRootObject(this, archivedFilePath().get());
}

void MRVideoCache::registerArchivedClasses() {
    MRVideoCache::staticClass();
    MRJSONAd::staticClass();
    MRJSONVideoButton::staticClass();
    UIColor::staticClass();
    UIFont::staticClass();
}

Ref<MRVideoCache> MRVideoCache::loadFromArchive(NSString* vid) {
    if (!isUsableVideoId(vid)) return nullptr;
    auto path = NSString::stringWithFormat(NS("%@/mrsdk/%@.mmarchive"), libraryFolder().get(), vid);
    if (!NSFileManager::defaultManager()->fileExistsAtPath(path.get())) return nullptr;
    registerArchivedClasses();
    try {
        return as<MRVideoCache>(NSKeyedUnarchiver::unarchiveObjectWithFile(path.get()));
    } catch (const ExceptionRaised&) {
        // A damaged entry is as good as none.
        return nullptr;
    }
}

bool MRVideoCache::cacheExists(NSString* vid) {
    return loadFromArchive(vid) != nullptr;
}

bool MRVideoCache::isDownloadComplete() {
    return localPath_ && NSFileManager::defaultManager()->fileExistsAtPath(localPath_.get()) &&
           downloadFinished_;
}

bool MRVideoCache::isCacheExpired() {
    return experation_ && experation_->timeIntervalSinceNow() < 0;
}

void MRVideoCache::incrementNumPlaysBy(int32_t plays) {
    numPlays_ = NSNumber::numberWithInt((numPlays_ ? numPlays_->intValue() : 0) + plays);
}

void MRVideoCache::startOrFinishDownloadWithDelegate(MRURLDownloadDelegate* delegate) {
    if (ad_ && !ad_->buttonsHaveBeenDownloaded()) ad_->downloadButtons();
    NSFileManager::defaultManager()->createDirectoryAtPath(cacheFolder().get(), true, nullptr,
                                                           nullptr);
    if (download_) download_->setDelegate(nullptr);
    download_ = alloc<MRURLDownload>();
    if (!download_->initWithURL(url_.get(), localPath_.get(), delegate)) download_ = nullptr;
}

void MRVideoCache::restartDownloadWithDelegate(MRURLDownloadDelegate* delegate) {
    if (localPath_) NSFileManager::defaultManager()->removeItemAtPath(localPath_.get(), nullptr);
    startOrFinishDownloadWithDelegate(delegate);
}

void MRVideoCache::downloadDidFinish(MRURLDownload* download) {
    Ref<MRVideoCache> keep(this);
    downloadFinished_ = true;
    auto list = NSDictionary::dictionaryWithObject(id_.get(), NS("needToPlayVideo"));
    list->writeToFile(cachedVideoListPath().get(), true);
    save();
    if (download) download->setDelegate(nullptr);
    if (download == download_.get()) download_ = nullptr;
}

void MRVideoCache::downloadDidFail(MRURLDownload* download, NSError*) {
    if (download) download->setDelegate(nullptr);
    if (download == download_.get()) download_ = nullptr;
}

void MRVideoCache::removeCache() {
    auto files = NSFileManager::defaultManager();
    files->removeItemAtPath(archivedFilePath().get(), nullptr);
    if (localPath_) files->removeItemAtPath(localPath_.get(), nullptr);
}

Ref<NSArray> MRVideoCache::cachedVideoPaths() {
    auto folder = cacheFolder();
    auto paths = NSMutableArray::array();
    auto names = NSFileManager::defaultManager()->contentsOfDirectoryAtPath(folder.get(), nullptr);
    for (NSUInteger i = 0; names && i < names->count(); ++i) {
        auto name = cast<NSString>(names->objectAtIndex(i));
        if (name->pathExtension()->isEqualToString(NS("mmarchive")))
            paths->addObject(folder->stringByAppendingPathComponent(name.get()).get());
    }
    return paths;
}

void MRVideoCache::removeExpiredCaches() {
    registerArchivedClasses();
    auto paths = cachedVideoPaths();
    for (NSUInteger i = 0; i < paths->count(); ++i) {
        Ref<MRVideoCache> entry;
        try {
            entry = as<MRVideoCache>(NSKeyedUnarchiver::unarchiveObjectWithFile(
                cast<NSString>(paths->objectAtIndex(i)).get()));
        } catch (const ExceptionRaised&) {
            continue;
        }
        if (entry && entry->isCacheExpired()) entry->removeCache();
    }
}

void MRVideoCache::encodeWithCoder(NSCoder* coder) {
    coder->encodeObject(ad_.get(), NS("ad"));
    coder->encodeObject(id_.get(), NS("vid"));
    coder->encodeObject(url_.get(), NS("url"));
    coder->encodeObject(experation_.get(), NS("experation"));
    coder->encodeObject(localPath_.get(), NS("localPath"));
    coder->encodeBool(downloadFinished_, NS("downloadFinished"));
    coder->encodeObject(numPlays_.get(), NS("numPlays"));
}

bool MRVideoCache::initWithCoder(NSCoder* coder) {
    if (!init()) return false;
    ad_ = as<MRJSONAd>(coder->decodeObjectForKey(NS("ad")));
    setVid(as<NSString>(coder->decodeObjectForKey(NS("vid"))).get());
    url_ = as<NSURL>(coder->decodeObjectForKey(NS("url")));
    experation_ = as<NSDate>(coder->decodeObjectForKey(NS("experation")));
    setLocalPath(as<NSString>(coder->decodeObjectForKey(NS("localPath"))).get());
    downloadFinished_ = coder->decodeBoolForKey(NS("downloadFinished"));
    numPlays_ = as<NSNumber>(coder->decodeObjectForKey(NS("numPlays")));
    return true;
}
