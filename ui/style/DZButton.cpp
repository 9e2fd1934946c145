#include "ui/style/DZButton.h"

#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "ui/core/DZShape.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZStyleContext.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/DZURLCache.h"
#include "ui/core/UIImage+DZCategory.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/style/DZFrameStyles.h"
#include "ui/style/DZTextStyle.h"

// ---- content ------------------------------------------------------------------------------

void DZButtonContent::describeClass(RuntimeClass& c) {
    c.implements({"requestDidStartLoad:", "requestDidFinishLoad:", "request:didFailLoadWithError:",
                  "requestDidCancelLoad:"});
}

bool DZButtonContent::initWithButton(DZButton* button) {
    button_ = button;
    return true;
}

void DZButtonContent::dealloc() {
    if (auto request = std::move(request_)) request->cancel();
    delegate_ = nullptr;
    NSObject::dealloc();
}

void DZButtonContent::setTitle(NSString* title) {
    title_ = title ? title->copy() : nullptr;
}

void DZButtonContent::redrawButton() {
    if (auto button = button_.lock()) button->setNeedsDisplay();
}

void DZButtonContent::setImageURL(NSString* url) {
    if (image_ && objectsEqual(url, imageURL_)) return;
    stopLoading();
    imageURL_ = url;
    if (url && url->length()) {
        reload();
    } else {
        image_ = nullptr;
        redrawButton();
    }
}

void DZButtonContent::reload() {
    if (request_ || !imageURL_) return;
    if (auto cached = DZURLCache::sharedCache()->imageForURL(imageURL_)) {
        image_ = cached;
        redrawButton();
        auto delegate = delegate_.lock();
        if (respondsTo(delegate.get(), Selector::named("imageView:didLoadImage:")))
            delegate->imageViewDidLoadImage(nullptr, cached);
        return;
    }
    auto request = DZURLRequest::requestWithURL(imageURL_, this);
    request->setResponse(make<DZURLImageResponse>());
    request->send();
}

void DZButtonContent::stopLoading() {
    if (auto request = request_) request->cancel();
}

void DZButtonContent::requestDidStartLoad(DZURLRequest* request) {
    request_ = request;
    auto delegate = delegate_.lock();
    if (respondsTo(delegate.get(), Selector::named("imageViewDidStartLoad:")))
        delegate->imageViewDidStartLoad(nullptr);
}

void DZButtonContent::requestDidFinishLoad(DZURLRequest* request) {
    auto response = as<DZURLImageResponse>(request->response());
    image_ = response ? response->image() : nullptr;
    redrawButton();
    request_ = nullptr;
    auto delegate = delegate_.lock();
    if (respondsTo(delegate.get(), Selector::named("imageView:didLoadImage:")))
        delegate->imageViewDidLoadImage(nullptr, image_);
}

void DZButtonContent::requestDidFailLoadWithError(DZURLRequest*, NSError* error) {
    request_ = nullptr;
    auto delegate = delegate_.lock();
    if (respondsTo(delegate.get(), Selector::named("imageView:didFailLoadWithError:")))
        delegate->imageViewDidFailLoadWithError(nullptr, error);
}

void DZButtonContent::requestDidCancelLoad(DZURLRequest*) {
    request_ = nullptr;
}

// ---- button -------------------------------------------------------------------------------

void DZButton::describeClass(RuntimeClass& c) {
    c.implements({"textForLayerWithStyle:", "imageForLayerWithStyle:", "imageView:didLoadImage:"});
}

Ref<DZButton> DZButton::buttonWithStyle(NSString* selector) {
    auto button = make<DZButton>();
    button->setStylesWithSelector(selector);
    return button;
}

Ref<DZButton> DZButton::buttonWithStyle(NSString* selector, NSString* title) {
    auto button = make<DZButton>();
    button->setTitle(title, UIControlStateNormal);
    button->setStylesWithSelector(selector);
    return button;
}

bool DZButton::initWithFrame(CGRect frame) {
    if (!UIControl::initWithFrame(frame)) return false;
    setBackgroundColor(UIColor::clearColor());
    setContentMode(UIViewContentModeRedraw);
    return true;
}

void DZButton::dealloc() {
    content_ = nullptr;
    font_ = nullptr;
    imageDelegate_ = nullptr;
    UIControl::dealloc();
}

Ref<NSString> DZButton::keyForState(UIControlState state) {
    if (state & UIControlStateHighlighted) return NS("highlighted");
    if (state & UIControlStateSelected) return NS("selected");
    if (state & UIControlStateDisabled) return NS("disabled");
    return NS("normal");
}

Ref<DZButtonContent> DZButton::contentForState(UIControlState state) {
    if (!content_) content_ = NSMutableDictionary::dictionary();
    auto key = keyForState(state);
    auto content = as<DZButtonContent>(content_->objectForKey(key));
    if (!content) {
        content = make<DZButtonContent>(&DZButtonContent::initWithButton, this);
        content_->setObject(content, key);
    }
    return content;
}

Ref<DZButtonContent> DZButton::contentForCurrentState() {
    if (isSelected()) return contentForState(UIControlStateSelected);
    if (isHighlighted()) return contentForState(UIControlStateHighlighted);
    if (!isEnabled()) return contentForState(UIControlStateDisabled);
    return contentForState(UIControlStateNormal);
}

Ref<NSString> DZButton::titleForCurrentState() {
    if (auto title = contentForCurrentState()->title()) return title;
    return contentForState(UIControlStateNormal)->title();
}

Ref<UIImage> DZButton::imageForCurrentState() {
    if (auto image = contentForCurrentState()->image()) return image;
    return contentForState(UIControlStateNormal)->image();
}

