#include "tools/catalog/CatalogAds.h"
#include "tools/catalog/CatalogControls.h"

#include "AdLoom/internal/AdLoomError.h"
#include "AdLoom/internal/AdLoomView.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIViewController.h"
#include "ui/core/DZWebController.h"

namespace {

SEL sel(const char* name) {
    return Selector::named(name);
}

// The application's mediation key, as the app's screens give it.
NSString* const kApplicationKey = NS("3f9a1c0be7d24a5c8e61b0f2d4a97c3e");
// What the metrics server received, on the stand-in services' admin host.
NSString* const kPingsURL = NS("http://admin.services.test/mediation/pings");

// The pings the stand-in received, as it lists them: a bare list names itself nothing, so the
// screen is titled for it once it has loaded.
class CatalogPingsController : public DZWebController {
    NS_OBJECT(CatalogPingsController, DZWebController)

public:
    void webViewDidFinishLoad(UIWebView* webView) override {
        DZWebController::webViewDidFinishLoad(webView);
        setTitle(NS("Pings"));
    }
};

class CatalogAdsController : public UIViewController, public AdLoomDelegate {
    NS_OBJECT(CatalogAdsController, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.method("nextAd:", &CatalogAdsController::nextAd);
        c.method("showPings:", &CatalogAdsController::showPings);
        c.method("sayShowing", &CatalogAdsController::sayShowing);
        c.implements({"viewControllerForPresentingModalView",
                      "adLoomDidReceiveAd:", "adLoomDidFailToReceiveAd:usingBackup:",
                      "adLoomReceivedNotificationAdsAreOff:", "adLoomWillPresentFullScreenModal",
                      "adLoomDidDismissFullScreenModal"});
    }

public:
    void loadView() override {
        auto view = makeCatalogAdPage(NS("Waiting for the ad configuration"), status_);
        addCatalogButton(view.get(), CGRectMake(10, 44, 140, 37), "Next Ad", this, "nextAd:");
        addCatalogButton(view.get(), CGRectMake(170, 44, 140, 37), "Pings", this, "showPings:");
        // The banner's place: a holder at the foot of the screen, as the app's screens have.
        auto holder = make<UIView>(&UIView::initWithFrame,
                                   CGRectMake(0, view->bounds().size.height - 50 - 44, 320, 50));
        holder->setAutoresizingMask(UIViewAutoresizingFlexibleTopMargin);
        view->addSubview(holder.get());
        // A view made again (after a memory warning under the ad's browser or the pings) takes
        // the banner it had: a new one would fetch another ad behind the browser, and the old
        // one's browser would close telling nobody. It moves straight from the old holder,
        // which still has it: taken out of a holder first, it would stop refreshing.
        if (banner_) holder->addSubview(banner_.get());
        holder_ = holder;
        setView(view.get());
    }

    void viewDidLoad() override {
        UIViewController::viewDidLoad();
        setTitle(NS("Ads"));
        if (banner_) return;
        banner_ = AdLoomView::requestAdLoomViewWithDelegate(this);
        holder_->addSubview(banner_.get());
    }

    // Popped off the stack (not merely covered by a full-screen ad): the banner goes, with its
    // refresh timer, which would otherwise keep it asking for ads.
    void viewDidDisappear(bool animated) override {
        UIViewController::viewDidDisappear(animated);
        if (!navigationController()) dropBanner();
    }
    void dealloc() override {
        NSObject::cancelPreviousPerformRequestsWithTarget(this, sel("sayShowing"), nullptr);
        dropBanner();
        super::dealloc();
    }

    // ---- the host's answers ----------------------------------------------------------------
    Ref<NSString> adLoomApplicationKey() override { return kApplicationKey; }
    Ref<UIViewController> viewControllerForPresentingModalView() override {
        return Ref<UIViewController>(this);
    }
    void adLoomDidReceiveAd(AdLoomView* view) override {
        showing_ = showingWords(view->mostRecentNetworkName());
        say(showing_);
    }
    void adLoomDidFailToReceiveAd(AdLoomView* view, bool usingBackup) override {
        if (usingBackup) {
            say(NS("Trying the next network"));
            return;
        }
        auto e = view->lastError();
        if (e && e->code() == AdLoomAdRequestTooSoonError) {
            // Said for as long as it holds; then the screen says again what it shows.
            say(NS("Too soon for another ad: one every 5 seconds at most"));
            NSObject::cancelPreviousPerformRequestsWithTarget(this, sel("sayShowing"), nullptr);
            performSelector(sel("sayShowing"), nullptr, 5);
            return;
        }
        say(NSString::stringWithFormat(NS("No ad: %@"),
                                       e ? e->localizedDescription() : Ref<NSString>(NS("?"))));
    }
    void adLoomReceivedNotificationAdsAreOff(AdLoomView*) override { say(NS("Ads are off")); }
    // The ad's own screen over this one: a full-screen ad or the advertiser's page.
    void adLoomWillPresentFullScreenModal() override { say(NS("The ad is open over the screen")); }
    void adLoomDidDismissFullScreenModal() override { say(NS("Back from the ad")); }

    void nextAd(NSObject*) {
        if (banner_) banner_->requestFreshAd();
    }
    void showPings(NSObject*) {
        auto page = make<CatalogPingsController>();
        page->openURL(NSURL::URLWithString(kPingsURL).get());
        navigationController()->pushViewController(page.get(), true);
    }

private:
    void say(NSString* text) { status_.say(text); }
    void sayShowing() {
        if (showing_) say(showing_);
    }
    // What a person is told of the ad shown, by the network that gave it.
    static Ref<NSString> showingWords(NSString* network) {
        if (!network) return NS("Showing an ad");
        if (network->isEqualToString(NS("custom"))) return NS("Showing a house ad");
        if (network->isEqualToString(NS("iad"))) return NS("Showing the system banner's ad");
        return NSString::stringWithFormat(NS("Showing an ad from %@"),
                                          network->capitalizedString().get());
    }
    void dropBanner() {
        if (!banner_) return;
        banner_->setDelegate(nullptr);
        banner_->removeFromSuperview();
        banner_ = nullptr;
    }

    CatalogStatusLine status_;
    Ref<NSString> showing_;
    Ref<UIView> holder_;
    Ref<AdLoomView> banner_;
};

}  // namespace

Ref<UIView> makeCatalogAdPage(NSString* firstStatus, CatalogStatusLine& status) {
    auto view = make<UIView>(&UIView::initWithFrame, UIScreen::mainScreen()->applicationFrame());
    view->setBackgroundColor(UIColor::whiteColor().get());
    auto label = make<UILabel>(&UILabel::initWithFrame, CGRectMake(10, 12, 300, 21));
    label->setText(firstStatus);
    view->addSubview(label.get());
    status.attach(label.get());
    return view;
}

Ref<UIViewController> makeCatalogAdsScreen() {
    return make<CatalogAdsController>();
}
