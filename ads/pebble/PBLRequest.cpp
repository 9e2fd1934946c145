#include "ads/pebble/PBLRequest.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSCalendar.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDateFormatter.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "UIKit/UIDevice.h"
#include "ads/pebble/PBLIdentifierUtilities.h"
#include "ads/pebble/PBLLocation.h"
#include "ads/pebble/PBLNetworkChecker.h"
#include "ads/pebble/PBLSignals.h"
#include "ads/pebble/PBLStatistics.h"

Ref<PBLRequest> PBLRequest::alloc() {
    return ::alloc<PBLRequestPrivate>();
}

Ref<PBLRequest> PBLRequest::request() {
    return make<PBLRequestPrivate>();
}

Ref<NSString> PBLRequest::sdkVersion() {
    static NSString* const version =
        immortal(NSString::stringWithFormat(NS("pbma-sdk-i-v%d.%d.%d"), 4, 1, 0));
    return version;
}

bool PBLRequestPrivate::initWithRequest(PBLRequest* request) {
    if (!init()) return false;
    if (!request) return true;
    setTestDevices(request->testDevices());
    setTesting(request->isTesting());
    setAdditionalParameters(request->additionalParameters());
    setGender(request->gender());
    setBirthday(request->birthday());
    if (auto r = as<PBLRequestPrivate>(request)) {
        setLocation(r->location());
        setInterstitialAd(r->isInterstitialAd());
    }
    setKeywords(request->keywords());
    return true;
}

Ref<NSObject> PBLRequestPrivate::copyWithZone() {
    return make<PBLRequestPrivate>(&PBLRequestPrivate::initWithRequest,
                                   static_cast<PBLRequest*>(this));
}

void PBLRequestPrivate::setAdditionalParameters(NSDictionary* parameters) {
    additionalParameters_ = parameters;
}
void PBLRequestPrivate::setTestDevices(NSArray* devices) {
    testDevices_ = devices;
}
void PBLRequestPrivate::setBirthday(NSDate* birthday) {
    birthday_ = birthday;
}
void PBLRequestPrivate::setKeywords(NSMutableArray* keywords) {
    keywords_ = keywords;
}
void PBLRequestPrivate::setLocation(PBLLocation* location) {
    location_ = location;
}

void PBLRequestPrivate::addKeyword(NSString* keyword) {
    if (!keyword || keyword->length() == 0) return;
    if (!keywords_)
        keywords_ = NSMutableArray::arrayWithObject(keyword);
    else
        keywords_->addObject(keyword);
}

void PBLRequestPrivate::setLocationWithDescription(NSString* description) {
    location_ = make<PBLLocation>(&PBLLocation::initWithDescription, description);
}

void PBLRequestPrivate::setLocationWithLatitude(float latitude, float longitude, float accuracy) {
    location_ = make<PBLLocation>(&PBLLocation::initWithLatitude, latitude, longitude, accuracy);
}

void PBLRequestPrivate::setBirthdayWithMonth(int month, int day, int year) {
    auto components = make<NSDateComponents>();
    components->setMonth(month);
    components->setDay(day);
    components->setYear(year);
    auto calendar = make<NSCalendar>(&NSCalendar::initWithCalendarIdentifier, NSGregorianCalendar);
    setBirthday(calendar->dateFromComponents(components));
}

Ref<NSString> PBLRequestPrivate::description() {
    Ref<NSString> gender = NS("");
    if (gender_ == 1)
        gender = NS("\ngender:Male");
    else if (gender_ == 2)
        gender = NS("\ngender:Female");
    auto part = [](NSString* format, NSObject* value) -> Ref<NSString> {
        return value ? NSString::stringWithFormat(format, value) : NSString::string();
    };
    return NSString::stringWithFormat(
        NS("%@<%p>: %@%@%@%@%@"), NS("PBLRequest"), this, gender.get(),
        part(NS("\nbirthday:%@"), birthday_).get(), part(NS("\nlocation:%@"), location_).get(),
        part(NS("\nkeywords:%@"), keywords_).get(),
        part(NS("\nadditionalParameters:%@"), additionalParameters_).get());
}

Ref<NSString> PBLRequestPrivate::genderString() {
    if (gender_ == 1) return NS("m");
    if (gender_ == 2) return NS("f");
    return nullptr;
}

Ref<NSString> PBLRequestPrivate::birthdayString() {
    if (!birthday_) return nullptr;
    auto formatter = make<NSDateFormatter>();
    formatter->setDateFormat(NS("yyyyMMdd"));
    return formatter->stringFromDate(birthday_);
}

bool PBLRequestPrivate::deviceAtLeastMinimumOSMajorVersion(long major, long minor) {
    int osMajor = 0, osMinor = 0;
    PBLIdentifierUtilities::getOSMajor(&osMajor, &osMinor, nullptr);
    return osMajor > major || (osMajor == major && osMinor >= minor);
}

Ref<NSMutableDictionary> PBLRequestPrivate::parameters() {
    auto p = NSMutableDictionary::dictionary();
    p->addEntriesFromDictionary(PBLIdentifierUtilities::sharedInstance()->parameters());
    p->setObject(sdkVersion(), NS("js"));
    if (auto net = PBLNetworkChecker::sharedChecker()->networkTypeString())
        p->setObject(net, NS("net"));
    if (testing_) {
        NSLog(
            NS("<Pebble> \"testing\" property has been deprecated.  Use \"testDevices\" "
               "instead."));
        p->setObject(NS("1"), NS("testing"));
    }
    // Test devices are listed by their raw identifier, not the digest sent as "isu".
    auto identifier = UIDevice::currentDevice()->uniqueIdentifier();
    if (testDevices_ && identifier && testDevices_->containsObject(identifier))
        p->setObject(NS("on"), NS("adtest"));
    if (additionalParameters_) p->setObject(additionalParameters_, NS("extras"));
    if (auto g = genderString()) p->setObject(g, NS("cust_gender"));
    if (auto b = birthdayString()) p->setObject(b, NS("cust_age"));
    if (keywords_) p->setObject(keywords_, NS("kw"));
    if (location_)
        if (auto uule = location_->oolongRepresentation()) p->setObject(uule, NS("uule"));
    p->addEntriesFromDictionary(PBLStatistics::sharedStatistics()->parameters());
    // Last, and the request's own: the statistics carry the shared count under the same key.
    p->removeObjectForKey(NS("preqs"));
    p->setObject(NSNumber::numberWithInt(counter_), NS("preqs"));
    return p;
}

Ref<NSMutableDictionary> PBLRequestPrivate::spamSignals() {
    auto result = NSMutableDictionary::dictionary();
    auto pair = NSMutableString::string();
    if (pblSignalsRequestParameter(pair)) {
        auto parts = pair->componentsSeparatedByString(NS("="));
        if (parts->count() >= 2 && cast<NSString>(parts->objectAtIndex(1))->length() > 0)
            result->setObject(parts->objectAtIndex(1), cast<NSString>(parts->objectAtIndex(0)));
    }
    return result;
}
