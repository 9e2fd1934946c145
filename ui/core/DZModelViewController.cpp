#include "ui/core/DZModelViewController.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSValue.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/UIViewController+DZCategory.h"

namespace {
// The request cache policies of a first load and of a reload.
constexpr int32_t kLoadPolicy = 7;
constexpr int32_t kReloadPolicy = 4;
}  // namespace

void DZModelViewController::describeClass(RuntimeClass& c) {
    c.implements(
        {"modelDidStartLoad:", "modelDidFinishLoad:", "model:didFailLoadWithError:",
         "modelDidCancelLoad:", "modelDidChange:", "modelDidBeginUpdates:", "modelDidEndUpdates:"});
    c.method("reload", &DZModelViewController::reload);
    c.method("invalidateModel", &DZModelViewController::invalidateModel);
}

bool DZModelViewController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    if (!DZViewController::initWithNibName(nibName, bundle)) return false;
    set(isViewInvalid);
    return true;
}

void DZModelViewController::dealloc() {
    leaveModel();
    model_ = nullptr;
    modelError_ = nullptr;
    DZViewController::dealloc();
}

void DZModelViewController::leaveModel() {
    // A model that is its own table source has no observers to leave.
    if (auto delegates = model_ ? model_->delegates() : nullptr) delegates->removeObject(this);
}

void DZModelViewController::viewWillAppear(bool animated) {
    // The states are in place before the bars are styled and the queue is held.
    setViewAppearing(true);
    setViewAppeared(true);
    updateView();
    DZViewController::viewWillAppear(animated);
}

void DZModelViewController::didReceiveMemoryWarning() {
    if (freezeOnMemoryWarning()) refresh();
}

void DZModelViewController::delayDidEnd() {
    invalidateModel();
}

// ---- the model ----------------------------------------------------------------------------------

Ref<DZModel> DZModelViewController::model() {
    if (!model_) {
        if (!DZNavigator::navigator()->isDelayed()) createModel();
        if (!model_) createInterstitialModel();
    }
    return model_;
}

void DZModelViewController::setModel(DZModel* model) {
    if (model == model_.get()) return;
    leaveModel();
    model_ = model;
    if (auto delegates = model_ ? model_->delegates() : nullptr) delegates->addObject(this);
    modelError_ = nullptr;
    if (model_) {
        clear(isModelWillLoadInvalid);
        clear(isModelDidLoadInvalid);
        clear(isModelDidLoadFirstTimeInvalid);
        set(isModelDidShowFirstTimeInvalid);
    }
    refresh();
}

void DZModelViewController::setModelError(NSError* error) {
    if (error == modelError_.get()) return;
    modelError_ = error;
    invalidateView();
}

void DZModelViewController::createInterstitialModel() {
    setModel(make<DZModel>());
}

void DZModelViewController::invalidateModel() {
    bool held = model_ != nullptr;
    resetViewStates();
    leaveModel();
    model_ = nullptr;
    if (held) model();
}

bool DZModelViewController::shouldLoad() {
    return !model()->isLoaded();
}

bool DZModelViewController::shouldReload() {
    if (modelError_) return false;
    return model()->isOutdated();
}

// ---- loading ------------------------------------------------------------------------------------

void DZModelViewController::reload() {
    set(isViewInvalid);
    model()->load(kReloadPolicy, false);
}

void DZModelViewController::reloadIfNeeded() {
    if (shouldReload() && !model()->isLoading()) reload();
}

void DZModelViewController::refresh() {
    set(isViewInvalid);
    set(isModelDidRefreshInvalid);
    auto m = model();
    bool loading = m->isLoading();
    bool loaded = m->isLoaded();
    if (!loaded && !loading && shouldLoad()) {
        m->load(kLoadPolicy, false);
    } else if (!loading && loaded && shouldReload()) {
        m->load(kReloadPolicy, false);
    } else if (!loading && shouldLoadMore()) {
        m->load(kLoadPolicy, true);
    } else {
        set(isModelDidLoadInvalid);
        if (isViewAppearing()) updateView();
    }
}

// ---- view updates -------------------------------------------------------------------------------

void DZModelViewController::beginUpdates() {
    set(isViewSuspended);
}

void DZModelViewController::endUpdates() {
    clear(isViewSuspended);
    updateView();
}

void DZModelViewController::invalidateView() {
    set(isViewInvalid);
    if (isViewAppearing()) updateView();
}

void DZModelViewController::updateView() {
    if (!has(isViewInvalid) || has(isViewSuspended) || has(isUpdatingView)) return;
    set(isUpdatingView);
    model();
    view();
    updateViewStates();
    if (auto frozen = frozenState(); frozen && has(isShowingModel)) {
        restoreView(frozen);
        setFrozenState(nullptr);
    }
    clear(isViewInvalid);
    clear(isUpdatingView);
    reloadIfNeeded();
}

