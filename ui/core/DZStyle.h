// A drawing style: one link of a chain that draws a view (fills, borders, shadows, insets,
// text ...). Each style draws its part into the style context and passes the context on to the
// next style; sizes and insets grow the same way along the chain, front to back.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "CoreGraphics/CGGradient.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIGeometry.h"

class DZStyleContext;
class NSString;
class UIColor;

class DZStyle : public NSObject {
    NS_OBJECT(DZStyle, NSObject)
    bool init() override { return initWithNext(nullptr); }
    virtual bool initWithNext(DZStyle* next);

    Ref<DZStyle> next() { return next_; }
    void setNext(DZStyle* next) { next_ = next; }
    // next: sets the next style and answers the receiver, for chains written front to back.
    Ref<DZStyle> next(DZStyle* next);

    // Draws this style's part, then passes the context on; the base only passes it on.
    virtual void draw(DZStyleContext* context);
    // The insets grown by this style and the rest of the chain.
    virtual UIEdgeInsets addToInsets(UIEdgeInsets insets, CGSize size);
    // The size grown by this style and the rest of the chain; the base answers the next
    // style's answer, or the size itself at the end of the chain.
    virtual CGSize addToSize(CGSize size, DZStyleContext* context);

    // Appends the style at the tail of the chain.
    void addStyle(DZStyle* style);
    // The first style of the chain, the receiver included, of the class or a subclass of it.
    Ref<DZStyle> firstStyleOfClass(Class cls);
    template <class T>
    Ref<T> firstStyleOfClass() {
        return cast<T>(firstStyleOfClass(T::staticClass()));
    }
    // The nearest part style of the chain carrying the name.
    Ref<class DZPartStyle> styleForPart(NSString* name);

    // A gradient of the colours in the current context's colour space; locations nullptr
    // spreads them evenly. A colour that is neither grey nor red-green-blue (a pattern, or a
    // missing colour) gives a transparent stop.
    static Ref<CGGradient> newGradientWithColors(UIColor* const* colors, const CGFloat* locations,
                                                 size_t count);
    static Ref<CGGradient> newGradientWithColors(UIColor* const* colors, size_t count) {
        return newGradientWithColors(colors, nullptr, count);
    }

private:
    Ref<DZStyle> next_;
};

// A named sub-chain kept inside a chain: drawn only when asked for by name (a button's image).
class DZPartStyle : public DZStyle {
    NS_OBJECT(DZPartStyle, DZStyle)
    static Ref<DZPartStyle> styleWithName(NSString* name, DZStyle* style, DZStyle* next);

    Ref<NSString> name() { return name_; }
    void setName(NSString* name);
    Ref<DZStyle> style() { return style_; }
    void setStyle(DZStyle* style) { style_ = style; }

    // Passes on without drawing the part.
    void draw(DZStyleContext* context) override;
    // Draws the part's own chain.
    void drawPart(DZStyleContext* context);

private:
    Ref<NSString> name_;
    Ref<DZStyle> style_;
};
