// An image ad: the picture downloaded from the ad's "content-url", cross-faded over the one
// shown before; a tap is reported to the delegate.
#pragma once

#include "QuartzCore/CAAnimation.h"
#include "URLLoading/NSURLConnection.h"
#include "ads/meridian/MRJSONBasicAdView.h"

class MRJSONImageAdView;
class NSMutableData;
class NSURL;
class NSURLRequest;
class UIImage;
class UIImageView;

class MRJSONImageAdViewDelegate {
public:
    virtual ~MRJSONImageAdViewDelegate() = default;
    virtual void imageAdViewFailed(MRJSONImageAdView* view) = 0;
    virtual void imageAdViewSucceeded(MRJSONImageAdView* view) = 0;
    virtual void imageAdViewWasTapped(MRJSONImageAdView* view) = 0;
    virtual void imageAdDidLoadNewAd(MRJSONImageAdView* view, MRJSONAd* ad) = 0;
};

class MRJSONImageAdView : public MRJSONBasicAdView,
                          public NSURLConnectionDelegate,
                          public CAAnimationDelegate {
    NS_OBJECT(MRJSONImageAdView, MRJSONBasicAdView)
    static void describeClass(RuntimeClass& c);

    using UIView::initWithFrame;
    bool initWithFrame(CGRect frame, MRJSONImageAdViewDelegate* delegate);
    void dealloc() override;
    void setAd(MRJSONAd* ad) override;
    void loadWithURL(NSURL* url);
    void connect(NSURLRequest* request);
    void loadWithData(NSData* data);
    void crossfadeWithNewImage(UIImage* image);

    void connectionDidReceiveResponse(NSURLConnection* connection,
                                      NSURLResponse* response) override;
    void connectionDidReceiveData(NSURLConnection* connection, NSData* data) override;
    void connectionDidFinishLoading(NSURLConnection* connection) override;
    void connectionDidFailWithError(NSURLConnection* connection, NSError* error) override;
    void animationDidStop(CAAnimation* animation, bool finished) override;
    void touchesEnded(NSSet* touches, UIEvent* event) override;

    Ref<UIImageView> imageView() { return imageView_.lock(); }
    Ref<UIImage> image() { return image_; }
    Ref<MRJSONImageAdViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(MRJSONImageAdViewDelegate* d) { delegate_ = d; }

private:
    // Shows the bytes' picture: cross-faded over a picture already shown, else at once. False
    // when the bytes are no picture (the old one stays).
    bool showImageFromData(NSData* data);
    void dropConnection();

    Weak<UIImageView> imageView_;
    Ref<UIImage> image_;
    Ref<NSMutableData> imageData_;
    Ref<NSURLConnection> connection_;
    Weak<MRJSONImageAdViewDelegate> delegate_;
    NSInteger statusCode_ = 0;
};
