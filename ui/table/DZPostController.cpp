#include "ui/table/DZPostController.h"

#include <cmath>

#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/NSValue.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGeometry.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWindow.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/DZView.h"
#include "ui/core/UIViewController+DZCategory.h"
#include "ui/style/DZActivityLabel.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/table/DZComposeSupport.h"
#include "ui/table/DZTableSupport.h"

namespace {

constexpr NSTimeInterval kAnimationDuration = 0.3;
// A box "zoomed from a point" starts and ends at this scale.
constexpr CGFloat kPointScale = 0.00001f;

SEL sel(const char* name) {
    return Selector::named(name);
}

CGRect moveUpByStatusBar(CGRect rect) {
    return CGRectOffset(rect, 0, -DZStatusBarHeightByOrientation());
}

// Turns the view for the orientation and lays it over the application frame. The size goes to
// the bounds, turned back, since a turned view's frame does not size it.
void placeOverApplicationFrame(UIView* view, CGAffineTransform transform) {
    CGRect app = UIScreen::mainScreen()->applicationFrame();
    view->setTransform(transform);
    CGRect turned = CGRectApplyAffineTransform(CGRectMake(0, 0, app.size.width, app.size.height),
                                               CGAffineTransformInvert(transform));
    view->setBounds(
        CGRectMake(0, 0, std::round(turned.size.width), std::round(turned.size.height)));
    view->setCenter(CGPointMake(CGRectGetMidX(app), CGRectGetMidY(app)));
}

}  // namespace

void DZPostController::describeClass(RuntimeClass& c) {
    c.implements({"alertView:clickedButtonAtIndex:"});
    c.method("post", &DZPostController::post)
        .method("cancel", &DZPostController::cancel)
        .method("showAnimationDidStop", &DZPostController::showAnimationDidStop)
        .method("dismissAnimationDidStop", &DZPostController::dismissAnimationDidStop)
        .method("fadeAnimationDidStop", &DZPostController::fadeAnimationDidStop);
}

bool DZPostController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    if (!DZPopupViewController::initWithNibName(nibName, bundle)) return false;
    auto item = navigationItem();
    auto cancelItem = make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                            UIBarButtonSystemItemCancel,
                                            static_cast<NSObject*>(this), sel("cancel"));
    item->setLeftBarButtonItem(cancelItem.get());
    auto done = make<UIBarButtonItem>(
        &UIBarButtonItem::initWithTitle, DZBundleLocalizedString(NS("Done"), NS("")).get(),
        UIBarButtonItemStyleDone, static_cast<NSObject*>(this), sel("post"));
    item->setRightBarButtonItem(done.get());
    return true;
}

bool DZPostController::initWithNavigatorURL(NSURL*, NSDictionary* query) {
    if (!initWithNibName(nullptr, nullptr)) return false;
    if (!query) return true;
    if (auto d = query->objectForKey(NS("delegate"))) delegate_ = d.get();
    if (auto text = as<NSString>(query->objectForKey(NS("text")))) defaultText_ = text->copy();
    if (auto title = as<NSString>(query->objectForKey(NS("title"))))
        navigationItem()->setTitle(title.get());
    if (auto target = as<UIView>(query->objectForKey(NS("__target__"))))
        setOriginView(target.get());
    if (auto rect = as<NSValue>(query->objectForKey(NS("originRect"))))
        originRect_ = CGRectValue(rect.get());
    return true;
}

void DZPostController::dealloc() {
    result_ = nullptr;
    defaultText_ = nullptr;
    originView_ = nullptr;
    textView_ = nullptr;
    navigationBar_ = nullptr;
    innerView_ = nullptr;
    activityView_ = nullptr;
    DZPopupViewController::dealloc();
}

DZPostControllerDelegate* DZPostController::delegateFor(const char* selector) {
    auto d = delegate_.lock();
    if (!d || !respondsTo(d.get(), sel(selector))) return nullptr;
    return dynamic_cast<DZPostControllerDelegate*>(d.get());
}

