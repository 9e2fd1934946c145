#include "Classes/ItemViewController.h"

#include "Classes/EmailPage.h"
#include "Classes/ItemInfo.h"
#include "Classes/ManagedStore.h"
#include "Classes/Mobilizer.h"
#include "Classes/MobilizerPage.h"
#include "Classes/NoticewallAppDelegate.h"
#include "Classes/ScreenSupport.h"
#include "Classes/SiteHosts.h"
#include "CoreData/NSManagedObjectContext.h"
#include "CoreData/NSPredicate.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIImage.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UISegmentedControl.h"
#include "analytics/TallyAPI.h"
#include "json/NSString+HTML.h"
#include "ui/core/DZWebController.h"

Ref<NSString> ItemViewController::storePageUrl() {
    return NSString::stringWithFormat(NS("http://%@/us/app/id%@?mt=8"), SiteHosts::storeWebHost(),
                                      kNoticewallAppStoreID);
}

namespace {

enum : NSInteger { kReplySheetTag = 0, kShareSheetTag = 1 };

bool isEmpty(NSString* s) {
    return !s || s->length() == 0;
}

NSString* orEmpty(NSString* s) {
    return s ? s : NS("");
}

// The listing's own texts go into markup of our making: a "<" in a title must show, not open a
// tag.
Ref<NSString> escaped(NSString* text) {
    if (!text) return NS("");
    return stringByEncodingHTMLEntities(text);
}

// A reply address is the site's reply page when it is a web address, in either scheme and any
// letter case ("HTTP://", "https://"); anything else is a mail address.
bool isWebAddress(NSString* address) {
    for (auto scheme : {NS("http://"), NS("https://")})
        if (address->rangeOfString(scheme, NSCaseInsensitiveSearch).location != NSNotFound)
            return true;
    return false;
}

}  // namespace

void ItemViewController::describeClass(RuntimeClass& c) {
    c.implements({"actionSheet:didDismissWithButtonIndex:",
                  "mailComposeController:didFinishWithResult:error:",
                  "messageComposeViewController:didFinishWithResult:", "webViewDidStartLoad:",
                  "webViewDidFinishLoad:", "webView:didFailLoadWithError:",
                  "webView:shouldStartLoadWithRequest:navigationType:", "requestStarted:",
                  "requestReceivedResponseHeaders:", "requestFinished:", "requestFailed:"});
    c.method("replyButtonPressed:", &ItemViewController::replyButtonPressed);
    c.method("starButtonPressed:", &ItemViewController::starButtonPressed);
    c.method("webButtonPressed:", &ItemViewController::webButtonPressed);
    c.method("shareButtonPressed:", &ItemViewController::shareButtonPressed);
    c.method("segmentedControlAction:", &ItemViewController::segmentedControlAction);
    c.property("currentIndex", &ItemViewController::currentIndex,
               &ItemViewController::setCurrentIndex);
    // The text button looks the message composer up by name, as on systems without one.
    MFMessageComposeViewController::staticClass();
    c.implements({"viewControllerForPresentingModalView", "adLoomDidReceiveAd:"});
}

bool ItemViewController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    if (!UIViewController::initWithNibName(nibName, bundle)) return false;
    if (auto app = NoticewallAppDelegate::sharedDelegate())
        managedObjectContext_ = app->managedObjectContext();
    return true;
}

// ---- showing a listing ---------------------------------------------------------------------

Ref<ItemInfo> ItemViewController::currentItem() {
    if (!itemArray_ || currentIndex_ < 0 ||
        static_cast<NSUInteger>(currentIndex_) >= itemArray_->count())
        return nullptr;
    return as<ItemInfo>(itemArray_->objectAtIndex(static_cast<NSUInteger>(currentIndex_)));
}

void ItemViewController::displayItems(NSArray* items, int32_t index) {
    rawWebView_ = false;
    itemArray_ = items;
    currentIndex_ = index;
    displayCurrentItem();
}

void ItemViewController::displayCurrentItem() {
    render(true);
}

void ItemViewController::itemUpdated(ItemInfo* item) {
    if (!item || rawWebView_ || item != currentItem().get()) return;
    render(false);
}

void ItemViewController::render(bool countPageView) {
    auto item = currentItem();
    if (!item) return;
    setTitle(NSString::stringWithFormat(NS("%d of %d"), currentIndex_ + 1,
                                        static_cast<int>(itemArray_->count())));
    updateSegmentedControl();
    updateStarButton();
    updateReplyButton();
    // A view loaded again while the site's page was chosen shows that page instead.
    if (webView_ && !rawWebView_) webView_->loadHTMLString(formatItemDisplay(item), nullptr);
    if (!countPageView) return;
    if (!isViewLoaded()) renderedBeforeViewLoaded_ = true;
    TallyAPI::countPageView();
}

