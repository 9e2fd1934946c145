// Segmented controls: a row of titled or pictured segments, one selected (or none). A tap on a
// segment selects it and sends the value-changed actions (a momentary control deselects after);
// setting the selection from code sends nothing.
#pragma once

#include <vector>

#include "UIKit/UIControl.h"

class UIColor;
class UIImage;

enum UISegmentedControlStyle : NSInteger {
    UISegmentedControlStylePlain = 0,
    UISegmentedControlStyleBordered,
    UISegmentedControlStyleBar,
    UISegmentedControlStyleBezeled,
};

inline constexpr NSInteger UISegmentedControlNoSegment = -1;

class UISegmentedControl : public UIControl {
    NS_OBJECT(UISegmentedControl, UIControl)
    static void describeClass(RuntimeClass& c);
    bool initWithFrame(CGRect frame) override;
    // Items are titles (strings) or images; anything else raises NSInvalidArgumentException.
    bool initWithItems(NSArray* items);

    UISegmentedControlStyle segmentedControlStyle() { return style_; }
    void setSegmentedControlStyle(UISegmentedControlStyle s) { style_ = s; }
    Ref<UIColor> tintColor() { return tintColor_; }
    void setTintColor(UIColor* color);
    bool isMomentary() { return momentary_; }
    void setMomentary(bool v) { momentary_ = v; }

    NSUInteger numberOfSegments() { return static_cast<NSUInteger>(segments_.size()); }
    // Indexes beyond the end insert at the end.
    void insertSegmentWithTitle(NSString* title, NSUInteger index, bool animated);
    void insertSegmentWithImage(UIImage* image, NSUInteger index, bool animated);
    // Out-of-range indexes are ignored, as on the platform; removing the selected segment
    // leaves no selection.
    void removeSegmentAtIndex(NSUInteger index, bool animated);
    void removeAllSegments();
    void setTitle(NSString* title, NSUInteger segment);
    Ref<NSString> titleForSegmentAtIndex(NSUInteger segment);
    void setImage(UIImage* image, NSUInteger segment);
    Ref<UIImage> imageForSegmentAtIndex(NSUInteger segment);
    // 0: the segment shares the width left by the others equally.
    void setWidth(CGFloat width, NSUInteger segment);
    CGFloat widthForSegmentAtIndex(NSUInteger segment);
    void setEnabled(bool enabled, NSUInteger segment);
    bool isEnabledForSegmentAtIndex(NSUInteger segment);
    using UIControl::setEnabled;

    NSInteger selectedSegmentIndex() { return selected_; }
    // An index out of range raises NSRangeException; UISegmentedControlNoSegment clears.
    void setSelectedSegmentIndex(NSInteger index);

    // The segment's rectangle in the control's bounds.
    CGRect rectForSegmentAtIndex(NSUInteger segment);
    // The segment under a point of the bounds, UISegmentedControlNoSegment when none.
    NSInteger segmentAtPoint(CGPoint point);
    // The shell's tap on a segment.
    void tapSegment(NSUInteger segment);

    CGSize sizeThatFits(CGSize size) override;

protected:
    void tappedAt(CGPoint point) override;

private:
    struct Segment {
        Ref<NSString> title;
        Ref<UIImage> image;
        CGFloat width = 0;
        bool enabled = true;
    };
    void insertSegment(Segment s, NSUInteger index);
    std::vector<Segment> segments_;
    NSInteger selected_ = UISegmentedControlNoSegment;
    UISegmentedControlStyle style_ = UISegmentedControlStylePlain;
    Ref<UIColor> tintColor_;
    bool momentary_ = false;
};
