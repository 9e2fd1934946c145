#include "SuburbPage.h"

#include "Foundation/NSArray.h"
#include "Foundation/Runtime.h"
#include "MetroItem.h"
#include "Regex.h"

// Nothing of a SuburbPage is reached by name.
void SuburbPage::describeClass(RuntimeClass& c) {
    (void)c;
}

Ref<NSMutableArray> SuburbPage::getSuburbs(MetroItem* parent) {
    auto suburbs = NSMutableArray::array();
    if (!parent) return suburbs;
    // The whole metro comes first, as a plain location without sub-areas of its own.
    suburbs->addObject(MetroItem::itemWithName(parent->name().get(), parent->url().get(),
                                               parent->state().get(), parent->region().get())
                           .get());
    auto page = getPage();
    if (!page) return suburbs;
    auto bar = Regex::getSubstring(page.get(), NS("<span class=\"sublinks\">"), NS("</span>"));
    if (!bar) return suburbs;
    auto segments = bar->componentsSeparatedByString(NS("</a>"));
    for (NSUInteger i = 0; i < segments->count(); ++i) {
        auto segment = cast<NSString>(segments->objectAtIndex(i));
        auto link = Regex::getMatch(segment.get(), NS("<a href=\"([^\"]*)\""));
        auto title = Regex::getMatch(segment.get(), NS("title=\"([^\"]*)\">"));
        if (!link || !title) continue;
        auto path = link->stringByReplacingOccurrencesOfString(NS("/"), NS(""));
        auto url = NSString::stringWithFormat(NS("%@/%@"), parent->url().get(), path.get());
        suburbs->addObject(MetroItem::itemWithName(title->capitalizedString().get(), url.get(),
                                                   parent->state().get(), parent->region().get())
                               .get());
    }
    return suburbs;
}
