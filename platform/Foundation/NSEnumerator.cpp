#include "Foundation/NSEnumerator.h"

#include <vector>

#include "Foundation/NSArray.h"

Ref<NSObject> NSEnumerator::nextObject() {
    return nullptr;
}

Ref<NSArray> NSEnumerator::allObjects() {
    std::vector<Ref<NSObject>> rest;
    while (Ref<NSObject> o = nextObject())
        rest.push_back(std::move(o));
    return NSArray::arrayWithVector(std::move(rest));
}
