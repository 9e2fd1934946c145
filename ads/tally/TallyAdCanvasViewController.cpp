#include "ads/tally/TallyAdCanvasViewController.h"

#include <mutex>

#include "Foundation/NSString.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWindow.h"
#include "ads/tally/TallyAdImpression.h"

namespace {
// The open canvas, one for the whole program; touched on the main thread only.
Ref<TallyAdCanvasViewController>& openCanvas() {
    static Ref<TallyAdCanvasViewController>* slot = new Ref<TallyAdCanvasViewController>();
    return *slot;
}
}  // namespace

bool TallyAdCanvasViewController::init() {
    if (!UIViewController::init()) return false;
    setTitle(NS("Info"));
    return true;
}

void TallyAdCanvasViewController::setWebUrl(NSString* url) {
    webUrl_ = url ? cast<NSString>(url->copy()) : nullptr;
}

void TallyAdCanvasViewController::setCanvasOrientation(NSString* orientation) {
    canvasOrientation_ = orientation ? cast<NSString>(orientation->copy()) : nullptr;
}

void TallyAdCanvasViewController::createCanvasWindow() {
    auto app = UIApplication::sharedApplication();
    appWindow_ = app ? app->keyWindow() : nullptr;
    window_ = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
    window_->setRootViewController(this);
    window_->makeKeyAndVisible();
    setOpenCanvasController(this);
}

void TallyAdCanvasViewController::cancel() {
    Ref<TallyAdCanvasViewController> keep(this);
    if (window_) {
        window_->setHidden(true);
        window_->setRootViewController(nullptr);
        window_ = nullptr;
    }
    if (auto app = appWindow_.lock()) app->makeKeyWindow();
    if (openCanvas().get() == this) freeOpenCanvasController();
}

Ref<TallyAdCanvasViewController> TallyAdCanvasViewController::getOpenCanvasController() {
    return openCanvas();
}

void TallyAdCanvasViewController::setOpenCanvasController(TallyAdCanvasViewController* controller) {
    openCanvas() = controller;
}

void TallyAdCanvasViewController::freeOpenCanvasController() {
    openCanvas() = nullptr;
}
