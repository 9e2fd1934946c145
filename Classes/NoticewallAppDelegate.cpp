#include "Classes/NoticewallAppDelegate.h"

#include <cmath>
#include <cstdint>

#include "Classes/MyStyleSheet.h"
#include "Classes/Theme.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/Runtime.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIWindow.h"
#include "analytics/TallyAPI.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "ui/core/DZURLRequestQueue.h"

NSString* const kNoticewallReviewURLTemplate =
    NS("itms-apps://itunes.appstore.test/WebObjects/MZStore.woa/wa/viewContentsUserReviews"
       "?id=APP_ID&onlyLatestVersion=true&pageNumber=0&sortOrdering=1&type=Purple+Software");
NSString* const kNoticewallAppStoreID = NS("703158249");
NSString* const kNoticewallAnalyticsKey = NS("QX4ZR7TMB2WN9KEH5VDJ");

namespace {
constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kDaysBeforeRating = 8;
constexpr NSInteger kLaunchesBeforeRating = 9;
constexpr int64_t kRefreshInterval = 864000;  // ten days
constexpr NSTimeInterval kRequestTimeOut = 60;

// Seconds since 1970 stored under a key, 64 bits wide; 0 when missing or not a number.
int64_t storedSeconds(NSUserDefaults* defaults, NSString* key) {
    auto value = defaults->objectForKey(key);
    if (auto number = as<NSNumber>(value)) return number->longLongValue();
    if (auto text = as<NSString>(value)) return text->longLongValue();
    return 0;
}

int64_t nowSeconds() {
    return static_cast<int64_t>(std::trunc(NSDate::date()->timeIntervalSince1970()));
}
}  // namespace

void NoticewallAppDelegate::describeClass(RuntimeClass& c) {
    c.implements({"application:didFinishLaunchingWithOptions:", "applicationWillResignActive:",
                  "applicationDidEnterBackground:", "applicationWillEnterForeground:",
                  "applicationDidBecomeActive:", "applicationWillTerminate:",
                  "applicationDidReceiveMemoryWarning:", "alertView:clickedButtonAtIndex:"});
    c.property("window", &NoticewallAppDelegate::window, &NoticewallAppDelegate::setWindow);
    c.property("navigationController", &NoticewallAppDelegate::navigationController,
               &NoticewallAppDelegate::setNavigationController);
    c.property("loginTime", &NoticewallAppDelegate::loginTime,
               &NoticewallAppDelegate::setLoginTime);
    c.method("askForReview", &NoticewallAppDelegate::askForReview);
    c.method("updateDue:", &NoticewallAppDelegate::updateDue);
    c.method("showMessage:", &NoticewallAppDelegate::showMessage);
    c.method("showMessageOnMainThread:", &NoticewallAppDelegate::showMessageOnMainThread);
}

Ref<NoticewallAppDelegate> NoticewallAppDelegate::sharedDelegate() {
    return as<NoticewallAppDelegate>(UIApplication::sharedApplication()->delegate());
}

Ref<UIWindow> NoticewallAppDelegate::window() {
    return window_;
}

void NoticewallAppDelegate::setWindow(UIWindow* window) {
    window_ = window;
}

Ref<UINavigationController> NoticewallAppDelegate::navigationController() {
    return navigationController_;
}

void NoticewallAppDelegate::setNavigationController(UINavigationController* controller) {
    navigationController_ = controller;
}

Ref<NSDate> NoticewallAppDelegate::loginTime() {
    return loginTime_;
}

void NoticewallAppDelegate::setLoginTime(NSDate* time) {
    loginTime_ = time;
}

// ---- application life cycle ----------------------------------------------------------------

bool NoticewallAppDelegate::applicationDidFinishLaunchingWithOptions(UIApplication*,
                                                                     NSDictionary*) {
    // The app's style sheet comes first: adding the outer stack's view builds the Search screen
    // at once, and its styled buttons take their styles from the sheet installed when they are
    // made.
    MyStyleSheet::initTTStyleSheet();
    if (window_ && navigationController_) {
        window_->addSubview(navigationController_->view());
        window_->makeKeyAndVisible();
    }
    if (navigationController_) {
        navigationController_->navigationBar()->setTintColor(Theme::sys()->toolBarColor());
    }
    // One analytics session per launch.
    TallyAPI::startSession(kNoticewallAnalyticsKey);
    askForReview();
    NKHTTPRequest::setDefaultTimeOutSeconds(kRequestTimeOut);
    // Listing thumbnails and the captcha are small; anything larger is not an image we show.
    DZURLRequestQueue::mainQueue()->setMaxContentLength(200000);
    return true;
}

