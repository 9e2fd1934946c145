// Small pieces the result, item and favourites screens share: reading the posting time the
// listing pages write, the one-line body of a result row, the black "Loading..." label the
// screens show over their content while a page loads, and the mediation banner at their foot.
#pragma once

#include "AdLoom/internal/AdLoomDelegate.h"
#include "Foundation/NSString.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UIView.h"

class AdLoomView;
class NKHTTPRequest;
class NSDate;

// The app's key with the ad-mediation service.
extern NSString* const kAdLoomApplicationKey;  // "3f9a1c0be7d24a5c8e61b0f2d4a97c3e"

// A posting time as the listing page writes it ("2012-02-28, 10:15AM EST"), read with the
// POSIX locale after trimming the white space the page leaves around it; nil when it does not
// read.
Ref<NSDate> parsePostingTime(NSString* time);
// The day of a posting time as "Oct 5"; empty for nil.
Ref<NSString> formatPostingDay(NSDate* date);
// A listing body on one line: tags become spaces, entities are decoded, the ends trimmed and
// every run of line ends one space. Nil for nil.
Ref<NSString> oneLineBody(NSString* detail);
// Whether a finished download brought one of the site's error pages (status 400 or more)
// rather than the page asked for.
bool isErrorPage(NKHTTPRequest* request);
// The black bezel label with the text, sized to fit and placed across the parent at y 160, in
// front of everything, hidden.
Ref<UIView> makeActivityLabel(NSString* text, UIView* parent);
// A mediation banner for the screen, placed in its holder; the holder keeps it, the screen
// holds no other reference. Without a holder no banner is asked for: one that never joins a
// superview would keep refreshing for nobody.
void placeBanner(AdLoomDelegate* screen, UIView* holder);
// The banner's place, laid over the foot of the screen's list: a see-through strip where only
// an ad takes touches. Until its banner shows one, the list's last row shows and answers
// through it.
class BannerHolder : public UIView {
    NS_OBJECT(BannerHolder, UIView)
    Ref<UIView> hitTest(CGPoint point, UIEvent* event) override;
    // The list it lies over (not retained).
    void setList(UIScrollView* list) { list_ = list; }
    // Its banner shows an ad: the holder turns solid white behind it, and the list gets a bottom
    // inset of the holder's height, so that its last row can still be scrolled into sight above
    // the ad.
    void showAd();
    // The banner leaves: see-through again, and the list's inset as it was before the ad.
    void willRemoveSubview(UIView* subview) override;

private:
    Weak<UIScrollView> list_;
    bool showsAd_ = false;
    CGFloat bottomBeforeAd_ = 0;
};
// A screen that hosts the mediation banner in a BannerHolder: an ad shown makes room for itself
// at the foot of the screen's list.
class BannerHost : public AdLoomDelegate {
public:
    void adLoomDidReceiveAd(AdLoomView* banner) override;
};
// Takes the holder's banners out (a screen that outlives its view): a banner's refresh timer
// keeps it alive until it leaves its superview.
void removeBanners(UIView* holder);
