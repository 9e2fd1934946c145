#include "ads/pebble/PBLIdentifierUtilities.h"

#include <sys/utsname.h>

#include "AudioToolbox/AudioToolbox.h"
#include "CommonCrypto/CommonDigest.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/SystemInfo.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIScreen.h"
#include "ads/pebble/PBLGestureUtil.h"
#include "ads/pebble/PBLNumberUtilities.h"

Ref<PBLIdentifierUtilities> PBLIdentifierUtilities::sharedInstance() {
    static ProcessWide<PBLIdentifierUtilities> shared;
    return shared.get();
}

bool PBLIdentifierUtilities::init() {
    if (!NSObject::init()) return false;
    isPhoneIdiom_ = UIDevice::currentDevice()->userInterfaceIdiom() == UIUserInterfaceIdiomPhone;
    return true;
}

void PBLIdentifierUtilities::getOSMajor(int* major, int* minor, int* bugFix) {
    auto version = UIDevice::currentDevice()->systemVersion();
    auto parts = version ? version->componentsSeparatedByString(NS(".")) : nullptr;
    int* out[3] = {major, minor, bugFix};
    for (NSUInteger i = 0; i < 3; ++i) {
        if (!out[i]) continue;
        *out[i] =
            parts && i < parts->count() ? cast<NSString>(parts->objectAtIndex(i))->intValue() : 0;
    }
}

bool PBLIdentifierUtilities::isOSAtLeastMajor(long major, long minor, long bug) {
    int v[3];
    getOSMajor(&v[0], &v[1], &v[2]);
    long want[3] = {major, minor, bug};
    for (int i = 0; i < 3; ++i)
        if (v[i] != want[i]) return v[i] > want[i];
    return true;
}

Ref<NSString> PBLIdentifierUtilities::deviceIdentifier() {
    if (!deviceIdentifier_) {
        auto id = UIDevice::currentDevice()->uniqueIdentifier();
        if (!id) return nullptr;
        std::string utf8 = id->utf8();
        unsigned char digest[CC_MD5_DIGEST_LENGTH];
        CC_MD5(utf8.data(), static_cast<CC_LONG>(utf8.size()), digest);
        auto hex = NSMutableString::string();
        for (unsigned char b : digest)
            hex->appendFormat(NS("%02X"), b);
        deviceIdentifier_ = hex->copy();
        deviceIdentifierBase64_ = pblGestureBase64(digest, sizeof digest);
    }
    return deviceIdentifier_;
}

Ref<NSString> PBLIdentifierUtilities::deviceIdentifierBase64() {
    deviceIdentifier();
    return deviceIdentifierBase64_;
}

Ref<NSString> PBLIdentifierUtilities::deviceModel() {
    return UIDevice::currentDevice()->model();
}

Ref<NSString> PBLIdentifierUtilities::deviceSubmodel() {
    if (!deviceSubmodel_) {
        struct utsname name;
        if (phone_system::uname(&name) != 0) return nullptr;
        deviceSubmodel_ = NSString::stringWithCString(name.machine, NSASCIIStringEncoding);
    }
    return deviceSubmodel_;
}

Ref<NSString> PBLIdentifierUtilities::osVersion() {
    return UIDevice::currentDevice()->systemVersion();
}

Ref<NSString> PBLIdentifierUtilities::locale() {
    if (!locale_) {
        auto languages =
            as<NSArray>(NSUserDefaults::standardUserDefaults()->objectForKey(NS("AppleLanguages")));
        auto first = languages && languages->count() > 0 ? as<NSString>(languages->objectAtIndex(0))
                                                         : nullptr;
        if (first) locale_ = first->lowercaseString();
    }
    return locale_;
}

int PBLIdentifierUtilities::audioRoute() {
    OSStatus status = AudioSessionInitialize(nullptr, nullptr, nullptr, nullptr);
    if (status != 0 && status != kAudioSessionAlreadyInitialized) return 1;
    Ref<NSString> route;
    UInt32 size = sizeof(Ref<NSString>);
    if (AudioSessionGetProperty(kAudioSessionProperty_AudioRoute, &size, &route) > 0 || !route ||
        route->isEqualToString(NS("Speaker")))
        return 1;
    if (route->isEqualToString(NS("Headphone")) || route->isEqualToString(NS("Headset"))) return 2;
    return route->length() == 0 ? 3 : 5;
}

bool PBLIdentifierUtilities::isOrientationLandscape() {
    auto o = UIApplication::sharedApplication()->statusBarOrientation();
    return o == UIInterfaceOrientationLandscapeLeft || o == UIInterfaceOrientationLandscapeRight;
}

float PBLIdentifierUtilities::screenDensity() {
    auto screen = UIScreen::mainScreen();
    return screen ? screen->scale() : 1.0f;
}

CGSize PBLIdentifierUtilities::screenSize() {
    CGRect frame = UIScreen::mainScreen()->applicationFrame();
    auto app = UIApplication::sharedApplication();
    CGSize size = frame.size;
    if (!app->isStatusBarHidden()) size.height += app->statusBarFrame().size.height;
    return size;
}

Ref<NSDictionary> PBLIdentifierUtilities::canOpenURLs(NSArray* urls) {
    auto result = NSMutableDictionary::dictionary();
    if (!urls) return result;
    auto app = UIApplication::sharedApplication();
    for (NSObject* item : *urls) {
        auto text = as<NSString>(item);
        if (!text) continue;
        auto url = NSURL::URLWithString(text);
        result->setObject(NSNumber::numberWithBool(url && app->canOpenURL(url)), text);
    }
    return result;
}

Ref<NSMutableDictionary> PBLIdentifierUtilities::parameters() {
    auto p = NSMutableDictionary::dictionary();
    auto model = deviceModel();
    if (model && model->isEqualToString(NS("iPad")) && isPhoneIdiom_)
        p->setObject(NS("1"), NS("ios_ipadc"));
    auto bundle = NSBundle::mainBundle();
    auto version = as<NSString>(bundle->objectForInfoDictionaryKey(NS("CFBundleVersion")));
    auto appName = NSMutableString::string();
    if (version) appName->appendFormat(NS("%@."), version.get());
    appName->appendFormat(NS("iphone.%@"), bundle->bundleIdentifier().get());
    p->setObject(appName, NS("app_name"));
    p->setObject(NSString::stringWithFormat(NS("%i"), audioRoute()), NS("u_audio"));
    p->setObject(isOrientationLandscape() ? NS("l") : NS("p"), NS("u_so"));
    if (auto v = deviceIdentifier()) p->setObject(v, NS("isu"));
    if (model) p->setObject(model, NS("platform"));
    if (auto v = deviceSubmodel()) p->setObject(v, NS("submodel"));
    if (auto v = locale()) p->setObject(v, NS("hl"));
    p->setObject(PBLNumberUtilities::stringWithFloat(screenDensity()), NS("u_sd"));
    CGSize size = screenSize();
    p->setObject(PBLNumberUtilities::stringWithFloat(size.width), NS("u_w"));
    p->setObject(PBLNumberUtilities::stringWithFloat(size.height), NS("u_h"));
    auto open = canOpenURLs(NSArray::arrayWithObjects({NS("itms-books://"), NS("kindle://home")}));
    int capabilities = 0;
    if (cast<NSNumber>(open->objectForKey(NS("itms-books://")))->boolValue()) capabilities |= 1;
    if (cast<NSNumber>(open->objectForKey(NS("kindle://home")))->boolValue()) capabilities |= 2;
    if (capabilities) p->setObject(NSNumber::numberWithInt(capabilities), NS("cap_bs"));
    return p;
}
