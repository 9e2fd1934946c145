#include "Classes/PostPage.h"

#include "Classes/PostSection.h"
#include "Classes/Regex.h"
#include "Classes/SiteHosts.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "json/NSString+HTML.h"

namespace {

// Patterns span the page's lines only once the line ends are gone.
Ref<NSString> withoutLineEnds(NSString* text) {
    if (!text) return nullptr;
    return text->stringByReplacingOccurrencesOfString(NS("\r"), NS(""))
        ->stringByReplacingOccurrencesOfString(NS("\n"), NS(""));
}

bool contains(NSString* text, NSString* phrase) {
    return text->rangeOfString(phrase).location != NSNotFound;
}

struct TypePhrase {
    NSString* phrase;
    int32_t type;
};

}  // namespace

Ref<NSString> PostPage::getPostUrl() {
    return Regex::getMatch(getPage(), NS("href=\"([^\"]*)\">post to classifieds</a>"));
}

int32_t PostPage::getPostPageType() {
    auto page = getPage();
    if (!page) return kPostPageChooseType;
    // The first phrase found decides, so the order matters: a photo page that also carries
    // compose-like text is the photo page; a review page that mentions phone verification asks
    // for the verification.
    const TypePhrase phrases[] = {
        {NS("What type of posting is this:"), kPostPageChooseType},
        {NS("images to be displayed with this posting"), kPostPagePhotos},
        {NS("Please choose a category:"), kPostPageChooseCategory},
        {NS("These 4 categories work"), kPostPageChooseCategory},
        {NS("Which of these most closely matches"), kPostPageChooseCategory},
        {NS("Posting Description:"), kPostPageCompose},
        {NS("choose the area nearest you"), kPostPageChooseArea},
        {NS("Telephone Account Verification"), kPostPagePhoneVerification},
        {NS("Phone verified"), kPostPagePhoneVerification},
        {NS("To finalize your post"), kPostPageCaptcha},
        {NS("Please review and confirm"), kPostPageReview},
        {NS("MODIFICATIONS TO THIS AGREEMENT"), kPostPageTerms},
        {NS("You need to have a"), kPostPagePhoneVerification},
        {NS("needs to be authenticated by phone"), kPostPagePhoneVerification},
        {NS("Which of these locations fits best"), kPostPageChooseLocation},
        {NS("your email address is included in the body of your posting"), kPostPageEmailInBody},
    };
    for (const auto& p : phrases) {
        if (contains(page, p.phrase)) return p.type;
    }
    return kPostPageUnknown;
}

Ref<NSArray> PostPage::getSectionList() {
    auto list = NSMutableArray::arrayWithCapacity(10);
    auto page = getPage();
    if (!page) return list;
    if (contains(page, NS("bypass this step"))) {
        auto bypass = make<Regex>(&Regex::initWithMarks, page.get(),
                                  NS("<input type=\"radio\" name=\"([^\"]*)\" value=\"([^\"]*)\""
                                     "[^>]*><big>bypass this step</big>"),
                                  nullptr, nullptr);
        auto key = bypass->getMatchCapture(1);
        auto value = bypass->getMatchCapture(2);
        if (key && value) {
            auto section = make<PostSection>();
            section->setName(NS("Bypass this step"));
            section->setKey(key);
            section->setValue(value);
            list->addObject(section);
        }
    }
    auto rows =
        make<Regex>(&Regex::initWithMarks, page.get(),
                    NS("<input type=\"radio\" name=\"([^\"]*)\" value=\"([^\"]*)\"[^>]*>([^<]*)"),
                    nullptr, nullptr);
    auto blanks = NSCharacterSet::whitespaceAndNewlineCharacterSet();
    for (;;) {
        auto key = rows->getMatchCapture(1);
        auto value = rows->getMatchCapture(2);
        auto label = rows->getMatchCapture(3);
        if (!key || !value || !label) break;
        auto section = make<PostSection>();
        section->setName(stringByDecodingHTMLEntities(label)
                             ->capitalizedString()
                             ->stringByTrimmingCharactersInSet(blanks));
        section->setKey(key);
        section->setValue(value);
        list->addObject(section);
        rows->gotoNextMatch();
    }
    return list;
}

Ref<NSArray> PostPage::getCatagoryList() {
    return getSectionList();
}

