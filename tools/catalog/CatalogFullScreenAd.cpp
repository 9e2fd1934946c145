#include "tools/catalog/CatalogFullScreenAd.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIViewController.h"
#include "ads/ironvine/IVAdEngine.h"
#include "tools/catalog/CatalogAds.h"
#include "tools/catalog/CatalogControls.h"

namespace {

// The application id of the app's Ironvine ration in the mediation configuration.
NSString* const kApplicationID = NS("bazaarnestiv0001");
NSString* const kSlot = NS("ivFullScreen");

class CatalogFullScreenAdController : public UIViewController, public IronvineDelegate {
    NS_OBJECT(CatalogFullScreenAdController, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.method("showAd:", &CatalogFullScreenAdController::showAd);
        c.implements({"ironvineAdReadyForSlotNamed:", "ironvineFullScreenDisplayWillOpen",
                      "ironvineFullScreenDisplayWillClose"});
    }

public:
    void loadView() override {
        auto view = makeCatalogAdPage(NS("Waiting for the full-screen ad"), status_);
        show_ =
            addCatalogButton(view.get(), CGRectMake(10, 44, 140, 37), "Show Ad", this, "showAd:");
        // Nothing to show until the engine says an ad is ready (it may have said so to a view
        // let go since).
        show_->setEnabled(showable_);
        setView(view.get());
    }

    void viewDidLoad() override {
        UIViewController::viewDidLoad();
        setTitle(NS("Full-Screen Ad"));
        // The same slots as the mediation adapter's, which may have started the engine first.
        auto slots = NSArray::arrayWithObjects(
            {IVAdSlotDescription::descriptionWithSize(IVAdSizeBanner, NS("ivBanner")).get(),
             IVAdSlotDescription::descriptionWithSize(IVAdSizeFullScreen, kSlot).get()});
        try {
            IVAdEngine::startupWithAppID(kApplicationID, slots.get());
        } catch (ExceptionRaised& e) {
            if (!e.exception->name()->isEqualToString(NSInternalInconsistencyException)) throw;
        }
        IVAdEngine::setFullScreenDelegate(this, kSlot);
    }

    // Popped off the stack (not merely covered by the ad's window): the engine lets go of it.
    void viewDidDisappear(bool animated) override {
        UIViewController::viewDidDisappear(animated);
        if (!navigationController()) IVAdEngine::setFullScreenDelegate(nullptr, kSlot);
    }

    void ironvineAdReadyForSlotNamed(NSString*) override {
        say(NS("Full-screen ad ready"));
        setShowable(true);
    }
    // The shown ad is used up: the next one is fetched when it closes and told as ready.
    void ironvineFullScreenDisplayWillOpen() override {
        say(NS("Full-screen ad up"));
        setShowable(false);
    }
    void ironvineFullScreenDisplayWillClose() override { say(NS("Full-screen ad closed")); }

    void showAd(NSObject*) {
        if (IVAdEngine::displayFullScreenAdForSlotNamed(kSlot)) return;
        say(NS("No full-screen ad ready"));
        setShowable(false);
    }

private:
    void say(NSString* text) { status_.say(text); }
    void setShowable(bool showable) {
        showable_ = showable;
        if (show_) show_->setEnabled(showable);
    }

    CatalogStatusLine status_;
    Ref<UIButton> show_;
    bool showable_ = false;
};

}  // namespace

Ref<UIViewController> makeCatalogFullScreenAdScreen() {
    return make<CatalogFullScreenAdController>();
}
