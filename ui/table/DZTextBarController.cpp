#include "ui/table/DZTextBarController.h"

#include "Foundation/NSBundle.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UINavigationBar.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZStringAdditions.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/DZView.h"
#include "ui/core/UIViewController+DZCategory.h"
#include "ui/style/DZButton.h"
#include "ui/table/DZComposeSupport.h"

namespace {

constexpr NSTimeInterval kSlideDuration = 0.3;
constexpr NSInteger kMaxLines = 6;

SEL sel(const char* name) {
    return Selector::named(name);
}

}  // namespace

void DZTextBarController::describeClass(RuntimeClass& c) {
    c.implements({"textEditorDidBeginEditing:", "textEditorDidEndEditing:", "textEditorDidChange:",
                  "textEditor:shouldResizeBy:", "alertView:clickedButtonAtIndex:"});
    c.method("post", &DZTextBarController::post)
        .method("cancel", &DZTextBarController::cancel)
        .method("showAnimationDidStop", &DZTextBarController::showAnimationDidStop)
        .method("dismissAnimationDidStop", &DZTextBarController::dismissAnimationDidStop);
}

bool DZTextBarController::initWithNavigatorURL(NSURL*, NSDictionary* query) {
    if (!initWithNibName(nullptr, nullptr)) return false;
    if (query) {
        if (auto d = query->objectForKey(NS("delegate"))) delegate_ = d.get();
        if (auto text = as<NSString>(query->objectForKey(NS("text")))) defaultText_ = text->copy();
    }
    return true;
}

void DZTextBarController::dealloc() {
    result_ = nullptr;
    defaultText_ = nullptr;
    footerBar_ = nullptr;
    previousRightBarButtonItem_ = nullptr;
    DZPopupViewController::dealloc();
}

DZTextBarDelegate* DZTextBarController::delegateFor(const char* selector) {
    auto d = delegate_.lock();
    if (!d || !respondsTo(d.get(), sel(selector))) return nullptr;
    return dynamic_cast<DZTextBarDelegate*>(d.get());
}

void DZTextBarController::dismissAnimationDidStop() {
    selfHold_ = nullptr;
}

void DZTextBarController::dismissWithCancel() {
    Ref<DZTextBarController> self(this);
    if (auto* p = delegateFor("textBarDidCancel:")) p->textBarDidCancel(this);
    dismissPopupViewControllerAnimated(true);
}

Ref<DZTextEditor> DZTextBarController::textEditor() {
    if (!textEditor_) {
        textEditor_ = make<DZTextEditor>(&DZTextEditor::initWithFrame, CGRectZero);
        textEditor_->setDelegate(this);
        textEditor_->setStyle(
            DZStyleSheet::globalStyleSheet()->styleWithSelector(NS("textBarTextField")).get());
        textEditor_->setBackgroundColor(UIColor::clearColor().get());
        textEditor_->setAutoresizesToText(true);
        textEditor_->setMaxNumberOfLines(kMaxLines);
        textEditor_->setFont(UIFont::systemFontOfSize(16).get());
    }
    return textEditor_;
}

Ref<DZButton> DZTextBarController::postButton() {
    if (!postButton_) {
        auto title = NSBundle::mainBundle()->localizedStringForKey(NS("Post"), nullptr, nullptr);
        postButton_ = DZButton::buttonWithStyle(NS("textBarPostButton:"), title.get());
        postButton_->addTarget(this, sel("post"), UIControlEventTouchUpInside);
        postButton_->setEnabled(false);
    }
    return postButton_;
}

void DZTextBarController::loadView() {
    CGRect screen = DZOrientedScreenBounds();
    CGFloat W = screen.size.width, H = screen.size.height;
    auto view = make<UIView>(&UIView::initWithFrame, CGRectZero);
    setView(view.get());

    textBar_ = make<DZView>(&DZView::initWithFrame, CGRectZero);
    textBar_->setStyle(DZStyleSheet::globalStyleSheet()->styleWithSelector(NS("textBar")).get());
    view->addSubview(textBar_.get());
    auto editor = textEditor();
    auto button = postButton();
    textBar_->addSubview(editor.get());
    textBar_->addSubview(button.get());

    button->sizeToFit();
    CGFloat buttonWidth = width(button.get());
    button->setFrame(CGRectMake(W - (buttonWidth + 5), 6, buttonWidth, 0));
    editor->setFrame(CGRectMake(5, 1, W - (buttonWidth + 10), 0));
    editor->sizeToFit();
    CGFloat editorHeight = height(editor.get());
    setHeight(button.get(), editorHeight - 8);
    textBar_->setFrame(CGRectMake(0, 0, W, editorHeight + 2));
    view->setFrame(
        CGRectMake(0, H - (DZCurrentKeyboardHeight() + editorHeight), W, editorHeight + 2));
    if (footerBar_) {
        footerBar_->setFrame(CGRectMake(0, height(textBar_.get()), W, height(footerBar_.get())));
        view->addSubview(footerBar_.get());
        setTop(view.get(), top(view.get()) - height(footerBar_.get()));
        setHeight(view.get(), height(view.get()) + height(footerBar_.get()));
        footerBar_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    }
    view->setAutoresizingMask(static_cast<UIViewAutoresizing>(UIViewAutoresizingFlexibleWidth |
                                                              UIViewAutoresizingFlexibleTopMargin));
    button->setAutoresizingMask(static_cast<UIViewAutoresizing>(
        UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleTopMargin));
    editor->setAutoresizingMask(UIViewAutoresizingFlexibleRightMargin);
    textBar_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
}

