// The application delegate: owns the managed object store's stack (opened on first use), keeps
// the in-memory login time, runs the one-time rating prompt, answers the refresh-due test and
// shows the app-wide message alert. Everything runs on the main thread except showMessage,
// which any thread may call.
#pragma once

#include "Foundation/NSObject.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIApplication.h"

class NSDate;
class NSDictionary;
class NSManagedObjectContext;
class NSManagedObjectModel;
class NSPersistentStoreCoordinator;
class NSString;
class UINavigationController;
class UIWindow;

// The store's rating link with "APP_ID" in place of the store identifier.
extern NSString* const kNoticewallReviewURLTemplate;
// The app's identifier in the store.
extern NSString* const kNoticewallAppStoreID;
// The app's key with the analytics service.
extern NSString* const kNoticewallAnalyticsKey;

class NoticewallAppDelegate : public NSObject,
                              public UIApplicationDelegate,
                              public UIAlertViewDelegate {
    NS_OBJECT(NoticewallAppDelegate, NSObject)
    static void describeClass(RuntimeClass& c);

    // The shared application's delegate when it is one of these (how screens reach the store
    // stack and showMessage); nil otherwise.
    static Ref<NoticewallAppDelegate> sharedDelegate();

    // ---- outlets of the main interface file ----------------------------------------------
    Ref<UIWindow> window() override;
    void setWindow(UIWindow* window);
    Ref<UINavigationController> navigationController();
    void setNavigationController(UINavigationController* controller);

    // The time of the last successful site login; nil when not logged in. Memory only.
    Ref<NSDate> loginTime();
    void setLoginTime(NSDate* time);

    // ---- application life cycle ----------------------------------------------------------
    // The launch steps that stand so far; always YES.
    bool applicationDidFinishLaunchingWithOptions(UIApplication* application,
                                                  NSDictionary* launchOptions) override;
    void applicationWillResignActive(UIApplication* application) override;
    void applicationDidEnterBackground(UIApplication* application) override;
    void applicationWillEnterForeground(UIApplication* application) override;
    void applicationDidBecomeActive(UIApplication* application) override;
    void applicationWillTerminate(UIApplication* application) override;
    void applicationDidReceiveMemoryWarning(UIApplication* application) override;

    // ---- rating prompt -------------------------------------------------------------------
    // Counts this launch and shows the rating alert once, after 8 whole days and 9 launches.
    void askForReview();
    // The rating alert's answer: index 1 opens the store's review page.
    void alertViewClickedButtonAtIndex(UIAlertView* alertView, NSInteger buttonIndex) override;

    // ---- refresh-due test ----------------------------------------------------------------
    // YES when the refresh stored under `key` is missing or more than ten days old (and then
    // records now as the refresh time), or when the key's version mark is new.
    bool updateDue(NSString* key);

    // ---- messages ------------------------------------------------------------------------
    // From any thread: queues showMessageOnMainThread on the main thread without waiting.
    void showMessage(NSString* message);
    // A "Notice" alert with the message and one "OK" button.
    void showMessageOnMainThread(NSString* message);
    // The same alert shown now, from the main thread, for a caller that may take it away again.
    Ref<UIAlertView> showNotice(NSString* message);

    // ---- managed object store stack (NoticewallAppDelegateStore.cpp) -----------------------
    // Each is made on first use and kept for the life of the delegate.
    Ref<NSManagedObjectContext> managedObjectContext();
    Ref<NSManagedObjectModel> managedObjectModel();
    Ref<NSPersistentStoreCoordinator> persistentStoreCoordinator();
    // Saves the context when it has unsaved changes.
    void saveContext();
    // The user domain's documents folder, tilde expanded.
    Ref<NSString> applicationDocumentsDirectory();

    void dealloc() override;

private:
    Ref<UIWindow> window_;
    Ref<UINavigationController> navigationController_;
    Ref<NSDate> loginTime_;
    Ref<NSManagedObjectContext> managedObjectContext_;
    Ref<NSManagedObjectModel> managedObjectModel_;
    Ref<NSPersistentStoreCoordinator> persistentStoreCoordinator_;
};