Ref<DZStyle> DZButton::styleForCurrentState() {
    if (auto style = contentForCurrentState()->style()) return style;
    return contentForState(UIControlStateNormal)->style();
}

Ref<UIFont> DZButton::fontForCurrentState() {
    if (font_) return font_;
    if (auto style = styleForCurrentState())
        if (auto text = style->firstStyleOfClass<DZTextStyle>())
            if (auto font = text->font()) return font;
    return font();
}

Ref<UIFont> DZButton::font() {
    if (!font_)
        if (auto sheet = as<DZDefaultStyleSheet>(DZStyleSheet::globalStyleSheet()))
            font_ = sheet->buttonFont();
    return font_;
}

void DZButton::setFont(UIFont* font) {
    if (font == font_.get()) return;
    font_ = font;
    setNeedsDisplay();
}

Ref<NSString> DZButton::titleForState(UIControlState state) {
    return contentForState(state)->title();
}

void DZButton::setTitle(NSString* title, UIControlState state) {
    contentForState(state)->setTitle(title);
    setNeedsDisplay();
}

Ref<NSString> DZButton::imageForState(UIControlState state) {
    return contentForState(state)->imageURL();
}

void DZButton::setImage(NSString* url, UIControlState state) {
    auto content = contentForState(state);
    content->setDelegate(imageDelegate_.lock());
    content->setImageURL(url);
    setNeedsDisplay();
}

Ref<DZStyle> DZButton::styleForState(UIControlState state) {
    return contentForState(state)->style();
}

void DZButton::setStyle(DZStyle* style, UIControlState state) {
    contentForState(state)->setStyle(style);
    setNeedsDisplay();
}

void DZButton::setStylesWithSelector(NSString* selector) {
    auto sheet = DZStyleSheet::globalStyleSheet();
    for (UIControlState state : {UIControlStateNormal, UIControlStateHighlighted,
                                 UIControlStateSelected, UIControlStateDisabled})
        setStyle(sheet->styleWithSelector(selector, state), state);
}

void DZButton::setHighlighted(bool highlighted) {
    UIControl::setHighlighted(highlighted);
    setNeedsDisplay();
}

void DZButton::setSelected(bool selected) {
    UIControl::setSelected(selected);
    setNeedsDisplay();
}

void DZButton::setEnabled(bool enabled) {
    UIControl::setEnabled(enabled);
    setNeedsDisplay();
}

void DZButton::suspendLoadingImages(bool suspended) {
    auto content = contentForCurrentState();
    if (suspended)
        content->stopLoading();
    else if (!content->image())
        content->reload();
}

CGRect DZButton::rectForImage() {
    auto style = styleForCurrentState();
    auto part = style ? style->styleForPart(NS("image")) : nullptr;
    if (!part) return CGRectZero;
    auto partStyle = part->style();
    auto imageStyle = partStyle ? partStyle->firstStyleOfClass<DZImageStyle>() : nullptr;
    auto box = partStyle ? partStyle->firstStyleOfClass<DZBoxStyle>() : nullptr;
    auto context = make<DZStyleContext>();
    context->setDelegate(this);
    CGSize size = partStyle ? partStyle->addToSize(CGSizeZero, context) : CGSizeZero;
    CGRect rect = isVertical_ ? bounds() : context->contentFrame();
    if (!isVertical_) rect.size = size;
    if (box) {
        rect.origin.x += box->margin().left;
        rect.origin.y += box->margin().top;
    }
    auto image = imageForCurrentState();
    if (!image) return CGRectZero;
    return ::convertRect(image, rect,
                         imageStyle ? imageStyle->contentMode() : UIViewContentModeScaleToFill);
}

CGSize DZButton::sizeThatFits(CGSize size) {
    auto style = styleForCurrentState();
    if (!style) return size;
    auto context = make<DZStyleContext>();
    context->setDelegate(this);
    context->setFont(fontForCurrentState());
    return style->addToSize(CGSizeZero, context);
}

void DZButton::drawRect(CGRect) {
    auto style = styleForCurrentState();
    if (!style) return;
    CGRect textFrame = bounds();
    auto context = make<DZStyleContext>();
    context->setDelegate(this);

    auto part = style->styleForPart(NS("image"));
    UIEdgeInsets margin = UIEdgeInsetsZero;
    CGSize imageSize = CGSizeZero;
    if (part) {
        auto partStyle = part->style();
        if (partStyle) {
            if (auto box = partStyle->firstStyleOfClass<DZBoxStyle>()) margin = box->margin();
            imageSize = partStyle->addToSize(CGSizeZero, context);
        }
        if (isVertical_) {
            CGFloat h = imageSize.height + margin.top + margin.bottom;
            textFrame.origin.y += h;
            textFrame.size.height -= h;
        } else {
            CGFloat w = imageSize.width + margin.right;
            textFrame.origin.x += w;
            textFrame.size.width -= w;
        }
    }

    context->setFrame(bounds());
    context->setContentFrame(textFrame);
    context->setFont(fontForCurrentState());
    style->draw(context);

    if (part) {
        // The image goes where the text step left the content frame.
        CGRect imageFrame = context->contentFrame();
        if (isVertical_)
            imageFrame = bounds();
        else
            imageFrame.size = imageSize;
        imageFrame.origin.x += margin.left;
        imageFrame.origin.y += margin.top;
        context->setFrame(imageFrame);
        context->setContentFrame(imageFrame);
        context->setShape(nullptr);
        part->drawPart(context);
    }
}

Ref<NSString> DZButton::textForLayerWithStyle(DZStyle*) {
    return titleForCurrentState();
}

Ref<UIImage> DZButton::imageForLayerWithStyle(DZStyle*) {
    return imageForCurrentState();
}
