// A web view that embeds a video player object through a fixed page, sized to the view.
#pragma once

#include "UIKit/UIWebView.h"

class DZYouTubeView : public UIWebView {
    NS_OBJECT(DZYouTubeView, UIWebView)
    // A 140 × 105 view showing the player for the URL.
    bool initWithURLPath(NSString* urlPath);

    Ref<NSString> urlPath() { return urlPath_; }
    // Loads the player page for the URL at the view's size, or an empty page for nil.
    void setUrlPath(NSString* urlPath);
    // Resizes the player in the page to the view; nothing else.
    void layoutSubviews() override;

private:
    Ref<NSString> urlPath_;
};
