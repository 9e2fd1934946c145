// A listing's reply page hides the poster's relay address behind a captcha. This page finds
// the captcha frame, posts the captcha's code back with the page's reply key, and reads the
// "Reply to:" address from the answer.
#pragma once

#include "Classes/WebPage.h"

class EmailPage : public WebPage {
    NS_OBJECT(EmailPage, WebPage)

    // The captcha frame's address, or nil.
    Ref<NSString> getVerificationUrl();
    // The form's action on the reply page's own host, always over http; nil when the page has
    // no action.
    Ref<NSString> getActionUrl();
    // Posts the reply key and the captcha's code (URL-encoded); the answer goes to the
    // listener's request callbacks. Without a form action the post goes to the page's own URL,
    // as a browser sends a form that names none.
    void validateCode(NSString* code, NKHTTPRequestDelegate* listner);
    // The address after "Reply to: " in the answer, or nil.
    Ref<NSString> getEmail();
};
