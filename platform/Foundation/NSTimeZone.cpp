#include "Foundation/NSTimeZone.h"

#include <unicode/ucal.h>
#include <unicode/uenum.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "Foundation/LocaleSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/ProcessWide.h"

using namespace locale_detail;

namespace {

std::mutex gLock;
// The system's zone as read, and the zone set as the default (nil: the system's); under gLock.
struct Zones {
    Ref<NSTimeZone> system;
    Ref<NSTimeZone> chosen;
};
Zones& zones() {
    static ProcessWide<Zones> slot;
    return *slot.get();
}

// "Europe/Paris" from a path into the zone database ("/usr/share/zoneinfo/Europe/Paris").
std::string zoneFromPath(std::string s) {
    if (!s.empty() && s[0] == ':') s.erase(0, 1);
    if (auto p = s.find("zoneinfo/"); p != std::string::npos) s = s.substr(p + 9);
    return s;
}

std::string systemZoneName() {
    if (const char* tz = std::getenv("TZ"); tz && *tz) return zoneFromPath(tz);
    char link[512];
    ssize_t n = readlink("/etc/localtime", link, sizeof link - 1);
    if (n > 0) {
        link[n] = '\0';
        std::string z = zoneFromPath(link);
        if (z != link) return z;
    }
    std::ifstream f("/etc/timezone");
    std::string line;
    if (f && std::getline(f, line) && !line.empty()) return line;
    return "GMT";
}

// Reads "GMT+01:00", "GMT-05:30:15" (ICU's normalised custom zones) as seconds.
bool parseCustomID(const std::u16string& id, NSInteger& seconds) {
    if (id.size() < 6 || id.compare(0, 3, u"GMT") != 0) return false;
    int sign = id[3] == u'-' ? -1 : id[3] == u'+' ? 1 : 0;
    if (!sign) return false;
    int parts[3] = {0, 0, 0};
    int index = 0;
    for (size_t i = 4; i < id.size(); ++i) {
        char16_t c = id[i];
        if (c == u':') {
            if (++index > 2) return false;
        } else if (c >= u'0' && c <= u'9') {
            parts[index] = parts[index] * 10 + (c - u'0');
        } else {
            return false;
        }
    }
    seconds = sign * (parts[0] * 3600 + parts[1] * 60 + parts[2]);
    return true;
}

}  // namespace

// ---- shared zones ------------------------------------------------------------------------

Ref<NSTimeZone> NSTimeZone::systemTimeZone() {
    std::lock_guard<std::mutex> g(gLock);
    if (!zones().system) {
        zones().system = timeZoneWithName(NSString::fromUTF8(systemZoneName()));
        if (!zones().system) zones().system = timeZoneWithName(NS("GMT"));
    }
    return zones().system;
}

void NSTimeZone::resetSystemTimeZone() {
    Ref<NSTimeZone> old;
    std::lock_guard<std::mutex> g(gLock);
    old.swap(zones().system);
}

Ref<NSTimeZone> NSTimeZone::defaultTimeZone() {
    {
        std::lock_guard<std::mutex> g(gLock);
        if (zones().chosen) return zones().chosen;
    }
    return systemTimeZone();
}

void NSTimeZone::setDefaultTimeZone(NSTimeZone* zone) {
    // The local zone stands for the default; keeping it as the default would loop.
    Ref<NSTimeZone> z = zone ? zone->resolved() : nullptr;
    std::lock_guard<std::mutex> g(gLock);
    zones().chosen.swap(z);
}

Ref<NSTimeZone> NSTimeZone::localTimeZone() {
    static NSTimeZone* shared = [] {
        auto z = alloc<NSTimeZone>();
        z->local_ = true;
        z->makeImmortal();
        return z.get();
    }();
    return shared;
}

Ref<NSTimeZone> NSTimeZone::resolved() {
    return local_ ? defaultTimeZone() : Ref<NSTimeZone>(this);
}

// ---- making zones ------------------------------------------------------------------------

