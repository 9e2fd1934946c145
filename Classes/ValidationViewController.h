// The captcha screen. Given the address of the captcha service's challenge page, it shows the
// challenge image, posts the user's answer to the service and hands the verification code the
// service returns to its delegate, which then posts the site's own form with it. Made from the
// interface "ValidationViewController" and presented modally. A view made again after a memory
// warning shows the same challenge and what was typed for it.
#pragma once

#include <cstdint>

#include "UIKit/UITextField.h"
#include "UIKit/UIViewController.h"
#include "external/nk-http-request/Classes/NKHTTPRequestDelegate.h"
#include "ui/style/DZImageViewDelegate.h"

#include "Classes/RequestInFlight.h"
#include "Classes/VerificationPage.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "ui/style/DZImageView.h"

// What the screens that ask for a captcha hear.
class ValidationViewDelegate {
public:
    virtual ~ValidationViewDelegate() = default;
    virtual void validationSuccess(NSString* code) = 0;
    virtual void validationCanceled() = 0;
};

class ValidationViewController : public UIViewController,
                                 public NKHTTPRequestDelegate,
                                 public DZImageViewDelegate,
                                 public UITextFieldDelegate {
    NS_OBJECT(ValidationViewController, UIViewController)
    static void describeClass(RuntimeClass& c);

public:
    enum : int32_t { kStateLoadingChallenge = 0, kStateAnswerPosted = 1 };

    // A captcha screen on the challenge page at `url`, presented over `presenter` (over what it
    // presents already) and answering to `delegate`. Nil, with nothing presented, while a
    // captcha screen shows there already: one challenge is answered at a time.
    static Ref<ValidationViewController> presentOver(UIViewController* presenter, NSString* url,
                                                     ValidationViewDelegate* delegate);

    void viewDidLoad() override;
    void viewDidDisappear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewDidUnload() override;

    // Posts the answer; no tap goes out while the challenge loads, the answer is out or its
    // code is in.
    void doneButtonPressed(NSObject* sender);
    void cancelButtonPressed(NSObject* sender);
    bool textFieldShouldReturn(UITextField* field) override;
    // Points the image view at the challenge image of the page last loaded.
    void showVerificationImage();

    void requestStarted(NKHTTPRequest*) override {}
    void requestReceivedResponseHeaders(NKHTTPRequest*) override {}
    void requestFinished(NKHTTPRequest* request) override;
    void requestFailed(NKHTTPRequest* request) override;

    void imageViewDidStartLoad(DZImageView* view) override;
    void imageViewDidLoadImage(DZImageView* view, UIImage* image) override;
    void imageViewDidFailLoadWithError(DZImageView* view, NSError* error) override;

    Ref<NSString> verificationUrl() { return verificationUrl_; }
    void setVerificationUrl(NSString* url) { verificationUrl_ = url; }
    Ref<UITextField> verificationTextField() { return verificationTextField_; }
    void setVerificationTextField(UITextField* field) { verificationTextField_ = field; }
    Ref<UIActivityIndicatorView> activityIndicator() { return activityIndicator_; }
    void setActivityIndicator(UIActivityIndicatorView* view);
    // Retained: the screen that asked may be gone from every stack while the captcha shows.
    Ref<ValidationViewDelegate> delegate() { return delegate_; }
    void setDelegate(ValidationViewDelegate* delegate) { delegate_ = delegate; }
    Ref<VerificationPage> verificationPage() { return verificationPage_; }
    Ref<DZImageView> imageView() { return dzImageView_; }
    Ref<NSString> verificationCode() { return verificationCode_; }
    int32_t state() { return state_; }

    void dealloc() override;

private:
    Ref<VerificationPage> verificationPage_;
    Ref<NSString> verificationUrl_;
    Ref<UITextField> verificationTextField_;
    Ref<NSString> verificationCode_;
    Ref<DZImageView> dzImageView_;
    int32_t state_ = kStateLoadingChallenge;
    RequestInFlight requests_;
    Ref<ValidationViewDelegate> delegate_;
    Ref<UIActivityIndicatorView> activityIndicator_;
    // The field the set-up focused.
    Weak<UIView> focused_;
    // What the person typed, kept while the view is let go: it stays with the challenge it
    // answers, which is not loaded again.
    Ref<NSString> answer_;
};
