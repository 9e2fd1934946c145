// The site's reply page, read for answering a listing through the site's own reply form: the
// captcha frame, the form's hidden fields and message field, and the site's error after a post.
#pragma once

#include "Classes/WebPage.h"

class ReplyPage : public WebPage {
    NS_OBJECT(ReplyPage, WebPage)

    // The captcha frame's address; an address on the captcha service's former API base is
    // moved to its current one.
    Ref<NSString> getVerificationUrl();
    // The posting's id from the form, or nil.
    Ref<NSString> getOid();
    // The name of the message field, or nil.
    Ref<NSString> getTextAreaId();
    // The reply form's action as the page gives it, or nil.
    Ref<NSString> getActionUrl();
    // The site's error text up to its first point, or nil.
    Ref<NSString> getReplyError();
    // Posts the reply form (multipart) to its action: the page's hidden fields, the address
    // twice, the message and the captcha's code. A nil listener posts synchronously.
    void reply(NSString* email, NSString* message, NSString* code, NKHTTPRequestDelegate* listner);
};
