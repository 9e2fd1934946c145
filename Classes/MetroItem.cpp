#include "MetroItem.h"

#include "Foundation/Runtime.h"

void MetroItem::describeClass(RuntimeClass& c) {
    c.property("name", &MetroItem::name, &MetroItem::setName);
    c.property("url", &MetroItem::url, &MetroItem::setUrl);
    c.property("state", &MetroItem::state, &MetroItem::setState);
    c.property("region", &MetroItem::region, &MetroItem::setRegion);
    c.property("hasSuburb", &MetroItem::hasSuburb, &MetroItem::setHasSuburb);
}

Ref<MetroItem> MetroItem::itemWithName(NSString* name, NSString* url, NSString* state,
                                       NSString* region) {
    auto item = make<MetroItem>();
    item->setName(name);
    item->setUrl(url);
    item->setState(state);
    item->setRegion(region);
    return item;
}
