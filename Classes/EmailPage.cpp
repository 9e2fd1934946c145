#include "Classes/EmailPage.h"

#include "Classes/ItemPage.h"
#include "Classes/Regex.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSURL.h"

Ref<NSString> EmailPage::getVerificationUrl() {
    auto page = getPage();
    if (!page) return nullptr;
    return Regex::getMatch(page.get(), NS("<iframe[^<]*src=\"([^\"]*)\""));
}

Ref<NSString> EmailPage::getActionUrl() {
    auto page = getPage();
    if (!page) return nullptr;
    auto action = Regex::getMatch(page.get(), NS("action=\"([^\"]*)\""));
    return ItemPage::actionUrlOnHost(url_.get(), action.get());
}

void EmailPage::validateCode(NSString* code, NKHTTPRequestDelegate* listner) {
    auto values = NSMutableDictionary::dictionaryWithCapacity(10);
    // A missing key or code goes as empty text: the site then answers with its own error page
    // instead of the post going out without the field.
    auto replyKey = getInputValue(NS("replyKey"));
    values->setObject(replyKey ? replyKey.get() : NS(""), NS("replyKey"));
    values->setObject(code ? code : NS(""), NS("recaptcha_challenge_field"));
    values->setObject(NS("manual_challenge"), NS("recaptcha_response_field"));
    auto action = getActionUrl();
    postData(values.get(), 1, listner, action.get());
}

Ref<NSString> EmailPage::getEmail() {
    auto reply = getReply();
    if (!reply) return nullptr;
    return Regex::getMatch(reply.get(), NS("Reply to: <a[^>]*>([^<]*)</a>"));
}
