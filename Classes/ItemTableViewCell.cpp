#include "Classes/ItemTableViewCell.h"

#include <cmath>

#include "Classes/RoundImageView.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINib.h"
#include "ui/style/DZImageView.h"

namespace {
constexpr CGFloat kThumbnailHeight = 80;
constexpr CGFloat kThumbnailMaxWidth = 120;
constexpr int32_t kBareMargin = 6;
constexpr CGFloat kRowWidth = 320;
}  // namespace

void ItemTableViewCell::describeClass(RuntimeClass& c) {
    c.implements({"imageView:didLoadImage:"});
    c.property("titleLabel", &ItemTableViewCell::titleLabel, &ItemTableViewCell::setTitleLabel);
    c.property("priceLabel", &ItemTableViewCell::priceLabel, &ItemTableViewCell::setPriceLabel);
    c.property("timeLabel", &ItemTableViewCell::timeLabel, &ItemTableViewCell::setTimeLabel);
    c.property("locationLabel", &ItemTableViewCell::locationLabel,
               &ItemTableViewCell::setLocationLabel);
    c.property("detailLabel", &ItemTableViewCell::detailLabel, &ItemTableViewCell::setDetailLabel);
    c.property("priceImageView", &ItemTableViewCell::priceImageView,
               &ItemTableViewCell::setPriceImageView);
}

Ref<ItemTableViewCell> ItemTableViewCell::createTableViewCellWithIdentifier(NSString* identifier) {
    auto objects = loadNibNamed(NSBundle::mainBundle(), identifier, nullptr, nullptr);
    for (NSUInteger i = 0; objects && i < objects->count(); ++i) {
        auto cell = as<ItemTableViewCell>(objects->objectAtIndex(i));
        if (!cell) continue;
        cell->initCellImageView();
        cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
        return cell;
    }
    return nullptr;
}

void ItemTableViewCell::initCellImageView() {
    imgView_ =
        make<RoundImageView>(&DZImageView::initWithFrame, CGRectMake(3, 3, 0, kThumbnailHeight));
    imgView_->setAutoresizesToImage(false);
    imgView_->setDelegate(this);
    addSubview(imgView_);
    leftMargin_ = kBareMargin;
    auto background = make<UIView>(&UIView::initWithFrame, CGRectZero);
    background->setBackgroundColor(
        UIColor::colorWithPatternImage(UIImage::imageNamed(NS("background.png"))));
    setBackgroundView(background);
}

void ItemTableViewCell::imageViewDidLoadImage(DZImageView*, UIImage* image) {
    CGSize size = image ? image->size() : CGSizeZero;
    if (size.width == 0 || size.height == 0) {
        leftMargin_ = kBareMargin;
    } else {
        CGFloat width = std::min(size.width * kThumbnailHeight / size.height, kThumbnailMaxWidth);
        if (imgView_) imgView_->setFrame(CGRectMake(3, 3, width, kThumbnailHeight));
        auto whole = static_cast<int32_t>(width);
        leftMargin_ = whole + kBareMargin + (whole != 0 ? 3 : 0);
    }
    layout();
}

void ItemTableViewCell::layout() {
    // The row's right edge where the labels are: a row in edit mode has moved its content right
    // by the edit control's width, and the tag still touches the row's edge.
    CGFloat shift = contentView()->frame().origin.x;
    CGFloat right = kRowWidth - shift;
    int32_t priceArea = 0;
    if (priceWidth_ != 0) {
        if (priceImageView_) {
            CGRect frame = priceImageView_->frame();
            CGFloat tagWidth = static_cast<CGFloat>(priceWidth_ + 15);
            priceImageView_->setFrame(
                CGRectMake(right - tagWidth, frame.origin.y, tagWidth, frame.size.height));
        }
        priceArea = priceWidth_ + 6;
    }
    if (titleLabel_) {
        CGRect frame = titleLabel_->frame();
        titleLabel_->setFrame(CGRectMake(
            static_cast<CGFloat>(leftMargin_), frame.origin.y,
            static_cast<CGFloat>(314 - priceArea - leftMargin_) - shift, frame.size.height));
    }
    if (detailLabel_) {
        CGRect frame = detailLabel_->frame();
        detailLabel_->setFrame(CGRectMake(static_cast<CGFloat>(leftMargin_), frame.origin.y,
                                          static_cast<CGFloat>(292 - leftMargin_) - shift,
                                          frame.size.height));
    }
}

void ItemTableViewCell::updateDisplay(bool highlighted) {
    if (auto standard = imageView()) standard->setHidden(highlighted);
    if (titleLabel_)
        titleLabel_->setShadowOffset(highlighted ? CGSizeMake(0, 0) : CGSizeMake(0, 1));
}

void ItemTableViewCell::setHighlighted(bool highlighted, bool animated) {
    updateDisplay(highlighted);
    UITableViewCell::setHighlighted(highlighted, animated);
}

void ItemTableViewCell::setSelected(bool selected, bool animated) {
    updateDisplay(selected);
    UITableViewCell::setSelected(selected, animated);
}

void ItemTableViewCell::setTitleLabel(UILabel* v) {
    titleLabel_ = v;
}
void ItemTableViewCell::setPriceLabel(UILabel* v) {
    priceLabel_ = v;
}
void ItemTableViewCell::setTimeLabel(UILabel* v) {
    timeLabel_ = v;
}
void ItemTableViewCell::setLocationLabel(UILabel* v) {
    locationLabel_ = v;
}
void ItemTableViewCell::setDetailLabel(UILabel* v) {
    detailLabel_ = v;
}
void ItemTableViewCell::setPriceImageView(UIImageView* v) {
    priceImageView_ = v;
}

void ItemTableViewCell::dealloc() {
    titleLabel_ = nullptr;
    priceLabel_ = nullptr;
    timeLabel_ = nullptr;
    locationLabel_ = nullptr;
    detailLabel_ = nullptr;
    priceImageView_ = nullptr;
    imgView_ = nullptr;
    UITableViewCell::dealloc();
}