void NoticewallAppDelegate::applicationWillResignActive(UIApplication*) {}
void NoticewallAppDelegate::applicationDidEnterBackground(UIApplication*) {}
void NoticewallAppDelegate::applicationWillEnterForeground(UIApplication*) {}
void NoticewallAppDelegate::applicationDidBecomeActive(UIApplication*) {}
void NoticewallAppDelegate::applicationWillTerminate(UIApplication*) {}
void NoticewallAppDelegate::applicationDidReceiveMemoryWarning(UIApplication*) {}

// ---- rating prompt --------------------------------------------------------------------------

void NoticewallAppDelegate::askForReview() {
    auto defaults = NSUserDefaults::standardUserDefaults();
    // A first-run value that is not a date (a damaged file) restarts the wait from now.
    auto firstRun = as<NSDate>(defaults->objectForKey(NS("fistRun1")));
    if (!firstRun) {
        firstRun = NSDate::date();
        defaults->setObject(firstRun, NS("fistRun1"));
    }
    if (!defaults->objectForKey(NS("runCount1"))) {
        defaults->setObject(NSNumber::numberWithInt(0), NS("runCount1"));
    }
    NSInteger count = defaults->integerForKey(NS("runCount1")) + 1;
    defaults->setInteger(count, NS("runCount1"));
    NSLog(NS("runcount %d\n"), count);

    auto days = static_cast<int64_t>(std::trunc(NSDate::date()->timeIntervalSinceDate(firstRun))) /
                kSecondsPerDay;
    if (days >= kDaysBeforeRating && count >= kLaunchesBeforeRating &&
        !defaults->boolForKey(NS("askedForRating"))) {
        auto alert = alloc<UIAlertView>();
        alert->initWithTitle(NS("Bazaarnest Mobile"),
                             NS("If you enjoy using Bazaarnest Mobile, would you mind take a "
                                "moment to rate it in App Store? Thanks for your support!"),
                             this, NS("No, Thanks"), {NS("Rate it!")});
        alert->show();
        // Asked once, whatever the answer turns out to be.
        defaults->setBool(true, NS("askedForRating"));
    }
    defaults->synchronize();
}

void NoticewallAppDelegate::alertViewClickedButtonAtIndex(UIAlertView*, NSInteger buttonIndex) {
    if (buttonIndex != 1) return;
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setBool(true, NS("rated"));
    defaults->synchronize();
    auto link = kNoticewallReviewURLTemplate->stringByReplacingOccurrencesOfString(
        NS("APP_ID"), kNoticewallAppStoreID);
    UIApplication::sharedApplication()->openURL(NSURL::URLWithString(link));
}

// ---- refresh-due test -------------------------------------------------------------------------

bool NoticewallAppDelegate::updateDue(NSString* key) {
    auto defaults = NSUserDefaults::standardUserDefaults();
    auto versionKey = NSString::stringWithFormat(NS("%@_VERSION"), key);
    int64_t lastRefresh = storedSeconds(defaults, key);
    bool due = false;
    if (defaults->integerForKey(versionKey) < 1) {
        defaults->setInteger(1, versionKey);
        due = true;
    }
    int64_t now = nowSeconds();
    if (now - lastRefresh > kRefreshInterval) {
        // Stored as a 64-bit number: whole seconds since 1970 outgrow 32 bits in 2038.
        defaults->setObject(NSNumber::numberWithLongLong(now), key);
        defaults->synchronize();
        return true;
    }
    defaults->synchronize();
    return due;
}

// ---- messages ---------------------------------------------------------------------------------

void NoticewallAppDelegate::showMessage(NSString* message) {
    performSelectorOnMainThread(Selector::named("showMessageOnMainThread:"), message, false);
}

void NoticewallAppDelegate::showMessageOnMainThread(NSString* message) {
    showNotice(message);
}

Ref<UIAlertView> NoticewallAppDelegate::showNotice(NSString* message) {
    auto alert = alloc<UIAlertView>();
    alert->initWithTitle(NS("Notice"), message, nullptr, NS("OK"));
    alert->show();
    return alert;
}

void NoticewallAppDelegate::dealloc() {
    navigationController_ = nullptr;
    loginTime_ = nullptr;
    managedObjectContext_ = nullptr;
    managedObjectModel_ = nullptr;
    persistentStoreCoordinator_ = nullptr;
    window_ = nullptr;
    super::dealloc();
}
