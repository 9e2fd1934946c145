// Calling the members of a framework delegate list: over a copy of the list, so a delegate may
// leave while it is called, each member that adopts the protocol and answers the selector (the
// optional methods are probed before each call).
#pragma once

#include "Foundation/NSArray.h"
#include "Foundation/Runtime.h"

template <class Protocol, class Call>
void callDelegates(NSArray* delegates, const char* selector, Call call) {
    if (!delegates) return;
    SEL sel = Selector::named(selector);
    Ref<NSArray> copy = delegates->copy();
    for (NSObject* object : *copy) {
        auto* delegate = dynamic_cast<Protocol*>(object);
        if (delegate && respondsTo(object, sel)) call(delegate);
    }
}
