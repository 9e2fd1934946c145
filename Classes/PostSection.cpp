#include "Classes/PostSection.h"

#include "Foundation/NSString.h"

void PostSection::setName(NSString* name) {
    name_ = name ? name->copy() : nullptr;
}

void PostSection::setKey(NSString* key) {
    key_ = key ? key->copy() : nullptr;
}

void PostSection::setValue(NSString* value) {
    value_ = value ? value->copy() : nullptr;
}

Ref<NSString> PostSection::description() {
    return NSString::stringWithFormat(NS("<PostSection %@: %@=%@>"), name_, key_, value_);
}
