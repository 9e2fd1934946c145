#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Foundation/NSNotification.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIScreen.h"
#include "support/FoundationTesting.h"

TEST(UIDevice, DescribesThePhone) {
    auto d = UIDevice::currentDevice();
    EXPECT_EQ(d->model()->utf8(), "iPhone");
    EXPECT_EQ(d->systemName()->utf8(), "iPhone OS");
    EXPECT_EQ(d->systemVersion()->utf8(), "5.0");
    EXPECT_EQ(d->userInterfaceIdiom(), UIUserInterfaceIdiomPhone);
}

TEST(UIDevice, IdentifierIsKeptInTheSandboxAcrossLaunches) {
    auto d = UIDevice::currentDevice();
    auto file = std::filesystem::path(NSHomeDirectory()->utf8()) / "Library" / "DeviceIdentifier";
    std::filesystem::remove(file);
    EarlierWriterLeftover leftover(str(file.string()));
    d->resetIdentifierCache();
    std::string id = d->uniqueIdentifier()->utf8();
    EXPECT_EQ(id.size(), 40u);
    EXPECT_TRUE(leftover.gone());  // one of the platform's own files
    EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos);
    d->resetIdentifierCache();  // as a new launch would
    EXPECT_EQ(d->uniqueIdentifier()->utf8(), id);
    // A damaged file is replaced.
    std::ofstream(file) << "not an identifier";
    d->resetIdentifierCache();
    std::string fresh = d->uniqueIdentifier()->utf8();
    EXPECT_EQ(fresh.size(), 40u);
    EXPECT_NE(fresh, id);
}

TEST(UIDevice, OrientationIsReportedOnlyWhileGenerating) {
    auto d = UIDevice::currentDevice();
    int posts = 0;
    auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
        UIDeviceOrientationDidChangeNotification, nullptr, [&](NSNotification*) { ++posts; });
    d->setOrientation(UIDeviceOrientationLandscapeLeft);
    EXPECT_EQ(d->orientation(), UIDeviceOrientationUnknown);
    EXPECT_EQ(posts, 0);
    d->beginGeneratingDeviceOrientationNotifications();
    EXPECT_EQ(d->orientation(), UIDeviceOrientationLandscapeLeft);
    d->setOrientation(UIDeviceOrientationPortrait);
    d->setOrientation(UIDeviceOrientationPortrait);
    EXPECT_EQ(posts, 1);
    d->endGeneratingDeviceOrientationNotifications();
    NSNotificationCenter::defaultCenter()->removeObserver(token);
}

TEST(UIDevice, TestsMakeItAnotherDevice) {
    auto d = UIDevice::currentDevice();
    d->setModel(NS("iPad"));
    d->setSystemVersion(NS("4.2.1"));
    d->setUserInterfaceIdiom(UIUserInterfaceIdiomPad);
    d->setMultitaskingSupported(false);
    EXPECT_EQ(d->model()->utf8(), "iPad");
    EXPECT_EQ(d->localizedModel()->utf8(), "iPad");
    EXPECT_EQ(d->systemVersion()->utf8(), "4.2.1");
    EXPECT_EQ(UI_USER_INTERFACE_IDIOM(), UIUserInterfaceIdiomPad);
    EXPECT_FALSE(d->isMultitaskingSupported());
    // Read by name, as code that probes the device does.
    EXPECT_TRUE(d->respondsToSelector(Selector::named("isMultitaskingSupported")));
    EXPECT_EQ(text(d->performSelector(Selector::named("systemVersion"))), "4.2.1");
    // The next test, after the reset between tests, has the device as it was.
    resetProcessWideInstances();
    d = UIDevice::currentDevice();
    EXPECT_EQ(d->model()->utf8(), "iPhone");
    EXPECT_EQ(d->systemVersion()->utf8(), "5.0");
    EXPECT_EQ(d->userInterfaceIdiom(), UIUserInterfaceIdiomPhone);
    EXPECT_TRUE(d->isMultitaskingSupported());
}

// The screen a test made high-resolution is the plain one again for the next test.
TEST(UIScreen, TheResetBetweenTestsGivesTheDefaultScreen) {
    UIScreen::mainScreen()->setScale(2);
    UIScreen::mainScreen()->setBrightness(1);
    resetProcessWideInstances();
    EXPECT_EQ(UIScreen::mainScreen()->scale(), 1);
    EXPECT_EQ(UIScreen::mainScreen()->brightness(), 0.5f);
}
