#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIView.h"
#include "UIKit/UIWindow.h"
#include "support/RunLoopTesting.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZModelViewController.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZURLRequestQueue.h"
#include "ui/core/UIViewController+DZCategory.h"

namespace {

using Log = std::vector<std::string>;

// A model whose condition the test sets, and which reports like a loading model.
class StubModel : public DZModel {
    NS_OBJECT(StubModel, DZModel)
    bool isLoaded() override { return loaded; }
    bool isLoading() override { return loading; }
    bool isOutdated() override { return outdated; }
    void load(int32_t policy, bool more) override {
        loads.push_back(std::to_string(policy) + (more ? "+" : ""));
        loading = true;
        didStartLoad();
    }
    void finish() {
        loading = false;
        loaded = true;
        didFinishLoad();
    }
    void fail() {
        loading = false;
        didFailLoadWithError(NSError::errorWithDomain(NS("test"), 1, nullptr));
    }
    bool loaded = false, loading = false, outdated = false;
    Log loads;
};

// Writes every hook into a log.
class Recorder : public DZModelViewController {
    NS_OBJECT(Recorder, DZModelViewController)
    void didRefreshModel() override { log.push_back("didRefreshModel"); }
    void willLoadModel() override { log.push_back("willLoadModel"); }
    void didLoadModel(bool first) override { log.push_back(flag("didLoadModel", first)); }
    void didShowModel(bool first) override { log.push_back(flag("didShowModel", first)); }
    void showLoading(bool show) override { log.push_back(flag("showLoading", show)); }
    void showModel(bool show) override {
        log.push_back(flag("showModel", show));
        if (reenter) updateView();
    }
    void showEmpty(bool show) override { log.push_back(flag("showEmpty", show)); }
    void showError(bool show) override { log.push_back(flag("showError", show)); }
    bool canShowModel() override { return allowModel; }
    bool persistView(NSMutableDictionary* state) override {
        state->setObject(NSNumber::numberWithInt(7), NS("row"));
        return true;
    }
    void restoreView(NSDictionary* state) override {
        restored = as<NSNumber>(state->objectForKey(NS("row")))->intValue();
    }
    void keyboardWillAppear(bool animated, CGRect bounds) override {
        log.push_back(flag("keyboardWillAppear", animated) + " " + size(bounds));
    }
    void keyboardDidAppear(bool animated, CGRect bounds) override {
        log.push_back(flag("keyboardDidAppear", animated) + " " + size(bounds));
    }
    void keyboardWillDisappear(bool animated, CGRect bounds) override {
        log.push_back(flag("keyboardWillDisappear", animated) + " " + size(bounds));
    }
    void keyboardDidDisappear(bool animated, CGRect bounds) override {
        log.push_back(flag("keyboardDidDisappear", animated) + " " + size(bounds));
    }
    static std::string flag(const char* name, bool v) {
        return std::string(name) + ":" + (v ? "1" : "0");
    }
    static std::string size(CGRect r) {
        return std::to_string(static_cast<int>(r.size.width)) + "x" +
               std::to_string(static_cast<int>(r.size.height));
    }
    Log take() {
        Log l;
        l.swap(log);
        return l;
    }
    Log log;
    bool allowModel = true;
    bool reenter = false;
    int restored = 0;
};

Ref<Recorder> appearingWith(StubModel* model) {
    auto c = make<Recorder>();
    c->setModel(model);
    c->viewWillAppear(false);
    return c;
}

class DZModelViewControllerTest : public testing::Test {
protected:
    void SetUp() override {
        DZBaseNavigator::setGlobalNavigator(nullptr);
        DZURLRequestQueue::mainQueue()->setSuspended(false);
    }
};

}  // namespace

TEST_F(DZModelViewControllerTest, AFirstLoadShowsLoadingThenTheModel) {
    auto model = make<StubModel>();
    auto c = appearingWith(model);
    EXPECT_EQ((Log{"7"}), model->loads);
    EXPECT_EQ((Log{"didRefreshModel", "willLoadModel", "showLoading:1"}), c->take());
    model->finish();
    EXPECT_EQ((Log{"didLoadModel:1", "showLoading:0", "showModel:1", "didShowModel:1"}), c->take());
    // The state that is shown is not shown again.
    c->invalidateView();
    EXPECT_TRUE(c->take().empty());
}

