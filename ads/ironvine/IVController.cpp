#include "ads/ironvine/IVController.h"

#include <cmath>
#include <mutex>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIKitNotifications.h"
#include "ads/ironvine/IVAdEngine.h"
#include "ads/ironvine/IVAdManager.h"
#include "ads/ironvine/IVAdView.h"
#include "ads/ironvine/IVAsyncCommand.h"
#include "ads/ironvine/IVAudioEngine.h"
#include "ads/ironvine/IVClientDriver.h"
#include "ads/ironvine/IVClientManager.h"
#include "ads/ironvine/IVDatabase.h"
#include "ads/ironvine/IVFullScreenAd.h"
#include "ads/ironvine/IVHosts.h"
#include "ads/ironvine/network/IVReachability.h"

namespace {
constexpr double kTerminationDrainSeconds = 5.0;

ProcessWide<IVController>& sharedSlot() {
    static ProcessWide<IVController> shared;
    return shared;
}

int64_t& sessionStartSlot() {
    // Seconds since 1970 from the Clock's reference-date seconds.
    static int64_t start = static_cast<int64_t>(std::floor((Clock::now() + 978307200.0) * 1000.0));
    return start;
}
}  // namespace

void IVController::describeClass(RuntimeClass& c) {
    c.property("disabled", &IVController::disabled, &IVController::setDisabled)
        .property("sbwPropName", &IVController::sbwPropName, &IVController::setSbwPropName)
        .property("menuDisplayTime", &IVController::menuDisplayTime,
                  &IVController::setMenuDisplayTime)
        .property("exitItemDisplayTime", &IVController::exitItemDisplayTime,
                  &IVController::setExitItemDisplayTime)
        .property("execMode", &IVController::execMode, &IVController::setExecMode)
        .method("applicationWillEnterForeground:", &IVController::applicationWillEnterForeground)
        .method("applicationDidEnterBackground:", &IVController::applicationDidEnterBackground)
        .method("applicationWillTerminate:", &IVController::applicationWillTerminate);
}

Ref<NSString> IVController::localFileBasePath() {
    auto dirs = NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true);
    return as<NSString>(dirs->objectAtIndex(0));
}

Ref<NSURL> IVController::localFileBaseURL() {
    return NSURL::fileURLWithPath(localFileBasePath().get());
}

Ref<NSString> IVController::ivBaseDir() {
    return localFileBasePath()->stringByAppendingPathComponent(NS("IV"));
}

Ref<NSString> IVController::ivContentDir() {
    return ivBaseDir()->stringByAppendingPathComponent(NS("Content"));
}

Ref<NSString> IVController::deviceUID() {
    return UIDevice::currentDevice()->uniqueIdentifier();
}

Ref<NSString> IVController::deviceName() {
    auto device = UIDevice::currentDevice();
    auto name = NSString::stringWithFormat(NS("%@ - %@"), device->model(), device->systemVersion());
    return name->stringByReplacingOccurrencesOfString(NS(" "), NS(""));
}

Ref<NSString> IVController::ivSDKVersion() {
    return IVDatabaseVersion;
}

int64_t IVController::sessionStart() {
    return sessionStartSlot();
}

void IVController::setSessionStartForTesting(int64_t milliseconds) {
    sessionStartSlot() = milliseconds;
}

Ref<IVController> IVController::sharedController() {
    return sharedSlot().get();
}

bool IVController::init() {
    if (!UIViewController::init()) return false;
    auto fm = NSFileManager::defaultManager();
    auto base = ivBaseDir();
    if (!fm->fileExistsAtPath(base.get()))
        fm->createDirectoryAtPath(base.get(), true, nullptr, nullptr);
    database_ = make<IVDatabase>();
    auto rows = database_->sqlExecute(
        NSString::stringWithFormat(NS("SELECT id,data from settings where id in('%@','%@')"),
                                   NS("disabled"), NS("sbw"))
            .get());
    for (NSObject* item : *rows) {
        auto row = as<NSArray>(item);
        if (!row || row->count() < 2) continue;
        auto key = as<NSString>(row->objectAtIndex(0));
        auto data = row->objectAtIndex(1);
        if (!key) continue;
        if (key->isEqualToString(NS("disabled"))) {
            if (auto n = as<NSNumber>(data))
                disabled_ = n->boolValue();
            else if (auto s = as<NSString>(data))
                disabled_ = s->boolValue();
        } else if (key->isEqualToString(NS("sbw"))) {
            if (auto s = as<NSString>(data)) sbwPropName_ = s;
        }
    }
    auto center = NSNotificationCenter::defaultCenter();
    center->addObserver(this, Selector::named("applicationWillEnterForeground:"),
                        UIApplicationWillEnterForegroundNotification, nullptr);
    center->addObserver(this, Selector::named("applicationDidEnterBackground:"),
                        UIApplicationDidEnterBackgroundNotification, nullptr);
    center->addObserver(this, Selector::named("applicationWillTerminate:"),
                        UIApplicationWillTerminateNotification, nullptr);
    ioRequestManager_ = alloc<IVAsyncCommandManager>();
    ioRequestManager_->initWithCommandQueue(make<IVIORequestQueue>().get(),
                                            NS("IVIORequestManager thread"));
    dbQueryManager_ = alloc<IVAsyncCommandManager>();
    dbQueryManager_->initWithCommandQueue(make<IVDBQueryQueue>().get(),
                                          NS("IVDBQueryManager thread"));
    clientManager_ = make<IVClientManager>();
    return true;
}

