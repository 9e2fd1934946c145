// The steps that do not paint the shape: the shape step, inset and box steps that move the
// frame or content frame, the drop and inner shadows, the blend and mask steps that change how
// the rest of the chain is composited, the content step (the delegate draws) and the image.
#pragma once

#include "UIKit/UIImage.h"
#include "UIKit/UIView.h"
#include "ui/core/DZShape.h"
#include "ui/core/DZStyle.h"

class NSString;
class UIColor;
class UIImage;

class DZShapeStyle : public DZStyle {
    NS_OBJECT(DZShapeStyle, DZStyle)
    static Ref<DZShapeStyle> styleWithShape(DZShape* shape, DZStyle* next);
    Ref<DZShape> shape() { return shape_; }
    void setShape(DZShape* shape) { shape_ = shape; }
    void draw(DZStyleContext* context) override;
    UIEdgeInsets addToInsets(UIEdgeInsets insets, CGSize size) override;
    CGSize addToSize(CGSize size, DZStyleContext* context) override;

private:
    Ref<DZShape> shape_;
};

class DZInsetStyle : public DZStyle {
    NS_OBJECT(DZInsetStyle, DZStyle)
    static Ref<DZInsetStyle> styleWithInset(UIEdgeInsets inset, DZStyle* next);
    UIEdgeInsets inset() { return inset_; }
    void draw(DZStyleContext* context) override;
    UIEdgeInsets addToInsets(UIEdgeInsets insets, CGSize size) override;

private:
    UIEdgeInsets inset_ = UIEdgeInsetsZero;
};

// Padding around the content; margin, minimum size and position are for styled-text boxes.
class DZBoxStyle : public DZStyle {
    NS_OBJECT(DZBoxStyle, DZStyle)
    static Ref<DZBoxStyle> styleWithMargin(UIEdgeInsets margin, DZStyle* next);
    static Ref<DZBoxStyle> styleWithPadding(UIEdgeInsets padding, DZStyle* next);
    static Ref<DZBoxStyle> styleWithFloats(NSInteger position, DZStyle* next);
    static Ref<DZBoxStyle> styleWithMargin(UIEdgeInsets margin, UIEdgeInsets padding,
                                           DZStyle* next);
    static Ref<DZBoxStyle> styleWithMargin(UIEdgeInsets margin, UIEdgeInsets padding,
                                           CGSize minSize, NSInteger position, DZStyle* next);
    UIEdgeInsets margin() { return margin_; }
    UIEdgeInsets padding() { return padding_; }
    CGSize minSize() { return minSize_; }
    NSInteger position() { return position_; }
    void draw(DZStyleContext* context) override;
    CGSize addToSize(CGSize size, DZStyleContext* context) override;

private:
    UIEdgeInsets margin_ = UIEdgeInsetsZero, padding_ = UIEdgeInsetsZero;
    CGSize minSize_ = CGSizeZero;
    NSInteger position_ = 0;
};

// One shadow cast by everything behind the step together.
class DZShadowStyle : public DZStyle {
    NS_OBJECT(DZShadowStyle, DZStyle)
    static Ref<DZShadowStyle> styleWithColor(UIColor* color, CGFloat blur, CGSize offset,
                                             DZStyle* next);
    Ref<UIColor> color() { return color_; }
    CGFloat blur() { return blur_; }
    CGSize offset() { return offset_; }
    void draw(DZStyleContext* context) override;
    CGSize addToSize(CGSize size, DZStyleContext* context) override;

protected:
    // The vertical offset as the graphics context takes it: negated before system 3.2.
    CGFloat contextOffsetY();
    Ref<UIColor> color_;
    CGFloat blur_ = 0;
    CGSize offset_ = CGSizeZero;
};

// A shadow falling inside the shape, from just outside its outline.
class DZInnerShadowStyle : public DZShadowStyle {
    NS_OBJECT(DZInnerShadowStyle, DZShadowStyle)
    static Ref<DZInnerShadowStyle> styleWithColor(UIColor* color, CGFloat blur, CGSize offset,
                                                  DZStyle* next);
    void draw(DZStyleContext* context) override;
    CGSize addToSize(CGSize size, DZStyleContext* context) override;
};

class DZBlendStyle : public DZStyle {
    NS_OBJECT(DZBlendStyle, DZStyle)
    static Ref<DZBlendStyle> styleWithBlend(NSInteger blendMode, DZStyle* next);
    NSInteger blendMode() { return blendMode_; }
    void draw(DZStyleContext* context) override;

private:
    NSInteger blendMode_ = 0;
};

class DZMaskStyle : public DZStyle {
    NS_OBJECT(DZMaskStyle, DZStyle)
    static Ref<DZMaskStyle> styleWithMask(UIImage* mask, DZStyle* next);
    Ref<UIImage> mask() { return mask_; }
    void draw(DZStyleContext* context) override;

private:
    Ref<UIImage> mask_;
};

// Lets the delegate draw its content at this point of the chain.
class DZContentStyle : public DZStyle {
    NS_OBJECT(DZContentStyle, DZStyle)
    static Ref<DZContentStyle> styleWithNext(DZStyle* next);
    void draw(DZStyleContext* context) override;
};

class DZImageStyle : public DZStyle {
    NS_OBJECT(DZImageStyle, DZStyle)
    static Ref<DZImageStyle> styleWithImageURL(NSString* url, DZStyle* next);
    static Ref<DZImageStyle> styleWithImageURL(NSString* url, UIImage* defaultImage, DZStyle* next);
    static Ref<DZImageStyle> styleWithImageURL(NSString* url, UIImage* defaultImage,
                                               UIViewContentMode contentMode, CGSize size,
                                               DZStyle* next);
    static Ref<DZImageStyle> styleWithImage(UIImage* image, DZStyle* next);
    static Ref<DZImageStyle> styleWithImage(UIImage* image, UIImage* defaultImage, DZStyle* next);
    static Ref<DZImageStyle> styleWithImage(UIImage* image, UIImage* defaultImage,
                                            UIViewContentMode contentMode, CGSize size,
                                            DZStyle* next);
    Ref<NSString> imageURL() { return imageURL_; }
    void setImageURL(NSString* url);
    // The image set, else the URL cache's image for the URL (kept once found).
    Ref<UIImage> image();
    void setImage(UIImage* image) { image_ = image; }
    Ref<UIImage> defaultImage() { return defaultImage_; }
    UIViewContentMode contentMode() { return contentMode_; }
    CGSize size() { return size_; }
    // The image, else the delegate's.
    Ref<UIImage> imageForContext(DZStyleContext* context);
    void draw(DZStyleContext* context) override;
    CGSize addToSize(CGSize size, DZStyleContext* context) override;

private:
    Ref<NSString> imageURL_;
    Ref<UIImage> image_, defaultImage_;
    UIViewContentMode contentMode_ = UIViewContentModeScaleToFill;
    CGSize size_ = CGSizeZero;
};
