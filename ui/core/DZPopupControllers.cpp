#include "ui/core/DZPopupControllers.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "ui/core/DZNavigator.h"

namespace {

const std::initializer_list<std::string_view> kSheetMessages = {
    "actionSheet:clickedButtonAtIndex:",
    "actionSheetCancel:",
    "willPresentActionSheet:",
    "didPresentActionSheet:",
    "actionSheet:willDismissWithButtonIndex:",
    "actionSheet:didDismissWithButtonIndex:"};
const std::initializer_list<std::string_view> kAlertMessages = {
    "alertView:clickedButtonAtIndex:",
    "alertViewCancel:",
    "willPresentAlertView:",
    "didPresentAlertView:",
    "alertView:willDismissWithButtonIndex:",
    "alertView:didDismissWithButtonIndex:"};

// Sends a platform message on to the delegate when it answers it.
template <class D, class Call>
void forwardIfAnswered(const Weak<D>& delegate, const char* selector, Call call) {
    auto d = delegate.lock();
    if (respondsTo(d.get(), Selector::named(selector))) call(d.get());
}

void recordURL(NSMutableArray* URLs, NSString* URL) {
    URLs->addObject(URL ? static_cast<NSObject*>(URL) : NSNull::null().get());
}

Ref<NSString> URLAt(NSMutableArray* URLs, NSInteger index) {
    if (index < 0 || static_cast<NSUInteger>(index) >= URLs->count()) return nullptr;
    return as<NSString>(URLs->objectAtIndex(static_cast<NSUInteger>(index)));
}

// Leaving the screen ends the hold on the controller, at the end of the pass.
void letGo(Ref<UIViewController>& controller) {
    if (!controller) return;
    controller->autorelease();
    controller = nullptr;
}

}  // namespace

// ---- the views ----------------------------------------------------------------------------------

void DZActionSheet::didMoveToSuperview() {
    UIActionSheet::didMoveToSuperview();
    if (!superview()) letGo(popupViewController_);
}

void DZActionSheet::dealloc() {
    popupViewController_ = nullptr;
    UIActionSheet::dealloc();
}

void DZAlertView::didMoveToSuperview() {
    UIAlertView::didMoveToSuperview();
    if (!superview()) letGo(popupViewController_);
}

void DZAlertView::dealloc() {
    popupViewController_ = nullptr;
    UIAlertView::dealloc();
}

// ---- the action sheet controller ---------------------------------------------------------------

void DZActionSheetController::describeClass(RuntimeClass& c) {
    c.implements(kSheetMessages);
}

bool DZActionSheetController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    if (!DZPopupViewController::initWithNibName(nibName, bundle)) return false;
    URLs_ = NSMutableArray::array();
    return true;
}

bool DZActionSheetController::initWithTitle(NSString* title,
                                            DZActionSheetControllerDelegate* delegate) {
    if (!initWithNibName(nullptr, nullptr)) return false;
    delegate_ = delegate;
    if (title) actionSheet()->setTitle(title);
    return true;
}

void DZActionSheetController::dealloc() {
    URLs_ = nullptr;
    userInfo_ = nullptr;
    DZPopupViewController::dealloc();
}

void DZActionSheetController::loadView() {
    auto sheet = make<DZActionSheet>(
        static_cast<bool (DZActionSheet::*)(NSString*, UIActionSheetDelegate*, NSString*, NSString*,
                                            std::initializer_list<NSString*>)>(
            &DZActionSheet::initWithTitle),
        nullptr, static_cast<UIActionSheetDelegate*>(this), nullptr, nullptr,
        std::initializer_list<NSString*>{});
    // The sheet holds its controller only while it is shown (showInView:animated:), so a
    // controller that is never shown is not kept alive by its own view.
    setView(sheet);
}

Ref<DZActionSheet> DZActionSheetController::actionSheet() {
    return as<DZActionSheet>(view());
}

void DZActionSheetController::showInView(UIView* view, bool animated) {
    viewWillAppear(animated);
    auto sheet = actionSheet();
    // The sheet holds its controller from here until it leaves the screen.
    sheet->setPopupViewController(this);
    sheet->showInView(view);
    viewDidAppear(animated);
}

