// A controller tied to one model, kept in exactly the view states the model's condition calls
// for: loading, model, empty and error, each on or off. Subclasses draw the states in the
// show hooks; this level decides when each is called, with which flag and in which order
// (every hide before any show), when the model is created, loaded, reloaded or asked for more,
// and batches view updates. Also the popup base and the table controller that search results
// use (a table controller of the tables library). Main thread only.
#pragma once

#include <cstdint>

#include "ui/core/DZBaseViewController.h"
#include "ui/core/DZModel.h"

class NSError;
class UIView;

class DZModelViewController : public DZViewController, public DZModelDelegate {
    NS_OBJECT(DZModelViewController, DZViewController)
    static void describeClass(RuntimeClass& c);

    // The flag bits, from the lowest.
    enum Flag : uint16_t {
        isModelDidRefreshInvalid = 1 << 0,
        isModelWillLoadInvalid = 1 << 1,
        isModelDidLoadInvalid = 1 << 2,
        isModelDidLoadFirstTimeInvalid = 1 << 3,
        isModelDidShowFirstTimeInvalid = 1 << 4,
        isViewInvalid = 1 << 5,
        isViewSuspended = 1 << 6,
        isUpdatingView = 1 << 7,
        isShowingEmpty = 1 << 8,
        isShowingLoading = 1 << 9,
        isShowingModel = 1 << 10,
        isShowingError = 1 << 11,
    };

    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;
    void dealloc() override;
    void viewWillAppear(bool animated) override;
    void didReceiveMemoryWarning() override;
    void delayDidEnd() override;

    // ---- the model ---------------------------------------------------------------------------
    // Created on first use (an interstitial model while the navigator is delayed).
    Ref<DZModel> model();
    void setModel(DZModel* model);
    Ref<NSError> modelError() { return modelError_; }
    void setModelError(NSError* error);
    virtual void createModel() {}
    virtual void createInterstitialModel();
    void invalidateModel();
    bool isModelCreated() { return model_ != nullptr; }

    // ---- policy ------------------------------------------------------------------------------
    virtual bool shouldLoad();
    virtual bool shouldReload();
    virtual bool shouldLoadMore() { return false; }
    virtual bool canShowModel() { return true; }

    // ---- loading -----------------------------------------------------------------------------
    void reload();
    void reloadIfNeeded();
    void refresh();

    // ---- view updates ------------------------------------------------------------------------
    void beginUpdates();
    void endUpdates();
    void invalidateView();
    void updateView();
    void updateViewStates();
    void resetViewStates();

    // ---- hooks -------------------------------------------------------------------------------
    virtual void didRefreshModel() {}
    virtual void willLoadModel() {}
    virtual void didLoadModel(bool) {}
    virtual void didShowModel(bool) {}
    virtual void showLoading(bool) {}
    virtual void showModel(bool) {}
    virtual void showEmpty(bool) {}
    virtual void showError(bool) {}

    // ---- the model's messages ------------------------------------------------------------------
    void modelDidStartLoad(DZModelProtocol* model) override;
    void modelDidFinishLoad(DZModelProtocol* model) override;
    void modelDidFailLoadWithError(DZModelProtocol* model, NSError* error) override;
    void modelDidCancelLoad(DZModelProtocol* model) override;
    void modelDidChange(DZModelProtocol* model) override;
    void modelDidBeginUpdates(DZModelProtocol* model) override;
    void modelDidEndUpdates(DZModelProtocol* model) override;

    // For tests: the flag word.
    uint16_t flags() { return flags_; }

private:
    bool isHeld(DZModelProtocol* model);
    bool has(Flag f) { return (flags_ & f) != 0; }
    void set(Flag f) { flags_ = static_cast<uint16_t>(flags_ | f); }
    void clear(Flag f) { flags_ = static_cast<uint16_t>(flags_ & ~f); }
    void leaveModel();

    Ref<DZModel> model_;
    Ref<NSError> modelError_;
    uint16_t flags_ = 0;
};

// A controller shown over another (sheets, alerts); never the navigator's top controller.
class DZPopupViewController : public DZModelViewController {
    NS_OBJECT(DZPopupViewController, DZModelViewController)
    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;
    void dealloc() override;
    virtual void showInView(UIView*, bool) {}
    virtual void dismissPopupViewControllerAnimated(bool) {}
    bool canBeTopViewController() override { return false; }
};
