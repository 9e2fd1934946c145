#include "Foundation/NSNull.h"

#include "Foundation/NSString.h"

Ref<NSNull> NSNull::null() {
    static NSNull* const shared = [] {
        Ref<NSNull> n = alloc<NSNull>();
        n->makeImmortal();  // from here on the release at scope end is ignored
        return n.get();
    }();
    return Ref<NSNull>(shared);
}

// Every NSNull stands for the same nothing, even one made with alloc<NSNull>().
bool NSNull::isEqual(NSObject* other) {
    return dynamic_cast<NSNull*>(other) != nullptr;
}

NSUInteger NSNull::hash() {
    return 0x6e756c6cu;
}

Ref<NSString> NSNull::description() {
    return Ref<NSString>(NS("<null>"));
}
