// The steps that paint the shape in force: fills (solid, vertical gradient, glossy) and borders
// (solid, two-line highlight, gradient, four separately coloured edges, bevel). Borders move
// the context's frame inwards for the steps behind them; none of them adds to a measure.
#pragma once

#include "UIKit/UIColor.h"
#include "ui/core/DZStyle.h"

class UIColor;

class DZSolidFillStyle : public DZStyle {
    NS_OBJECT(DZSolidFillStyle, DZStyle)
    static Ref<DZSolidFillStyle> styleWithColor(UIColor* color, DZStyle* next);
    Ref<UIColor> color() { return color_; }
    void setColor(UIColor* color) { color_ = color; }
    void draw(DZStyleContext* context) override;

private:
    Ref<UIColor> color_;
};

class DZLinearGradientFillStyle : public DZStyle {
    NS_OBJECT(DZLinearGradientFillStyle, DZStyle)
    static Ref<DZLinearGradientFillStyle> styleWithColor1(UIColor* color1, UIColor* color2,
                                                          DZStyle* next);
    Ref<UIColor> color1() { return color1_; }
    Ref<UIColor> color2() { return color2_; }
    void draw(DZStyleContext* context) override;

private:
    Ref<UIColor> color1_, color2_;
};

// The colour with a white gloss over its upper half.
class DZReflectiveFillStyle : public DZStyle {
    NS_OBJECT(DZReflectiveFillStyle, DZStyle)
    static Ref<DZReflectiveFillStyle> styleWithColor(UIColor* color, DZStyle* next);
    static Ref<DZReflectiveFillStyle> styleWithColor(UIColor* color, bool withBottomHighlight,
                                                     DZStyle* next);
    Ref<UIColor> color() { return color_; }
    bool withBottomHighlight() { return withBottomHighlight_; }
    void draw(DZStyleContext* context) override;

private:
    Ref<UIColor> color_;
    bool withBottomHighlight_ = false;
};

class DZSolidBorderStyle : public DZStyle {
    NS_OBJECT(DZSolidBorderStyle, DZStyle)
    static Ref<DZSolidBorderStyle> styleWithColor(UIColor* color, CGFloat width, DZStyle* next);
    Ref<UIColor> color() { return color_; }
    CGFloat width() { return width_; }
    void draw(DZStyleContext* context) override;

private:
    Ref<UIColor> color_;
    CGFloat width_ = 1;
};

class DZHighlightBorderStyle : public DZStyle {
    NS_OBJECT(DZHighlightBorderStyle, DZStyle)
    static Ref<DZHighlightBorderStyle> styleWithColor(UIColor* color, UIColor* highlightColor,
                                                      CGFloat width, DZStyle* next);
    void draw(DZStyleContext* context) override;

private:
    Ref<UIColor> color_, highlightColor_;
    CGFloat width_ = 1;
};

class DZLinearGradientBorderStyle : public DZStyle {
    NS_OBJECT(DZLinearGradientBorderStyle, DZStyle)
    static Ref<DZLinearGradientBorderStyle> styleWithColor1(UIColor* color1, UIColor* color2,
                                                            CGFloat width, DZStyle* next);
    static Ref<DZLinearGradientBorderStyle> styleWithColor1(UIColor* color1, CGFloat location1,
                                                            UIColor* color2, CGFloat location2,
                                                            CGFloat width, DZStyle* next);
    void draw(DZStyleContext* context) override;

private:
    Ref<UIColor> color1_, color2_;
    CGFloat location1_ = 0, location2_ = 1, width_ = 1;
};

// Each edge its own colour; an edge without one is stroked clear and keeps its room.
class DZFourBorderStyle : public DZStyle {
    NS_OBJECT(DZFourBorderStyle, DZStyle)
    static Ref<DZFourBorderStyle> styleWithTop(UIColor* top, UIColor* right, UIColor* bottom,
                                               UIColor* left, CGFloat width, DZStyle* next);
    static Ref<DZFourBorderStyle> styleWithTop(UIColor* top, CGFloat width, DZStyle* next);
    static Ref<DZFourBorderStyle> styleWithRight(UIColor* right, CGFloat width, DZStyle* next);
    static Ref<DZFourBorderStyle> styleWithBottom(UIColor* bottom, CGFloat width, DZStyle* next);
    static Ref<DZFourBorderStyle> styleWithLeft(UIColor* left, CGFloat width, DZStyle* next);
    Ref<UIColor> top() { return top_; }
    Ref<UIColor> right() { return right_; }
    Ref<UIColor> bottom() { return bottom_; }
    Ref<UIColor> left() { return left_; }
    CGFloat width() { return width_; }
    void draw(DZStyleContext* context) override;

protected:
    // Strokes the four edges in the colours given, with the light source, and moves the frame.
    void drawEdges(DZStyleContext* context, UIColor* top, UIColor* right, UIColor* bottom,
                   UIColor* left, NSInteger lightSource);
    Ref<UIColor> top_, right_, bottom_, left_;
    CGFloat width_ = 1;
};

// Edges lit or shaded by where the light comes from (degrees).
class DZBevelBorderStyle : public DZFourBorderStyle {
    NS_OBJECT(DZBevelBorderStyle, DZFourBorderStyle)
    static Ref<DZBevelBorderStyle> styleWithHighlight(UIColor* highlight, UIColor* shadow,
                                                      CGFloat width, NSInteger lightSource,
                                                      DZStyle* next);
    // The colour's own highlight and shadow, lit at 125.
    static Ref<DZBevelBorderStyle> styleWithColor(UIColor* color, CGFloat width, DZStyle* next);
    Ref<UIColor> highlight() { return highlight_; }
    Ref<UIColor> shadow() { return shadow_; }
    NSInteger lightSource() { return lightSource_; }
    void draw(DZStyleContext* context) override;

private:
    Ref<UIColor> highlight_, shadow_;
    NSInteger lightSource_ = 125;
};
