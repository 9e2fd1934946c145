// Images: a bitmap (a CGImage) with a scale and an orientation, made from PNG or JPEG bytes,
// from files and bundle resources, or from a CGImage. Encoded bytes are decoded on first use
// (the header alone gives the size), so making an image is cheap and thread-safe.
#pragma once

#include <mutex>

#include "CoreGraphics/CGContext.h"
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
    // Answers the later additions that callers probe for (made with a scale, drawn with a
    // blend mode, resizable with insets).
    static void describeClass(RuntimeClass& c);
    // A resource of the main bundle: "name" or "name.png"; on a 2x screen "name@2x.png" is
    // preferred and gives scale 2. Cached by name (until a memory warning); nil when missing.
    static Ref<UIImage> imageNamed(NSString* name);
    // nil for bytes that are not a PNG or JPEG image.
    static Ref<UIImage> imageWithData(NSData* data);
    static Ref<UIImage> imageWithData(NSData* data, CGFloat scale);
    // An "@2x" in the file name gives scale 2. Not cached.
    static Ref<UIImage> imageWithContentsOfFile(NSString* path);
    // The same bitmap with another scale and orientation.
    static Ref<UIImage> imageWithImage(UIImage* image, CGFloat scale,
                                       UIImageOrientation orientation);
    // A transparent image of the given size.
    static Ref<UIImage> imageWithSize(CGSize size, CGFloat scale);
    // nil for a nil bitmap. The image holds the bitmap.
    static Ref<UIImage> imageWithCGImage(CGImageRef image);
    static Ref<UIImage> imageWithCGImage(CGImageRef image, CGFloat scale,
                                         UIImageOrientation orientation);

    bool initWithData(NSData* data);
    bool initWithData(NSData* data, CGFloat scale);
    bool initWithContentsOfFile(NSString* path);
    bool initWithCGImage(CGImageRef image);
    bool initWithCGImage(CGImageRef image, CGFloat scale, UIImageOrientation orientation);

    // In points: pixels divided by the scale, width and height swapped for the left and right
    // orientations.
    CGSize size();
    CGSize pixelSize() { return pixels_; }
    CGFloat scale() { return scale_; }
    UIImageOrientation imageOrientation() { return orientation_; }
    // The bitmap in its stored orientation (imageOrientation says how to turn it upright);
    // decoded on first use, nil when the bytes cannot be decoded.
    Ref<::CGImage> CGImage();
    // The encoded bytes, nil for an image made from a bitmap.
    Ref<NSData> data() { return data_; }
    // "png" or "jpeg"; nil when there are no encoded bytes.
    Ref<NSString> format() { return format_; }
    // Where it came from: the resource name or file path (a diagnostic for the shell).
    Ref<NSString> sourceName() { return source_; }
    void setSourceName(NSString* name);
    // What assistive technology calls the picture where it stands alone for a control (a
    // segment's arrow): set by whoever draws it; nil when nobody named it.
    Ref<NSString> accessibilityLabel() { return accessibilityLabel_; }
    void setAccessibilityLabel(NSString* label);

    // A stretchable image: the caps stay, the middle stretches.
    Ref<UIImage> stretchableImageWithLeftCapWidth(NSInteger leftCapWidth, NSInteger topCapHeight);
    Ref<UIImage> resizableImageWithCapInsets(UIEdgeInsets capInsets);
    NSInteger leftCapWidth() { return leftCap_; }
    NSInteger topCapHeight() { return topCap_; }
    UIEdgeInsets capInsets() { return caps_; }

    // Drawing into the current context, upright by the orientation, scaled into the rectangle
    // (a stretchable image keeps its caps and stretches its middle). The plain forms blend
    // normally under the context's alpha; the others set both. Nothing happens without a
    // current context or a bitmap.
    virtual void drawAtPoint(CGPoint point);
    virtual void drawInRect(CGRect rect);
    virtual void drawAtPoint(CGPoint point, CGBlendMode blendMode, CGFloat alpha);
    virtual void drawInRect(CGRect rect, CGBlendMode blendMode, CGFloat alpha);
    // Tiles the image (at its point size) over the rectangle.
    void drawAsPatternInRect(CGRect rect);

    // Reads the pixel size from a PNG or JPEG header; false for anything else.
    static bool readImageHeader(NSData* data, CGSize* pixels, Ref<NSString>* format);
    // Drops the imageNamed: cache (on memory warnings).
    static void flushNamedCache();

    Ref<NSString> description() override;

private:
    Ref<::CGImage> decoded();
    void drawIntoContext(CGContextRef ctx, CGRect rect);
    void drawStretched(CGContextRef ctx, CGRect rect);

    std::mutex decodeLock_;
    bool decodeTried_ = false;
    Ref<::CGImage> image_;
    Ref<NSData> data_;
    Ref<NSString> format_;
    Ref<NSString> source_;
    Ref<NSString> accessibilityLabel_;
    CGSize pixels_{};
    CGFloat scale_ = 1;
    UIImageOrientation orientation_ = UIImageOrientationUp;
    NSInteger leftCap_ = 0, topCap_ = 0;
    UIEdgeInsets caps_{};
};

// The encoded forms of the image's pixels, turned upright by its orientation, at its pixel
// size. JPEG quality runs from 0 (smallest) to 1 (best); JPEG has no alpha, so transparent
// pixels come out over black. nil for nil or an image without a bitmap.
Ref<NSData> UIImageJPEGRepresentation(UIImage* image, CGFloat compressionQuality);
Ref<NSData> UIImagePNGRepresentation(UIImage* image);
