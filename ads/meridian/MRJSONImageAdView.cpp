#include "ads/meridian/MRJSONImageAdView.h"

#include "CoreGraphics/CGImage.h"
#include "Foundation/NSData.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"

void MRJSONImageAdView::describeClass(RuntimeClass&) {}

bool MRJSONImageAdView::initWithFrame(CGRect frame, MRJSONImageAdViewDelegate* delegate) {
    if (!UIView::initWithFrame(frame)) return false;
    imageData_ = NSMutableData::data();
    delegate_ = delegate;
    auto imageView = alloc<UIImageView>();
    imageView->initWithFrame(CGRectMake(0, 0, frame.size.width, frame.size.height));
    addSubview(imageView.get());
    imageView_ = imageView.get();
    // The picture is the ad: a tap anywhere on it opens the ad, as a button would.
    setAccessibilityTraits(UIAccessibilityTraitButton | UIAccessibilityTraitImage);
    setAccessibilityLabel(NS("Advertisement"));
    return true;
}

void MRJSONImageAdView::dealloc() {
    image_ = nullptr;
    imageData_ = nullptr;
    dropConnection();
    MRJSONBasicAdView::dealloc();
}

void MRJSONImageAdView::dropConnection() {
    if (connection_) connection_->cancel();
    connection_ = nullptr;
}

void MRJSONImageAdView::setAd(MRJSONAd* ad) {
    ad_ = ad;
    if (ad)
        if (auto d = delegate_.lock()) d->imageAdDidLoadNewAd(this, ad);
}

void MRJSONImageAdView::loadWithURL(NSURL* url) {
    if (!url) {
        // Nothing to fetch: no answer would ever come.
        if (auto d = delegate_.lock()) d->imageAdViewFailed(this);
        return;
    }
    connect(NSURLRequest::requestWithURL(url).get());
}

void MRJSONImageAdView::connect(NSURLRequest* request) {
    dropConnection();
    imageData_ = NSMutableData::data();
    statusCode_ = 0;
    connection_ = NSURLConnection::connectionWithRequest(request, this);
}

void MRJSONImageAdView::connectionDidReceiveResponse(NSURLConnection*, NSURLResponse*) {}

void MRJSONImageAdView::connectionDidReceiveData(NSURLConnection*, NSData* data) {
    imageData_->appendData(data);
}

void MRJSONImageAdView::connectionDidFailWithError(NSURLConnection*, NSError*) {
    Ref<MRJSONImageAdView> keep(this);
    connection_ = nullptr;
    imageData_ = NSMutableData::data();
    if (auto d = delegate_.lock()) d->imageAdViewFailed(this);
}

bool MRJSONImageAdView::showImageFromData(NSData* data) {
    auto image = UIImage::imageWithData(data);
    if (!image) return false;
    auto imageView = imageView_.lock();
    image_ = image;
    if (imageView && imageView->image()) {
        if (NSThread::isMainThread())
            crossfadeWithNewImage(image.get());
        else
            NSRunLoop::performOnMainThread([this, image] { crossfadeWithNewImage(image.get()); },
                                           true);
    } else if (imageView) {
        imageView->setImage(image.get());
    }
    return true;
}

void MRJSONImageAdView::connectionDidFinishLoading(NSURLConnection*) {
    Ref<MRJSONImageAdView> keep(this);
    auto bytes = imageData_;
    imageData_ = NSMutableData::data();
    dropConnection();
    // Bytes that are no picture fail too, and the picture shown stays.
    bool shown = bytes->length() > 0 && showImageFromData(bytes.get());
    if (auto d = delegate_.lock()) {
        if (shown)
            d->imageAdViewSucceeded(this);
        else
            d->imageAdViewFailed(this);
    }
}

void MRJSONImageAdView::loadWithData(NSData* data) {
    if (data) showImageFromData(data);
}

void MRJSONImageAdView::crossfadeWithNewImage(UIImage* image) {
    auto imageView = imageView_.lock();
    if (!imageView) return;
    auto animation = CABasicAnimation::animationWithKeyPath(NS("contents"));
    auto old = imageView->image();
    animation->setFromValue(old ? old->CGImage().get() : nullptr);
    animation->setToValue(image ? image->CGImage().get() : nullptr);
    animation->setDuration(0.75);
    animation->setDelegate(this);
    imageView->layer()->addAnimation(animation.get(), NS("animateContents"));
}

void MRJSONImageAdView::animationDidStop(CAAnimation*, bool) {
    if (auto imageView = imageView_.lock()) imageView->setImage(image_.get());
}

void MRJSONImageAdView::touchesEnded(NSSet* touches, UIEvent* event) {
    if (auto d = delegate_.lock()) d->imageAdViewWasTapped(this);
    UIView::touchesEnded(touches, event);
}