void DZModelViewController::updateViewStates() {
    if (has(isModelDidRefreshInvalid)) {
        didRefreshModel();
        clear(isModelDidRefreshInvalid);
    }
    if (has(isModelWillLoadInvalid)) {
        willLoadModel();
        clear(isModelWillLoadInvalid);
    }
    if (has(isModelDidLoadInvalid)) {
        didLoadModel(has(isModelDidLoadFirstTimeInvalid));
        clear(isModelDidLoadInvalid);
        clear(isModelDidLoadFirstTimeInvalid);
        clear(isShowingModel);
    }
    auto m = model();
    bool showModelNow = false, showLoadingNow = false, showErrorNow = false, showEmptyNow = false;
    if (m->isLoaded() || !shouldLoad()) {
        if (canShowModel()) {
            showModelNow = !has(isShowingModel);
            set(isShowingModel);
        } else if (has(isShowingModel)) {
            showModel(false);
            clear(isShowingModel);
        }
    } else if (has(isShowingModel)) {
        showModel(false);
        clear(isShowingModel);
    }
    if (m->isLoading()) {
        showLoadingNow = !has(isShowingLoading);
        set(isShowingLoading);
    } else if (has(isShowingLoading)) {
        showLoading(false);
        clear(isShowingLoading);
    }
    if (modelError_) {
        showErrorNow = !has(isShowingError);
        set(isShowingError);
    } else if (has(isShowingError)) {
        showError(false);
        clear(isShowingError);
    }
    if (!has(isShowingLoading) && !has(isShowingModel) && !has(isShowingError)) {
        showEmptyNow = !has(isShowingEmpty);
        set(isShowingEmpty);
    } else if (has(isShowingEmpty)) {
        showEmpty(false);
        clear(isShowingEmpty);
    }
    if (showModelNow) {
        showModel(true);
        didShowModel(has(isModelDidShowFirstTimeInvalid));
        clear(isModelDidShowFirstTimeInvalid);
    }
    if (showEmptyNow) showEmpty(true);
    if (showErrorNow) showError(true);
    if (showLoadingNow) showLoading(true);
}

void DZModelViewController::resetViewStates() {
    if (has(isShowingLoading)) {
        showLoading(false);
        clear(isShowingLoading);
    }
    if (has(isShowingModel)) {
        showModel(false);
        clear(isShowingModel);
    }
    if (has(isShowingError)) {
        showError(false);
        clear(isShowingError);
    }
    if (has(isShowingEmpty)) {
        showEmpty(false);
        clear(isShowingEmpty);
    }
}

// ---- the model's messages -----------------------------------------------------------------------

bool DZModelViewController::isHeld(DZModelProtocol* model) {
    return model && model == static_cast<DZModelProtocol*>(model_.get());
}

void DZModelViewController::modelDidStartLoad(DZModelProtocol* model) {
    if (model != static_cast<DZModelProtocol*>(this->model().get())) return;
    set(isModelWillLoadInvalid);
    set(isModelDidLoadFirstTimeInvalid);
    invalidateView();
}

void DZModelViewController::modelDidFinishLoad(DZModelProtocol* model) {
    if (!isHeld(model)) return;
    modelError_ = nullptr;
    set(isModelDidLoadInvalid);
    invalidateView();
}

void DZModelViewController::modelDidFailLoadWithError(DZModelProtocol* model, NSError* error) {
    if (isHeld(model)) setModelError(error);
}

void DZModelViewController::modelDidCancelLoad(DZModelProtocol* model) {
    if (isHeld(model)) invalidateView();
}

void DZModelViewController::modelDidChange(DZModelProtocol* model) {
    if (isHeld(model)) refresh();
}

void DZModelViewController::modelDidBeginUpdates(DZModelProtocol* model) {
    if (isHeld(model)) beginUpdates();
}

void DZModelViewController::modelDidEndUpdates(DZModelProtocol* model) {
    if (isHeld(model)) endUpdates();
}

// ---- popups -------------------------------------------------------------------------------------

bool DZPopupViewController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    if (!DZModelViewController::initWithNibName(nibName, bundle)) return false;
    // Showing a popup leaves the status bar as it is.
    setStatusBarStyle(UIApplication::sharedApplication()->statusBarStyle());
    return true;
}

void DZPopupViewController::dealloc() {
    if (auto super = superController(this)) setPopupViewController(super, nullptr);
    DZModelViewController::dealloc();
}