TEST_F(DZModelViewControllerTest, AFailureShowsTheErrorAndStopsReloads) {
    auto model = make<StubModel>();
    auto c = appearingWith(model);
    c->take();
    model->outdated = true;
    model->fail();
    EXPECT_EQ((Log{"showLoading:0", "showError:1"}), c->take());
    EXPECT_TRUE(c->modelError());
    EXPECT_EQ(1u, model->loads.size());  // a held error stops reloads
    // A later good load clears the error.
    model->outdated = false;
    c->reload();
    model->finish();
    EXPECT_FALSE(c->modelError());
    Log log = c->take();
    EXPECT_EQ((Log{"willLoadModel", "showLoading:1", "didLoadModel:1", "showLoading:0",
                   "showError:0", "showModel:1", "didShowModel:1"}),
              log);
}

TEST_F(DZModelViewControllerTest, AReloadOverAShownModelAddsLoadingAndHidesBeforeShowing) {
    auto model = make<StubModel>();
    auto c = appearingWith(model);
    model->finish();
    c->take();
    c->reload();
    EXPECT_EQ("4", model->loads.back());
    EXPECT_EQ((Log{"willLoadModel", "showLoading:1"}), c->take());
    model->finish();
    EXPECT_EQ((Log{"didLoadModel:1", "showLoading:0", "showModel:1", "didShowModel:0"}), c->take());
}

TEST_F(DZModelViewControllerTest, UpdatesAreBatchedAndNotReentered) {
    auto model = make<StubModel>();
    auto c = appearingWith(model);
    c->take();
    c->beginUpdates();
    model->finish();
    EXPECT_TRUE(c->take().empty());
    c->endUpdates();
    EXPECT_EQ(4u, c->take().size());

    // Re-entry from a hook does nothing.
    auto other = make<StubModel>();
    other->loaded = true;
    auto d = make<Recorder>();
    d->reenter = true;
    d->setModel(other);
    d->viewWillAppear(false);
    EXPECT_EQ((Log{"didRefreshModel", "didLoadModel:0", "showModel:1", "didShowModel:1"}),
              d->take());
    EXPECT_TRUE(other->loads.empty());
}

TEST_F(DZModelViewControllerTest, ARefusedModelEndsEmptyAndForeignModelsAreIgnored) {
    auto model = make<StubModel>();
    model->loaded = true;
    auto c = make<Recorder>();
    c->allowModel = false;
    c->setModel(model);
    c->viewWillAppear(false);
    EXPECT_EQ((Log{"didRefreshModel", "didLoadModel:0", "showEmpty:1"}), c->take());

    auto stranger = make<StubModel>();
    c->modelDidFinishLoad(stranger);
    c->modelDidFailLoadWithError(stranger, NSError::errorWithDomain(NS("x"), 1, nullptr));
    EXPECT_FALSE(c->modelError());
    EXPECT_TRUE(c->take().empty());
}

TEST_F(DZModelViewControllerTest, TheInterstitialModelIsShownAtOnceAndNeverLoads) {
    auto c = make<Recorder>();
    c->viewWillAppear(false);
    EXPECT_TRUE(c->isModelCreated());
    EXPECT_EQ((Log{"didRefreshModel", "didLoadModel:0", "showModel:1", "didShowModel:1"}),
              c->take());
    // The flags of the twelve: model shown, nothing else; did-show-first-time consumed.
    EXPECT_EQ(DZModelViewController::isShowingModel, c->flags());
}

TEST_F(DZModelViewControllerTest, AMemoryWarningOffScreenFreezesAndTheNextAppearanceRestores) {
    auto model = make<StubModel>();
    model->loaded = true;
    auto c = make<Recorder>();
    c->setModel(model);
    // On screen: nothing is frozen.
    c->viewWillAppear(false);
    c->didReceiveMemoryWarning();
    EXPECT_TRUE(c->hasViewAppeared());
    EXPECT_FALSE(c->frozenState());
    c->viewWillDisappear(false);
    c->didReceiveMemoryWarning();
    EXPECT_FALSE(c->hasViewAppeared());
    ASSERT_TRUE(c->frozenState());
    c->take();
    c->viewWillAppear(false);
    EXPECT_EQ(7, c->restored);
    EXPECT_FALSE(c->frozenState());
}

