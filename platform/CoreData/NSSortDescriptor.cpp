#include "CoreData/NSSortDescriptor.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

Ref<NSSortDescriptor> NSSortDescriptor::sortDescriptorWithKey(NSString* key, bool ascending) {
    return sortDescriptorWithKey(key, ascending, nullptr);
}

Ref<NSSortDescriptor> NSSortDescriptor::sortDescriptorWithKey(NSString* key, bool ascending,
                                                              SEL selector) {
    auto d = alloc<NSSortDescriptor>();
    d->initWithKey(key, ascending, selector);
    return d;
}

bool NSSortDescriptor::initWithKey(NSString* key, bool ascending) {
    return initWithKey(key, ascending, nullptr);
}

bool NSSortDescriptor::initWithKey(NSString* key, bool ascending, SEL selector) {
    key_ = key ? key->copy() : nullptr;
    ascending_ = ascending;
    selector_ = selector ? selector : Selector::named("compare:");
    return true;
}

Ref<NSSortDescriptor> NSSortDescriptor::reversedSortDescriptor() {
    return sortDescriptorWithKey(key_, !ascending_, selector_);
}

NSComparisonResult NSSortDescriptorCompareValues(NSObject* a, NSObject* b, SEL selector) {
    if (is<NSNull>(a)) a = nullptr;
    if (is<NSNull>(b)) b = nullptr;
    // A missing value comes before any value, so that entries left empty on purpose lead.
    if (!a || !b) return !a && !b ? NSOrderedSame : (!a ? NSOrderedAscending : NSOrderedDescending);
    const std::string& sel = selector ? selector->name : std::string("compare:");
    auto* sa = dynamic_cast<NSString*>(a);
    auto* sb = dynamic_cast<NSString*>(b);
    if (sa && sb) {
        if (sel == "caseInsensitiveCompare:") return sa->caseInsensitiveCompare(sb);
        if (sel == "localizedCompare:") return sa->localizedCompare(sb);
        if (sel == "localizedCaseInsensitiveCompare:")
            return sa->localizedCaseInsensitiveCompare(sb);
        if (sel == "compare:") return sa->compare(sb);
    }
    auto* na = dynamic_cast<NSNumber*>(a);
    auto* nb = dynamic_cast<NSNumber*>(b);
    if (na && nb && sel == "compare:") return na->compare(nb);
    auto* da = dynamic_cast<NSDate*>(a);
    auto* db = dynamic_cast<NSDate*>(b);
    if (da && db && sel == "compare:") return da->compare(db);
    // Values of different kinds order numbers, then strings, then the rest; within a kind
    // the selector decides through the runtime.
    auto rank = [](NSObject* o) { return is<NSNumber>(o) ? 0 : is<NSString>(o) ? 1 : 2; };
    if (rank(a) != rank(b)) return rank(a) < rank(b) ? NSOrderedAscending : NSOrderedDescending;
    return collection_detail::compareWithSelector(
        a, b, selector ? selector : Selector::named("compare:"));
}

NSComparisonResult NSSortDescriptor::compareObject(NSObject* a, NSObject* b) {
    Ref<NSObject> va = a && key_ ? a->valueForKeyPath(key_) : nullptr;
    Ref<NSObject> vb = b && key_ ? b->valueForKeyPath(key_) : nullptr;
    NSComparisonResult r = NSSortDescriptorCompareValues(va, vb, selector_);
    if (!ascending_) r = static_cast<NSComparisonResult>(-static_cast<NSInteger>(r));
    return r;
}

Ref<NSString> NSSortDescriptor::description() {
    return NSString::stringWithFormat(NS("(%@, %@, %@)"), key_,
                                      ascending_ ? NS("ascending") : NS("descending"),
                                      NSStringFromSelector(selector_));
}

namespace {
std::vector<Ref<NSObject>> sortedItems(NSArray* array, NSArray* sortDescriptors) {
    std::vector<Ref<NSObject>> items;
    if (!array) return items;
    for (NSObject* o : *array)
        items.push_back(o);
    std::vector<Ref<NSSortDescriptor>> descriptors;
    if (sortDescriptors)
        for (NSObject* o : *sortDescriptors)
            if (auto d = as<NSSortDescriptor>(o)) descriptors.push_back(d);
    if (descriptors.empty() || items.size() < 2) return items;
    auto order = collection_detail::stableOrder(items.size(), [&](size_t i, size_t j) {
        for (auto& d : descriptors) {
            NSComparisonResult r = d->compareObject(items[i], items[j]);
            if (r != NSOrderedSame) return r == NSOrderedAscending;
        }
        return false;
    });
    std::vector<Ref<NSObject>> out;
    out.reserve(items.size());
    for (size_t i : order)
        out.push_back(items[i]);
    return out;
}
}  // namespace

Ref<NSArray> sortedArrayUsingDescriptors(NSArray* array, NSArray* sortDescriptors) {
    return NSArray::arrayWithVector(sortedItems(array, sortDescriptors));
}

void sortUsingDescriptors(NSMutableArray* array, NSArray* sortDescriptors) {
    if (!array) return;
    auto items = sortedItems(array, sortDescriptors);
    array->removeAllObjects();
    for (auto& o : items)
        array->addObject(o);
}
