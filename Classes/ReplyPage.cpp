#include "Classes/ReplyPage.h"

#include "Classes/Regex.h"
#include "Classes/SiteHosts.h"
#include "Classes/VerificationPage.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSURL.h"

Ref<NSString> ReplyPage::getVerificationUrl() {
    auto page = getPage();
    if (!page) return nullptr;
    auto address = Regex::getMatch(page.get(), NS("<iframe src=\"([^\"]*)\""));
    if (!address) return nullptr;
    auto former = NSString::stringWithFormat(NS("http://%@/"), SiteHosts::captchaFormerHost());
    if (!address->hasPrefix(former.get())) return address;
    return VerificationPage::apiBase()->stringByAppendingString(
        address->substringFromIndex(former->length()).get());
}

Ref<NSString> ReplyPage::getOid() {
    auto page = getPage();
    if (!page) return nullptr;
    return Regex::getMatch(page.get(), NS("name=\"oid\" value=\"([0-9]*)\">"));
}

Ref<NSString> ReplyPage::getTextAreaId() {
    auto page = getPage();
    if (!page) return nullptr;
    return Regex::getMatch(page.get(), NS("name=\"([^\"]*)\"></textarea>"));
}

Ref<NSString> ReplyPage::getActionUrl() {
    auto page = getPage();
    if (!page) return nullptr;
    return Regex::getMatch(page.get(), NS("name=\"formEmail\" action=\"([^\"]*)\""));
}

Ref<NSString> ReplyPage::getReplyError() {
    auto page = getReply();
    if (!page) return nullptr;
    return Regex::getMatch(page.get(), NS("<li class=\"error\">([^\\.]*)"));
}

void ReplyPage::reply(NSString* email, NSString* message, NSString* code,
                      NKHTTPRequestDelegate* listner) {
    // Read everything off the reply page before the post replaces its text.
    auto oid = getOid();
    auto messageName = getTextAreaId();
    auto action = getActionUrl();
    NSString* empty = NS("");
    auto pairs = NSMutableArray::arrayWithCapacity(16);
    auto add = [&](NSString* name, NSString* value) {
        pairs->addObject(name);
        pairs->addObject(value ? value : empty);
    };
    add(NS("oid"), oid.get());
    add(NS("layout"), empty);
    add(NS("pageState"), NS("reply"));
    add(NS("from"), email);
    add(NS("fromVerify"), email);
    // Without a message field on the page the message has nowhere to go; the site then
    // refuses the reply with its own error.
    if (messageName) add(messageName.get(), message);
    add(NS("recaptcha_challenge_field"), code);
    add(NS("recaptcha_response_field"), NS("manual_challenge"));
    postDataArray(pairs.get(), 0, listner, action.get());
}