void DZActionSheetController::dismissPopupViewControllerAnimated(bool animated) {
    Ref<DZActionSheetController> keep(this);
    viewWillDisappear(animated);
    auto sheet = actionSheet();
    sheet->dismissWithClickedButtonIndex(sheet->cancelButtonIndex(), animated);
    viewDidDisappear(animated);
}

NSInteger DZActionSheetController::addButtonWithTitle(NSString* title, NSString* URL) {
    recordURL(URLs_, URL);
    return actionSheet()->addButtonWithTitle(title);
}

NSInteger DZActionSheetController::addCancelButtonWithTitle(NSString* title, NSString* URL) {
    auto sheet = actionSheet();
    sheet->setCancelButtonIndex(addButtonWithTitle(title, URL));
    return sheet->cancelButtonIndex();
}

NSInteger DZActionSheetController::addDestructiveButtonWithTitle(NSString* title, NSString* URL) {
    auto sheet = actionSheet();
    sheet->setDestructiveButtonIndex(addButtonWithTitle(title, URL));
    return sheet->destructiveButtonIndex();
}

Ref<NSString> DZActionSheetController::buttonURLAtIndex(NSInteger index) {
    return URLAt(URLs_, index);
}

void DZActionSheetController::actionSheetClickedButtonAtIndex(UIActionSheet* sheet,
                                                              NSInteger index) {
    forwardIfAnswered(delegate_, "actionSheet:clickedButtonAtIndex:", [&](auto* d) {
        d->actionSheetClickedButtonAtIndex(sheet, index);
    });
}

void DZActionSheetController::actionSheetCancel(UIActionSheet* sheet) {
    forwardIfAnswered(delegate_,
                      "actionSheetCancel:", [&](auto* d) { d->actionSheetCancel(sheet); });
}

void DZActionSheetController::willPresentActionSheet(UIActionSheet* sheet) {
    forwardIfAnswered(
        delegate_, "willPresentActionSheet:", [&](auto* d) { d->willPresentActionSheet(sheet); });
}

void DZActionSheetController::didPresentActionSheet(UIActionSheet* sheet) {
    forwardIfAnswered(delegate_,
                      "didPresentActionSheet:", [&](auto* d) { d->didPresentActionSheet(sheet); });
}

void DZActionSheetController::actionSheetWillDismissWithButtonIndex(UIActionSheet* sheet,
                                                                    NSInteger index) {
    forwardIfAnswered(delegate_, "actionSheet:willDismissWithButtonIndex:", [&](auto* d) {
        d->actionSheetWillDismissWithButtonIndex(sheet, index);
    });
}

void DZActionSheetController::actionSheetDidDismissWithButtonIndex(UIActionSheet* sheet,
                                                                   NSInteger index) {
    Ref<DZActionSheetController> keep(this);
    auto URL = buttonURLAtIndex(index);
    bool open = true;
    forwardIfAnswered(
        delegate_, "actionSheetController:didDismissWithButtonIndex:URL:", [&](auto* d) {
            open = d->actionSheetControllerDidDismissWithButtonIndexURL(this, index, URL);
        });
    if (URL && open) DZNavigateToURLPath(URL);
    forwardIfAnswered(delegate_, "actionSheet:didDismissWithButtonIndex:", [&](auto* d) {
        d->actionSheetDidDismissWithButtonIndex(sheet, index);
    });
}

// ---- the alert controller -----------------------------------------------------------------------

void DZAlertViewController::describeClass(RuntimeClass& c) {
    c.implements(kAlertMessages);
}

bool DZAlertViewController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    if (!DZPopupViewController::initWithNibName(nibName, bundle)) return false;
    URLs_ = NSMutableArray::array();
    return true;
}

bool DZAlertViewController::initWithTitle(NSString* title, NSString* message,
                                          DZAlertViewControllerDelegate* delegate) {
    if (!initWithNibName(nullptr, nullptr)) return false;
    delegate_ = delegate;
    if (title) alertView()->setTitle(title);
    if (message) alertView()->setMessage(message);
    return true;
}