Ref<NSArray> PostPage::getSuburbList() {
    return getSectionList();
}

Ref<NSString> PostPage::getTextAreaKey() {
    return Regex::getMatch(withoutLineEnds(getPage()), NS("<textarea[^<>]*name=\"([^\"]*)\""));
}

Ref<NSString> PostPage::getActionUrl() {
    auto action = Regex::getMatch(getPage(), NS("action=\"([^\"]*)\""));
    if (!action) return nullptr;
    if (contains(action, NS("http://")) || contains(action, NS("https://"))) return action;
    return NSString::stringWithFormat(NS("https://%@%@"), SiteHosts::postingHost(), action);
}

Ref<NSString> PostPage::getSubmitKey() {
    return Regex::getMatch(getPage(), NS("type=\"submit\"[^<>]*name=\"([^\"]*)\""));
}

Ref<NSArray> PostPage::getSignatureValueAndKey() {
    auto result = NSMutableArray::arrayWithCapacity(2);
    auto page = withoutLineEnds(getPage());
    if (!page) return result;
    auto signature = make<Regex>(
        &Regex::initWithMarks, page.get(),
        NS("<input type=\"hidden\" name=\"([^\"]{20,})\" value=\"([^\"]*)\">"), nullptr, nullptr);
    auto name = signature->getMatchCapture(1);
    auto value = signature->getMatchCapture(2);
    if (name && value) {
        result->addObject(name);
        result->addObject(value);
    }
    return result;
}

Ref<NSMutableDictionary> PostPage::getConfirmInputs() {
    auto inputs = NSMutableDictionary::dictionaryWithCapacity(10);
    auto page = getPage();
    if (!page) return inputs;
    auto walk = make<Regex>(&Regex::initWithMarks, page.get(),
                            NS("<input[^>]*name=\"([^>]*)\"[^>]*value=\"([^>]*)\""), NS("<form"),
                            NS("</form>"));
    for (;;) {
        auto name = walk->getMatchCapture(1);
        auto value = walk->getMatchCapture(2);
        if (!name || !value) break;
        inputs->setObject(value, name);
        walk->gotoNextMatch();
    }
    return inputs;
}

Ref<NSString> PostPage::getVerificationUrl() {
    return Regex::getMatch(getReply(), NS("<iframe[^<]*src=\"([^\"]*)\""));
}

Ref<NSString> PostPage::getErrorText() {
    auto page = getPage();
    if (!page) return nullptr;
    auto walk = make<Regex>(&Regex::initWithMarks, page.get(),
                            NS("<li class=\"error\">([^<]*)</li>"), nullptr, nullptr);
    auto blanks = NSCharacterSet::whitespaceAndNewlineCharacterSet();
    auto lines = NSMutableArray::arrayWithCapacity(4);
    for (auto entry = walk->getMatchCapture(1); entry; entry = walk->getMatchCapture(1)) {
        auto line = stringByDecodingHTMLEntities(entry)->stringByTrimmingCharactersInSet(blanks);
        if (line->length() > 0) lines->addObject(line);
        walk->gotoNextMatch();
    }
    if (lines->count() == 0) return nullptr;
    return lines->componentsJoinedByString(NS("\n"));
}

NSUInteger PostPage::getHeldPhotoCount() {
    auto page = getPage();
    if (!page) return 0;
    auto walk = make<Regex>(&Regex::initWithMarks, page.get(), NS("<img [^>]*src=\"([^\"]*)\""),
                            NS("<div class=\"uploaded\">"), NS("</div>"));
    NSUInteger held = 0;
    for (; walk->getMatchCapture(1); walk->gotoNextMatch())
        ++held;
    return held;
}

bool PostPage::addSignatureToPairs(NSMutableArray* pairs) {
    auto signature = getSignatureValueAndKey();
    if (signature->count() != 2) return false;
    pairs->addObject(signature->objectAtIndex(0));
    pairs->addObject(signature->objectAtIndex(1));
    return true;
}

bool PostPage::addSignatureToValues(NSMutableDictionary* values) {
    auto signature = getSignatureValueAndKey();
    if (signature->count() != 2) return false;
    values->setObject(signature->objectAtIndex(1), signature->objectAtIndex(0));
    return true;
}
