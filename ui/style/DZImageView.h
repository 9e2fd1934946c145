// A view that shows one image named by a URL path: from the shared URL cache at once when it is
// there, else loaded through the request queue with a default image shown meanwhile. Every
// image shown passes through setImage:, so a subclass that transforms images overrides that
// alone. Without a style the layer takes the image as its contents; with one the view draws
// through the chain and puts the image where the chain's content step asks. Main thread.
#pragma once

#include "QuartzCore/CALayer.h"
#include "ui/core/DZURLRequest.h"
#include "ui/core/DZView.h"
#include "ui/style/DZImageViewDelegate.h"

class DZImageView;
class UIImage;

// The image view's layer: while it has an override view, displaying it makes that view's image
// the contents; otherwise it displays as any layer (the view draws).
class DZImageLayer : public CALayer {
    NS_OBJECT(DZImageLayer, CALayer)
    Ref<DZImageView> override() { return override_.lock(); }
    void setOverride(DZImageView* view);
    void display() override;

private:
    Weak<DZImageView> override_;
};

class DZImageView : public DZView, public DZURLRequestDelegate {
    NS_OBJECT(DZImageView, DZView)
    static void describeClass(RuntimeClass& c);
    bool initWithFrame(CGRect frame) override;
    void dealloc() override;
    Class layerClass() override;

    Ref<NSString> urlPath() { return urlPath_; }
    // A repeated path while its image is shown changes nothing; otherwise the load in flight
    // stops and the new path loads (an empty path shows the default image).
    void setUrlPath(NSString* path);
    Ref<UIImage> image() { return image_; }
    // The one way the shown image changes: the loading code and every setter call it.
    virtual void setImage(UIImage* image);
    Ref<UIImage> defaultImage() { return defaultImage_; }
    void setDefaultImage(UIImage* image);
    bool autoresizesToImage() { return autoresizesToImage_; }
    void setAutoresizesToImage(bool autoresizes) { autoresizesToImage_ = autoresizes; }
    Ref<DZImageViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(DZImageViewDelegate* delegate) { delegate_ = delegate; }
    Ref<DZURLRequest> request() { return request_; }

    bool isLoading() { return request_ != nullptr; }
    // An image is shown and it is not the default image.
    bool isLoaded() { return image_ && image_ != defaultImage_; }

    void reload();
    void stopLoading();
    void unsetImage();

    // Hooks for subclasses, each called just before the delegate method of the same meaning.
    virtual void imageViewDidStartLoad() {}
    virtual void imageViewDidLoadImage(UIImage*) {}
    virtual void imageViewDidFailLoadWithError(NSError*) {}

    void requestDidStartLoad(DZURLRequest* request) override;
    void requestDidFinishLoad(DZURLRequest* request) override;
    void requestDidFailLoadWithError(DZURLRequest* request, NSError* error) override;
    void requestDidCancelLoad(DZURLRequest* request) override;

    void setStyle(DZStyle* style) override;
    void drawRect(CGRect rect) override;
    void drawContent(CGRect rect) override;
    void drawLayerWithStyle(DZStyleContext* context, DZStyle* style) override;

private:
    void updateLayer();
    void sizeToImage(UIImage* image);

    Ref<DZURLRequest> request_;
    Ref<NSString> urlPath_;
    Ref<UIImage> image_;
    Ref<UIImage> defaultImage_;
    bool autoresizesToImage_ = false;
    Weak<DZImageViewDelegate> delegate_;
};