Ref<NSString> ItemViewController::formatItemDisplay(ItemInfo* item) {
    auto page = NSMutableString::stringWithCapacity(10000);
    page->appendString(
        NS("<html><head><meta name=\"viewport\" content=\"width=device-width\" "
           "content=\"initial-scale=1.0\" /></head>"));
    page->appendString(NS(
        "<body id=content><style type=\"text/css\">body {font-size:15px; line-height: 1.5; "
        "margin:0px; padding:0px; background-color:#FFFFFF}body {font-family: helvetica, "
        "sans-serif}body {word-wrap: break-word}table {padding-left:5px; padding-right:5px}h1 "
        "{font-size:18px}object {max-width:300px}embed {max-width:300px}img {max-width:310px; "
        "height:auto}iframe {max-width:300px}table {max-width:320px}td {max-width:310px}a "
        "{word-wrap:word-break; work-break: break-all}p.time {color: grey; font-size:13px}p.price "
        "{color: red; font-size:15px; font-family:\"Marker Felt\"}p.location {color:rgb(100, "
        "122, 147); font-size:15px; font-weight:bold}hr.thin {width: 320px;height: 1px;border: "
        "0;background:rgb(100, 160, 230);} </style>"));
    page->appendFormat(NS("<table border=\"0\"><tr><td><b>%@</b></td></tr>"),
                       escaped(item->title()));
    if (!isEmpty(item->price()))
        page->appendFormat(NS("<tr><td><p class=\"price\">%@</p></td></tr>"),
                           escaped(item->price()));
    if (!isEmpty(item->location())) {
        Ref<NSString> place = item->location();
        if (!isEmpty(item->extraInfo()))
            place = NSString::stringWithFormat(NS("%@ - %@"), place, item->extraInfo());
        page->appendFormat(NS("<tr><td><p class=\"location\">%@</p></td></tr>"), escaped(place));
    }
    page->appendFormat(NS("<tr><td><p class=\"time\">%@</p></td></tr>"), escaped(item->time()));
    page->appendString(NS("</table><hr class=\"thin\">"));
    auto images = item->imageUrl();
    Ref<NSString> detail = item->detail();
    // A listing in the older format keeps the site's table of its photos in the body; the image
    // list below draws the same photos, so the table goes.
    if (images && images->count() > 0) detail = withoutHostedImages(detail);
    auto body = transcoding(detail);
    if (!body) {
        // Until the page arrives, or after it failed to, the refresh button fetches it again.
        body = NSString::stringWithFormat(
            NS("%@ <button style=\"font-size: 18px\" "
               "onClick=\"window.location='http://refreshthispost'\">Refresh</button>"),
            item->loadFailed() ? NS("This posting could not be loaded.") : NS("Loading ..."));
    }
    page->appendFormat(NS("<table style=\"word-wrap:word-break\"><tr><td>%@</td></tr></table>"),
                       body);
    if (images) {
        for (NSUInteger i = 0; i < images->count(); ++i)
            // The URLs come from the listing page's script: a quote in one must not end the
            // attribute.
            page->appendFormat(NS("<center><img src=\"%@\"><br/><br/></center>"),
                               escaped(as<NSString>(images->objectAtIndex(i)).get()));
    }
    page->appendString(NS("<br/><br/><br/><br/></body></html>"));
    return page->copy();
}

Ref<NSString> ItemViewController::withoutHostedImages(NSString* html) {
    if (!html) return nullptr;
    NSRange table = html->rangeOfString(NS("<table summary=\"bazaarnest hosted images\">"));
    if (table.location == NSNotFound) return html;
    auto rest = html->substringFromIndex(table.location);
    NSRange end = rest->rangeOfString(NS("</table>"), NSCaseInsensitiveSearch);
    auto head = html->substringToIndex(table.location);
    if (end.location == NSNotFound) return head;
    return head->stringByAppendingString(rest->substringFromIndex(end.location + end.length));
}

Ref<NSString> ItemViewController::transcoding(NSString* html) {
    if (!html) return nullptr;
    Ref<NSString> body = html;
    NSRange script = body->rangeOfString(NS("<!--\nimgList ="));
    if (script.location != NSNotFound) body = body->substringToIndex(script.location);
    return Mobilizer::mobilizer(body);
}

