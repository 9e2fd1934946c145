// What the photo browser and the thumbnail grid know of photos and the sets that hold them.
// A photo names a URL per size version (1 the full image, 3 a preview, 4 the thumbnail) and
// may not know its size until its first image arrives. A photo source is a model (it loads,
// possibly page by page) that lists its photos by index.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

class DZModel;
class DZPhotoSource;
class NSString;

enum DZPhotoVersion : int32_t {
    DZPhotoVersionNone = 0,
    DZPhotoVersionLarge = 1,
    DZPhotoVersionMedium = 2,
    DZPhotoVersionSmall = 3,
    DZPhotoVersionThumbnail = 4,
};

class DZPhoto {
public:
    virtual ~DZPhoto() = default;
    // The source that holds the photo (not retained by the photo).
    virtual Ref<DZPhotoSource> photoSource() = 0;
    virtual NSInteger index() = 0;
    // The full image's size; a zero width means not known yet.
    virtual CGSize size() = 0;
    virtual void setSize(CGSize size) = 0;
    virtual Ref<NSString> caption() = 0;
    // The URL of a size version, nil when the photo has none.
    virtual Ref<NSString> URLForVersion(DZPhotoVersion version) = 0;
    // Optional ("URLValueWithName:"): the navigator URL that opens the photo in a screen.
    virtual Ref<NSString> URLValueWithName(NSString*) { return nullptr; }
};

class DZPhotoSource {
public:
    virtual ~DZPhotoSource() = default;
    virtual Ref<NSString> title() = 0;
    // The total, or -1 when the source does not know it yet.
    virtual NSInteger numberOfPhotos() = 0;
    // The highest index loaded so far, -1 before any.
    virtual NSInteger maxPhotoIndex() = 0;
    // The photo at an index, nil when it is not loaded.
    virtual Ref<DZPhoto> photoAtIndex(NSInteger index) = 0;
    // The model side of the source: the object that loads and tells its observers.
    virtual Ref<DZModel> photoModel() = 0;
    // Optional ("URLValueWithName:"): navigator URLs of screens for the set.
    virtual Ref<NSString> URLValueWithName(NSString*) { return nullptr; }
};

// The photo an object stands for, nil when it is none, and the object behind a photo.
inline DZPhoto* DZPhotoOf(NSObject* object) {
    return dynamic_cast<DZPhoto*>(object);
}
inline NSObject* DZPhotoObject(DZPhoto* photo) {
    return photo ? objc_detail::objectOf(photo) : nullptr;
}
