#include "ui/style/DZImageView.h"

#include <cmath>

#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGImage.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZShape.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZStyleContext.h"
#include "ui/core/DZURLCache.h"
#include "ui/core/UIImage+DZCategory.h"
#include "ui/style/DZFrameStyles.h"

// ---- layer --------------------------------------------------------------------------------

void DZImageLayer::setOverride(DZImageView* view) {
    override_ = view;
}

void DZImageLayer::display() {
    auto view = override_.lock();
    if (!view) {
        CALayer::display();
        return;
    }
    auto image = view->image();
    setContents(image ? image->CGImage().get() : nullptr);
}

// ---- view ---------------------------------------------------------------------------------

void DZImageView::describeClass(RuntimeClass& c) {
    c.implements({"requestDidStartLoad:", "requestDidFinishLoad:", "request:didFailLoadWithError:",
                  "requestDidCancelLoad:", "drawLayer:withStyle:"});
}

bool DZImageView::initWithFrame(CGRect frame) {
    if (!DZView::initWithFrame(frame)) return false;
    autoresizesToImage_ = false;
    return true;
}

void DZImageView::dealloc() {
    delegate_ = nullptr;
    if (auto request = std::move(request_)) request->cancel();
    urlPath_ = nullptr;
    image_ = nullptr;
    defaultImage_ = nullptr;
    DZView::dealloc();
}

Class DZImageView::layerClass() {
    return DZImageLayer::staticClass();
}

void DZImageView::setUrlPath(NSString* path) {
    if (image_ && urlPath_ && path && urlPath_->isEqualToString(path)) return;
    stopLoading();
    urlPath_ = path ? path->copy() : nullptr;
    if (urlPath_ && urlPath_->length())
        reload();
    else
        setImage(defaultImage_);
}

void DZImageView::setDefaultImage(UIImage* image) {
    if (image != defaultImage_.get()) defaultImage_ = image;
    if (!urlPath_ || !urlPath_->length()) setImage(image);
}

void DZImageView::reload() {
    if (request_ || !urlPath_) return;
    if (auto cached = DZURLCache::sharedCache()->imageForURL(urlPath_)) {
        setImage(cached);
        return;
    }
    auto request = DZURLRequest::requestWithURL(urlPath_, this);
    request->setResponse(make<DZURLImageResponse>());
    if (request->send()) return;  // answered from the queue's cache during the call
    // Without a default image the old image stays while the new one loads.
    if (defaultImage_ && image_ != defaultImage_) setImage(defaultImage_);
}

void DZImageView::stopLoading() {
    if (auto request = request_) request->cancel();
}

void DZImageView::unsetImage() {
    stopLoading();
    setImage(nullptr);
}

void DZImageView::setImage(UIImage* image) {
    if (image == image_.get()) return;
    image_ = image;
    updateLayer();
    sizeToImage(image);
    if (defaultImage_ && image == defaultImage_.get()) return;
    imageViewDidLoadImage(image);
    auto delegate = delegate_.lock();
    if (respondsTo(delegate.get(), Selector::named("imageView:didLoadImage:")))
        delegate->imageViewDidLoadImage(this, image);
}

void DZImageView::updateLayer() {
    auto layer = as<DZImageLayer>(this->layer());
    if (!layer) return;
    layer->setOverride(style() ? nullptr : this);
    layer->setNeedsDisplay();
}

void DZImageView::sizeToImage(UIImage* image) {
    CGSize size = image ? image->size() : CGSizeZero;
    CGFloat w = size.width, h = size.height;
    CGRect frame = this->frame();
    CGFloat W = frame.size.width, H = frame.size.height;
    if (autoresizesToImage_ || (W == 0 && H == 0)) {
        setWidth(this, w);
        setHeight(this, h);
    } else if (W != 0 && H == 0) {
        // A zero side of the image gives no proportion: the frame stays as it is.
        if (w != 0) setHeight(this, std::floor(h / w * W));
    } else if (W == 0 && H != 0) {
        if (h != 0) setWidth(this, std::floor(w / h * H));
    }
}

void DZImageView::requestDidStartLoad(DZURLRequest* request) {
    request_ = request;
    imageViewDidStartLoad();
    auto delegate = delegate_.lock();
    if (respondsTo(delegate.get(), Selector::named("imageViewDidStartLoad:")))
        delegate->imageViewDidStartLoad(this);
}

void DZImageView::requestDidFinishLoad(DZURLRequest* request) {
    auto response = as<DZURLImageResponse>(request->response());
    setImage(response ? response->image().get() : nullptr);
    // Cleared only now, so that the callbacks setImage: fires still see the load running.
    request_ = nullptr;
}

void DZImageView::requestDidFailLoadWithError(DZURLRequest*, NSError* error) {
    request_ = nullptr;
    imageViewDidFailLoadWithError(error);
    auto delegate = delegate_.lock();
    if (respondsTo(delegate.get(), Selector::named("imageView:didFailLoadWithError:")))
        delegate->imageViewDidFailLoadWithError(this, error);
}

void DZImageView::requestDidCancelLoad(DZURLRequest* request) {
    requestDidFailLoadWithError(request, nullptr);
}

void DZImageView::setStyle(DZStyle* style) {
    if (style == this->style().get()) return;
    DZView::setStyle(style);
    updateLayer();
}

void DZImageView::drawRect(CGRect rect) {
    if (style()) DZView::drawRect(rect);
}

void DZImageView::drawContent(CGRect rect) {
    auto image = image_ ? image_ : defaultImage_;
    if (image) ::drawInRect(image, rect, contentMode());
}

void DZImageView::drawLayerWithStyle(DZStyleContext* context, DZStyle* style) {
    if (!is<DZContentStyle>(style)) return;
    auto ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    CGContextSaveGState(ctx);
    CGRect frame = context->frame();
    context->shape()->addToPath(frame);
    CGContextClip(ctx);
    drawContent(frame);
    CGContextRestoreGState(ctx);
}