bool ItemViewController::isRichContent(NSString* html) {
    if (!html) return true;
    auto has = [&](NSString* s) {
        return html->rangeOfString(s, NSCaseInsensitiveSearch).location != NSNotFound;
    };
    return has(NS("<table")) && (has(NS("width=")) || has(NS("style=")));
}

void ItemViewController::updateSegmentedControl() {
    if (!segmentedControl_) return;
    segmentedControl_->setEnabled(true, 0);
    segmentedControl_->setEnabled(true, 1);
    if (currentIndex_ == 0) segmentedControl_->setEnabled(false, 0);
    if (itemArray_ && currentIndex_ == static_cast<int32_t>(itemArray_->count()) - 1)
        segmentedControl_->setEnabled(false, 1);
}

void ItemViewController::updateStarButton() {
    if (!starButton_) return;
    starButton_->setImage(
        UIImage::imageNamed(isCurrentItemFavorite() ? NS("staron32.png") : NS("staroff32.png")));
}

void ItemViewController::updateReplyButton() {
    if (!replyButton_) return;
    auto item = currentItem();
    replyButton_->setEnabled(item && (!isEmpty(item->replyUrl()) || !isEmpty(item->phoneNumber())));
}

// ---- favourites ----------------------------------------------------------------------------

Ref<NSMutableArray> ItemViewController::loadManagedObjects(NSString* entity, NSString* key,
                                                           bool ascending, NSPredicate* predicate) {
    return ManagedStore::loadManagedObjects(managedObjectContext_, entity, key, ascending,
                                            predicate);
}

bool ItemViewController::isCurrentItemFavorite() {
    auto item = currentItem();
    return item && ManagedStore::isFavorite(managedObjectContext_, item->detailUrl());
}

void ItemViewController::addCurrentItemToFavorite() {
    if (auto item = currentItem()) ManagedStore::addFavorite(managedObjectContext_, item);
}

void ItemViewController::removeCurrentItemFromFavorite() {
    if (auto item = currentItem())
        ManagedStore::removeFavorite(managedObjectContext_, item->detailUrl());
}

void ItemViewController::toggleCurrentItemFavorite() {
    if (isCurrentItemFavorite())
        removeCurrentItemFromFavorite();
    else
        addCurrentItemToFavorite();
}

// ---- actions -------------------------------------------------------------------------------

void ItemViewController::starButtonPressed(NSObject*) {
    toggleCurrentItemFavorite();
    updateStarButton();
}

void ItemViewController::webButtonPressed(NSObject*) {
    rawWebView_ = !rawWebView_;
    if (!rawWebView_) {
        displayCurrentItem();
        return;
    }
    showSitePage();
}

void ItemViewController::showSitePage() {
    auto item = currentItem();
    auto url = item && item->detailUrl() ? NSURL::URLWithString(item->detailUrl()) : nullptr;
    if (webView_ && url) webView_->loadRequest(NSURLRequest::requestWithURL(url));
    if (activityLabel_) activityLabel_->setHidden(false);
}

void ItemViewController::segmentedControlAction(NSObject*) {
    rawWebView_ = false;
    NSInteger segment = segmentedControl_ ? segmentedControl_->selectedSegmentIndex() : 0;
    int32_t last = itemArray_ ? static_cast<int32_t>(itemArray_->count()) - 1 : 0;
    if (segment != 0 && currentIndex_ < last) currentIndex_ += 1;
    if (segment == 0 && currentIndex_ >= 1) currentIndex_ -= 1;
    displayCurrentItem();
}

void ItemViewController::replyButtonPressed(NSObject*) {
    auto item = currentItem();
    if (!item) return;
    auto sheet = alloc<UIActionSheet>();
    sheet->initWithTitle(NS("Reply To This Post"), this, nullptr, nullptr);
    sheet->setTag(kReplySheetTag);
    if (!isEmpty(item->phoneNumber())) {
        sheet->addButtonWithTitle(NSString::stringWithFormat(NS("Call %@"), item->phoneNumber()));
        sheet->addButtonWithTitle(NSString::stringWithFormat(NS("Text %@"), item->phoneNumber()));
    }
    if (!isEmpty(item->replyUrl())) sheet->addButtonWithTitle(NS("Reply with Email"));
    sheet->setCancelButtonIndex(sheet->addButtonWithTitle(NS("Cancel")));
    sheet->showInView(view());
}