Ref<NSString> DZPostController::stripWhitespace(NSString* text) {
    if (!text) return NS("");
    return text->stringByTrimmingCharactersInSet(NSCharacterSet::whitespaceCharacterSet().get());
}

void DZPostController::showKeyboard() {
    auto app = UIApplication::sharedApplication();
    // Shown again while up: the state to go back to is the one from before the first showing.
    if (!statusBarSaved_) {
        originalStatusBarStyle_ = app->statusBarStyle();
        originalStatusBarHidden_ = app->isStatusBarHidden();
        statusBarSaved_ = true;
    }
    if (!originalStatusBarHidden_) app->setStatusBarStyle(UIStatusBarStyleBlackTranslucent, true);
    textView()->becomeFirstResponder();
}

void DZPostController::hideKeyboard() {
    auto app = UIApplication::sharedApplication();
    app->setStatusBarHidden(originalStatusBarHidden_, UIStatusBarAnimationSlide);
    app->setStatusBarStyle(originalStatusBarStyle_, false);
    statusBarSaved_ = false;
    if (textView_) textView_->resignFirstResponder();
}

CGAffineTransform DZPostController::transformForOrientation() {
    return DZOrientationRotationTransform(DZCurrentOrientation());
}

void DZPostController::showActivity(NSString* title) {
    if (!activityView_) {
        activityView_ =
            make<DZActivityLabel>(&DZActivityLabel::initWithStyle, DZActivityLabelStyleWhiteBox);
        view()->addSubview(activityView_.get());
    }
    auto done = navigationItem()->rightBarButtonItem();
    if (title) {
        activityView_->setText(title);
        activityView_->setFrame(CGRectOffset(CGRectInset(textView_->frame(), 13, 13), 2, 0));
        activityView_->setHidden(false);
        textView_->setHidden(true);
        if (done) done->setEnabled(false);
    } else {
        activityView_->setHidden(true);
        textView_->setHidden(false);
        if (done) done->setEnabled(true);
    }
}

void DZPostController::layoutTextEditor() {
    CGFloat keyboard = DZCurrentKeyboardHeight();
    auto view = this->view();
    CGFloat barHeight = height(navigationBar_.get());
    screenView_->setFrame(CGRectMake(0, bottom(navigationBar_.get()), orientationWidth(view.get()),
                                     orientationHeight(view.get()) - (keyboard + barHeight)));
    textView_->setFrame(CGRectMake(5, barHeight + 6, width(screenView_.get()) - 10,
                                   height(screenView_.get()) - 12));
    textView_->setHidden(false);
}

void DZPostController::showAnimationDidStop() {
    textView_->setHidden(false);
}

void DZPostController::dismissAnimationDidStop() {
    Ref<DZPostController> self(this);
    if (auto* p = delegateFor("postController:didPostText:withResult:"))
        p->postControllerDidPostText(this, textView_->text().get(), result_.get());
    originView_ = nullptr;
    dismissPopupViewControllerAnimated(false);
}

void DZPostController::fadeOut() {
    if (originView_) originView_->setHidden(false);
    originView_ = nullptr;
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(kAnimationDuration);
    UIView::setAnimationDelegate(this);
    UIView::setAnimationDidStopSelector(sel("fadeAnimationDidStop"));
    view()->setAlpha(0);
    UIView::commitAnimations();
    hideKeyboard();
}

void DZPostController::fadeAnimationDidStop() {
    dismissPopupViewControllerAnimated(false);
}

void DZPostController::dismissWithCancel() {
    Ref<DZPostController> self(this);
    if (auto* p = delegateFor("postControllerDidCancel:")) p->postControllerDidCancel(this);
    dismissPopupViewControllerAnimated(true);
}

