#include "Classes/LoginViewController.h"

#include "Foundation/NSString.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIWindow.h"
#include "ui/style/DZButton.h"

namespace {

constexpr NSTimeInterval kSlideSeconds = 0.3;

Ref<NSString> textOf(UITextField* field) {
    auto text = field ? field->text() : nullptr;
    return text ? text : Ref<NSString>(NS(""));
}

}  // namespace

void LoginViewController::describeClass(RuntimeClass& c) {
    c.implements(
        {"loginDone:", "loginRequireVerification:", "validationSuccess:", "validationCanceled"});
    c.method("loginAction:", &LoginViewController::loginAction);
    c.method("cancelAction:", &LoginViewController::cancelAction);
    c.method("updateUI:", &LoginViewController::updateUI);
    c.method("animationEnded:", &LoginViewController::animationEnded);
}

void LoginViewController::setActivityIndicator(UIActivityIndicatorView* v) {
    activityIndicator_ = v;
}

void LoginViewController::viewDidLoad() {
    UIViewController::viewDidLoad();
    auto add = [this](NSString* title, CGFloat x, const char* action) {
        auto button = DZButton::buttonWithStyle(NS("embossedButton:"), title);
        button->setFont(UIFont::boldSystemFontOfSize(17));
        button->setFrame(CGRectMake(x, 186, 90, 37));
        button->addTarget(this, Selector::named(action), UIControlEventTouchUpInside);
        view()->addSubview(button);
    };
    add(NS("Cancel"), 40, "cancelAction:");
    add(NS("Login"), 200, "loginAction:");
}

void LoginViewController::show() {
    auto defaults = NSUserDefaults::standardUserDefaults();
    if (usernameTextField_) usernameTextField_->setText(defaults->stringForKey(NS("Username")));
    if (passwordTextField_) passwordTextField_->setText(defaults->stringForKey(NS("Password")));
    showing_ = make<NSObject>();
    // The login of an earlier showing the person cancelled may still be out; else the overlay
    // starts as new.
    bool busy = requests_.controlIsOut();
    if (activityIndicator_)
        busy ? activityIndicator_->startAnimating() : activityIndicator_->stopAnimating();
    if (statusLabel_) statusLabel_->setText(busy ? NS("Login ...") : NS(""));
    view()->setFrame(CGRectMake(0, -150, 320, 600));
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(kSlideSeconds);
    UIView::setAnimationCurve(UIViewAnimationCurveEaseInOut);
    view()->setFrame(CGRectMake(0, 20, 320, 600));
    UIView::commitAnimations();
    if (usernameTextField_) usernameTextField_->becomeFirstResponder();
}

void LoginViewController::hide() {
    showing_ = nullptr;
    hiding_ = this;
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(kSlideSeconds);
    UIView::setAnimationCurve(UIViewAnimationCurveEaseInOut);
    UIView::setAnimationDelegate(this);
    UIView::setAnimationDidStopSelector(Selector::named("animationEnded:"));
    view()->setFrame(CGRectMake(0, -200, 320, 600));
    if (usernameTextField_) usernameTextField_->endEditing(true);
    if (passwordTextField_) passwordTextField_->endEditing(true);
    UIView::commitAnimations();
}

void LoginViewController::animationEnded(NSString*) {
    Ref<LoginViewController> keep = this;
    // Shown again while it slid away: it stays.
    if (isViewLoaded() && !isShown()) view()->removeFromSuperview();
    hiding_ = nullptr;
}

void LoginViewController::saveSettings() {
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject(textOf(usernameTextField_), NS("Username"));
    defaults->setObject(textOf(passwordTextField_), NS("Password"));
    defaults->synchronize();
}

void LoginViewController::loginAction(NSObject*) {
    auto page = make<LoginPage>();
    auto ticket = requests_.send(
        page,
        [&] {
            saveSettings();
            loginPage_ = page;
            page->login(textOf(usernameTextField_), textOf(passwordTextField_), this);
        },
        showing_);
    if (!ticket) return;
    loginTicket_ = ticket;
    if (activityIndicator_) activityIndicator_->startAnimating();
    if (statusLabel_) statusLabel_->setText(NS("Login ..."));
}

void LoginViewController::cancelAction(NSObject*) {
    Ref<LoginViewController> keep = this;
    if (!isShown()) return;
    hide();
    if (loginPage_ && requests_.isOut(loginTicket_)) loginPage_->abandon();
    if (auto listner = listner_.lock()) listner->loginDone(false);
}

void LoginViewController::loginDone(bool success) {
    performSelectorOnMainThread(Selector::named("updateUI:"), success ? NS("success") : NS(""),
                                false);
}

void LoginViewController::updateUI(NSString* result) {
    Ref<LoginViewController> keep = this;
    auto answer = requests_.ended(loginTicket_);
    if (activityIndicator_) activityIndicator_->stopAnimating();
    if (statusLabel_) statusLabel_->setText(NS(""));
    // The login of a showing the person cancelled ends here: the overlay, if shown again,
    // takes Login again.
    if (answer && !answer.isFor(showing_)) return;
    if (result && result->length()) {
        hide();
        if (auto listner = listner_.lock()) listner->loginDone(true);
        return;
    }
    if (statusLabel_) statusLabel_->setText(NS("Failed to login"));
}

void LoginViewController::loginRequireVerification(LoginPage* page) {
    // The login waits for the captcha's answer: nothing of the overlay's is out meanwhile.
    requests_.ended(loginTicket_);
    // The overlay sits on the window outside any controller's view: the captcha is presented
    // from the window's root screen.
    Ref<UIViewController> presenter = this;
    if (auto window = view()->window())
        if (auto root = window->rootViewController()) presenter = root;
    ValidationViewController::presentOver(presenter, page->getVerificationUrl(), this);
}

void LoginViewController::validationSuccess(NSString* code) {
    if (!loginPage_) loginPage_ = make<LoginPage>();
    auto page = loginPage_;
    auto ticket = requests_.send(
        page,
        [&] {
            page->loginWithVerification(textOf(usernameTextField_), textOf(passwordTextField_),
                                        this, code);
        },
        showing_);
    if (!ticket) return;
    loginTicket_ = ticket;
    if (activityIndicator_) activityIndicator_->startAnimating();
    if (statusLabel_) statusLabel_->setText(NS("Login ..."));
}

void LoginViewController::validationCanceled() {
    updateUI(nullptr);
}

void LoginViewController::dealloc() {
    loginPage_ = nullptr;
    usernameTextField_ = nullptr;
    passwordTextField_ = nullptr;
    statusLabel_ = nullptr;
    activityIndicator_ = nullptr;
    UIViewController::dealloc();
}
