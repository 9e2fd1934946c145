#include "CatagoryItem.h"

#include "Foundation/Runtime.h"

void CatagoryItem::describeClass(RuntimeClass& c) {
    c.property("name", &CatagoryItem::name, &CatagoryItem::setName);
    c.property("url", &CatagoryItem::url, &CatagoryItem::setUrl);
    c.property("section", &CatagoryItem::section, &CatagoryItem::setSection);
    c.property("allCatagory", &CatagoryItem::allCatagory, &CatagoryItem::setAllCatagory);
}

Ref<CatagoryItem> CatagoryItem::itemWithName(NSString* name, NSString* url, NSString* section,
                                             bool allCatagory) {
    auto item = make<CatagoryItem>();
    item->setName(name);
    item->setUrl(url);
    item->setSection(section);
    item->setAllCatagory(allCatagory);
    return item;
}
