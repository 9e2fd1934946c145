// Page dots drawn with the sheet's dot styles (normal and selected states of one style name).
// A tap on the right half asks for the next page, on the left half for the previous one; the
// value-changed actions follow every tap, even when the page stays.
#pragma once

#include "UIKit/UIControl.h"

class DZStyle;

class DZPageControl : public UIControl {
    NS_OBJECT(DZPageControl, UIControl)
    bool initWithFrame(CGRect frame) override;

    NSInteger numberOfPages() { return numberOfPages_; }
    // Negative counts become 0.
    void setNumberOfPages(NSInteger count);
    NSInteger currentPage() { return currentPage_; }
    // Clamped to the last page, then to 0.
    void setCurrentPage(NSInteger page);
    Ref<NSString> dotStyle() { return dotStyle_; }
    void setDotStyle(NSString* name);
    bool hidesForSinglePage() { return hidesForSinglePage_; }
    void setHidesForSinglePage(bool hides) { hidesForSinglePage_ = hides; }

    // The dot style's normal and selected states, kept once read.
    Ref<DZStyle> normalDotStyle();
    Ref<DZStyle> currentDotStyle();

    CGSize sizeThatFits(CGSize size) override;
    void drawRect(CGRect rect) override;
    void endTrackingWithTouch(UITouch* touch, UIEvent* event) override;

private:
    CGSize dotSize();
    UIEdgeInsets dotMargin();

    NSInteger numberOfPages_ = 0, currentPage_ = 0;
    Ref<NSString> dotStyle_;
    Ref<DZStyle> normalDotStyle_, currentDotStyle_;
    bool hidesForSinglePage_ = false;
};