void ItemViewController::shareButtonPressed(NSObject*) {
    auto sheet = alloc<UIActionSheet>();
    sheet->initWithTitle(NS("Share this Post"), this, NS("Cancel"), nullptr,
                         {NS("Share by Email"), NS("Share by Text")});
    sheet->setTag(kShareSheetTag);
    sheet->showInView(view());
}

Ref<NSURL> ItemViewController::callUrl(NSString* phoneNumber) {
    // A number as the poster wrote it ("(617) 555-0142") is no valid URL: only its digits are
    // dialled, with a leading "+" kept.
    std::u16string digits;
    bool first = true;
    for (char16_t c : orEmpty(phoneNumber)->u16()) {
        if (c >= u'0' && c <= u'9')
            digits += c;
        else if (c == u'+' && first && digits.empty())
            digits += c;
        if (c != u' ') first = false;
    }
    if (digits.empty() || digits == u"+") return nullptr;
    return NSURL::URLWithString(
        NSString::stringWithFormat(NS("tel:%@"), NSString::fromUTF16(digits)));
}

void ItemViewController::actionSheetDidDismissWithButtonIndex(UIActionSheet* sheet,
                                                              NSInteger index) {
    auto item = currentItem();
    if (!item || index == sheet->cancelButtonIndex()) return;
    if (sheet->tag() == kReplySheetTag) {
        NSInteger callIndex = -1, textIndex = -1, mailIndex = -1;
        if (!isEmpty(item->phoneNumber())) {
            callIndex = 0;
            textIndex = 1;
            if (!isEmpty(item->replyUrl())) mailIndex = 2;
        } else if (!isEmpty(item->replyUrl())) {
            mailIndex = 0;
        }
        if (index == callIndex) {
            if (auto url = callUrl(item->phoneNumber()))
                UIApplication::sharedApplication()->openURL(url);
        } else if (index == textIndex) {
            presentMessageComposer(
                NSString::stringWithFormat(NS("I am interested in your bazaarnest post - %@"),
                                           orEmpty(item->title())),
                NSArray::arrayWithObject(item->phoneNumber()));
        } else if (index == mailIndex) {
            showReplyView();
        }
    } else if (sheet->tag() == kShareSheetTag) {
        if (index == 0)
            shareWithEmail();
        else if (index == 1)
            presentMessageComposer(
                NSString::stringWithFormat(NS("Bazaarnest: %@ %@"), orEmpty(item->title()),
                                           orEmpty(item->detailUrl())),
                nullptr);
    }
}

void ItemViewController::presentMessageComposer(NSString* body, NSArray* recipients) {
    Class composer = NSClassFromString(NS("MFMessageComposeViewController"));
    if (!composer || !MFMessageComposeViewController::canSendText()) return;
    auto message = make<MFMessageComposeViewController>();
    message->setBody(body);
    if (recipients) message->setRecipients(recipients);
    message->setMessageComposeDelegate(this);
    presentModalViewController(message, true);
}

void ItemViewController::showReplyView() {
    auto item = currentItem();
    if (!item || isEmpty(item->replyUrl())) return;
    if (auto known = ItemInfo::revealedAddress(item->replyUrl())) item->setReplyUrl(known);
    if (!isWebAddress(item->replyUrl())) {
        replyByEmail();
        return;
    }
    if (requests_.isOut()) {
        // The answer under way opens the composer for its own listing; another listing's reply
        // waits for it, and says so rather than seem to do nothing.
        auto app = NoticewallAppDelegate::sharedDelegate();
        if (app && revealing_ && revealing_ != item)
            app->showMessage(NSString::stringWithFormat(
                NS("The poster's address for \"%@\" is still on its way: reply to this listing "
                   "once it has come."),
                orEmpty(revealing_->title())));
        return;
    }
    // The reply page hides the poster's relay address behind the site's captcha.
    if (!emailPage_) emailPage_ = make<EmailPage>();
    emailPage_->downloadPageSync(item->replyUrl());
    auto frame = emailPage_->getVerificationUrl();
    // A page that did not come, or came without its captcha frame, has nothing to answer.
    if (!emailPage_->getPage() || isEmpty(frame)) {
        if (auto app = NoticewallAppDelegate::sharedDelegate())
            app->showMessage(NS("Network connection error"));
        return;
    }
    revealing_ = item;
    ValidationViewController::presentOver(this, frame, this);
}

void ItemViewController::validationSuccess(NSString* code) {
    if (emailPage_ && revealing_)
        requests_.send(
            emailPage_, [&] { emailPage_->validateCode(code, this); }, revealing_);
}