void DZPostController::loadView() {
    auto view = make<UIView>(&UIView::initWithFrame, UIScreen::mainScreen()->applicationFrame());
    view->setBackgroundColor(UIColor::clearColor().get());
    view->setAutoresizesSubviews(true);
    setView(view.get());
    auto fill = static_cast<UIViewAutoresizing>(UIViewAutoresizingFlexibleWidth |
                                                UIViewAutoresizingFlexibleHeight);

    innerView_ = make<UIView>(&UIView::initWithFrame, CGRectZero);
    innerView_->setBackgroundColor(UIColor::blackColor().get());
    innerView_->setAutoresizingMask(fill);
    view->addSubview(innerView_.get());

    screenView_ = make<DZView>(&DZView::initWithFrame, CGRectZero);
    screenView_->setBackgroundColor(UIColor::clearColor().get());
    screenView_->setStyle(
        DZStyleSheet::globalStyleSheet()->styleWithSelector(NS("postTextEditor")).get());
    screenView_->setAutoresizingMask(fill);
    view->addSubview(screenView_.get());

    textView_ = make<UITextView>(&UITextView::initWithFrame, CGRectZero);
    textView_->setDelegate(this);
    textView_->setFont(DZTableStyleSheet()->font().get());
    textView_->setTextColor(UIColor::blackColor().get());
    textView_->setContentInset(UIEdgeInsetsMake(0, 4, 0, 4));
    textView_->setKeyboardAppearance(UIKeyboardAppearanceAlert);
    textView_->setBackgroundColor(UIColor::clearColor().get());
    view->addSubview(textView_.get());

    navigationBar_ = make<UINavigationBar>(&UINavigationBar::initWithFrame, CGRectZero);
    navigationBar_->setBarStyle(UIBarStyleBlack);
    navigationBar_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    navigationBar_->pushNavigationItem(navigationItem().get(), false);
    innerView_->addSubview(navigationBar_.get());
}

bool DZPostController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) {
    return DZOrientationAllowed(orientation);
}

void DZPostController::willAnimateRotationToInterfaceOrientation(UIInterfaceOrientation,
                                                                 NSTimeInterval) {
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(kAnimationDuration);
    placeOverApplicationFrame(view().get(), transformForOrientation());
    innerView_->setFrame(view()->bounds());
    layoutTextEditor();
    UIView::commitAnimations();
}

Ref<UIView> DZPostController::rotatingHeaderView() {
    return navigationBar_;
}

bool DZPostController::persistView(NSMutableDictionary* state) {
    DZPersistEditorState(state, delegate_.lock().get(), textView()->text().get(), this);
    return DZPopupViewController::persistView(state);
}

void DZPostController::restoreView(NSDictionary* state) {
    DZPopupViewController::restoreView(state);
    auto restored = DZRestoreEditorState(state, this);
    if (restored.delegate) delegate_ = restored.delegate.get();
    if (restored.text) defaultText_ = restored.text;
}

CGRect DZPostController::startRect() {
    if (CGRectIsEmpty(originRect_) && originView_) return screenFrame(originView_.get());
    return originRect_;
}

