#include "Classes/PostingSupport.h"

#include <string>

#include "Classes/NoticewallAppDelegate.h"
#include "Classes/PostInfo.h"
#include "Classes/PostPage.h"
#include "Classes/PostSection.h"
#include "Classes/RequestInFlight.h"
#include "Classes/Theme.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITableViewCell.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "json/NSString+HTML.h"

namespace posting {

Ref<UITableViewCell> choiceCell(UITableView* table, PostSection* section) {
    auto cell = table->dequeueReusableCellWithIdentifier(NS("Cell"));
    if (!cell) {
        cell = alloc<UITableViewCell>();
        cell->initWithStyle(UITableViewCellStyleDefault, NS("Cell"));
    }
    cell->textLabel()->setText(section ? section->name() : nullptr);
    cell->textLabel()->setFont(UIFont::boldSystemFontOfSize(17));
    cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
    return cell;
}

Ref<NSMutableDictionary> choiceForm(PostSection* section, PostPage* shown) {
    auto form = NSMutableDictionary::dictionaryWithCapacity(10);
    auto value = section->value();
    if (section->key()) form->setObject(value ? value.get() : NS(""), section->key());
    if (shown) shown->addSignatureToValues(form);
    form->setObject(NS("Continue"), NS("go"));
    return form;
}

void showMessage(NSString* message) {
    if (auto app = NoticewallAppDelegate::sharedDelegate()) app->showMessage(message);
}

NSString* phoneVerificationMessage() {
    return NS(
        "Bazaarnest requires an account, verified by phone, for posting in this categorie. "
        "Please visit Bazaarnest website to verify your account.");
}

bool refuseStep(NSString* action) {
    if (PostInfo::isStepOut(action)) {
        // Taken away when that step ends, so that what became of the earlier ad shows at once.
        if (auto app = NoticewallAppDelegate::sharedDelegate())
            PostInfo::addWaitAlert(
                action, app->showNotice(NS("An earlier ad of this posting is still being sent. "
                                           "Nothing more is sent until the site has answered "
                                           "about it."))
                            .get());
        return true;
    }
    if (!PostInfo::hasSessionEnded(action)) return false;
    showMessage(
        NS("This form cannot be sent: the posting it belongs to was completed by an earlier ad. "
           "To post this ad, start again from New Ads."));
    return true;
}

bool sendChoice(NSObject* sender, NKHTTPRequestDelegate* listener, RequestInFlight& requests,
                PostSection* section, PostPage* shown, PostPage* answer, NSObject* sentFor) {
    auto action = shown->getActionUrl();
    if (refuseStep(action.get())) return false;
    auto send = [&] { answer->postData(choiceForm(section, shown), 1, listener, action); };
    if (!requests.send(answer, send, sentFor)) return false;
    PostInfo::setStepOut(action.get(), sender, answer->request().get());
    return true;
}

Ref<NSString> plainText(NSString* html) {
    if (!html) return NS("");
    std::string in = html->utf8(), out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '<') {
            size_t end = in.find('>', i);
            if (end != std::string::npos) {
                out += ' ';
                i = end;
                continue;
            }
        }
        out += in[i];
    }
    auto decoded = stringByDecodingHTMLEntities(NSString::fromUTF8(out.c_str()));
    return decoded->stringByTrimmingCharactersInSet(
        NSCharacterSet::whitespaceAndNewlineCharacterSet());
}

Ref<NSString> failureText(NSString* html) {
    auto plain = plainText(html);
    return plain->length() > 0 ? plain : Ref<NSString>(NS("Post Failed"));
}

bool isRefusal(NKHTTPRequest* request) {
    return request && request->responseStatusCode() >= 400;
}

}  // namespace posting
