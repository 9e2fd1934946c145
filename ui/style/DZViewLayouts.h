// Layouts that place a styled view's subviews: in rows filled left to right (flow), or in a
// fixed number of equal columns (grid). Each answers the size its content needs.
#pragma once

#include "ui/core/DZLayout.h"

class DZFlowLayout : public DZLayout {
    NS_OBJECT(DZFlowLayout, DZLayout)
    CGFloat padding() { return padding_; }
    void setPadding(CGFloat padding) { padding_ = padding; }
    CGFloat spacing() { return spacing_; }
    void setSpacing(CGFloat spacing) { spacing_ = spacing; }
    // Keeps each subview's size; a subview that does not fit after the last starts a row, moved
    // down by its own height.
    CGSize layoutSubviews(NSArray* subviews, UIView* view) override;

private:
    CGFloat padding_ = 0, spacing_ = 0;
};

class DZGridLayout : public DZLayout {
    NS_OBJECT(DZGridLayout, DZLayout)
    // Below 1 counts as 1.
    NSInteger columnCount() { return columnCount_; }
    void setColumnCount(NSInteger count) { columnCount_ = count; }
    CGFloat padding() { return padding_; }
    void setPadding(CGFloat padding) { padding_ = padding; }
    CGFloat spacing() { return spacing_; }
    void setSpacing(CGFloat spacing) { spacing_ = spacing; }
    // Cells as wide as a column, as high as each subview fits that width; a row is as high as
    // the last subview placed in it.
    CGSize layoutSubviews(NSArray* subviews, UIView* view) override;

private:
    NSInteger columnCount_ = 1;
    CGFloat padding_ = 0, spacing_ = 0;
};
