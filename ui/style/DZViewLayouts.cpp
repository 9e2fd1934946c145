#include "ui/style/DZViewLayouts.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSArray.h"
#include "UIKit/UIView.h"

CGSize DZFlowLayout::layoutSubviews(NSArray* subviews, UIView* view) {
    CGFloat p = padding_, s = spacing_;
    CGFloat maxWidth = view->frame().size.width - p * 2;
    CGFloat x = p, y = p, right = 0;
    UIView* last = nullptr;
    for (NSObject* object : *subviews) {
        auto* subview = static_cast<UIView*>(object);
        CGSize size = subview->frame().size;
        if (x + size.width > maxWidth) {
            x = p;
            y += size.height + s;
        }
        subview->setFrame(CGRectMake(x, y, size.width, size.height));
        x += size.width + s;
        right = std::max(right, x);
        last = subview;
    }
    if (!last) return CGSizeMake(p, p * 2);
    return CGSizeMake(right + p, y + last->frame().size.height + p);
}

CGSize DZGridLayout::layoutSubviews(NSArray* subviews, UIView* view) {
    NSInteger columns = std::max<NSInteger>(columnCount_, 1);
    CGFloat p = padding_, s = spacing_;
    CGFloat cellWidth = std::ceil((view->frame().size.width - p * 2) / CGFloat(columns));
    CGFloat x = p, y = p, rowHeight = 0, right = 0;
    UIView* last = nullptr;
    NSInteger index = 0;
    for (NSObject* object : *subviews) {
        auto* subview = static_cast<UIView*>(object);
        if (index % columns == 0) {
            x = p;
            y += rowHeight + s;
        }
        CGSize fit = subview->sizeThatFits(CGSizeMake(cellWidth, 0));
        rowHeight = fit.height;
        subview->setFrame(CGRectMake(x, y, cellWidth, fit.height));
        x += subview->frame().size.width + s;
        right = std::max(right, x);
        last = subview;
        ++index;
    }
    if (!last) return CGSizeMake(p, p * 2);
    return CGSizeMake(right + p, y + last->frame().size.height + p);
}
