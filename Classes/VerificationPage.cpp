#include "Classes/VerificationPage.h"

#include "Classes/Regex.h"
#include "Classes/SiteHosts.h"
#include "Foundation/NSArray.h"

Ref<NSString> VerificationPage::apiBase() {
    return NSString::stringWithFormat(NS("http://%@%@"), SiteHosts::captchaHost(),
                                      SiteHosts::captchaApiPath());
}

Ref<NSString> VerificationPage::getImageUrl() {
    auto page = getPage();
    if (!page) return nullptr;
    return Regex::getMatch(page.get(), NS("src=\"([^\"]*)\"></center>"));
}

Ref<NSString> VerificationPage::getImageFullUrl() {
    auto path = getImageUrl();
    auto base = apiBase();
    return path ? base->stringByAppendingString(path.get()) : base;
}

Ref<NSString> VerificationPage::getChallengeField() {
    auto page = getPage();
    if (!page) return nullptr;
    return Regex::getMatch(page.get(), NS("id=\"recaptcha_challenge_field\" value=\"([^\"]*)\""));
}

Ref<NSString> VerificationPage::getVerificationCode() {
    auto page = getPage();
    if (!page) return nullptr;
    return Regex::getMatch(page.get(), NS("<textarea[^>]*>([^>]*)</textarea>"));
}

void VerificationPage::postAnswer(NSString* answer, NKHTTPRequestDelegate* listner) {
    auto challenge = getChallengeField();
    // The form encoder escapes every value once, so the answer goes out as typed (a blank
    // arrives as a blank, a typed "+" as a "+").
    Ref<NSString> response = answer ? answer : NS("");
    auto pairs = NSMutableArray::arrayWithCapacity(6);
    pairs->addObject(NS("recaptcha_challenge_field"));
    pairs->addObject(challenge ? challenge.get() : NS(""));
    pairs->addObject(NS("recaptcha_response_field"));
    pairs->addObject(response.get());
    pairs->addObject(NS("submit"));
    pairs->addObject(NS("I'm a human"));
    postDataArray(pairs.get(), 1, listner, nullptr);
}
