#include "ui/table/DZPhotoView.h"

#include <cmath>

#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIImage.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZModel.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/DZURLCache.h"
#include "ui/core/DZURLRequestQueue.h"
#include "ui/style/DZLabel.h"

bool DZPhotoView::initWithFrame(CGRect frame) {
    if (!DZImageView::initWithFrame(frame)) return false;
    photoVersion_ = DZPhotoVersionNone;
    setClipsToBounds(false);
    return true;
}

void DZPhotoView::dealloc() {
    DZURLRequestQueue::mainQueue()->cancelRequestsWithDelegate(this);
    setDelegate(nullptr);
    photo_ = nullptr;
    statusLabel_ = captionLabel_ = nullptr;
    captionStyle_ = nullptr;
    statusSpinner_ = nullptr;
    DZImageView::dealloc();
}

void DZPhotoView::setCaptionStyle(DZStyle* style) {
    captionStyle_ = style;
}

bool DZPhotoView::sourceIsLoading() {
    auto source = photo_ ? photo_->photoSource() : nullptr;
    auto model = source ? source->photoModel() : nullptr;
    return model && model->isLoading();
}

void DZPhotoView::setPhoto(DZPhoto* photo) {
    if (!photo || photo != photo_.get()) {
        photo_ = photo;
        photoVersion_ = DZPhotoVersionNone;
        setUrlPath(nullptr);
        showCaption(photo ? photo->caption() : nullptr);
    }
    if (photo_ && !sourceIsLoading())
        showStatus(nullptr);
    else
        showProgress(0);
}

bool DZPhotoView::loadVersion(DZPhotoVersion version, bool fromNetwork) {
    auto url = photo_ ? photo_->URLForVersion(version) : nullptr;
    if (!url) return false;
    if (!fromNetwork && !DZURLCache::sharedCache()->imageForURL(url)) return false;
    photoVersion_ = version;
    setUrlPath(url);
    return true;
}

bool DZPhotoView::loadPreview(bool fromNetwork) {
    if (loadVersion(DZPhotoVersionLarge, false)) return true;
    if (loadVersion(DZPhotoVersionSmall, false)) return true;
    return loadVersion(DZPhotoVersionThumbnail, fromNetwork);
}

void DZPhotoView::loadImage() {
    if (!photo_) return;
    photoVersion_ = DZPhotoVersionLarge;
    setUrlPath(photo_->URLForVersion(DZPhotoVersionLarge));
}

void DZPhotoView::showCaption(NSString* caption) {
    if (!captionLabel_ && caption) {
        captionLabel_ = alloc<DZLabel>();
        captionLabel_->initWithFrame(CGRectZero);
        captionLabel_->setOpaque(false);
        auto style = captionStyle_
                         ? captionStyle_
                         : DZStyleSheet::globalStyleSheet()->styleWithSelector(NS("photoCaption"));
        captionLabel_->setStyle(style);
        captionLabel_->setAlpha(hidesCaption_ ? 0 : 1);
        addSubview(captionLabel_);
    }
    if (captionLabel_) captionLabel_->setText(caption);
    setNeedsLayout();
}

void DZPhotoView::showProgress(CGFloat progress) {
    if (progress < 0) {
        if (statusSpinner_) {
            statusSpinner_->stopAnimating();
            statusSpinner_->setHidden(true);
        }
        auto text = statusLabel_ ? statusLabel_->text() : nullptr;
        if (captionLabel_) captionLabel_->setHidden(text && text->length() > 0);
        return;
    }
    if (!statusSpinner_) {
        statusSpinner_ =
            make<UIActivityIndicatorView>(&UIActivityIndicatorView::initWithActivityIndicatorStyle,
                                          UIActivityIndicatorViewStyleWhiteLarge);
        addSubview(statusSpinner_);
    }
    statusSpinner_->startAnimating();
    statusSpinner_->setHidden(false);
    showStatus(nullptr);
    setNeedsLayout();
}

void DZPhotoView::showStatus(NSString* text) {
    if (text) {
        if (!statusLabel_) {
            statusLabel_ = alloc<DZLabel>();
            statusLabel_->initWithFrame(CGRectZero);
            statusLabel_->setStyle(
                DZStyleSheet::globalStyleSheet()->styleWithSelector(NS("photoStatusLabel")));
            statusLabel_->setOpaque(false);
            addSubview(statusLabel_);
        }
        statusLabel_->setText(text);
        statusLabel_->setHidden(false);
        showProgress(-1);
        setNeedsLayout();
        if (captionLabel_) captionLabel_->setHidden(true);
    } else {
        if (statusLabel_) {
            statusLabel_->setText(nullptr);
            statusLabel_->setHidden(true);
        }
        if (captionLabel_) captionLabel_->setHidden(false);
    }
}

