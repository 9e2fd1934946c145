#include "ui/style/DZErrorView.h"

#include <cmath>

#include "Foundation/NSString.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/style/DZDefaultStyleSheet.h"

namespace {

Ref<UILabel> errorLabel(DZDefaultStyleSheet* sheet, bool title) {
    auto label = make<UILabel>();
    label->setBackgroundColor(UIColor::clearColor());
    if (sheet) {
        label->setTextColor(sheet->tableErrorTextColor());
        label->setFont(title ? sheet->errorTitleFont() : sheet->errorSubtitleFont());
    }
    label->setTextAlignment(UITextAlignmentCenter);
    if (!title) label->setNumberOfLines(0);
    return label;
}

bool hasText(UILabel* label) {
    auto text = label->text();
    return text && text->length() > 0;
}

}  // namespace

bool DZErrorView::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    auto sheet = as<DZDefaultStyleSheet>(DZStyleSheet::globalStyleSheet());
    imageView_ = make<UIImageView>();
    imageView_->setContentMode(UIViewContentModeCenter);
    titleView_ = errorLabel(sheet, true);
    subtitleView_ = errorLabel(sheet, false);
    addSubview(imageView_);
    addSubview(titleView_);
    addSubview(subtitleView_);
    return true;
}

bool DZErrorView::initWithTitle(NSString* title, NSString* subtitle, UIImage* image) {
    if (!init()) return false;
    setTitle(title);
    setSubtitle(subtitle);
    setImage(image);
    return true;
}

Ref<NSString> DZErrorView::title() {
    return titleView_->text();
}

void DZErrorView::setTitle(NSString* title) {
    titleView_->setText(title);
}

Ref<NSString> DZErrorView::subtitle() {
    return subtitleView_->text();
}

void DZErrorView::setSubtitle(NSString* subtitle) {
    subtitleView_->setText(subtitle);
}

Ref<UIImage> DZErrorView::image() {
    return imageView_->image();
}

void DZErrorView::setImage(UIImage* image) {
    imageView_->setImage(image);
}

void DZErrorView::layoutSubviews() {
    CGFloat W = width(this), H = height(this);
    setSize(subtitleView_, subtitleView_->sizeThatFits(CGSizeMake(W - 20, 0)));
    titleView_->sizeToFit();
    imageView_->sizeToFit();

    CGFloat imageHeight = height(imageView_), titleHeight = height(titleView_),
            subtitleHeight = height(subtitleView_);
    bool showsImage =
        imageView_->image() && H > imageHeight + titleHeight + subtitleHeight + 30 + 20;
    bool showsTitle = hasText(titleView_), showsSubtitle = hasText(subtitleView_);

    CGFloat total = showsImage ? imageHeight : 0;
    if (showsTitle) total += titleHeight + (total != 0 ? 30 : 0);
    if (showsSubtitle) total += subtitleHeight + (total != 0 ? 20 : 0);

    CGFloat y = std::floor(H / 2 - total / 2);
    if (showsImage) {
        setOrigin(imageView_, CGPointMake(std::floor(W / 2 - width(imageView_) / 2), y));
        imageView_->setHidden(false);
        y += imageHeight + 30;
    } else {
        imageView_->setHidden(true);
    }
    if (showsTitle) {
        setOrigin(titleView_, CGPointMake(std::floor(W / 2 - width(titleView_) / 2), y));
        y += titleHeight + 20;
    }
    if (showsSubtitle)
        setOrigin(subtitleView_, CGPointMake(std::floor(W / 2 - width(subtitleView_) / 2), y));
}
