// The Pebble banner: a view whose ad engine (PBLObjectPrivate, filed under the view in the
// private object registry) does all the work, reporting back through the delegate manager.
#pragma once

#include "UIKit/UIView.h"
#include "ads/pebble/PBLDelegateManager.h"

class NSString;
class PBLObjectPrivate;
class PBLRequest;
class UIViewController;
class UIWebView;

class PBLBannerView : public UIView {
    NS_OBJECT(PBLBannerView, UIView)
    bool initWithFrame(CGRect frame) override;
    bool init() override { return initWithFrame(CGRectZero); }
    // A banner laid out in an interface file: the view was made without initWithFrame, so its
    // engine is made here.
    void awakeFromNib();
    void dealloc() override;

    // Without a root view controller: a log line and a code-0 failure, the engine untouched.
    void loadRequest(PBLRequest* request);
    bool hasAutoRefreshed();
    Ref<UIWebView> webView();
    Ref<UIViewController> rootViewController();
    void setRootViewController(UIViewController* controller);
    Ref<NSString> adUnitID();
    void setAdUnitID(NSString* adUnitID);
    Ref<PBLBannerViewDelegate> delegate();
    void setDelegate(PBLBannerViewDelegate* delegate);

    Ref<PBLObjectPrivate> privateObject();

private:
    void commonInitializer();
};