Ref<NSTimeZone> NSTimeZone::timeZoneWithName(NSString* name) {
    return make<NSTimeZone>(&NSTimeZone::initWithName, name);
}

bool NSTimeZone::initWithName(NSString* name) {
    if (!name || name->length() == 0) return false;
    std::u16string given = name->u16();
    UChar canon[128];
    UBool isSystem = false;
    UErrorCode st = U_ZERO_ERROR;
    int32_t n = ucal_getCanonicalTimeZoneID(given.data(), static_cast<int32_t>(given.size()), canon,
                                            128, &isSystem, &st);
    if (U_FAILURE(st) || n <= 0) return false;
    std::u16string id(canon, static_cast<size_t>(n));
    if (isSystem) {
        name_ = name->copy();
        icuID_ = given;
        return true;
    }
    NSInteger seconds = 0;
    if (!parseCustomID(id, seconds)) return false;
    fixed_ = true;
    fixedSeconds_ = seconds;
    icuID_ = id;
    name_ = seconds == 0
                ? Ref<NSString>(NS("GMT"))
                : NSString::stringWithFormat(NS("GMT%c%02d%02d"), seconds < 0 ? '-' : '+',
                                             std::abs(seconds) / 3600, std::abs(seconds) / 60 % 60);
    return true;
}

Ref<NSTimeZone> NSTimeZone::timeZoneWithAbbreviation(NSString* abbreviation) {
    if (!abbreviation) return nullptr;
    auto name = as<NSString>(abbreviationDictionary()->objectForKey(abbreviation));
    return name ? timeZoneWithName(name) : nullptr;
}

Ref<NSTimeZone> NSTimeZone::timeZoneForSecondsFromGMT(NSInteger seconds) {
    if (seconds > 18 * 3600 || seconds < -18 * 3600) return nullptr;
    if (seconds == 0) return timeZoneWithName(NS("GMT"));
    auto z = alloc<NSTimeZone>();
    z->fixed_ = true;
    z->fixedSeconds_ = seconds;
    const int a = std::abs(seconds);
    const char sign = seconds < 0 ? '-' : '+';
    z->name_ = NSString::stringWithFormat(NS("GMT%c%02d%02d"), sign, a / 3600, a / 60 % 60);
    auto icu = a % 60
                   ? NSString::stringWithFormat(NS("GMT%c%02d:%02d:%02d"), sign, a / 3600,
                                                a / 60 % 60, a % 60)
                   : NSString::stringWithFormat(NS("GMT%c%02d:%02d"), sign, a / 3600, a / 60 % 60);
    z->icuID_ = icu->u16();
    return z;
}

Ref<NSArray> NSTimeZone::knownTimeZoneNames() {
    auto out = NSMutableArray::array();
    UErrorCode st = U_ZERO_ERROR;
    UEnumeration* e =
        ucal_openTimeZoneIDEnumeration(UCAL_ZONE_TYPE_CANONICAL_LOCATION, nullptr, nullptr, &st);
    if (U_SUCCESS(st)) {
        int32_t len = 0;
        while (const UChar* id = uenum_unext(e, &len, &st)) {
            if (U_FAILURE(st)) break;
            out->addObject(NSString::fromUTF16(std::u16string_view(id, static_cast<size_t>(len))));
        }
        uenum_close(e);
    }
    return out->copy();
}

