// The site account login, performed like a browser: fetch the account service's page (for its
// cookies), then post the login form with the account name and password, and tell the listener
// how it went. The page is its own request delegate.
#pragma once

#include <cstdint>

#include "Classes/WebPage.h"
#include "external/nk-http-request/Classes/NKHTTPRequestDelegate.h"

class LoginPage;
class NSString;

// What a login reports. loginRequireVerification: is optional: a listener that answers it (named
// in its class description) is handed the page when the site asks for a captcha; one that does
// not simply hears loginDone(false).
class LoginListner {
public:
    virtual ~LoginListner() = default;
    virtual void loginDone(bool success) = 0;
    virtual void loginRequireVerification(LoginPage* page) { (void)page; }
};

class LoginPage : public WebPage, public NKHTTPRequestDelegate {
    NS_OBJECT(LoginPage, WebPage)
    static void describeClass(RuntimeClass& c);

public:
    // The steps of one login.
    enum : int32_t { kStateAccountPage = 0, kStateLoginPosted = 1 };

    // Keeps the three, then downloads the account service's page; the reply posts the form.
    void login(NSString* email, NSString* password, LoginListner* listner);
    // Posts the login form again with the captcha answer. The credentials are those the earlier
    // login kept (the arguments stand in only when there were none).
    void loginWithVerification(NSString* email, NSString* password, LoginListner* listner,
                               NSString* code);

    // The person cancelled the login (or logged out while it was out): its request runs out (the
    // site may be acting on it, and a second login meanwhile would race it), but its answer changes
    // nothing the person sees: no login time, no password cleared, no message, and the account
    // session a late success brings is let go again. The listener still hears that the login ended,
    // with NO. A login started while an abandoned one is out waits for it to end: that end lets go
    // of the site's cookies, and with them of the session the later login would have made.
    void abandon();
    bool isAbandoned() { return abandoned_; }
    // Started and not yet ended: the listener has still to hear how the login went.
    bool isRunning() { return running_ != nullptr; }
    // Lets go of the site's login: deletes every cookie of the site's bare root domain.
    static void forgetSiteLogin();

    // "https://" + the account host + "/login".
    Ref<NSString> getActionUrl();
    // The captcha frame's address in the reply, or nil.
    Ref<NSString> getVerificationUrl();

    // The page's own request() and the delegate callback request(request, data) share a name.
    using NKHTTPRequestDelegate::request;
    using WebPage::request;

    int32_t state() { return state_; }
    Ref<NSString> email() { return email_; }
    Ref<NSString> password() { return password_; }
    Ref<LoginListner> listner() { return listner_; }

    void requestStarted(NKHTTPRequest* request) override;
    void requestReceivedResponseHeaders(NKHTTPRequest* request) override;
    void requestFinished(NKHTTPRequest* request) override;
    void requestFailed(NKHTTPRequest* request) override;

    void dealloc() override;

private:
    void postLoginForm(NSString* code);
    void fetchAccountPage();

    // The answer of an abandoned login, applied to nothing.
    void endAbandoned();

    int32_t state_ = kStateAccountPage;
    bool abandoned_ = false;
    Ref<NSString> email_;
    Ref<NSString> password_;
    Ref<LoginListner> listner_;
    // The page keeps itself alive while its requests run: the request does not retain its
    // delegate, and the screen that starts a login with the stored account keeps no reference.
    Ref<LoginPage> running_;
};
