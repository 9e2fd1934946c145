#include "ItemListPage.h"

#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "Foundation/Runtime.h"
#include "Foundation/UnitSearch.h"
#include "ItemInfo.h"
#include "ItemPage.h"
#include "MatchKit/MTKRegexList.h"
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

// The patterns of one row, in the order of their captures below; see getItemList.
enum RowField { kTitle, kLink, kPrice, kLocation, kExtra, kRowFields };

// The rules of one page, each looked up in the pattern cache once for the page, not once per row.
struct RowRules {
    MTKRegexList fields{
        {NS(">([^<]*)</a>"), 1},
        {NS("<a href=\"([^>]*)\">"), 1},
        {NS("(\\$[0-9][0-9\\.]*)"), 1},
        {NS("<font size=\"-1\"> \\(([^<]*)\\)</font>"), 1},
        {NS("<small class=\"gc\"><[^>]*>([^<>]*)</a></small>"), 1},
    };
    // Personals rows carry a code such as "m4w - 35" in the title instead of a price: the first
    // rule that captures text gives it.
    MTKRegexList code{{NS("([wmt]4[wmt][- 0-9]*)"), 1}};
    MTKRegexList number{{NS("- ([0-9]*)"), 1}};
};

bool isEmpty(NSString* s) {
    return !s || s->length() == 0;
}

// The captured text, a string made here that nothing else holds (the row's units are read in
// place, the only way the scraper's rows keep them); nil when nothing was captured.
Ref<NSString> captured(NSString* row, NSRange r) {
    if (r.location == NSNotFound) return nullptr;
    if (const char16_t* units = row->charactersPtr())
        return NSString::compactStringWithUnits(std::u16string_view(units + r.location, r.length));
    return regexCapturedText(row, r);
}

// Drops the scrape's own reference to a string or record it made and has just handed to the
// record or the list it is building. Nothing else can reach the object yet, so a plain decrement
// serves (see Ref<T>::unshared): the locked instruction of an ordinary release, several times a
// row, is a good part of a row's cost. Not for anything a pattern list was bound to.
template <class T>
void dropMade(Ref<T>& made) {
    if (T* p = made.get()) {
        made.release_ownership_();
        objc_detail::releaseUnshared(p);
    }
}

// The captured text with its character references decoded; nil when nothing was captured. Most
// fields hold no reference: their text is already what decoding would answer.
Ref<NSString> decodedCapture(NSString* row, NSRange r) {
    auto text = captured(row, r);
    if (!text) return nullptr;
    const char16_t* units = row->charactersPtr();
    if (units && bn::findUnit(units, r.location, NSMaxRange(r), u'&') == NSMaxRange(r)) return text;
    return stringByDecodingHTMLEntities(text.get());
}

// The text `list` captures in the whole of `text` and where it stands; nil text when nothing
// matched.
Ref<NSString> capture(NSString* text, MTKRegexList& list, NSRange* where) {
    list.rangesInRange(text, NSMakeRange(0, text->length()), where);
    return captured(text, *where);
}

// One row: `window` is the row's range in `row`, which holds no line ends.
Ref<ItemInfo> scrapeRow(NSString* row, NSRange window, RowRules& rules) {
    NSRange found[kRowFields];
    rules.fields.rangesInRange(row, window, found);
    auto text = decodedCapture(row, found[kTitle]);
    if (isEmpty(text.get()) || found[kLink].location == NSNotFound) return nullptr;
    auto link = captured(row, found[kLink]);

    auto item = make<ItemInfo>();
    auto price = captured(row, found[kPrice]);
    // The personals rules may bind their cached patterns to the title, which the cache then
    // holds too.
    bool titleShared = false;
    if (isEmpty(price.get())) {
        NSRange where;
        titleShared = true;
        price = capture(text.get(), rules.code, &where);
        if (isEmpty(price.get())) price = capture(text.get(), rules.number, &where);
        // Only the occurrence that was matched leaves the title; the same characters elsewhere
        // in it belong to the title.
        if (!isEmpty(price.get())) {
            text = text->stringByReplacingCharactersInRange(where, NS(""));
            titleShared = false;
        }
    }
    auto location = decodedCapture(row, found[kLocation]);
    auto extra = decodedCapture(row, found[kExtra]);
    item->setTitle(text.get());
    item->setPrice(price.get());
    item->setDetailUrl(link.get());
    item->setLocation(location.get());
    item->setExtraInfo(extra.get());
    if (!titleShared && text.get() != row) dropMade(text);
    for (Ref<NSString>* made : {&price, &link, &location, &extra}) {
        if (made->get() != row) dropMade(*made);
    }
    return item;
}

// The pieces of the text between occurrences of the marker, as ranges: the first piece is the
// text before the first marker, the last the text after the last one.
std::vector<NSRange> piecesBetween(NSString* text, NSString* marker) {
    std::vector<NSRange> pieces;
    pieces.reserve(128);
    const NSUInteger length = text->length();
    NSUInteger start = 0;
    const char16_t* units = text->charactersPtr();
    const char16_t* mark = marker->charactersPtr();
    if (units && mark && marker->length() > 0) {
        // Searched in place: the page is long and the marker stands once per row.
        const size_t markLength = marker->length();
        for (size_t at; (at = bn::findUnits(units, start, length, mark, markLength)) < length;) {
            pieces.push_back(NSMakeRange(start, static_cast<NSUInteger>(at) - start));
            start = static_cast<NSUInteger>(at + markLength);
        }
        pieces.push_back(NSMakeRange(start, length - start));
        return pieces;
    }
    for (;;) {
        NSRange found = text->rangeOfString(marker, 0, NSMakeRange(start, length - start));
        if (found.location == NSNotFound) break;
        pieces.push_back(NSMakeRange(start, found.location - start));
        start = NSMaxRange(found);
    }
    pieces.push_back(NSMakeRange(start, length - start));
    return pieces;
}

// The text with every line feed and carriage return made a space (the text itself when it has
// none). The row markers hold neither, so the rows of this text are the page's rows, each
// already on one line.
Ref<NSString> oneLine(NSString* text) {
    static const char16_t lineEnds[] = {u'\n', u'\r'};
    const char16_t* units = text->charactersPtr();
    const size_t length = text->length();
    if (units && bn::findAnyUnit(units, 0, length, lineEnds, 2) == length) return text;
    std::u16string line = units ? std::u16string(units, length) : text->u16();
    for (size_t i = 0; (i = bn::findAnyUnit(line.data(), i, length, lineEnds, 2)) < length;)
        line[i] = u' ';
    return NSString::adoptUnits(std::move(line));
}

}  // namespace

Ref<NSMutableArray> ItemListPage::getItemList() {
    auto items = NSMutableArray::arrayWithCapacity(100);
    auto page = getPage();
    if (!page) return items;
    auto segments = piecesBetween(page.get(), NS("<p class=\"row\""));
    if (segments.size() <= 4) {
        auto paragraphs = piecesBetween(page.get(), NS("<p>"));
        if (paragraphs.size() > segments.size()) segments = std::move(paragraphs);
    }
    auto rows = oneLine(page.get());
    RowRules rules;
    for (NSRange segment : segments) {
        if (auto item = scrapeRow(rows.get(), segment, rules)) {
            items->addObject(item.get());
            dropMade(item);
        }
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
