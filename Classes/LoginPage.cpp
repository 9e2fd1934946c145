#include "Classes/LoginPage.h"

#include <vector>

#include "Classes/NoticewallAppDelegate.h"
#include "Classes/Regex.h"
#include "Classes/SiteHosts.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSHTTPCookie.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"

namespace {

// The abandoned login still out, and the logins waiting for its end.
struct AbandonedLogin {
    Weak<LoginPage> out;
    std::vector<Ref<LoginPage>> waiting;
};

AbandonedLogin& abandonedLogin() {
    static ProcessWide<AbandonedLogin> slot;
    return *slot.get();
}

}  // namespace

void LoginPage::describeClass(RuntimeClass& c) {
    c.implements({"requestStarted:", "requestReceivedResponseHeaders:", "requestFinished:",
                  "requestFailed:"});
}

void LoginPage::login(NSString* email, NSString* password, LoginListner* listner) {
    email_ = email;
    password_ = password;
    listner_ = listner;
    state_ = kStateAccountPage;
    running_ = this;
    auto& abandoned = abandonedLogin();
    if (auto out = abandoned.out.lock(); out && out->isRunning() && out.get() != this) {
        abandoned.waiting.push_back(this);
        return;
    }
    fetchAccountPage();
}

void LoginPage::fetchAccountPage() {
    // The account service's page sets the browser cookie that the login form needs.
    downloadPage(NSString::stringWithFormat(NS("https://%@"), SiteHosts::accountHost()), this);
}

void LoginPage::abandon() {
    abandoned_ = true;
    // One abandoned login at a time is waited for: one still waiting itself starts with the rest.
    auto& abandoned = abandonedLogin();
    if (auto out = abandoned.out.lock(); running_ && !(out && out->isRunning()))
        abandoned.out = this;
}

void LoginPage::loginWithVerification(NSString* email, NSString* password, LoginListner* listner,
                                      NSString* code) {
    // The form goes out with the credentials of the login that met the captcha; the arguments
    // only fill in when this page never started one (an empty field rather than a failed post).
    if (!email_) email_ = email;
    if (!password_) password_ = password;
    if (!listner_) listner_ = listner;
    running_ = this;
    postLoginForm(code ? code : NS(""));
    state_ = kStateLoginPosted;
}

Ref<NSString> LoginPage::getActionUrl() {
    return NSString::stringWithFormat(NS("https://%@/login"), SiteHosts::accountHost());
}

Ref<NSString> LoginPage::getVerificationUrl() {
    return Regex::getMatch(getReply(), NS("<iframe[^<]*src=\"([^\"]*)\""));
}

void LoginPage::postLoginForm(NSString* code) {
    auto form = NSMutableDictionary::dictionaryWithCapacity(8);
    form->setObject(NS("confirmation"), NS("step"));
    form->setObject(NS("/"), NS("originalURI"));
    form->setObject(NS(""), NS("rt"));
    form->setObject(NS(""), NS("rp"));
    form->setObject(email_ ? email_.get() : NS(""), NS("inputEmailHandle"));
    form->setObject(password_ ? password_.get() : NS(""), NS("inputPassword"));
    if (code) {
        form->setObject(code, NS("recaptcha_challenge_field"));
        form->setObject(NS("manual_challenge"), NS("recaptcha_response_field"));
    }
    postData(form, 1, this, getActionUrl());
}

void LoginPage::requestStarted(NKHTTPRequest* request) {
    (void)request;
}

void LoginPage::requestReceivedResponseHeaders(NKHTTPRequest* request) {
    (void)request;
}

void LoginPage::forgetSiteLogin() {
    auto storage = NSHTTPCookieStorage::sharedHTTPCookieStorage();
    auto url =
        NSURL::URLWithString(NSString::stringWithFormat(NS("http://%@"), SiteHosts::domain()));
    auto cookies = storage->cookiesForURL(url);
    if (!cookies) return;
    for (NSObject* cookie : *cookies)
        storage->deleteCookie(static_cast<NSHTTPCookie*>(cookie));
}

