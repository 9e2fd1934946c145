// One choice of a posting step (a radio button of the site's form): the text shown, the form
// field it sets and the value it sends.
#pragma once

#include "Foundation/NSObject.h"

class NSString;

class PostSection : public NSObject {
    NS_OBJECT(PostSection, NSObject)

public:
    Ref<NSString> name() { return name_; }
    void setName(NSString* name);
    Ref<NSString> key() { return key_; }
    void setKey(NSString* key);
    Ref<NSString> value() { return value_; }
    void setValue(NSString* value);
    using NSObject::setValue;  // key-value coding stays reachable beside the field's setter

    Ref<NSString> description() override;

private:
    Ref<NSString> name_;
    Ref<NSString> key_;
    Ref<NSString> value_;
};
