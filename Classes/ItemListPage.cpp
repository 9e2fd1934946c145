#include "ItemListPage.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "Foundation/Runtime.h"
#include "ItemInfo.h"
#include "ItemPage.h"
#include "MatchKit/MatchKit.h"
#include "Regex.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "json/NSString+HTML.h"

NSString* const StopItemPageNotification = NS("StopItemPageNotification");

void ItemListPage::describeClass(RuntimeClass& c) {
    c.method("receivedNotification:", &ItemListPage::receivedNotification);
}

void ItemListPage::registerForNotification() {
    auto center = NSNotificationCenter::defaultCenter();
    // One entry per page, however often it is started.
    center->removeObserver(this, StopItemPageNotification, nullptr);
    center->addObserver(this, Selector::named("receivedNotification:"), StopItemPageNotification,
                        nullptr);
}

void ItemListPage::deregisterForNotification() {
    NSNotificationCenter::defaultCenter()->removeObserver(this, StopItemPageNotification, nullptr);
}

void ItemListPage::receivedNotification(NSNotification* notification) {
    (void)notification;
    deregisterForNotification();
    if (request_) {
        request_->setDelegate(nullptr);
        request_->cancel();
    }
}

void ItemListPage::downloadPage(NSString* urlString, NKHTTPRequestDelegate* listner) {
    registerForNotification();
    WebPage::downloadPage(urlString, listner);
}

void ItemListPage::postData(NSDictionary* values, int format, NKHTTPRequestDelegate* listner,
                            NSString* urlString) {
    registerForNotification();
    WebPage::postData(values, format, listner, urlString);
}

namespace {

bool isEmpty(NSString* s) {
    return !s || s->length() == 0;
}

// The captured text and where it stands in the subject; nil text when nothing matched.
Ref<NSString> capture(NSString* subject, NSString* pattern, NSRange* where) {
    NSRange r = rangeOfRegex(subject, pattern, MTKRegexNoOptions, NSMakeRange(0, subject->length()),
                             1, nullptr);
    *where = r;
    if (r.location == NSNotFound) return nullptr;
    return subject->substringWithRange(r);
}

Ref<NSString> decoded(NSString* s) {
    return s ? stringByDecodingHTMLEntities(s) : nullptr;
}

Ref<ItemInfo> scrapeRow(NSString* segment) {
    auto row = segment->stringByReplacingOccurrencesOfString(NS("\n"), NS(" "));
    row = row->stringByReplacingOccurrencesOfString(NS("\r"), NS(" "));
    auto title = Regex::getMatch(row.get(), NS(">([^<]*)</a>"));
    auto link = Regex::getMatch(row.get(), NS("<a href=\"([^>]*)\">"));
    if (isEmpty(title.get()) || !link) return nullptr;

    auto item = make<ItemInfo>();
    auto text = decoded(title.get());
    auto price = Regex::getMatch(row.get(), NS("(\\$[0-9][0-9\\.]*)"));
    if (isEmpty(price.get())) {
        // Personals rows carry a code such as "m4w - 35" in the title instead of a price.
        NSRange where;
        price = capture(text.get(), NS("([wmt]4[wmt][- 0-9]*)"), &where);
        if (isEmpty(price.get())) price = capture(text.get(), NS("- ([0-9]*)"), &where);
        // Only the occurrence that was matched leaves the title; the same characters elsewhere
        // in it belong to the title.
        if (!isEmpty(price.get())) text = text->stringByReplacingCharactersInRange(where, NS(""));
    }
    item->setTitle(text.get());
    item->setPrice(price.get());
    item->setDetailUrl(link.get());
    item->setLocation(
        decoded(Regex::getMatch(row.get(), NS("<font size=\"-1\"> \\(([^<]*)\\)</font>")).get())
            .get());
    item->setExtraInfo(
        decoded(
            Regex::getMatch(row.get(), NS("<small class=\"gc\"><[^>]*>([^<>]*)</a></small>")).get())
            .get());
    return item;
}

}  // namespace

Ref<NSMutableArray> ItemListPage::getItemList() {
    auto items = NSMutableArray::arrayWithCapacity(100);
    auto page = getPage();
    if (!page) return items;
    auto segments = page->componentsSeparatedByString(NS("<p class=\"row\""));
    if (segments->count() <= 4) {
        auto paragraphs = page->componentsSeparatedByString(NS("<p>"));
        if (paragraphs->count() > segments->count()) segments = paragraphs;
    }
    for (NSUInteger i = 0; i < segments->count(); ++i) {
        if (auto item = scrapeRow(cast<NSString>(segments->objectAtIndex(i)).get()))
            items->addObject(item.get());
    }
    return items;
}

bool ItemListPage::hasMoreResults() {
    auto page = getPage();
    if (!page) return false;
    return page->rangeOfString(NS("<b>Next &gt;&gt;</b></a>")).location != NSNotFound ||
           page->rangeOfString(NS(">next 100 postings</a>")).location != NSNotFound;
}

void ItemListPage::dealloc() {
    deregisterForNotification();
    WebPage::dealloc();
}