void LoginPage::endAbandoned() {
    running_ = nullptr;
    auto listner = listner_;
    listner_ = nullptr;
    // Whatever the site set on the way (its browser cookie, an account session) goes again.
    forgetSiteLogin();
    std::vector<Ref<LoginPage>> waiting;
    if (auto& abandoned = abandonedLogin(); abandoned.out.lock().get() == this) {
        abandoned.out = nullptr;
        waiting.swap(abandoned.waiting);
    }
    if (listner) listner->loginDone(false);
    for (auto& next : waiting)
        next->fetchAccountPage();
}

void LoginPage::requestFinished(NKHTTPRequest* request) {
    (void)request;
    Ref<LoginPage> keep = this;
    if (abandoned_) {
        // An account page fetched for an abandoned login posts no form; a posted form's answer
        // may have logged the account in, which the person did not want after all.
        endAbandoned();
        return;
    }
    if (state_ == kStateAccountPage) {
        postLoginForm(nullptr);
        state_ = kStateLoginPosted;
        return;
    }
    running_ = nullptr;
    auto delegate = NoticewallAppDelegate::sharedDelegate();
    auto listner = listner_;
    // The listener is held only while its login runs (a login screen that owns this page would
    // otherwise keep both alive); a captcha keeps the login running.
    listner_ = nullptr;
    auto text = getReply();
    if (!text) {
        // No page at all (nothing came, or nothing readable) proves nothing about the account:
        // the login failed, but the stored password stays.
        if (delegate) delegate->setLoginTime(nullptr);
        if (listner) listner->loginDone(false);
        if (delegate) delegate->showMessage(NS("Login Failed"));
        return;
    }
    auto greeting = NSString::stringWithFormat(NS("home of %@"), email_ ? email_.get() : NS(""));
    if (text->rangeOfString(greeting, NSCaseInsensitiveSearch).location == NSNotFound) {
        auto captchaApi =
            NSString::stringWithFormat(NS("%@/recaptcha/api"), SiteHosts::captchaHost());
        if (text->rangeOfString(captchaApi).location == NSNotFound) {
            if (delegate) delegate->setLoginTime(nullptr);
            if (listner) listner->loginDone(false);
            // A refused account name or password is not kept for the next visit.
            auto defaults = NSUserDefaults::standardUserDefaults();
            defaults->setObject(NS(""), NS("Password"));
            defaults->synchronize();
            if (delegate) delegate->showMessage(NS("Login Failed"));
        } else if (respondsTo(listner.get(), Selector::named("loginRequireVerification:"))) {
            listner_ = listner;
            listner->loginRequireVerification(this);
        } else {
            if (delegate) delegate->setLoginTime(nullptr);
            if (listner) listner->loginDone(false);
        }
        return;
    }
    if (delegate) delegate->setLoginTime(NSDate::date());
    if (listner) listner->loginDone(true);
}

void LoginPage::requestFailed(NKHTTPRequest* request) {
    (void)request;
    Ref<LoginPage> keep = this;
    if (abandoned_) {
        endAbandoned();
        return;
    }
    running_ = nullptr;
    auto delegate = NoticewallAppDelegate::sharedDelegate();
    if (delegate)
        delegate->showMessage(
            NS("Login: Network connection error. Please make sure clock is set correctly"));
    // The listener hears of the failure too: otherwise the login screen would wait for ever
    // (a refused certificate ends here as well). The stored password stays: nothing said it
    // was wrong.
    auto listner = listner_;
    listner_ = nullptr;
    if (delegate) delegate->setLoginTime(nullptr);
    if (listner) listner->loginDone(false);
}

void LoginPage::dealloc() {
    email_ = nullptr;
    password_ = nullptr;
    listner_ = nullptr;
    WebPage::dealloc();
}
