#include "ads/pebble/PBLRequest.h"

#include <filesystem>
#include <fstream>

#include "AudioToolbox/AudioToolbox.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/SystemInfo.h"
#include "SystemConfiguration/SCNetworkReachability.h"
#include "UIKit/UIAccelerometer.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIScreen.h"
#include "ads/pebble/HXStringEncoding.h"
#include "ads/pebble/PBLGestureUtil.h"
#include "ads/pebble/PBLIdentifierUtilities.h"
#include "ads/pebble/PBLLocation.h"
#include "ads/pebble/PBLNetworkChecker.h"
#include "ads/pebble/PBLRequestError.h"
#include "ads/pebble/PebbleTesting.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

namespace {

namespace fs = std::filesystem;

// A phone app bundle "com.example.ads" (version 7 unless left out), the stock phone, portrait,
// speaker route, and the platform's default openable schemes.
class PBLRequestTest : public PebbleTest {
protected:
    void SetUp() override {
        PebbleTest::SetUp();
        root_ = NSTemporaryDirectory()->utf8() + "PebbleFixture.app";
        writeBundle(true);
        auto app = UIApplication::sharedApplication();
        app->setStatusBarHidden(false);
        app->setStatusBarOrientation(UIInterfaceOrientationPortrait);
        schemes_ = app->openableURLSchemes();
        UIScreen::mainScreen()->setScale(1);
        NSUserDefaults::standardUserDefaults()->setObject(
            NSArray::arrayWithObjects({NS("en-GB"), NS("fr")}), NS("AppleLanguages"));
    }
    void TearDown() override {
        UIApplication::sharedApplication()->setOpenableURLSchemes(schemes_);
        UIApplication::sharedApplication()->setStatusBarHidden(false);
        UIScreen::mainScreen()->setScale(1);
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("AppleLanguages"));
        unsetenv("BAZAARNEST_BUNDLE");
        NSBundle::resetMainBundle();
        fs::remove_all(root_);
        PebbleTest::TearDown();
    }
    void writeBundle(bool withVersion) {
        fs::remove_all(root_);
        fs::create_directories(root_);
        std::ofstream(fs::path(root_) / "Info.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
               "<key>CFBundleIdentifier</key><string>com.example.ads</string>"
            << (withVersion ? "<key>CFBundleVersion</key><string>7</string>" : "")
            << "</dict></plist>";
        setenv("BAZAARNEST_BUNDLE", root_.c_str(), 1);
        NSBundle::resetMainBundle();
    }
    static std::string param(NSDictionary* p, const char* key) {
        auto v = p->objectForKey(NSString::stringWithUTF8String(key));
        return v ? text(v->description()) : "<none>";
    }
    std::string root_;
    Ref<NSArray> schemes_;
};

TEST_F(PBLRequestTest, EveryFactoryMakesThePrivateClass) {
    EXPECT_TRUE(is<PBLRequestPrivate>(PBLRequest::request()));
    auto allocated = PBLRequest::alloc();
    EXPECT_TRUE(is<PBLRequestPrivate>(allocated));
    EXPECT_TRUE(allocated->init());
    auto r = cast<PBLRequestPrivate>(PBLRequest::request());
    r->setCounter(9);
    r->setGender(2);
    r->addKeyword(NS(""));
    r->addKeyword(nullptr);
    EXPECT_EQ(r->keywords().get(), nullptr);
    r->addKeyword(NS("a"));
    r->addKeyword(NS("b"));
    EXPECT_EQ(text(r->keywords()->componentsJoinedByString(NS(","))), "a,b");
    r->setLocationWithDescription(NS("Leeds"));
    r->setInterstitialAd(true);
    auto copy = cast<PBLRequestPrivate>(r->copy());
    EXPECT_EQ(copy->keywords().get(), r->keywords().get());  // shared, not copied
    EXPECT_EQ(copy->location().get(), r->location().get());
    EXPECT_TRUE(copy->isInterstitialAd());
    EXPECT_EQ(copy->gender(), 2);
    EXPECT_EQ(copy->counter(), 0);
    r->setLocationWithLatitude(0, 0, 10);
    EXPECT_EQ(r->location().get(), nullptr);
    EXPECT_EQ(PBLRequest::sdkVersion().get(), PBLRequest::sdkVersion().get());
    EXPECT_EQ(text(PBLRequest::sdkVersion()), "pbma-sdk-i-v4.1.0");
}

TEST_F(PBLRequestTest, DescriptionListsOnlyWhatIsSet) {
    auto r = cast<PBLRequestPrivate>(PBLRequest::request());
    r->setGender(2);
    std::string d = text(r->description());
    EXPECT_EQ(d.rfind("PBLRequest<0x", 0), 0u);
    EXPECT_EQ(d.substr(d.size() - 14), "\ngender:Female");
    r->setGender(1);
    r->addKeyword(NS("bike"));
    d = text(r->description());
    EXPECT_NE(d.find("\ngender:Male\nkeywords:"), std::string::npos);
    EXPECT_EQ(d.find("birthday"), std::string::npos);
}

TEST_F(PBLRequestTest, TargetingValues) {
    auto r = cast<PBLRequestPrivate>(PBLRequest::request());
    EXPECT_EQ(r->genderString().get(), nullptr);
    r->setGender(3);
    EXPECT_EQ(r->genderString().get(), nullptr);
    r->setGender(1);
    EXPECT_EQ(text(r->genderString()), "m");
    EXPECT_EQ(r->birthdayString().get(), nullptr);
    r->setBirthdayWithMonth(3, 5, 1980);
    EXPECT_EQ(text(r->birthdayString()), "19800305");
}

TEST_F(PBLRequestTest, PhoneParametersWorkedByHand) {
    UIApplication::sharedApplication()->setOpenableURLSchemes(
        NSArray::arrayWithObjects({NS("http"), NS("kindle")}));
    auto ids = make<PBLIdentifierUtilities>();
    auto p = ids->parameters();
    EXPECT_EQ(param(p, "app_name"), "7.iphone.com.example.ads");
    EXPECT_EQ(param(p, "u_audio"), "1");
    EXPECT_EQ(param(p, "u_so"), "p");
    EXPECT_EQ(param(p, "platform"), "iPhone");
    EXPECT_EQ(param(p, "submodel"), "iPhone3,1");
    EXPECT_EQ(param(p, "hl"), "en-gb");
    EXPECT_EQ(param(p, "u_sd"), "1");
    EXPECT_EQ(param(p, "u_w"), "320");
    EXPECT_EQ(param(p, "u_h"), "480");  // 460 plus the 20 of the status bar
    EXPECT_EQ(param(p, "cap_bs"), "2");
    EXPECT_EQ(param(p, "ios_ipadc"), "<none>");
    std::string isu = param(p, "isu");
    EXPECT_EQ(isu.size(), 32u);
    EXPECT_EQ(isu.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(text(ids->deviceIdentifierBase64()).size(), 22u);  // 16 bytes, no padding
}

TEST_F(PBLRequestTest, TabletHiddenStatusBarHeadsetAndBothSchemes) {
    UIDevice::currentDevice()->setModel(NS("iPad"));
    phone_system::setHardwareModel("iPad1,1");
    UIApplication::sharedApplication()->setStatusBarHidden(true);
    UIApplication::sharedApplication()->setOpenableURLSchemes(
        NSArray::arrayWithObjects({NS("itms-books"), NS("kindle")}));
    UIScreen::mainScreen()->setScale(2);
    audio_session::setRoute(NS("Headset"));
    writeBundle(false);
    auto p = make<PBLIdentifierUtilities>()->parameters();
    EXPECT_EQ(param(p, "ios_ipadc"), "1");  // a phone app on a tablet
    EXPECT_EQ(param(p, "app_name"), "iphone.com.example.ads");
    EXPECT_EQ(param(p, "u_audio"), "2");
    EXPECT_EQ(param(p, "submodel"), "iPad1,1");
    EXPECT_EQ(param(p, "u_sd"), "2");
    EXPECT_EQ(param(p, "u_h"), "480");
    EXPECT_EQ(param(p, "cap_bs"), "3");
    UIApplication::sharedApplication()->setOpenableURLSchemes(
        NSArray::arrayWithObjects({NS("http")}));
    UIDevice::currentDevice()->setUserInterfaceIdiom(UIUserInterfaceIdiomPad);
    audio_session::setRoute(NS(""));
    auto pad = make<PBLIdentifierUtilities>();
    auto q = pad->parameters();
    EXPECT_EQ(param(q, "ios_ipadc"), "<none>");
    EXPECT_EQ(param(q, "cap_bs"), "<none>");
    EXPECT_EQ(param(q, "u_audio"), "3");
    audio_session::setRoute(NS("LineOut"));
    EXPECT_EQ(pad->audioRoute(), 5);
    audio_session::setRoute(nullptr);
    EXPECT_EQ(pad->audioRoute(), 1);
}

TEST_F(PBLRequestTest, OperatingSystemVersions) {
    UIDevice::currentDevice()->setSystemVersion(NS("2.2"));
    int major = -1, minor = -1, bug = -1;
    PBLIdentifierUtilities::getOSMajor(&major, &minor, &bug);
    EXPECT_EQ(major * 100 + minor * 10 + bug, 220);
    PBLIdentifierUtilities::getOSMajor(nullptr, nullptr, nullptr);
    EXPECT_FALSE(PBLRequestPrivate::deviceAtLeastMinimumOSMajorVersion(3, 0));
    EXPECT_FALSE(PBLIdentifierUtilities::isOSAtLeastMajor(2, 2, 1));
    EXPECT_TRUE(PBLIdentifierUtilities::isOSAtLeastMajor(2, 2, 0));
    EXPECT_EQ(text(PBLRequestError::localizedStringForErrorCode(4)),
              "Request Error: This device's OS is 2.2.0.  It is below the minimum of 3.0.");
    UIDevice::currentDevice()->setSystemVersion(NS("4.3.1"));
    EXPECT_TRUE(PBLRequestPrivate::deviceAtLeastMinimumOSMajorVersion(3, 0));
    EXPECT_TRUE(PBLRequestPrivate::deviceAtLeastMinimumOSMajorVersion(4, 3));
    EXPECT_FALSE(PBLRequestPrivate::deviceAtLeastMinimumOSMajorVersion(4, 4));
}

TEST_F(PBLRequestTest, RequestParametersFieldByField) {
    auto r = cast<PBLRequestPrivate>(PBLRequest::request());
    auto bare = r->parameters();
    for (const char* key : {"js", "preqs", "app_name", "u_audio", "u_so", "u_sd", "u_w", "u_h",
                            "isu", "platform", "submodel", "hl"})
        EXPECT_NE(param(bare, key), "<none>") << key;
    EXPECT_EQ(param(bare, "js"), "pbma-sdk-i-v4.1.0");
    EXPECT_EQ(param(bare, "preqs"), "0");
    EXPECT_EQ(param(bare, "adtest"), "<none>");

    PBLStatistics::sharedStatistics()->setAdRequestCount(41);
    PBLStatistics::sharedStatistics()->incrementClickCount();
    r->setCounter(42);
    r->setTesting(true);
    r->setTestDevices(
        NSArray::arrayWithObjects({NS("other"), UIDevice::currentDevice()->uniqueIdentifier()}));
    r->setAdditionalParameters(NSDictionary::dictionaryWithObject(NS("FFFFFF"), NS("color_bg")));
    r->setGender(1);
    r->setBirthdayWithMonth(12, 31, 1999);
    r->addKeyword(NS("bike"));
    r->setLocationWithLatitude(48.85f, 2.35f, 65);
    auto p = r->parameters();
    EXPECT_EQ(param(p, "testing"), "1");
    EXPECT_EQ(param(p, "adtest"), "on");
    EXPECT_EQ(text(cast<NSDictionary>(p->objectForKey(NS("extras")))->objectForKey(NS("color_bg"))),
              "FFFFFF");
    EXPECT_EQ(param(p, "cust_gender"), "m");
    EXPECT_EQ(param(p, "cust_age"), "19991231");
    EXPECT_EQ(cast<NSArray>(p->objectForKey(NS("kw")))->count(), 1u);
    EXPECT_EQ(param(p, "uule").rfind("e1+", 0), 0u);
    EXPECT_EQ(param(p, "pcc"), "1");
    // The request's own counter, a number, replaces the shared count.
    EXPECT_TRUE(is<NSNumber>(p->objectForKey(NS("preqs"))));
    EXPECT_EQ(param(p, "preqs"), "42");
    EXPECT_EQ(text(cast<NSString>(p->allKeys()->lastObject())), "preqs");

    // The digest of the identifier is no test device.
    r->setTestDevices(NSArray::arrayWithObject(NSString::fromUTF8(param(p, "isu"))));
    EXPECT_EQ(param(r->parameters(), "adtest"), "<none>");
}

TEST_F(PBLRequestTest, NetworkTypeFromTheSharedChecker) {
    SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable);
    auto checker = PBLNetworkChecker::sharedChecker();
    EXPECT_TRUE(runLoopUntil([&] { return checker->networkType() == 2; }));
    auto r = cast<PBLRequestPrivate>(PBLRequest::request());
    EXPECT_EQ(param(r->parameters(), "net"), "wi");
    checker->setNetworkTypeFromFlags(0);
    EXPECT_EQ(param(r->parameters(), "net"), "<none>");
    SCNetworkReachabilityClearFlagsForTesting();
}

TEST_F(PBLRequestTest, ErrorTextsAndTheInvalidRequestsParameters) {
    auto r = cast<PBLRequestPrivate>(PBLRequest::request());
    r->addKeyword(NS("bike"));
    auto invalid = PBLRequestError::errorWithCode(0, r);
    EXPECT_EQ(invalid->code(), 0);
    EXPECT_EQ(text(invalid->domain()), text(PBLErrorDomain));
    EXPECT_EQ(text(invalid->localizedDescription()),
              "Request Error: Invalid ad request parameter(s).  Check the Xcode console for "
              "details.");
    EXPECT_EQ(text(invalid->userInfo()->objectForKey(NSLocalizedFailureReasonErrorKey)),
              text(invalid->localizedDescription()));
    EXPECT_TRUE(invalid->userInfo()->objectForKey(NS("kw")));
    EXPECT_TRUE(invalid->userInfo()->objectForKey(NS("js")));
    auto seven = PBLRequestError::errorWithCode(7, r);
    EXPECT_EQ(text(seven->localizedDescription()), text(invalid->localizedDescription()));
    EXPECT_EQ(seven->userInfo()->count(), 2u);
    EXPECT_EQ(text(PBLRequestError::localizedStringForErrorCode(1)),
              "Request Error: No ad to show.");
    EXPECT_EQ(text(PBLRequestError::localizedStringForErrorCode(2)),
              "Request Error: A network error occurred.");
    EXPECT_EQ(text(PBLRequestError::localizedStringForErrorCode(3)),
              "Request Error: Server error processing the request.");
    EXPECT_EQ(text(PBLRequestError::localizedStringForErrorCode(5)),
              "Request Error: The Pebble Ad request was unable to be fulfilled before a timeout "
              "occurred.");
}

// A delegate the application installed before the ad client.
class AppDelegate : public NSObject, public UIAccelerometerDelegate {
    NS_OBJECT(AppDelegate, NSObject)
public:
    void accelerometer(UIAccelerometer*, UIAcceleration*) override { ++samples; }
    int samples = 0;
};

TEST_F(PBLRequestTest, SignalPairCarriesLoadsTouchesSampleAndReachability) {
    auto accelerometer = UIAccelerometer::sharedAccelerometer();
    auto app = make<AppDelegate>();
    accelerometer->setDelegate(app);
    pblGestureInit();
    pblGestureInit();  // twice: still chained to the application's delegate only
    accelerometer->injectSample(0.5, -0.25, 1.0);
    advanceRunLoop(1.0);
    EXPECT_GT(app->samples, 0);
    int32_t sample[4];
    pblGestureAccelerationSample(sample);
    EXPECT_EQ(sample[0], 50);
    EXPECT_EQ(sample[1], -25);
    EXPECT_EQ(sample[2], 100);

    SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable |
                                            kSCNetworkReachabilityFlagsIsWWAN);
    pblSignalsNoteAdLoad(0, PBLRequest::sdkVersion());
    pblSignalsRecordTouch(1, 2, 3);
    pblSignalsRecordTouch(1, 2, 3);
    auto signals = cast<PBLRequestPrivate>(PBLRequest::request())->spamSignals();
    ASSERT_EQ(signals->count(), 1u);
    auto value = cast<NSString>(signals->objectForKey(NS("ms")));
    ASSERT_TRUE(value);
    EXPECT_EQ(text(HXStringEncoding::rfc4648Base64WebsafeStringEncoding()->stringByDecoding(value)),
              "v1;loads=1;touches=2;acc=50,-25,100;reach=262146");
    PBLSignals::setEnabled(false);
    EXPECT_EQ(cast<PBLRequestPrivate>(PBLRequest::request())->spamSignals()->count(), 0u);
    SCNetworkReachabilityClearFlagsForTesting();
}

}  // namespace