bool ItemViewController::isShowing(ItemInfo* item) {
    return item == currentItem().get() && isViewLoaded() && view()->window() &&
           !presentedViewController();
}

void ItemViewController::requestFinished(NKHTTPRequest* request) {
    auto answer = requests_.ended(request);
    if (!answer) return;
    revealing_ = nullptr;
    auto item = as<ItemInfo>(answer.sentFor.get());
    auto email = emailPage_ ? emailPage_->getEmail() : nullptr;
    if (!item || isEmpty(email)) return;
    // The address is the listing's whose page was read, for every later reply to it from any
    // list; the composer opens only over that listing, never over another one shown meanwhile.
    ItemInfo::keepRevealedAddress(item->replyUrl(), email);
    item->setReplyUrl(email);
    if (isShowing(item)) {
        replyByEmail();
        return;
    }
    if (auto app = NoticewallAppDelegate::sharedDelegate())
        app->showMessage(NSString::stringWithFormat(
            NS("The poster's address for \"%@\" has come: Reply with Email on that listing "
               "writes to them."),
            orEmpty(item->title())));
}

void ItemViewController::requestFailed(NKHTTPRequest* request) {
    if (!requests_.ended(request)) return;
    revealing_ = nullptr;
    if (activityLabel_) activityLabel_->setHidden(true);
    if (auto app = NoticewallAppDelegate::sharedDelegate())
        app->showMessage(NS("Network connection error"));
}

void ItemViewController::replyByEmail() {
    auto item = currentItem();
    // Without a mail account the composer cannot send: it is not shown at all.
    if (!item || !MFMailComposeViewController::canSendMail()) return;
    auto mail = make<MFMailComposeViewController>();
    mail->setMailComposeDelegate(this);
    mail->setToRecipients(NSArray::arrayWithObject(item->replyUrl()));
    mail->setSubject(NSString::stringWithFormat(NS("Re: %@"), orEmpty(item->title())));
    mail->setMessageBody(
        NSString::stringWithFormat(NS("<html><body><br/><br/>%@ <br/><br/></body></html>"),
                                   orEmpty(item->detailUrl())),
        true);
    presentModalViewController(mail, true);
}

void ItemViewController::shareWithEmail() {
    auto item = currentItem();
    if (!item || !MFMailComposeViewController::canSendMail()) return;
    auto mail = make<MFMailComposeViewController>();
    mail->setMailComposeDelegate(this);
    mail->setSubject(NSString::stringWithFormat(NS("Bazaarnest: %@"), orEmpty(item->title())));
    auto store = storePageUrl();
    mail->setMessageBody(NSString::stringWithFormat(
                             NS("<html><body>%@ <br/><br/>Sent from <a href=\"%@\">Bazaarnest "
                                "Mobile</a> for iPhone</body></html>"),
                             orEmpty(item->detailUrl()), store),
                         true);
    presentModalViewController(mail, true);
}

void ItemViewController::mailComposeControllerDidFinishWithResult(MFMailComposeViewController*,
                                                                  MFMailComposeResult, NSError*) {
    dismissModalViewControllerAnimated(true);
}

void ItemViewController::messageComposeViewControllerDidFinishWithResult(
    MFMessageComposeViewController*, MessageComposeResult result) {
    if (result == MessageComposeResultFailed) {
        auto alert = alloc<UIAlertView>();
        alert->initWithTitle(NS("Bazaarnet"), NS("Failed to send TEXT"), nullptr, NS("OK"));
        alert->show();
    }
    dismissModalViewControllerAnimated(true);
}

// ---- web view ------------------------------------------------------------------------------

bool ItemViewController::webViewShouldStartLoadWithRequest(UIWebView*, NSURLRequest* request,
                                                           UIWebViewNavigationType type) {
    auto url = request ? request->URL() : nullptr;
    if (type == UIWebViewNavigationTypeOther) {
        auto text = url ? url->absoluteString() : nullptr;
        if (text && text->rangeOfString(NS("refreshthispost")).location != NSNotFound) {
            if (auto item = currentItem()) item->reloadPage();
            displayCurrentItem();
            return false;
        }
        return true;
    }
    if (type == UIWebViewNavigationTypeLinkClicked) {
        auto browser = make<DZWebController>();
        browser->setStatusBarStyle(UIStatusBarStyleBlackOpaque);
        auto app = NoticewallAppDelegate::sharedDelegate();
        Ref<UINavigationController> nav = app ? app->navigationController() : nullptr;
        if (!nav) nav = navigationController();
        if (nav) nav->pushViewController(browser, true);
        browser->openRequest(request);
        return false;
    }
    return true;
}

