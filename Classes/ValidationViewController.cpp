#include "Classes/ValidationViewController.h"

#include "Classes/NoticewallAppDelegate.h"
#include "Classes/Theme.h"
#include "Classes/VerificationPage.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIImage.h"
#include "ui/style/DZImageView.h"

void ValidationViewController::describeClass(RuntimeClass& c) {
    c.implements({"requestStarted:", "requestReceivedResponseHeaders:", "requestFinished:",
                  "requestFailed:", "textFieldShouldReturn:", "imageViewDidStartLoad:",
                  "imageView:didLoadImage:", "imageView:didFailLoadWithError:"});
    c.method("doneButtonPressed:", &ValidationViewController::doneButtonPressed);
    c.method("cancelButtonPressed:", &ValidationViewController::cancelButtonPressed);
}

void ValidationViewController::setActivityIndicator(UIActivityIndicatorView* view) {
    activityIndicator_ = view;
}

Ref<ValidationViewController> ValidationViewController::presentOver(
    UIViewController* presenter, NSString* url, ValidationViewDelegate* delegate) {
    for (auto shown = presenter->presentedViewController(); shown;
         shown = shown->presentedViewController())
        if (is<ValidationViewController>(shown.get())) return nullptr;
    auto captcha = alloc<ValidationViewController>();
    captcha->initWithNibName(NS("ValidationViewController"), nullptr);
    captcha->setVerificationUrl(url);
    captcha->setDelegate(delegate);
    presenter->presentModalViewController(captcha, true);
    return captcha;
}

void ValidationViewController::viewDidLoad() {
    UIViewController::viewDidLoad();
    Theme::themeInit();
    if (auto theme = Theme::sys()) view()->setBackgroundColor(theme->viewBackground());
    // A view made again after a memory warning keeps the challenge the person may be answering
    // (its answer may be out) in the image view kept, and loads one only if none came; the
    // answer typed for it is put back.
    bool came = dzImageView_ && dzImageView_->urlPath();
    if (!came && !requests_.isOut()) {
        verificationPage_ = make<VerificationPage>();
        state_ = kStateLoadingChallenge;
        auto page = verificationPage_;
        requests_.start(page, [&] { page->downloadPage(verificationUrl_, this); });
    }
    if (verificationTextField_) {
        verificationTextField_->setText(answer_);
        verificationTextField_->becomeFirstResponder();
        focused_ = verificationTextField_.get();
        verificationTextField_->setDelegate(this);
    }
    if (!dzImageView_) {
        dzImageView_ = make<DZImageView>(&DZImageView::initWithFrame, CGRectMake(10, 65, 300, 57));
        dzImageView_->setDefaultImage(UIImage::imageNamed(NS("transparent.png")));
        dzImageView_->setAutoresizesToImage(false);
        dzImageView_->setHidden(true);
        dzImageView_->setDelegate(this);
    }
    view()->addSubview(dzImageView_);
    if (activityIndicator_ && !dzImageView_->isLoaded()) activityIndicator_->startAnimating();
}

void ValidationViewController::viewDidDisappear(bool animated) {
    UIViewController::viewDidDisappear(animated);
    // The delegate hears of the code only once the screen is gone, so that it can present the
    // next screen (a mail composer) from a window this one no longer covers.
    if (!verificationCode_) return;
    auto code = verificationCode_;
    verificationCode_ = nullptr;
    if (delegate_) delegate_->validationSuccess(code);
}

void ValidationViewController::viewDidAppear(bool animated) {
    UIViewController::viewDidAppear(animated);
    // The field focused at set-up takes the keyboard once the view is on the window.
    if (auto field = focused_.lock())
        if (!field->isFirstResponder()) field->becomeFirstResponder();
}

void ValidationViewController::viewDidUnload() {
    answer_ = verificationTextField_ ? verificationTextField_->text() : nullptr;
    verificationTextField_ = nullptr;
    UIViewController::viewDidUnload();
}

void ValidationViewController::showVerificationImage() {
    if (dzImageView_) dzImageView_->setUrlPath(verificationPage_->getImageFullUrl());
}

void ValidationViewController::doneButtonPressed(NSObject*) {
    // The code is in and the screen on its way out: the service takes an answer once. While
    // the challenge loads there is nothing to answer yet.
    if (verificationCode_ || requests_.isOut()) return;
    requests_.send(verificationPage_, [&] {
        state_ = kStateAnswerPosted;
        // The form encoder escapes the answer once: it goes out as typed.
        auto answer = verificationTextField_ ? verificationTextField_->text() : nullptr;
        verificationPage_->postAnswer(answer ? answer.get() : NS(""), this);
    });
}

void ValidationViewController::cancelButtonPressed(NSObject*) {
    Ref<ValidationViewController> keep = this;
    // The screen is gone with its challenge: a late answer is read into nothing.
    requests_.letGo();
    verificationCode_ = nullptr;
    dismissModalViewControllerAnimated(true);
    if (delegate_) delegate_->validationCanceled();
}

bool ValidationViewController::textFieldShouldReturn(UITextField*) {
    doneButtonPressed(nullptr);
    return true;
}

void ValidationViewController::requestFinished(NKHTTPRequest* request) {
    if (!requests_.ended(request)) return;
    if (state_ == kStateLoadingChallenge) {
        showVerificationImage();
        return;
    }
    verificationCode_ = verificationPage_->getVerificationCode();
    if (verificationCode_ && verificationCode_->length()) {
        dismissModalViewControllerAnimated(true);
        return;
    }
    // A wrong answer: the reply is a new challenge.
    verificationCode_ = nullptr;
    showVerificationImage();
}

void ValidationViewController::requestFailed(NKHTTPRequest* request) {
    if (!requests_.ended(request)) return;
    if (auto app = NoticewallAppDelegate::sharedDelegate())
        app->showMessage(NS("Network connection error"));
}

void ValidationViewController::imageViewDidStartLoad(DZImageView*) {
    if (activityIndicator_) activityIndicator_->startAnimating();
}

void ValidationViewController::imageViewDidLoadImage(DZImageView* view, UIImage*) {
    if (activityIndicator_) activityIndicator_->stopAnimating();
    view->setHidden(false);
    if (verificationTextField_) verificationTextField_->setText(NS(""));
}

void ValidationViewController::imageViewDidFailLoadWithError(DZImageView*, NSError*) {
    if (activityIndicator_) activityIndicator_->stopAnimating();
}

void ValidationViewController::dealloc() {
    if (dzImageView_) dzImageView_->setDelegate(nullptr);
    verificationUrl_ = nullptr;
    verificationPage_ = nullptr;
    delegate_ = nullptr;
    verificationCode_ = nullptr;
    UIViewController::dealloc();
}
