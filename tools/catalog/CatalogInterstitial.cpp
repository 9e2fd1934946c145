#include "tools/catalog/CatalogInterstitial.h"

#include "tools/catalog/CatalogControls.h"

#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWindow.h"
#include "ads/pebble/PBLInterstitial.h"
#include "ads/pebble/PBLRequest.h"

namespace {

class CatalogInterstitialController : public UIViewController, public PBLInterstitialDelegate {
    NS_OBJECT(CatalogInterstitialController, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.method("showAd:", &CatalogInterstitialController::showAd);
        c.method("showEmptySlot:", &CatalogInterstitialController::showEmptySlot);
        c.method("timedOut", &CatalogInterstitialController::timedOut);
    }

public:
    void loadView() override {
        auto view =
            make<UIView>(&UIView::initWithFrame, UIScreen::mainScreen()->applicationFrame());
        view->setBackgroundColor(UIColor::whiteColor().get());
        auto status = make<UILabel>(&UILabel::initWithFrame, CGRectMake(10, 12, 300, 21));
        status->setText(NS("No interstitial yet"));
        view->addSubview(status.get());
        status_.attach(status.get());
        addCatalogButton(view.get(), CGRectMake(10, 44, 140, 37), "Show Interstitial", this,
                         "showAd:");
        addCatalogButton(view.get(), CGRectMake(170, 44, 140, 37), "Empty Slot", this,
                         "showEmptySlot:");
        setView(view.get());
    }
    void viewDidLoad() override {
        UIViewController::viewDidLoad();
        setTitle(NS("Interstitial"));
    }
    void dealloc() override {
        NSObject::cancelPreviousPerformRequestsWithTarget(this, Selector::named("timedOut"),
                                                          nullptr);
        super::dealloc();
    }

    void showAd(NSObject*) { start("interstitial"); }
    void showEmptySlot(NSObject*) { start("noad"); }

    // ---- the interstitial's reports ----------------------------------------------------------
    void interstitialDidReceiveAd(PBLInterstitial* from) override {
        // Past the time-out the splash has given the window back: the ad is ready but shows
        // nowhere.
        bool inTime = from == interstitial_.get() && stopWaiting();
        say(inTime ? NS("Interstitial shown") : NS("Interstitial came too late: not shown"));
    }
    void interstitialDidFailToReceiveAdWithError(PBLInterstitial*, NSError* error) override {
        stopWaiting();
        switch (error ? error->code() : -1) {
            case 1:
                say(NS("No interstitial: the ad server had none to show"));
                break;
            case 2:
                say(NS("No interstitial: the network failed"));
                break;
            case 5:
                say(NS("No interstitial: none came in time"));
                break;
            default:
                say(NS("No interstitial: the request failed"));
                break;
        }
    }
    void interstitialDidDismissScreen(PBLInterstitial*) override { say(NS("Interstitial closed")); }

private:
    // The splash covers the key window with a plain picture until the ad shows or the time-out
    // ends.
    void start(const char* slot) {
        interstitial_ = make<PBLInterstitial>();
        interstitial_->setDelegate(this);
        interstitial_->setAdUnitID(NSString::fromUTF8(slot));
        auto window = UIApplication::sharedApplication()->keyWindow();
        auto splash = UIImage::imageWithSize(window->bounds().size, 1);
        stopWaiting();
        interstitial_->loadAndDisplayRequest(PBLRequest::request().get(), window.get(),
                                             splash.get());
        // The splash waits the stored time-out's whole seconds, then gives the window back
        // without a word to the delegate: the screen tells it itself, after those same seconds,
        // so that an answer between them and the stored fraction reads as too late.
        float stored =
            NSUserDefaults::standardUserDefaults()->floatForKey(NS("applicationTimeout"));
        if (!(stored > 0)) {
            // The client only logs then: the screen would otherwise stay as it was. A negative or
            // unreadable value is not called zero.
            say(stored == 0 ? NS("No interstitial: the time-out is zero")
                            : NS("No interstitial: time-out not above zero"));
            return;
        }
        waiting_ = true;
        performSelector(Selector::named("timedOut"), nullptr,
                        double(PBLInterstitial::splashSeconds()));
    }
    void timedOut() {
        if (stopWaiting()) say(NS("No interstitial: none came in time"));
    }
    // Whether the splash still waited for the answer; it waits no more.
    bool stopWaiting() {
        NSObject::cancelPreviousPerformRequestsWithTarget(this, Selector::named("timedOut"),
                                                          nullptr);
        bool was = waiting_;
        waiting_ = false;
        return was;
    }
    void say(NSString* text) { status_.say(text); }

    CatalogStatusLine status_;
    Ref<PBLInterstitial> interstitial_;
    bool waiting_ = false;
};

}  // namespace

Ref<UIViewController> makeCatalogInterstitialScreen() {
    return make<CatalogInterstitialController>();
}