void IVController::dealloc() {
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    if (ioRequestManager_) ioRequestManager_->shutdown();
    if (dbQueryManager_) dbQueryManager_->shutdown();
    UIViewController::dealloc();
}

void IVController::shutdown() {
    execMode_ = 1;
    // A shown or opening ad goes at once, and its pending opening stages with it.
    if (fullScreenAdWindow_ && fullScreenAdWindow_->contentController())
        fullScreenAdWindow_->dismissAnimated(false);
    if (adManager_) adManager_->shutdown();
    if (clientManager_) clientManager_->shutdown();
    if (ioRequestManager_) ioRequestManager_->shutdown();
    if (dbQueryManager_) dbQueryManager_->shutdown();
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    Ref<IVController> keep(this);
    if (sharedSlot().peek().get() == this) sharedSlot().reset();
}

void IVController::setServerURL(NSString* url) {
    serverURL_ = url ? url->copy() : nullptr;
}
void IVController::setApplicationID(NSString* appID) {
    applicationID_ = appID ? appID->copy() : nullptr;
}

void IVController::setSbwPropName(NSString* name) {
    if (name && name->length() > 0) {
        if (!sbwPropName_) sbwPropName_ = name->copy();
        database_->setRecordID(NS("sbw"), NS("settings"), name, nullptr);
    } else {
        database_->removeRecordID(NS("sbw"), NS("settings"), nullptr);
    }
}

int32_t IVController::serverReachability() {
    auto reachability = IVReachability::sharedReachability();
    auto url = serverURL_ ? NSURL::URLWithString(serverURL_.get()) : nullptr;
    reachability->setHostName(url ? url->host().get() : nullptr);
    return reachability->internetConnectionStatus();
}

void IVController::applicationWillEnterForeground(NSNotification*) {
    if (fullScreenAdWindow_) fullScreenAdWindow_->applicationWillEnterForeground();
    // Banners under a shown ad wait for it to close.
    if (!fullScreenAdWindow_ || !fullScreenAdWindow_->isDisplaying()) {
        auto views = viewDict_;  // a view may register another meanwhile
        for (auto& [name, view] : views)
            view->applicationWillEnterForeground();
    }
    if (fullScreenAdController_) fullScreenAdController_->applicationWillEnterForeground();
}

void IVController::applicationDidEnterBackground(NSNotification*) {
    // A close still fading out ends now: the return to the foreground finds the host's window
    // key again, not the fading one to show over it.
    if (fullScreenAdWindow_) fullScreenAdWindow_->finishClosing();
    if (fullScreenAdController_) fullScreenAdController_->applicationDidEnterBackground();
}

void IVController::applicationWillTerminate(NSNotification*) {
    // Bounded in real time: a statement that hangs must not hold the quit; the start-up check
    // of the stored ads copes with a row left behind.
    if (dbQueryManager_) dbQueryManager_->drain(kTerminationDrainSeconds);
}

void IVController::captureAccelerometer(UIAccelerometerDelegate* delegate) {
    auto accelerometer = UIAccelerometer::sharedAccelerometer();
    if (accelerometer->delegate().get() != delegate) {
        appAccelerometerDelegate_ = accelerometer->delegate().get();
        appAccelerometerInterval_ = accelerometer->updateInterval();
    }
    accelerometer->setDelegate(delegate);
    accelerometer->setUpdateInterval(sdkAccelerometerInterval_);
}

void IVController::releaseAccelerometer() {
    auto accelerometer = UIAccelerometer::sharedAccelerometer();
    accelerometer->setDelegate(appAccelerometerDelegate_.lock().get());
    accelerometer->setUpdateInterval(appAccelerometerInterval_);
}

Ref<NSString> IVController::defaultServerURL() {
    return NSString::stringWithFormat(NS("http://%s/AdBridgeServer"), IVAdServerHost);
}

void IVController::startupWithAppID(NSString* appID, NSString* serverURL,
                                    NSArray* slotDescriptions) {
    setServerURL(serverURL ? serverURL : defaultServerURL().get());
    setApplicationID(appID);
    adManager_ = alloc<IVAdManager>();
    adManager_->initWithSlotDescriptions(slotDescriptions);
    clientManager_->startup();
    hasStartedUp_ = true;
}