void DZPhotoView::setHidesExtras(bool hides) {
    hidesExtras_ = hides;
    auto apply = [this, hides] {
        if (statusSpinner_) statusSpinner_->setAlpha(hides ? 0 : 1);
        if (statusLabel_) statusLabel_->setAlpha(hides ? 0 : 1);
        if (captionLabel_) captionLabel_->setAlpha(hides || hidesCaption_ ? 0 : 1);
    };
    if (!hides)
        UIView::animateWithDuration(0.2, apply);
    else
        apply();
}

void DZPhotoView::setHidesCaption(bool hides) {
    hidesCaption_ = hides;
    if (captionLabel_) captionLabel_->setAlpha(hides ? 0 : 1);
}

void DZPhotoView::setImage(UIImage* image) {
    if (image && image == defaultImage().get() && photo_ && urlPath()) {
        auto full = photo_->URLForVersion(DZPhotoVersionLarge);
        if (full && urlPath()->isEqualToString(full)) return;
    }
    UIViewContentMode mode = UIViewContentModeScaleAspectFill;
    if (image && image == defaultImage().get()) {
        mode = UIViewContentModeCenter;
    } else if (image && photo_) {
        // The page has the photo's proportions. A preview of other proportions (a square
        // thumbnail of a tall photo) is fitted inside it: filled, it would spill past the page
        // over its neighbour, as the page does not clip (its captions lie outside it).
        CGSize p = photo_->size(), s = image->size();
        if (p.width > 0 && p.height > 0 && s.width > 0 && s.height > 0 &&
            std::fabs(s.width / s.height - p.width / p.height) > 0.01f * p.width / p.height)
            mode = UIViewContentModeScaleAspectFit;
    }
    setContentMode(mode);
    DZImageView::setImage(image);
}

void DZPhotoView::imageViewDidStartLoad() {
    showProgress(0);
}

void DZPhotoView::imageViewDidLoadImage(UIImage* image) {
    if (!photo_) return;
    if (!sourceIsLoading()) {
        showProgress(-1);
        showStatus(nullptr);
    }
    // A photo that did not know its size learns it from its first image, and the pager lays
    // the page out again with the right shape.
    if (image && photo_->size().width == 0) {
        photo_->setSize(image->size());
        if (auto parent = superview()) parent->setNeedsLayout();
    }
}

void DZPhotoView::imageViewDidFailLoadWithError(NSError* error) {
    showProgress(0);
    if (error) showStatus(DZUserErrorTitle(error));
}

void DZPhotoView::layoutLabel(DZLabel* label, CGRect screen, CGFloat cx, CGFloat cy, CGFloat bar) {
    if (!label) return;
    auto text = label->text();
    if (!text || text->length() == 0) {
        label->setFrame(CGRectZero);
        return;
    }
    CGFloat height = label->sizeThatFits(CGSizeMake(screen.size.width, 0)).height;
    label->setFrame(CGRectMake(cx - screen.size.width / 2,
                               cy + std::floor(screen.size.height / 2 - (height + bar)),
                               screen.size.width, height));
}

void DZPhotoView::layoutSubviews() {
    DZImageView::layoutSubviews();
    CGRect screen = DZOrientedScreenBounds();
    CGRect b = bounds();
    CGFloat w = b.size.width, h = b.size.height;
    CGFloat cx = b.origin.x + w / 2, cy = b.origin.y + h / 2;
    CGFloat d = std::floor(screen.size.height / 2 - h / 2);
    CGFloat bar = DZCurrentBarHeight();
    layoutLabel(statusLabel_.get(), screen, cx, cy, bar);
    layoutLabel(captionLabel_.get(), screen, cx, cy, bar);
    if (statusSpinner_) {
        CGRect s = statusSpinner_->frame();
        s.origin.x = b.origin.x + std::floor(b.size.width / 2 - s.size.width / 2);
        if (captionLabel_ && captionLabel_->frame().size.height > 0) {
            s.origin.y = captionLabel_->frame().origin.y - std::floor(s.size.height * 1.5f);
        } else {
            auto placeholder = defaultImage();
            CGFloat half = placeholder ? placeholder->size().height / 2 : 0;
            s.origin.y = screen.size.height / 2 + half - d + std::floor(s.size.height / 2);
        }
        statusSpinner_->setFrame(s);
    }
}
