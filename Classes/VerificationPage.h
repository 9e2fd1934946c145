// The captcha service's pages, in its form for pages without scripts: the challenge page with
// its image and challenge field, and the result page that shows the verification code after a
// right answer (a wrong one gets a new challenge page).
#pragma once

#include "Classes/WebPage.h"

class VerificationPage : public WebPage {
    NS_OBJECT(VerificationPage, WebPage)

    // The service's current API base: "http://<captcha host>/recaptcha/api/".
    static Ref<NSString> apiBase();

    // The path of the challenge image, relative to the API base, or nil.
    Ref<NSString> getImageUrl();
    // The API base followed by the image path (the bare base when the page names none).
    Ref<NSString> getImageFullUrl();
    // The challenge token of the page, or nil.
    Ref<NSString> getChallengeField();
    // The code the service shows after a right answer, or nil (a new challenge instead).
    Ref<NSString> getVerificationCode();

    // Posts the answer to the challenge page's own URL (URL-encoded), with the page's
    // challenge; the answer and the button's text go out as typed, escaped once.
    void postAnswer(NSString* answer, NKHTTPRequestDelegate* listner);
};