bool IVController::isNextAdDownloadedForSlotNamed(NSString* name) {
    return adManager_ && adManager_->isAdFetchedForSlotNamed(name);
}

bool IVController::isAdReadyForSlotNamed(NSString* name) {
    auto slot = adManager_ ? adManager_->slotForName(name) : nullptr;
    if (!slot) {
        NSLog(NS("IVAdEngine: WARNING - call to isAdReadyForSlotNamed: for slot %@ which is a slot "
                 "that has not been registered with the IVAdEngine."),
              name);
        return false;
    }
    auto view = viewForSlotNamed(name);
    if (slot->slotDescription()->size() == IVAdSizeFullScreen || !view)
        return adManager_->isAdFetchedForSlotNamed(name);
    return view->controller()->isAdReady();
}

void IVController::registerView(IVAdView* view, NSString* name) {
    if (name) viewDict_[name->utf8()] = view;
}

Ref<IVAdView> IVController::viewForSlotNamed(NSString* name) {
    auto it = name ? viewDict_.find(name->utf8()) : viewDict_.end();
    return it == viewDict_.end() ? nullptr : it->second;
}

void IVController::setFullScreenDelegate(NSObject* delegate, NSString* name) {
    auto slot = adManager_ ? adManager_->slotForName(name) : nullptr;
    if (!slot) {
        NSLog(NS("IVAdEngine: WARNING - Unable to set full screen delegate for slot named %@ "
                 "because no slot with that name has been registered with the IVAdEngine."),
              name);
        return;
    }
    if (slot->slotDescription()->size() != IVAdSizeFullScreen)
        NSException::raise(
            NSInternalInconsistencyException,
            NS("Attempt to register full screen delegate for slot not having full screen size."));
    initializeFullScreenAdSupport();
    fullScreenAdController_->setDelegateForSlotNamed(delegate, name);
}

Ref<IVFullScreenAdWindow> IVController::fullScreenAdWindow() {
    std::lock_guard<NSRecursiveLock> hold(*lock_);
    if (!fullScreenAdWindow_) fullScreenAdWindow_ = make<IVFullScreenAdWindow>();
    return fullScreenAdWindow_;
}

void IVController::initializeFullScreenAdSupport() {
    if (!fullScreenAdController_) fullScreenAdController_ = make<IVFullScreenAdController>();
}

void IVController::fullScreenAdWindowIsDisplaying(bool displaying) {
    if (displaying) return;
    std::lock_guard<NSRecursiveLock> hold(*lock_);
    auto content = fullScreenAdWindow_ ? fullScreenAdWindow_->contentController() : nullptr;
    auto views = viewDict_;
    for (auto& [name, view] : views) {
        auto controller = view->controller();
        if (controller && controller != content && !controller->controlsFullScreenSlot())
            controller->fullScreenAdWindowDidClose();
    }
}

void IVController::fullScreenAdDisplayWillClose() {
    IVAudioEngine::teardown();
}

bool IVController::displayFullScreenAdForSlotNamed(NSString* name) {
    if (serverReachability() == 0) {
        NSLog(NS("IVAdEngine: Unable to display full screen ad due to no network connectivity."));
        return false;
    }
    if (!adManager_ || !adManager_->slotForName(name)) {
        NSLog(NS("IVAdEngine: WARNING - Unable to display full screen ad for slot named %@ because "
                 "no slot with that name has been registered with the IVAdEngine."),
              name);
        return false;
    }
    if (!adManager_->isAdFetchedForSlotNamed(name)) {
        NSLog(NS("IVAdEngine: Unable to display full screen ad for slot named %@ because no ad is "
                 "ready to be displayed for that slot."),
              name);
        return false;
    }
    initializeFullScreenAdSupport();
    if (fullScreenAdController_->isDisplaying()) {
        NSLog(NS("IVAdEngine: Attempt to display full-screen ad for slot named %@ when a "
                 "full-screen ad is already displaying. Ignoring ad display request."),
              name);
        return false;
    }
    auto window = fullScreenAdWindow();
    {
        std::lock_guard<NSRecursiveLock> hold(window->displayLock());
        if (window->isDisplaying()) {
            NSLog(NS("IVAdEngine: Attempt to display full-screen ad for slot named %@ when "
                     "another ad is already displaying.  Ignoring ad display request."),
                  name);
            return false;
        }
        window->setIsDisplaying(true);
    }
    if (fullScreenAdController_->displayAdForSlot(adManager_->slotForName(name).get())) return true;
    // Refused before anything showed: later displays must not find the window taken.
    window->setIsDisplaying(false);
    return false;
}

void IVController::setDriverPollingIntervalOverride(NSNumber* seconds) {
    clientManager_->clientDriver()->setBridgePollingIntervalOverride(seconds);
}

void IVController::sendDatabaseQuery(IVDBQuery* query) {
    query->setDatabase(database_.get());
    dbQueryManager_->sendAsyncCommand(query);
}
