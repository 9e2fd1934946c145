// Images as data: size in points, scale, orientation and the encoded bytes they came from.
// Only the headers of PNG and JPEG files are read here (for the size); pixels come with drawing.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIGeometry.h"

class NSData;

enum UIImageOrientation : NSInteger {
    UIImageOrientationUp = 0,
    UIImageOrientationDown,
    UIImageOrientationLeft,
    UIImageOrientationRight,
    UIImageOrientationUpMirrored,
    UIImageOrientationDownMirrored,
    UIImageOrientationLeftMirrored,
    UIImageOrientationRightMirrored,
};

class UIImage : public NSObject {
    NS_OBJECT(UIImage, NSObject)
    // A resource of the main bundle: "name" or "name.png"; on a 2x screen "name@2x.png" is
    // preferred and gives scale 2. Cached by name (until a memory warning); nil when missing.
    static Ref<UIImage> imageNamed(NSString* name);
    // nil for bytes that are not a PNG or JPEG image.
    static Ref<UIImage> imageWithData(NSData* data);
    static Ref<UIImage> imageWithData(NSData* data, CGFloat scale);
    // An "@2x" in the file name gives scale 2. Not cached.
    static Ref<UIImage> imageWithContentsOfFile(NSString* path);
    // The same bytes with another scale and orientation.
    static Ref<UIImage> imageWithImage(UIImage* image, CGFloat scale,
                                       UIImageOrientation orientation);
    // An image of the given size with no encoded form (drawing fills it in).
    static Ref<UIImage> imageWithSize(CGSize size, CGFloat scale);

    bool initWithData(NSData* data);
    bool initWithData(NSData* data, CGFloat scale);
    bool initWithContentsOfFile(NSString* path);

    // In points: pixels divided by the scale, width and height swapped for the left and right
    // orientations.
    CGSize size();
    CGSize pixelSize() { return pixels_; }
    CGFloat scale() { return scale_; }
    UIImageOrientation imageOrientation() { return orientation_; }
    // The encoded bytes, nil for an image made by size.
    Ref<NSData> data() { return data_; }
    // "png" or "jpeg"; nil when there are no encoded bytes.
    Ref<NSString> format() { return format_; }
    // Where it came from: the resource name or file path (a diagnostic for the shell).
    Ref<NSString> sourceName() { return source_; }
    void setSourceName(NSString* name) { source_ = name; }

    // A stretchable image: the caps stay, the middle stretches.
    Ref<UIImage> stretchableImageWithLeftCapWidth(NSInteger leftCapWidth, NSInteger topCapHeight);
    Ref<UIImage> resizableImageWithCapInsets(UIEdgeInsets capInsets);
    NSInteger leftCapWidth() { return leftCap_; }
    NSInteger topCapHeight() { return topCap_; }
    UIEdgeInsets capInsets() { return caps_; }

    // Drawing goes to the current context once drawing exists.
    virtual void drawAtPoint(CGPoint) {}
    virtual void drawInRect(CGRect) {}

    // Reads the pixel size from a PNG or JPEG header; false for anything else.
    static bool readImageHeader(NSData* data, CGSize* pixels, Ref<NSString>* format);
    // Drops the imageNamed: cache (on memory warnings).
    static void flushNamedCache();

    Ref<NSString> description() override;

private:
    Ref<NSData> data_;
    Ref<NSString> format_;
    Ref<NSString> source_;
    CGSize pixels_{};
    CGFloat scale_ = 1;
    UIImageOrientation orientation_ = UIImageOrientationUp;
    NSInteger leftCap_ = 0, topCap_ = 0;
    UIEdgeInsets caps_{};
};

// The encoded forms. Until images can be drawn and encoded, an image's own bytes are returned
// when they are already in the asked format, and nil otherwise.
Ref<NSData> UIImageJPEGRepresentation(UIImage* image, CGFloat compressionQuality);
Ref<NSData> UIImagePNGRepresentation(UIImage* image);
