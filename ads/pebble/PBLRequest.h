// The ad request: targeting values of one load, and the parameters sent for it. Every request
// object is a PBLRequestPrivate: PBLRequest is abstract, and its factories make the private class.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;
class NSDate;
class NSDictionary;
class NSMutableArray;
class NSMutableDictionary;
class NSString;
class PBLLocation;

class PBLRequest : public NSObject {
    NS_OBJECT(PBLRequest, NSObject)
    static Ref<PBLRequest> alloc();
    static Ref<PBLRequest> request();
    // "pbma-sdk-i-v4.1.0", the same object on every call.
    static Ref<NSString> sdkVersion();

    virtual void setAdditionalParameters(NSDictionary* parameters) = 0;
    virtual Ref<NSDictionary> additionalParameters() = 0;
    virtual void setTestDevices(NSArray* devices) = 0;
    virtual Ref<NSArray> testDevices() = 0;
    virtual void setTesting(bool testing) = 0;
    virtual bool isTesting() = 0;
    virtual void setGender(int gender) = 0;  // 0 not given, 1 male, 2 female
    virtual int gender() = 0;
    virtual void setBirthday(NSDate* birthday) = 0;
    virtual Ref<NSDate> birthday() = 0;
    virtual void setKeywords(NSMutableArray* keywords) = 0;
    virtual Ref<NSMutableArray> keywords() = 0;
    virtual void addKeyword(NSString*) {}
    virtual void setLocationWithDescription(NSString*) {}
    virtual void setLocationWithLatitude(float, float, float) {}
    virtual void setBirthdayWithMonth(int, int, int) {}
};

class PBLRequestPrivate : public PBLRequest {
    NS_OBJECT(PBLRequestPrivate, PBLRequest)
    // Shares the other request's objects (the keyword array too); the counter stays 0.
    bool initWithRequest(PBLRequest* request);
    Ref<NSObject> copyWithZone() override;

    void setAdditionalParameters(NSDictionary* parameters) override;
    Ref<NSDictionary> additionalParameters() override { return additionalParameters_; }
    void setTestDevices(NSArray* devices) override;
    Ref<NSArray> testDevices() override { return testDevices_; }
    void setTesting(bool testing) override { testing_ = testing; }
    bool isTesting() override { return testing_; }
    void setGender(int gender) override { gender_ = gender; }
    int gender() override { return gender_; }
    void setBirthday(NSDate* birthday) override;
    Ref<NSDate> birthday() override { return birthday_; }
    void setKeywords(NSMutableArray* keywords) override;
    Ref<NSMutableArray> keywords() override { return keywords_; }
    void addKeyword(NSString* keyword) override;
    // An imprecise point or an empty description clears the location.
    void setLocationWithDescription(NSString* description) override;
    void setLocationWithLatitude(float latitude, float longitude, float accuracy) override;
    void setBirthdayWithMonth(int month, int day, int year) override;
    Ref<PBLLocation> location() { return location_; }
    void setLocation(PBLLocation* location);
    bool isInterstitialAd() { return interstitialAd_; }
    void setInterstitialAd(bool interstitial) { interstitialAd_ = interstitial; }
    int counter() { return counter_; }
    void setCounter(int counter) { counter_ = counter; }
    Ref<NSString> description() override;

    // Everything the ad URL carries for this request; reading it reports (and clears) the
    // statistics.
    Ref<NSMutableDictionary> parameters();
    // Zero or one extra query pair from the signal component.
    Ref<NSMutableDictionary> spamSignals();
    Ref<NSString> genderString();
    Ref<NSString> birthdayString();
    static bool deviceAtLeastMinimumOSMajorVersion(long major, long minor);

private:
    Ref<NSArray> testDevices_;
    bool testing_ = false;
    Ref<NSDictionary> additionalParameters_;
    int gender_ = 0;
    Ref<NSDate> birthday_;
    Ref<PBLLocation> location_;
    Ref<NSMutableArray> keywords_;
    bool interstitialAd_ = false;
    int counter_ = 0;
};
