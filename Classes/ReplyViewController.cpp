#include "Classes/ReplyViewController.h"

#include "Classes/ItemInfo.h"
#include "Classes/PostingSupport.h"
#include "Classes/ReplyPage.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINavigationController.h"

namespace {

bool isEmpty(NSString* s) {
    return !s || s->length() == 0;
}

}  // namespace

void ReplyViewController::describeClass(RuntimeClass& c) {
    c.implements({"requestStarted:", "requestReceivedResponseHeaders:", "requestFinished:",
                  "requestFailed:", "textFieldShouldReturn:", "textViewShouldBeginEditing:",
                  "validationSuccess:", "validationCanceled"});
    c.method("sendButtonPressed:", &ReplyViewController::sendButtonPressed);
    c.method("cancelButtonPressed:", &ReplyViewController::cancelButtonPressed);
}

void ReplyViewController::viewDidLoad() {
    UIViewController::viewDidLoad();
    setTitle(NS("Reply Message"));
    Ref<NSString> email = typedEmail_;
    if (!email) email = NSUserDefaults::standardUserDefaults()->stringForKey(NS("Email"));
    if (emailTextField_) {
        if (email) emailTextField_->setText(email);
        emailTextField_->setDelegate(this);
    }
    if (messageTextView_) {
        messageTextView_->setDelegate(this);
        if (!isEmpty(typedMessage_)) {
            messageTextView_->setText(typedMessage_);
            if (messageLabel_) messageLabel_->setHidden(true);
        }
    }
    if (!isEmpty(email) && messageTextView_)
        focused_ = messageTextView_.get();
    else
        focused_ = emailTextField_.get();
    if (auto field = focused_.lock()) field->becomeFirstResponder();
    navigationItem()->setRightBarButtonItem(
        make<UIBarButtonItem>(&UIBarButtonItem::initWithTitle, NS("Send"), UIBarButtonItemStyleDone,
                              this, Selector::named("sendButtonPressed:")));
    navigationItem()->setLeftBarButtonItem(make<UIBarButtonItem>(
        &UIBarButtonItem::initWithTitle, NS("Cancel"), UIBarButtonItemStyleBordered, this,
        Selector::named("cancelButtonPressed:")));
    // The reply under way (its captcha asked) stays the one a view made again answers.
    if (!replyPage_) replyPage_ = make<ReplyPage>();
}

void ReplyViewController::viewDidAppear(bool animated) {
    UIViewController::viewDidAppear(animated);
    // The field focused at set-up takes the keyboard once the view is on the window.
    if (auto field = focused_.lock())
        if (!field->isFirstResponder()) field->becomeFirstResponder();
}

void ReplyViewController::viewWillUnload() {
    UIViewController::viewWillUnload();
    if (emailTextField_) typedEmail_ = emailTextField_->text();
    if (messageTextView_) typedMessage_ = messageTextView_->text();
}

void ReplyViewController::viewDidUnload() {
    emailTextField_ = nullptr;
    messageTextView_ = nullptr;
    messageLabel_ = nullptr;
    UIViewController::viewDidUnload();
}

void ReplyViewController::showAlert(NSString* title, NSString* message) {
    auto alert = alloc<UIAlertView>();
    alert->initWithTitle(title, message, nullptr, NS("OK"));
    alert->show();
}

void ReplyViewController::sendButtonPressed(NSObject*) {
    if (requests_.isOut()) return;
    auto email = emailTextField_ ? emailTextField_->text() : nullptr;
    if (isEmpty(email)) {
        showAlert(NS("Reply Error"), NS("Please enter your email address."));
        if (emailTextField_) emailTextField_->becomeFirstResponder();
        return;
    }
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject(email, NS("Email"));
    defaults->synchronize();
    auto message = messageTextView_ ? messageTextView_->text() : nullptr;
    if (isEmpty(message)) {
        showAlert(NS("Reply Error"), NS("Please enter a message."));
        if (messageTextView_) messageTextView_->becomeFirstResponder();
        return;
    }
    requests_.send(replyPage_, [&] {
        replyPage_->downloadPage(itemInfo_ ? itemInfo_->replyUrl() : nullptr, this);
    });
}

void ReplyViewController::showVerificationView(NSString* url) {
    ValidationViewController::presentOver(this, url, this);
}

bool ReplyViewController::textFieldShouldReturn(UITextField*) {
    if (messageTextView_) messageTextView_->becomeFirstResponder();
    return false;
}

bool ReplyViewController::textViewShouldBeginEditing(UITextView*) {
    if (messageLabel_) messageLabel_->setHidden(true);
    return true;
}

void ReplyViewController::requestFinished(NKHTTPRequest* request) {
    if (!requests_.ended(request)) return;
    if (state_ == kStateEditing) {
        // The form's page feeds this screen alone: left by Back, it asks for no captcha.
        if (navigationController()) showVerificationView(replyPage_->getVerificationUrl());
        return;
    }
    auto error = replyPage_->getReplyError();
    if (!isEmpty(error))
        showAlert(NS("Reply Error"), error);
    else
        showAlert(NS("Reply"), NS("Sussess"));
    held_ = nullptr;
}

void ReplyViewController::requestFailed(NKHTTPRequest* request) {
    if (!requests_.ended(request)) return;
    posting::showMessage(NS("Network connection error"));
    if (state_ == kStateReplied) held_ = nullptr;
}

void ReplyViewController::validationSuccess(NSString* code) {
    bool sent = requests_.send(replyPage_, [&] {
        state_ = kStateReplied;
        if (emailTextField_) typedEmail_ = emailTextField_->text();
        if (messageTextView_) typedMessage_ = messageTextView_->text();
        replyPage_->reply(typedEmail_ ? typedEmail_.get() : NS(""),
                          typedMessage_ ? typedMessage_.get() : NS(""), code, this);
    });
    if (!sent) return;
    // The screen leaves the stack now; its reply's result still comes back to it.
    held_ = this;
    if (auto nav = navigationController()) nav->popViewControllerAnimated(false);
}

void ReplyViewController::validationCanceled() {
    if (auto nav = navigationController()) nav->popViewControllerAnimated(false);
}

void ReplyViewController::cancelButtonPressed(NSObject*) {
    if (auto nav = navigationController()) nav->popViewControllerAnimated(true);
}

void ReplyViewController::dealloc() {
    itemInfo_ = nullptr;
    replyPage_ = nullptr;
    emailTextField_ = nullptr;
    messageTextView_ = nullptr;
    messageLabel_ = nullptr;
    UIViewController::dealloc();
}