void DZAlertViewController::dealloc() {
    if (isViewLoaded()) alertView()->setDelegate(nullptr);
    URLs_ = nullptr;
    userInfo_ = nullptr;
    DZPopupViewController::dealloc();
}

void DZAlertViewController::loadView() {
    auto alert = make<DZAlertView>(
        static_cast<bool (DZAlertView::*)(NSString*, NSString*, UIAlertViewDelegate*, NSString*,
                                          std::initializer_list<NSString*>)>(
            &DZAlertView::initWithTitle),
        nullptr, nullptr, static_cast<UIAlertViewDelegate*>(this), nullptr,
        std::initializer_list<NSString*>{});
    setView(alert);
}

Ref<DZAlertView> DZAlertViewController::alertView() {
    return as<DZAlertView>(view());
}

void DZAlertViewController::showInView(UIView*, bool animated) {
    viewWillAppear(animated);
    auto alert = alertView();
    alert->setPopupViewController(this);
    alert->show();
    viewDidAppear(animated);
}

void DZAlertViewController::dismissPopupViewControllerAnimated(bool animated) {
    Ref<DZAlertViewController> keep(this);
    viewWillDisappear(animated);
    auto alert = alertView();
    alert->dismissWithClickedButtonIndex(alert->cancelButtonIndex(), animated);
    viewDidDisappear(animated);
}

NSInteger DZAlertViewController::addButtonWithTitle(NSString* title, NSString* URL) {
    recordURL(URLs_, URL);
    return alertView()->addButtonWithTitle(title);
}

NSInteger DZAlertViewController::addCancelButtonWithTitle(NSString* title, NSString* URL) {
    auto alert = alertView();
    alert->setCancelButtonIndex(addButtonWithTitle(title, URL));
    return alert->cancelButtonIndex();
}

Ref<NSString> DZAlertViewController::buttonURLAtIndex(NSInteger index) {
    return URLAt(URLs_, index);
}

void DZAlertViewController::alertViewClickedButtonAtIndex(UIAlertView* alert, NSInteger index) {
    forwardIfAnswered(delegate_, "alertView:clickedButtonAtIndex:", [&](auto* d) {
        d->alertViewClickedButtonAtIndex(alert, index);
    });
}

void DZAlertViewController::alertViewCancel(UIAlertView* alert) {
    forwardIfAnswered(delegate_, "alertViewCancel:", [&](auto* d) { d->alertViewCancel(alert); });
}

void DZAlertViewController::willPresentAlertView(UIAlertView* alert) {
    forwardIfAnswered(delegate_,
                      "willPresentAlertView:", [&](auto* d) { d->willPresentAlertView(alert); });
}

void DZAlertViewController::didPresentAlertView(UIAlertView* alert) {
    forwardIfAnswered(delegate_,
                      "didPresentAlertView:", [&](auto* d) { d->didPresentAlertView(alert); });
}

void DZAlertViewController::alertViewWillDismissWithButtonIndex(UIAlertView* alert,
                                                                NSInteger index) {
    forwardIfAnswered(delegate_, "alertView:willDismissWithButtonIndex:", [&](auto* d) {
        d->alertViewWillDismissWithButtonIndex(alert, index);
    });
}

void DZAlertViewController::alertViewDidDismissWithButtonIndex(UIAlertView* alert,
                                                               NSInteger index) {
    Ref<DZAlertViewController> keep(this);
    auto URL = buttonURLAtIndex(index);
    bool open = true;
    forwardIfAnswered(
        delegate_, "alertViewController:didDismissWithButtonIndex:URL:", [&](auto* d) {
            open = d->alertViewControllerDidDismissWithButtonIndexURL(this, index, URL);
        });
    if (URL && open) DZNavigateToURLPath(URL);
    forwardIfAnswered(delegate_, "alertView:didDismissWithButtonIndex:", [&](auto* d) {
        d->alertViewDidDismissWithButtonIndex(alert, index);
    });
}