TEST_F(DZModelViewControllerTest, TheQueueIsHeldFromWillAppearToDidAppear) {
    auto c = make<Recorder>();
    auto queue = DZURLRequestQueue::mainQueue();
    c->viewWillAppear(false);
    EXPECT_TRUE(queue->suspended());
    c->viewDidAppear(false);
    EXPECT_FALSE(queue->suspended());
}

TEST_F(DZModelViewControllerTest, KeyboardHooksFollowAViewPresentedAsTheKeyboard) {
    ManualClockScope clock;
    auto c = make<Recorder>();
    c->setAutoresizesForKeyboard(true);
    c->setAutoresizesForKeyboard(true);  // once only
    auto container = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    auto pad = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 200));
    // Not appearing: the will-show resize is skipped, did-show is heard all the same.
    presentAsKeyboardInView(pad, container);
    EXPECT_EQ(280, top(pad));
    advanceRunLoop(0.3);
    EXPECT_EQ((Log{"keyboardDidAppear:1 320x200"}), c->take());
    dismissAsKeyboard(pad, false);
    EXPECT_EQ((Log{"keyboardWillDisappear:1 320x200"}), c->take());
    EXPECT_FALSE(pad->superview());

    c->viewWillAppear(false);
    c->take();
    presentAsKeyboardInView(pad, container);
    EXPECT_EQ((Log{"keyboardWillAppear:1 320x200"}), c->take());
    advanceRunLoop(0.3);
    EXPECT_EQ((Log{"keyboardDidAppear:1 320x200"}), c->take());
    dismissAsKeyboard(pad, true);
    advanceRunLoop(0.3);
    EXPECT_EQ((Log{"keyboardWillDisappear:1 320x200", "keyboardDidDisappear:1 320x200"}),
              c->take());
    c->setAutoresizesForKeyboard(false);
    presentAsKeyboardInView(pad, container);
    advanceRunLoop(0.3);
    EXPECT_TRUE(c->take().empty());
}

TEST_F(DZModelViewControllerTest, PopupsKeepTheStatusBarAndTakeRotationAndBars) {
    auto app = UIApplication::sharedApplication();
    app->setStatusBarStyle(UIStatusBarStyleBlackOpaque);
    auto popup = make<DZPopupViewController>();
    EXPECT_EQ(UIStatusBarStyleBlackOpaque, popup->statusBarStyle());
    EXPECT_FALSE(popup->canBeTopViewController());
    app->setStatusBarStyle(UIStatusBarStyleDefault);

    auto c = make<Recorder>();
    c->setStatusBarStyle(UIStatusBarStyleBlackTranslucent);
    setPopupViewController(c, popup);
    setSuperController(popup, c);
    c->viewWillAppear(false);
    EXPECT_EQ(UIStatusBarStyleDefault, app->statusBarStyle());  // untouched under a popup
    EXPECT_FALSE(c->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationLandscapeLeft));
    UIDevice::currentDevice()->setUserInterfaceIdiom(UIUserInterfaceIdiomPad);
    EXPECT_TRUE(c->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationLandscapeLeft));
    EXPECT_TRUE(DZOrientationAllowed(UIInterfaceOrientationPortraitUpsideDown));
    UIDevice::currentDevice()->setUserInterfaceIdiom(UIUserInterfaceIdiomPhone);
    EXPECT_FALSE(DZOrientationAllowed(UIInterfaceOrientationPortraitUpsideDown));
    // The popup's death drops the link from its super-controller.
    popup = nullptr;
    EXPECT_EQ(nullptr, popupViewController(c));
    c->viewWillDisappear(false);
    c->viewWillAppear(false);
    EXPECT_EQ(UIStatusBarStyleBlackTranslucent, app->statusBarStyle());
}

TEST_F(DZModelViewControllerTest, SearchResultsControllersShareOneSearchController) {
    auto c = make<Recorder>();
    auto first = make<DZModelViewController>(), second = make<DZModelViewController>();
    c->setSearchViewController(first);
    auto search = c->searchController();
    ASSERT_TRUE(search);
    EXPECT_EQ(c, search->searchContentsController());
    EXPECT_EQ(search, c->searchDisplayController());
    c->setSearchViewController(second);
    EXPECT_EQ(search, c->searchController());
    EXPECT_EQ(second, c->searchViewController());
    EXPECT_EQ(c, superController(second));
    c->setSearchViewController(nullptr);
    EXPECT_FALSE(c->searchController());
}
