#include "CatagoryPage.h"

#include "CatagoryItem.h"
#include "Foundation/NSArray.h"
#include "Foundation/Runtime.h"
#include "Regex.h"
#include "StringFunctions.h"

// Nothing of a CatagoryPage is reached by name.
void CatagoryPage::describeClass(RuntimeClass& c) {
    (void)c;
}

namespace {

struct SellerVariants {
    NSString* path;
    NSString* owner;
    NSString* dealer;
};

const SellerVariants* sellerVariantsFor(NSString* path) {
    static const SellerVariants table[] = {
        {NS("fua/"), NS("fuo/"), NS("fud/")}, {NS("cta/"), NS("cto/"), NS("ctd/")},
        {NS("tia/"), NS("tix/"), NS("tid/")}, {NS("ppa/"), NS("app/"), NS("ppd/")},
        {NS("pta/"), NS("pts/"), NS("ptd/")}, {NS("boo/"), NS("boa/"), NS("bod/")},
        {NS("moa/"), NS("mob/"), NS("mod/")}, {NS("sya/"), NS("sys/"), NS("syd/")},
        {NS("ela/"), NS("ele/"), NS("eld/")}, {NS("mca/"), NS("mcy/"), NS("mcd/")},
        {NS("rva/"), NS("rvs/"), NS("rvd/")},
    };
    for (const auto& entry : table) {
        if (path->isEqualToString(entry.path)) return &entry;
    }
    return nullptr;
}

bool contains(NSString* text, NSString* needle) {
    return text->rangeOfString(needle).location != NSNotFound;
}

// "<code>/" from the link's "category=" query; the link itself when it names no category, so
// that a stray link never turns into a made-up path.
Ref<NSString> categoryPath(NSString* url) {
    auto code = Regex::getMatch(url, NS("category=([a-zA-Z0-9]*)"));
    if (!code) return url;
    return NSString::stringWithFormat(NS("%@/"), code.get());
}

Ref<NSString> cgiRule(NSString* url) {
    if (contains(url, NS("/cgi-bin/"))) return categoryPath(url);
    return url;
}

Ref<NSString> decodedName(NSString* raw) {
    return decodeHtmlEntityString(raw)->capitalizedString();
}

}  // namespace

Ref<NSMutableArray> CatagoryPage::getCatagories() {
    auto list = NSMutableArray::arrayWithCapacity(100);
    auto page = getPage();
    if (!page) return list;
    auto columns = page->componentsSeparatedByString(NS("class=\"col\">"));
    for (NSUInteger i = 0; i < columns->count(); ++i) {
        auto column = cast<NSString>(columns->objectAtIndex(i));
        auto header = make<Regex>(&Regex::initWithMarks, column.get(),
                                  NS("<h4 class=\"ban\"><a href=\"([^\"]*)\">([^<]*)</a></h4>"),
                                  nullptr, nullptr);
        auto headerLink = header->getMatchCapture(1);
        auto rawName = header->getMatchCapture(2);
        if (rawName && contains(rawName.get(), NS("forums"))) continue;
        if (!headerLink || !rawName) {
            headerLink = nullptr;
            rawName = Regex::getMatch(column.get(), NS("<h4 class=\"ban\">([^<]*)</h4>"));
        }
        if (!rawName) continue;
        auto section = decodedName(rawName.get());

        if (headerLink) {
            auto all = CatagoryItem::itemWithName(
                NSString::stringWithFormat(NS("All %@"), section.get()).get(),
                cgiRule(headerLink.get()).get(), section.get(), true);
            list->addObject(all.get());
        }

        auto links = make<Regex>(&Regex::initWithMarks, column.get(),
                                 NS("<li><a href=\"([^\"]*)\">([^<]*)</a></li>"), nullptr, nullptr);
        for (;;) {
            auto url = links->getMatchCapture(1);
            auto rawItem = links->getMatchCapture(2);
            if (!url || !rawItem) break;
            links->gotoNextMatch();
            auto name = decodedName(rawItem.get());

            if (contains(url.get(), NS("/i/"))) {
                if (contains(url.get(), NS("/i/auto")))
                    url = NS("cta/");
                else if (contains(url.get(), NS("/i/apartments")))
                    url = NS("aap/");
                else
                    url = categoryPath(url.get());
            }
            if (contains(url.get(), NS("/cgi-bin/apartments.cgi"))) {
                addApartmentSubcatagories(list.get(), section.get());
                continue;
            }
            url = cgiRule(url.get());

            auto item = CatagoryItem::itemWithName(name.get(), url.get(), section.get(), false);
            list->addObject(item.get());
            if (url->isEqualToString(NS("cas/"))) {
                addPersonalSubcategories(list.get(), item.get());
            } else if (auto variants = sellerVariantsFor(url.get())) {
                addSubcategories(
                    list.get(), item.get(),
                    {{NS("- By Owner"), variants->owner}, {NS("- By Dealer"), variants->dealer}});
            }
        }
    }
    return list;
}

void CatagoryPage::addApartmentSubcatagories(NSMutableArray* list, NSString* section) {
    if (!list) return;
    static const std::pair<NSString*, NSString*> variants[] = {
        {NS("All Apartments"), NS("aap/")},
        {NS("All No-Fee Apartments"), NS("nfa/")},
        {NS("By-Owner Apartments"), NS("abo/")},
    };
    for (const auto& [name, path] : variants)
        list->addObject(CatagoryItem::itemWithName(name, path, section, false).get());
}

void CatagoryPage::addPersonalSubcategories(NSMutableArray* list, CatagoryItem* mainCategory) {
    if (!list || !mainCategory) return;
    static NSString* const codes[] = {NS("w4m"), NS("w4w"), NS("m4w"), NS("m4m")};
    for (NSString* code : codes) {
        auto name = NSString::stringWithFormat(NS("%@ (%@)"), mainCategory->name().get(), code);
        list->addObject(CatagoryItem::itemWithName(name.get(), mainCategory->url().get(),
                                                   mainCategory->section().get(), false)
                            .get());
    }
}

void CatagoryPage::addSubcategories(
    NSMutableArray* list, CatagoryItem* mainCategory,
    std::initializer_list<std::pair<NSString*, NSString*>> subCategories) {
    if (!list || !mainCategory) return;
    for (const auto& [suffix, path] : subCategories) {
        auto name = NSString::stringWithFormat(NS("%@ %@"), mainCategory->name().get(), suffix);
        list->addObject(
            CatagoryItem::itemWithName(name.get(), path, mainCategory->section().get(), false)
                .get());
    }
}