void DZPostController::showInView(UIView* host, bool animated) {
    Ref<DZPostController> self(this);
    selfHold_ = this;
    auto window = host ? host->window() : nullptr;
    if (!window) window = UIApplication::sharedApplication()->keyWindow();
    auto view = this->view();
    placeOverApplicationFrame(view.get(), transformForOrientation());
    if (window) window->addSubview(view.get());

    if (defaultText_)
        textView_->setText(defaultText_.get());
    else
        defaultText_ = textView_->text();

    innerView_->setFrame(view->bounds());
    navigationBar_->sizeToFit();
    if (originView_) originView_->setHidden(true);

    if (!animated) {
        innerView_->setAlpha(1);
        screenView_->setTransform(CGAffineTransformIdentity);
        layoutTextEditor();
        showAnimationDidStop();
    } else {
        innerView_->setAlpha(0);
        navigationBar_->setAlpha(0);
        textView_->setHidden(true);
        CGRect start = startRect();
        if (CGRectIsEmpty(start)) {
            layoutTextEditor();
            screenView_->setTransform(CGAffineTransformMakeScale(kPointScale, kPointScale));
        } else {
            screenView_->setFrame(moveUpByStatusBar(start));
        }
        UIView::beginAnimations(nullptr, nullptr);
        UIView::setAnimationDuration(kAnimationDuration);
        UIView::setAnimationDelegate(this);
        UIView::setAnimationDidStopSelector(sel("showAnimationDidStop"));
        navigationBar_->setAlpha(1);
        innerView_->setAlpha(1);
        if (CGRectIsEmpty(start)) {
            screenView_->setTransform(CGAffineTransformIdentity);
        } else {
            layoutTextEditor();
        }
        UIView::commitAnimations();
    }
    showKeyboard();
}

void DZPostController::dismissPopupViewControllerAnimated(bool animated) {
    if (animated) {
        fadeOut();
        return;
    }
    // The release below may be the last hold: the controller lives to the end of this call.
    Ref<DZPostController> self(this);
    view()->removeFromSuperview();
    selfHold_ = nullptr;
    if (auto super = superController(this)) {
        setPopupViewController(super.get(), nullptr);
        super->viewWillAppear(false);
        super->viewDidAppear(false);
    }
}

void DZPostController::alertViewClickedButtonAtIndex(UIAlertView*, NSInteger index) {
    if (index == 0) dismissWithCancel();
}

Ref<UITextView> DZPostController::textView() {
    view();
    return textView_;
}

Ref<UINavigationBar> DZPostController::navigatorBar() {
    view();
    return navigationBar_;
}

void DZPostController::setOriginView(UIView* view) {
    if (view == originView_.get()) return;
    originView_ = view;
    originRect_ = CGRectZero;
}

void DZPostController::post() {
    Ref<DZPostController> self(this);
    auto text = textView()->text();
    bool shouldDismiss = willPostText(text.get());
    if (auto* p = delegateFor("postController:willPostText:"))
        shouldDismiss = p->postControllerWillPostText(this, text.get());
    if (shouldDismiss)
        dismissWithResult(nullptr, true);
    else
        showActivity(titleForActivity().get());
}

void DZPostController::cancel() {
    if (DZCancelsWithoutAsking(textView()->text().get(), defaultText_.get()))
        dismissWithCancel();
    else
        DZShowCancelAlert(this);
}

void DZPostController::dismissWithResult(NSObject* result, bool animated) {
    Ref<DZPostController> self(this);
    result_ = result;
    if (!animated) {
        dismissAnimationDidStop();
        hideKeyboard();
        return;
    }
    if (auto* p = delegateFor("postController:willAnimateTowards:")) {
        CGRect towards = p->postControllerWillAnimateTowards(this, originRect_);
        if (!CGRectIsEmpty(towards)) originRect_ = towards;
    }
    CGRect target = startRect();
    if (originView_) originView_->setHidden(false);
    if (activityView_) activityView_->setHidden(true);
    textView_->setHidden(true);
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(kAnimationDuration);
    UIView::setAnimationCurve(UIViewAnimationCurveEaseOut);
    UIView::setAnimationDelegate(this);
    UIView::setAnimationDidStopSelector(sel("dismissAnimationDidStop"));
    if (!CGRectIsEmpty(target))
        screenView_->setFrame(moveUpByStatusBar(target));
    else
        screenView_->setTransform(CGAffineTransformMakeScale(kPointScale, kPointScale));
    innerView_->setAlpha(0);
    navigationBar_->setAlpha(0);
    UIView::commitAnimations();
    hideKeyboard();
}

void DZPostController::failWithError(NSError* error) {
    showActivity(nullptr);
    DZShowErrorAlert(titleForError(error).get());
}
