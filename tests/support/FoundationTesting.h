// Small helpers shared by the tests of everything built on Foundation.
#pragma once

#include <string>
#include <string_view>

#include "Foundation/NSException.h"
#include "Foundation/NSString.h"

// The exception a call raised, or nil when it returned normally.
template <class F>
Ref<NSException> raisedBy(F&& f) {
    try {
        f();
    } catch (ExceptionRaised& e) {
        return e.exception;
    }
    return nullptr;
}

// The name of the exception a call raised, or "" when it raised none.
template <class F>
std::string raisedName(F&& f) {
    Ref<NSException> e = raisedBy(std::forward<F>(f));
    return e ? e->name()->utf8() : std::string();
}

// An object's description as UTF-8, "(nil)" for nil.
inline std::string text(NSObject* o) {
    return o ? o->description()->utf8() : "(nil)";
}

inline Ref<NSString> str(std::string_view utf8) {
    return NSString::fromUTF8(utf8);
}
