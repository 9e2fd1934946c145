#include "Foundation/NSDate.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

namespace {

// Seconds from the reference date to 4001-01-01 and to 0001-01-01 of the Julian calendar.
constexpr NSTimeInterval kDistantFuture = 63113904000.0;
constexpr NSTimeInterval kDistantPast = -63114076800.0;

// Proleptic Gregorian date of a day count from 1970-01-01.
void civilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
}

// Days from 1970-01-01 to a proleptic Gregorian date.
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

bool isLeap(long long y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Reads exactly `n` decimal digits at `p`.
bool digits(const char*& p, int n, int& out) {
    out = 0;
    for (int i = 0; i < n; ++i, ++p) {
        if (*p < '0' || *p > '9') return false;
        out = out * 10 + (*p - '0');
    }
    return true;
}

}  // namespace

void NSDate::describeClass(RuntimeClass& c) {
    c.method("compare:", &NSDate::compare)
        .method("timeIntervalSinceReferenceDate", &NSDate::timeIntervalSinceReferenceDate)
        .method("timeIntervalSince1970", &NSDate::timeIntervalSince1970)
        .method("timeIntervalSinceNow", &NSDate::timeIntervalSinceNow);
}

Ref<NSDate> NSDate::date() {
    return make<NSDate>();
}

Ref<NSDate> NSDate::dateWithTimeIntervalSinceNow(NSTimeInterval seconds) {
    return make<NSDate>(&NSDate::initWithTimeIntervalSinceNow, seconds);
}

Ref<NSDate> NSDate::dateWithTimeIntervalSinceReferenceDate(NSTimeInterval seconds) {
    return make<NSDate>(&NSDate::initWithTimeIntervalSinceReferenceDate, seconds);
}

Ref<NSDate> NSDate::dateWithTimeIntervalSince1970(NSTimeInterval seconds) {
    return make<NSDate>(&NSDate::initWithTimeIntervalSince1970, seconds);
}

Ref<NSDate> NSDate::dateWithTimeInterval(NSTimeInterval seconds, NSDate* since) {
    return make<NSDate>(&NSDate::initWithTimeInterval, seconds, since);
}

Ref<NSDate> NSDate::distantFuture() {
    static NSDate* const d = immortal(dateWithTimeIntervalSinceReferenceDate(kDistantFuture));
    return d;
}

Ref<NSDate> NSDate::distantPast() {
    static NSDate* const d = immortal(dateWithTimeIntervalSinceReferenceDate(kDistantPast));
    return d;
}

NSTimeInterval NSDate::timeIntervalSinceReferenceDateNow() {
    return Clock::now();
}

bool NSDate::init() {
    return initWithTimeIntervalSinceReferenceDate(Clock::now());
}

bool NSDate::initWithTimeIntervalSinceReferenceDate(NSTimeInterval seconds) {
    t_ = seconds;
    return true;
}

bool NSDate::initWithTimeIntervalSinceNow(NSTimeInterval seconds) {
    return initWithTimeIntervalSinceReferenceDate(Clock::now() + seconds);
}

bool NSDate::initWithTimeIntervalSince1970(NSTimeInterval seconds) {
    return initWithTimeIntervalSinceReferenceDate(seconds - NSTimeIntervalSince1970);
}

bool NSDate::initWithTimeInterval(NSTimeInterval seconds, NSDate* since) {
    // A nil base date counts as the reference date, as a message to nil would give 0.
    return initWithTimeIntervalSinceReferenceDate((since ? since->t_ : 0.0) + seconds);
}

NSTimeInterval NSDate::timeIntervalSinceReferenceDate() {
    return t_;
}

NSTimeInterval NSDate::timeIntervalSince1970() {
    return t_ + NSTimeIntervalSince1970;
}

NSTimeInterval NSDate::timeIntervalSinceNow() {
    return t_ - Clock::now();
}

NSTimeInterval NSDate::timeIntervalSinceDate(NSDate* other) {
    return t_ - (other ? other->t_ : 0.0);
}

Ref<NSDate> NSDate::dateByAddingTimeInterval(NSTimeInterval seconds) {
    return dateWithTimeIntervalSinceReferenceDate(t_ + seconds);
}

NSComparisonResult NSDate::compare(NSDate* other) {
    NSTimeInterval o = other ? other->t_ : 0.0;
    if (t_ < o) return NSOrderedAscending;
    if (t_ > o) return NSOrderedDescending;
    return NSOrderedSame;
}

Ref<NSDate> NSDate::earlierDate(NSDate* other) {
    if (other && other->t_ < t_) return Ref<NSDate>(other);
    return Ref<NSDate>(this);
}

Ref<NSDate> NSDate::laterDate(NSDate* other) {
    if (other && other->t_ > t_) return Ref<NSDate>(other);
    return Ref<NSDate>(this);
}

bool NSDate::isEqualToDate(NSDate* other) {
    return other && other->t_ == t_;
}

bool NSDate::isEqual(NSObject* other) {
    auto* d = dynamic_cast<NSDate*>(other);
    return d && isEqualToDate(d);
}

// std::hash gives 0.0 and -0.0 the same value, which isEqual treats as equal.
NSUInteger NSDate::hash() {
    return static_cast<NSUInteger>(std::hash<double>()(t_));
}

Ref<NSDate> NSDate::dateWithString(NSString* text) {
    if (!text) return nullptr;
    std::string s = text->utf8();
    const char* p = s.c_str();
    int year, month, day, hour, minute, second, offH, offM;
    auto expect = [&p](char c) { return *p++ == c; };
    if (!digits(p, 4, year) || !expect('-') || !digits(p, 2, month) || !expect('-') ||
        !digits(p, 2, day) || !expect(' ') || !digits(p, 2, hour) || !expect(':') ||
        !digits(p, 2, minute) || !expect(':') || !digits(p, 2, second) || !expect(' '))
        return nullptr;
    char sign = *p++;
    if ((sign != '+' && sign != '-') || !digits(p, 2, offH) || !digits(p, 2, offM) || *p != '\0')
        return nullptr;
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59 ||
        offH > 23 || offM > 59)
        return nullptr;
    unsigned last = kDays[month - 1] + (month == 2 && isLeap(year) ? 1 : 0);
    if (static_cast<unsigned>(day) > last) return nullptr;
    long long days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    double local = static_cast<double>(days) * 86400.0 + hour * 3600 + minute * 60 + second;
    double offset = (offH * 3600 + offM * 60) * (sign == '-' ? -1 : 1);
    return dateWithTimeIntervalSince1970(local - offset);
}

Ref<NSString> NSDate::description() {
    double secs = std::floor(t_ + NSTimeIntervalSince1970);
    if (!std::isfinite(secs)) return NSString::fromUTF8(std::isnan(secs) ? "nan" : "inf");
    // Beyond ±10^15 s the calendar arithmetic would overflow; no real date gets there.
    secs = std::fmax(-1e15, std::fmin(1e15, secs));
    long long s = static_cast<long long>(secs);
    long long days = s >= 0 ? s / 86400 : -((-s + 86399) / 86400);
    long long rem = s - days * 86400;
    long long year;
    unsigned month, day;
    civilFromDays(days, year, month, day);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02lld:%02lld:%02lld +0000", year, month, day,
                  rem / 3600, rem / 60 % 60, rem % 60);
    return NSString::fromUTF8(buf);
}