Ref<NSDictionary> NSTimeZone::abbreviationDictionary() {
    static NSDictionary* shared = [] {
        static const char* const pairs[][2] = {
            {"ADT", "America/Halifax"},
            {"AKDT", "America/Juneau"},
            {"AKST", "America/Juneau"},
            {"ART", "America/Argentina/Buenos_Aires"},
            {"AST", "America/Halifax"},
            {"BDT", "Asia/Dhaka"},
            {"BRST", "America/Sao_Paulo"},
            {"BRT", "America/Sao_Paulo"},
            {"BST", "Europe/London"},
            {"CAT", "Africa/Harare"},
            {"CDT", "America/Chicago"},
            {"CEST", "Europe/Paris"},
            {"CET", "Europe/Paris"},
            {"CLST", "America/Santiago"},
            {"CLT", "America/Santiago"},
            {"COT", "America/Bogota"},
            {"CST", "America/Chicago"},
            {"EAT", "Africa/Addis_Ababa"},
            {"EDT", "America/New_York"},
            {"EEST", "Europe/Istanbul"},
            {"EET", "Europe/Istanbul"},
            {"EST", "America/New_York"},
            {"GMT", "GMT"},
            {"GST", "Asia/Dubai"},
            {"HKT", "Asia/Hong_Kong"},
            {"HST", "Pacific/Honolulu"},
            {"ICT", "Asia/Bangkok"},
            {"IRST", "Asia/Tehran"},
            {"IST", "Asia/Calcutta"},
            {"JST", "Asia/Tokyo"},
            {"KST", "Asia/Seoul"},
            {"MDT", "America/Denver"},
            {"MSD", "Europe/Moscow"},
            {"MSK", "Europe/Moscow"},
            {"MST", "America/Denver"},
            {"NZDT", "Pacific/Auckland"},
            {"NZST", "Pacific/Auckland"},
            {"PDT", "America/Los_Angeles"},
            {"PET", "America/Lima"},
            {"PHT", "Asia/Manila"},
            {"PKT", "Asia/Karachi"},
            {"PST", "America/Los_Angeles"},
            {"SGT", "Asia/Singapore"},
            {"UTC", "UTC"},
            {"WAT", "Africa/Lagos"},
            {"WEST", "Europe/Lisbon"},
            {"WET", "Europe/Lisbon"},
            {"WIT", "Asia/Jakarta"},
        };
        auto d = NSMutableDictionary::dictionary();
        for (auto& p : pairs)
            d->setObject(NSString::fromUTF8(p[1]), NSString::fromUTF8(p[0]));
        auto result = d->copy();
        result->makeImmortal();
        return result.get();
    }();
    return shared;
}

void NSTimeZone::dealloc() {
    if (cal_) ucal_close(static_cast<UCalendar*>(cal_));
    cal_ = nullptr;
    NSObject::dealloc();
}

// ---- queries -----------------------------------------------------------------------------

std::u16string NSTimeZone::icuZoneID() {
    return local_ ? resolved()->icuZoneID() : icuID_;
}

void* NSTimeZone::calendarLocked() {
    if (!cal_) {
        UErrorCode st = U_ZERO_ERROR;
        UCalendar* c =
            ucal_open(icuID_.data(), static_cast<int32_t>(icuID_.size()), "", UCAL_GREGORIAN, &st);
        if (U_SUCCESS(st)) cal_ = c;
    }
    return cal_;
}

void NSTimeZone::offsetsAt(double udate, int32_t& raw, int32_t& dst) {
    raw = dst = 0;
    if (fixed_) {
        raw = fixedSeconds_ * 1000;
        return;
    }
    std::lock_guard<std::mutex> g(mutex_);
    auto* c = static_cast<UCalendar*>(calendarLocked());
    if (!c) return;
    UErrorCode st = U_ZERO_ERROR;
    ucal_setMillis(c, udate, &st);
    raw = ucal_get(c, UCAL_ZONE_OFFSET, &st);
    dst = ucal_get(c, UCAL_DST_OFFSET, &st);
    if (U_FAILURE(st)) raw = dst = 0;
}

Ref<NSString> NSTimeZone::name() {
    return local_ ? resolved()->name() : name_;
}

Ref<NSString> NSTimeZone::abbreviation() {
    return abbreviationForDate(NSDate::date());
}

