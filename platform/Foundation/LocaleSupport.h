// Internal glue between ICU's C API and the locale classes: dates as ICU instants and the
// buffer-filling calling convention of ICU's text functions.
#pragma once

#include <unicode/utypes.h>

#include <string>

#include "Foundation/Clock.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSString.h"

namespace locale_detail {

// The process's locale from its environment (LC_ALL, then LANG): "en_US.UTF-8@euro" gives
// "en_US"; none, "C" and "POSIX" give "en_US".
std::string identifierFromEnvironment();

// ICU instants are milliseconds since 1970.
inline double toUDate(NSTimeInterval sinceReferenceDate) {
    return (sinceReferenceDate + NSTimeIntervalSince1970) * 1000.0;
}
inline double toUDate(NSDate* d) {
    return toUDate(d->timeIntervalSinceReferenceDate());
}
inline NSTimeInterval fromUDate(double ms) {
    return ms / 1000.0 - NSTimeIntervalSince1970;
}
inline Ref<NSDate> dateFromUDate(double ms) {
    return NSDate::dateWithTimeIntervalSinceReferenceDate(fromUDate(ms));
}

inline std::u16string units(NSString* s) {
    return s ? s->u16() : std::u16string();
}

// Runs an ICU function of the form f(UChar* buffer, int32_t capacity, UErrorCode* status) ->
// length, growing the buffer when the first try is too small. Empty text on failure.
template <class F>
std::u16string icuText(F&& f) {
    std::u16string buf(64, u'\0');
    UErrorCode st = U_ZERO_ERROR;
    int32_t n = f(buf.data(), static_cast<int32_t>(buf.size()), &st);
    if (st == U_BUFFER_OVERFLOW_ERROR) {
        buf.assign(static_cast<size_t>(n) + 1, u'\0');
        st = U_ZERO_ERROR;
        n = f(buf.data(), static_cast<int32_t>(buf.size()), &st);
    }
    if (U_FAILURE(st) || n < 0) return {};
    buf.resize(static_cast<size_t>(n));
    return buf;
}

// The same for functions that fill a char buffer (locale names).
template <class F>
std::string icuChars(F&& f) {
    std::string buf(96, '\0');
    UErrorCode st = U_ZERO_ERROR;
    int32_t n = f(buf.data(), static_cast<int32_t>(buf.size()), &st);
    if (st == U_BUFFER_OVERFLOW_ERROR) {
        buf.assign(static_cast<size_t>(n) + 1, '\0');
        st = U_ZERO_ERROR;
        n = f(buf.data(), static_cast<int32_t>(buf.size()), &st);
    }
    if (U_FAILURE(st) || n < 0) return {};
    buf.resize(static_cast<size_t>(n));
    return buf;
}

// nil for empty text, as the platform answers for values a locale lacks.
inline Ref<NSString> stringOrNil(const std::u16string& s) {
    return s.empty() ? nullptr : NSString::fromUTF16(s);
}

}  // namespace locale_detail