void DZTextBarController::viewDidUnload() {
    DZPopupViewController::viewDidUnload();
    textBar_ = nullptr;
    textEditor_ = nullptr;
    postButton_ = nullptr;
    previousRightBarButtonItem_ = nullptr;
}

bool DZTextBarController::persistView(NSMutableDictionary* state) {
    DZPersistEditorState(state, delegate_.lock().get(), textEditor()->text().get(), this);
    return DZPopupViewController::persistView(state);
}

void DZTextBarController::restoreView(NSDictionary* state) {
    DZPopupViewController::restoreView(state);
    auto restored = DZRestoreEditorState(state, this);
    if (restored.delegate) delegate_ = restored.delegate.get();
    if (restored.text) defaultText_ = restored.text;
}

void DZTextBarController::showInView(UIView* host, bool) {
    auto view = this->view();
    view->setTransform(DZOrientationRotationTransform(DZCurrentOrientation()));
    host->addSubview(view.get());
    // The default text stays held after it is shown, so that Cancel on untouched text closes
    // without asking.
    if (defaultText_)
        textEditor()->setText(defaultText_.get());
    else
        defaultText_ = textEditor()->text();
    setTop(view.get(), height(view->superview().get()));
    textEditor()->becomeFirstResponder();
}

void DZTextBarController::dismissPopupViewControllerAnimated(bool animated) {
    Ref<DZTextBarController> self(this);
    if (animated) {
        textEditor()->resignFirstResponder();
        return;
    }
    view()->removeFromSuperview();
    if (auto super = superController(this)) {
        setPopupViewController(super.get(), nullptr);
        super->viewWillAppear(false);
        super->viewDidAppear(false);
    }
}

void DZTextBarController::textEditorDidBeginEditing(DZTextEditor*) {
    selfHold_ = this;
    auto view = this->view();
    originTop_ = top(view.get());
    if (auto host = ::viewController(view.get())) {
        auto item = host->navigationItem();
        hostItem_ = item.get();
        previousRightBarButtonItem_ = item->rightBarButtonItem();
        auto cancelItem = make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                                UIBarButtonSystemItemCancel,
                                                static_cast<NSObject*>(this), sel("cancel"));
        item->setRightBarButtonItem(cancelItem.get(), true);
    }
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(kSlideDuration);
    UIView::setAnimationDelegate(this);
    UIView::setAnimationDidStopSelector(sel("showAnimationDidStop"));
    setTop(view.get(), frameWithKeyboardSubtracted(view->superview().get(), 0).size.height -
                           height(view.get()));
    UIView::commitAnimations();
    if (auto* p = delegateFor("textBarDidBeginEditing:")) p->textBarDidBeginEditing(this);
}

void DZTextBarController::textEditorDidEndEditing(DZTextEditor*) {
    if (auto item = hostItem_.lock())
        item->setRightBarButtonItem(previousRightBarButtonItem_.get(), true);
    previousRightBarButtonItem_ = nullptr;
    hostItem_ = nullptr;
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(kSlideDuration);
    UIView::setAnimationDelegate(this);
    UIView::setAnimationDidStopSelector(sel("dismissAnimationDidStop"));
    setTop(view().get(), originTop_);
    UIView::commitAnimations();
    if (auto* p = delegateFor("textBarDidEndEditing:")) p->textBarDidEndEditing(this);
}

void DZTextBarController::textEditorDidChange(DZTextEditor* editor) {
    postButton()->setEnabled(editor->text()->length() > 0);
}

bool DZTextBarController::textEditorShouldResizeBy(DZTextEditor*, CGFloat delta) {
    auto view = this->view();
    CGRect frame = view->frame();
    frame.origin.y -= delta;
    frame.size.height += delta;
    view->setFrame(frame);
    setHeight(textBar_.get(), height(textBar_.get()) + delta);
    if (footerBar_) setTop(footerBar_.get(), top(footerBar_.get()) + delta);
    return true;
}

void DZTextBarController::alertViewClickedButtonAtIndex(UIAlertView*, NSInteger index) {
    if (index == 0) dismissWithCancel();
}

void DZTextBarController::post() {
    Ref<DZTextBarController> self(this);
    auto text = textEditor()->text();
    bool shouldDismiss = willPostText(text.get());
    if (auto* p = delegateFor("textBar:willPostText:"))
        shouldDismiss = p->textBarWillPostText(this, text.get());
    textEditor()->setText(NS(""));
    postButton()->setEnabled(false);
    if (shouldDismiss)
        dismissWithResult(nullptr, true);
    else
        showActivity(titleForActivity().get());
}

void DZTextBarController::cancel() {
    if (DZCancelsWithoutAsking(textEditor()->text().get(), defaultText_.get()))
        dismissWithCancel();
    else
        DZShowCancelAlert(this);
}

void DZTextBarController::dismissWithResult(NSObject* result, bool) {
    result_ = result;
    dismissPopupViewControllerAnimated(true);
}

void DZTextBarController::failWithError(NSError* error) {
    showActivity(nullptr);
    DZShowErrorAlert(titleForError(error).get());
}