Ref<NSString> NSTimeZone::abbreviationForDate(NSDate* date) {
    if (local_) return resolved()->abbreviationForDate(date);
    if (!date) return nullptr;
    int32_t raw = 0, dst = 0;
    offsetsAt(toUDate(date), raw, dst);
    if (!fixed_) {
        std::lock_guard<std::mutex> g(mutex_);
        if (auto* c = static_cast<UCalendar*>(cal_)) {
            // The names English speakers use ("EST"); zones without one read "GMT+1".
            auto s = icuText([&](UChar* b, int32_t n, UErrorCode* e) {
                return ucal_getTimeZoneDisplayName(c, dst ? UCAL_SHORT_DST : UCAL_SHORT_STANDARD,
                                                   "en_US", b, n, e);
            });
            if (!s.empty()) return NSString::fromUTF16(s);
        }
    }
    const int total = (raw + dst) / 1000;
    if (total == 0) return NS("GMT");
    const int a = std::abs(total);
    const char sign = total < 0 ? '-' : '+';
    if (a % 3600 == 0) return NSString::stringWithFormat(NS("GMT%c%d"), sign, a / 3600);
    return NSString::stringWithFormat(NS("GMT%c%d:%02d"), sign, a / 3600, a / 60 % 60);
}

NSInteger NSTimeZone::secondsFromGMT() {
    return secondsFromGMTForDate(NSDate::date());
}

NSInteger NSTimeZone::secondsFromGMTForDate(NSDate* date) {
    if (local_) return resolved()->secondsFromGMTForDate(date);
    if (!date) return 0;
    int32_t raw = 0, dst = 0;
    offsetsAt(toUDate(date), raw, dst);
    return (raw + dst) / 1000;
}

bool NSTimeZone::isDaylightSavingTime() {
    return isDaylightSavingTimeForDate(NSDate::date());
}

bool NSTimeZone::isDaylightSavingTimeForDate(NSDate* date) {
    return daylightSavingTimeOffsetForDate(date) != 0;
}

NSTimeInterval NSTimeZone::daylightSavingTimeOffset() {
    return daylightSavingTimeOffsetForDate(NSDate::date());
}

NSTimeInterval NSTimeZone::daylightSavingTimeOffsetForDate(NSDate* date) {
    if (local_) return resolved()->daylightSavingTimeOffsetForDate(date);
    if (!date) return 0;
    int32_t raw = 0, dst = 0;
    offsetsAt(toUDate(date), raw, dst);
    return dst / 1000.0;
}

Ref<NSDate> NSTimeZone::nextDaylightSavingTimeTransitionAfterDate(NSDate* date) {
    if (local_) return resolved()->nextDaylightSavingTimeTransitionAfterDate(date);
    if (!date || fixed_) return nullptr;
    std::lock_guard<std::mutex> g(mutex_);
    auto* c = static_cast<UCalendar*>(calendarLocked());
    if (!c) return nullptr;
    UErrorCode st = U_ZERO_ERROR;
    ucal_setMillis(c, toUDate(date), &st);
    UDate next = 0;
    if (!ucal_getTimeZoneTransitionDate(c, UCAL_TZ_TRANSITION_NEXT, &next, &st) || U_FAILURE(st))
        return nullptr;
    return dateFromUDate(next);
}

bool NSTimeZone::isEqualToTimeZone(NSTimeZone* other) {
    if (!other) return false;
    Ref<NSTimeZone> a = resolved(), b = other->resolved();
    if (a.get() == b.get()) return true;
    if (a->fixed_ != b->fixed_) return false;
    if (a->fixed_) return a->fixedSeconds_ == b->fixedSeconds_;
    return a->name_->isEqualToString(b->name_);
}

bool NSTimeZone::isEqual(NSObject* other) {
    auto o = as<NSTimeZone>(other);
    return o && isEqualToTimeZone(o);
}

NSUInteger NSTimeZone::hash() {
    return name()->hash();
}

Ref<NSString> NSTimeZone::description() {
    if (local_) {
        return NSString::stringWithFormat(NS("Local Time Zone (%@)"), resolved()->description());
    }
    auto now = NSDate::date();
    bool dst = isDaylightSavingTimeForDate(now);
    return NSString::stringWithFormat(NS("%@ (%@) offset %d%@"), name_, abbreviationForDate(now),
                                      secondsFromGMTForDate(now), dst ? NS(" (Daylight)") : NS(""));
}
