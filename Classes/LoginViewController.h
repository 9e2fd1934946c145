// The site account login overlay: the user types the account name and password, which are
// stored in the preferences, and the overlay runs a LoginPage with them. A captcha on the way
// is answered through the captcha screen. The overlay's view slides down from above onto the
// window and back up when done. Made from the interface "LoginViewController".
#pragma once

#include "Classes/LoginPage.h"
#include "Classes/RequestInFlight.h"
#include "Classes/ValidationViewController.h"
#include "UIKit/UIViewController.h"

#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITextField.h"

class LoginViewController : public UIViewController,
                            public LoginListner,
                            public ValidationViewDelegate {
    NS_OBJECT(LoginViewController, UIViewController)
    static void describeClass(RuntimeClass& c);

public:
    void viewDidLoad() override;

    // Fills the fields from the preferences and slides the view down to y 20. Shown again while
    // a cancelled login is still out, it says so: its Login takes no tap until that ends.
    void show();
    // Slides the view up out of sight; the view leaves its superview when that ends.
    void hide();
    // Between show() and hide(): the overlay is what the person sees, and its login the one
    // that counts.
    bool isShown() { return showing_ != nullptr; }
    void animationEnded(NSString* animationID);
    void saveSettings();

    // No tap goes out while the overlay's login is out: each login that ends moves the
    // posting screens on.
    void loginAction(NSObject* sender);
    // Closes the overlay and ends its login: whatever that login's answer, it changes nothing
    // the person sees.
    void cancelAction(NSObject* sender);
    // The interface is touched on the main thread only.
    void updateUI(NSString* result);

    void loginDone(bool success) override;
    void loginRequireVerification(LoginPage* page) override;
    void validationSuccess(NSString* code) override;
    void validationCanceled() override;

    Ref<UITextField> usernameTextField() { return usernameTextField_; }
    void setUsernameTextField(UITextField* v) { usernameTextField_ = v; }
    Ref<UITextField> passwordTextField() { return passwordTextField_; }
    void setPasswordTextField(UITextField* v) { passwordTextField_ = v; }
    Ref<UILabel> statusLabel() { return statusLabel_; }
    void setStatusLabel(UILabel* v) { statusLabel_ = v; }
    Ref<UIActivityIndicatorView> activityIndicator() { return activityIndicator_; }
    void setActivityIndicator(UIActivityIndicatorView* v);
    // Not retained: the listener (the posting start screen) keeps the overlay, not the other
    // way round.
    Ref<LoginListner> listner() { return listner_.lock(); }
    void setListner(LoginListner* listner) { listner_ = listner; }
    Ref<LoginPage> loginPage() { return loginPage_; }

    void dealloc() override;

private:
    Ref<UITextField> usernameTextField_;
    Ref<UITextField> passwordTextField_;
    Ref<UILabel> statusLabel_;
    Ref<UIActivityIndicatorView> activityIndicator_;
    Weak<LoginListner> listner_;
    Ref<LoginPage> loginPage_;
    RequestInFlight requests_;
    RequestInFlight::Ticket loginTicket_ = 0;
    // One showing of the overlay, from show() to hide(): what its login was sent for.
    Ref<NSObject> showing_;
    // Held from hide() until the view has left the window.
    Ref<LoginViewController> hiding_;
};
