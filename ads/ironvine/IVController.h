// The ad engine's single shared object: it knows the engine's folders, the server and the
// application id, the engine-wide execution mode and two persisted settings, owns the store and
// the two workers, and lends the shared accelerometer to ad scripts. Main thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "Foundation/NSLock.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIAccelerometer.h"
#include "UIKit/UIViewController.h"

class IVAdManager;
class IVAdView;
class IVAsyncCommandManager;
class IVClientManager;
class IVDatabase;
class IVFullScreenAdController;
class IVFullScreenAdWindow;
class IVDBQuery;
class NSArray;
class NSNotification;
class NSNumber;
class NSString;
class NSURL;

class IVController : public UIViewController, public UIAccelerometerDelegate {
    NS_OBJECT(IVController, UIViewController)
    static void describeClass(RuntimeClass& c);

    static Ref<NSString> ivContentDir();
    static Ref<NSString> ivBaseDir();
    static Ref<NSString> localFileBasePath();
    static Ref<NSURL> localFileBaseURL();
    static Ref<NSString> deviceUID();
    static Ref<NSString> deviceName();
    static Ref<NSString> ivSDKVersion();
    // Milliseconds since 1970, taken once when the engine is first used.
    static int64_t sessionStart();
    // Test hook: a simulated launch at another time.
    static void setSessionStartForTesting(int64_t milliseconds);
    static Ref<IVController> sharedController();

    bool init() override;
    void dealloc() override;
    // Stops the ad manager, the scripts and the workers and forgets the shared instance; the
    // next sharedController is new.
    void shutdown();
    // Keeps the id and the server (nil: http://{ad server}/AdBridgeServer), builds the ad
    // manager and starts the scripts.
    void startupWithAppID(NSString* appID, NSString* serverURL, NSArray* slotDescriptions);
    static Ref<NSString> defaultServerURL();

    bool isNextAdDownloadedForSlotNamed(NSString* name);
    bool isAdReadyForSlotNamed(NSString* name);
    void setFullScreenDelegate(NSObject* delegate, NSString* name);
    bool displayFullScreenAdForSlotNamed(NSString* name);
    // The full-screen window, made on first use; the controller that shows full-screen slots.
    Ref<IVFullScreenAdWindow> fullScreenAdWindow();
    Ref<IVFullScreenAdController> fullScreenAdController() { return fullScreenAdController_; }
    void initializeFullScreenAdSupport();
    // The window's displaying flag changed: banners wait for it to drop to refresh.
    void fullScreenAdWindowIsDisplaying(bool displaying);
    // Sounds of a closing ad stop with it.
    void fullScreenAdDisplayWillClose();
    void setDriverPollingIntervalOverride(NSNumber* seconds);
    // Queues the statement on the database worker, against the engine's store.
    void sendDatabaseQuery(IVDBQuery* query);
    Ref<IVAdManager> adManager() { return adManager_; }
    // The slots' views; a later view for a name replaces the earlier.
    void registerView(IVAdView* view, NSString* name);
    Ref<IVAdView> viewForSlotNamed(NSString* name);
    Ref<IVClientManager> clientManager() { return clientManager_; }

    bool disabled() { return disabled_; }
    void setDisabled(bool v) { disabled_ = v; }
    bool hasStartedUp() { return hasStartedUp_; }
    Ref<NSString> serverURL() { return serverURL_; }
    void setServerURL(NSString* url);
    Ref<NSString> applicationID() { return applicationID_; }
    void setApplicationID(NSString* appID);
    int32_t execMode() { return execMode_; }
    void setExecMode(int32_t mode) {
        if (mode != execMode_) execMode_ = mode;
    }
    Ref<IVDatabase> database() { return database_; }
    Ref<IVAsyncCommandManager> dbQueryManager() { return dbQueryManager_; }
    Ref<IVAsyncCommandManager> ioRequestManager() { return ioRequestManager_; }
    double exitItemDisplayTime() { return exitItemDisplayTime_; }
    void setExitItemDisplayTime(double v) { exitItemDisplayTime_ = v; }
    double menuDisplayTime() { return menuDisplayTime_; }
    void setMenuDisplayTime(double v) { menuDisplayTime_ = v; }
    Ref<NSString> sbwPropName() { return sbwPropName_; }
    // A non-empty name is stored in the settings at once but is taken up only when none is set
    // yet (so at the next launch); an empty one removes the stored row.
    void setSbwPropName(NSString* name);

    // Reachability of the default route, after giving the server's host to the shared service.
    int32_t serverReachability();

    // The application's notifications: a return to the foreground lets the slots' views refresh.
    void applicationWillEnterForeground(NSNotification* notification);
    void applicationDidEnterBackground(NSNotification* notification);
    // A quit waits for the database worker's queue: a deleted ad's folder is already gone, and
    // its row must not outlive it.
    void applicationWillTerminate(NSNotification* notification);

    void captureAccelerometer(UIAccelerometerDelegate* delegate);
    void releaseAccelerometer();
    void setSdkAccelerometerUpdateInterval(double seconds) { sdkAccelerometerInterval_ = seconds; }

private:
    bool disabled_ = false;
    bool hasStartedUp_ = false;
    Ref<NSString> serverURL_;
    Ref<NSString> applicationID_;
    int32_t execMode_ = 0;
    Ref<IVDatabase> database_;
    Ref<IVAsyncCommandManager> dbQueryManager_;
    Ref<IVAsyncCommandManager> ioRequestManager_;
    Ref<IVAdManager> adManager_;
    Ref<IVClientManager> clientManager_;
    std::map<std::string, Ref<IVAdView>> viewDict_;
    double appAccelerometerInterval_ = 0;
    Weak<UIAccelerometerDelegate> appAccelerometerDelegate_;
    double sdkAccelerometerInterval_ = 1000.0;
    double exitItemDisplayTime_ = 4.0;
    double menuDisplayTime_ = 10.0;
    Ref<NSString> sbwPropName_;
    Ref<NSRecursiveLock> lock_ = make<NSRecursiveLock>();
    Ref<IVFullScreenAdController> fullScreenAdController_;
    Ref<IVFullScreenAdWindow> fullScreenAdWindow_;
};
