#include "MetroPage.h"

#include "Foundation/NSArray.h"
#include "Foundation/Runtime.h"
#include "MetroItem.h"
#include "Regex.h"
#include "SiteHosts.h"

// Nothing of a MetroPage is reached by name.
void MetroPage::describeClass(RuntimeClass& c) {
    (void)c;
}

Ref<NSString> MetroPage::locationIndexUrl() {
    return NSString::stringWithFormat(NS("http://%@/about/sites"), SiteHosts::mainHost());
}

// The non-US states whose cities have an English version of their site.
static bool hasEnglishVersion(NSString* state) {
    static NSString* const states[] = {
        NS("Quebec"),     NS("Puerto Rico"), NS("Austria"),     NS("Denmark"), NS("Finland"),
        NS("France"),     NS("Germany"),     NS("Italy"),       NS("Norway"),  NS("Portugal"),
        NS("Spain"),      NS("Sweden"),      NS("Switzerland"), NS("Turkey"),  NS("Brazil"),
        NS("Argentina"),  NS("Chile"),       NS("Mexico"),      NS("Uruguay"), NS("South Africa"),
        NS("Luxembourg"),
    };
    for (NSString* s : states) {
        if (state->isEqualToString(s)) return true;
    }
    return false;
}

Ref<NSMutableArray> MetroPage::getMetros() {
    auto metros = NSMutableArray::arrayWithCapacity(100);
    auto page = getPage();
    if (!page) return metros;
    auto blocks = page->componentsSeparatedByString(NS("<div class=\"colmask\">"));
    for (NSUInteger b = 0; b < blocks->count(); ++b) {
        auto block = cast<NSString>(blocks->objectAtIndex(b));
        // A plainly headed region reads directly; a linked heading leaves the first pattern an
        // empty text before "</h1>".
        auto region = Regex::getMatch(block.get(), NS(">([^<]*)</h1>"));
        if (!region || region->length() == 0)
            region = Regex::getMatch(block.get(), NS(">([^<]*)</a></h1>"));
        if (!region) continue;
        bool us = region->isEqualToString(NS("US"));
        auto segments = block->componentsSeparatedByString(NS("<div class=\"state_delimiter\""));
        for (NSUInteger p = 0; p < segments->count(); ++p) {
            auto segment = cast<NSString>(segments->objectAtIndex(p));
            auto state = Regex::getMatch(segment.get(), NS(">([^>]*)</div>"));
            if (!state || state->length() == 0) continue;
            bool english = !us && hasEnglishVersion(state.get());
            auto links =
                make<Regex>(&Regex::initWithMarks, segment.get(),
                            NS("<li><a href=\"([^\"]*)\">([^<]*)</a></li>"), nullptr, nullptr);
            for (;;) {
                auto url = links->getMatchCapture(1);
                auto name = links->getMatchCapture(2);
                if (!url || !name) break;
                if (english) url = getEnglishVersionUrl(url.get());
                metros->addObject(MetroItem::itemWithName(name->capitalizedString().get(),
                                                          url.get(), state.get(), region.get())
                                      .get());
                links->gotoNextMatch();
            }
        }
    }
    return metros;
}

Ref<NSString> MetroPage::getEnglishVersionUrl(NSString* url) {
    if (!url) return nullptr;
    NSRange dot = url->rangeOfString(NS("."));
    if (dot.location == NSNotFound) return url;
    return url->stringByReplacingCharactersInRange(dot, NS(".en."));
}