void ItemViewController::webViewDidStartLoad(UIWebView*) {
    pageLoading_.setHeld(true);
}

void ItemViewController::webViewDidFinishLoad(UIWebView*) {
    pageLoading_.setHeld(false);
    if (activityLabel_) activityLabel_->setHidden(true);
}

void ItemViewController::webViewDidFailLoadWithError(UIWebView*, NSError*) {
    pageLoading_.setHeld(false);
    if (activityLabel_) activityLabel_->setHidden(true);
}

// ---- the banner ----------------------------------------------------------------------------

Ref<NSString> ItemViewController::adLoomApplicationKey() {
    return kAdLoomApplicationKey;
}

Ref<UIViewController> ItemViewController::viewControllerForPresentingModalView() {
    return Ref<UIViewController>(this);
}

void ItemViewController::requestBanner() {
    placeBanner(this, adsHolder_);
}

// ---- view life cycle -----------------------------------------------------------------------

void ItemViewController::viewDidLoad() {
    UIViewController::viewDidLoad();
    mobPage_ = make<MobilizerPage>();
    activityLabel_ = makeActivityLabel(NS("Loading Original Posting ..."), view());
    segmentedControl_ = make<UISegmentedControl>(&UISegmentedControl::initWithFrame, CGRectZero);
    segmentedControl_->insertSegmentWithImage(UIImage::imageNamed(NS("triangelup.png")), 0, false);
    segmentedControl_->insertSegmentWithImage(UIImage::imageNamed(NS("triangeldown.png")), 1,
                                              false);
    segmentedControl_->setMomentary(true);
    segmentedControl_->setSegmentedControlStyle(UISegmentedControlStyleBar);
    segmentedControl_->addTarget(this, Selector::named("segmentedControlAction:"),
                                 UIControlEventValueChanged);
    segmentedControl_->setFrame(CGRectMake(0, 0, 90, 30));
    navigationItem()->setRightBarButtonItem(
        make<UIBarButtonItem>(&UIBarButtonItem::initWithCustomView, segmentedControl_.get()));
    // The render made when the list handed its listings over was counted then.
    bool counted = renderedBeforeViewLoaded_;
    renderedBeforeViewLoaded_ = false;
    render(!counted);
    requestBanner();
    if (webView_) webView_->setDelegate(this);
    // The site's page the person chose outlives a view let go on a memory warning.
    if (rawWebView_) showSitePage();
}

void ItemViewController::viewDidUnload() {
    UIViewController::viewDidUnload();
    // The page's load goes with its view, and tells nobody.
    pageLoading_.setHeld(false);
    webView_ = nullptr;
    replyButton_ = nullptr;
    starButton_ = nullptr;
    webButton_ = nullptr;
    shareButton_ = nullptr;
    // The screen lives on (the result list keeps it): its banner goes with the view.
    removeBanners(adsHolder_);
    adsHolder_ = nullptr;
}

void ItemViewController::setWebView(UIWebView* v) {
    webView_ = v;
}
void ItemViewController::setReplyButton(UIBarButtonItem* v) {
    replyButton_ = v;
}
void ItemViewController::setStarButton(UIBarButtonItem* v) {
    starButton_ = v;
}
void ItemViewController::setWebButton(UIBarButtonItem* v) {
    webButton_ = v;
}
void ItemViewController::setShareButton(UIBarButtonItem* v) {
    shareButton_ = v;
}
void ItemViewController::setAdsHolder(UIView* v) {
    adsHolder_ = v;
}
void ItemViewController::setItemArray(NSArray* v) {
    itemArray_ = v;
}
void ItemViewController::setManagedObjectContext(NSManagedObjectContext* v) {
    managedObjectContext_ = v;
}

void ItemViewController::dealloc() {
    if (webView_) webView_->setDelegate(nullptr);
    webView_ = nullptr;
    replyButton_ = nullptr;
    starButton_ = nullptr;
    webButton_ = nullptr;
    shareButton_ = nullptr;
    segmentedControl_ = nullptr;
    itemArray_ = nullptr;
    managedObjectContext_ = nullptr;
    mobPage_ = nullptr;
    revealing_ = nullptr;
    activityLabel_ = nullptr;
    removeBanners(adsHolder_);
    adsHolder_ = nullptr;
    UIViewController::dealloc();
}
