// The navigator turns a URL into a screen: app URLs go to the system, relative ones are
// completed, the URL map finds the controller, which is presented by its pattern's mode (as the
// root, pushed into its parent, as a popup over it, or modally). It owns the window and the
// root controller, holds back model loading while a delay is open, reloads the visible screen
// on a shake, and saves the controller stack to the user defaults and rebuilds it. Main thread.
#pragma once

#include "Foundation/NSObject.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIWindow.h"

class DZURLMap;
class DZURLNavigatorPattern;
class DZBaseNavigator;
class NSArray;
class NSDictionary;
class NSMutableArray;
class NSNotification;
class NSString;
class NSURL;
class UIEvent;
class UINavigationController;
class UIViewController;

// One navigation request.
class DZURLAction : public NSObject {
    NS_OBJECT(DZURLAction, NSObject)
    static Ref<DZURLAction> actionWithURLPath(NSString* urlPath);
    bool init() override { return initWithURLPath(nullptr); }
    bool initWithURLPath(NSString* urlPath);

    // Chainable setters: each returns the action.
    DZURLAction* applyParentURLPath(NSString* path);
    DZURLAction* applyQuery(NSDictionary* query);
    DZURLAction* applyState(NSDictionary* state);
    DZURLAction* applyAnimated(bool animated);
    DZURLAction* applyWithDelay(bool withDelay);
    DZURLAction* applyTransition(int32_t transition);

    Ref<NSString> urlPath() { return urlPath_; }
    void setUrlPath(NSString* path);
    Ref<NSString> parentURLPath() { return parentURLPath_; }
    void setParentURLPath(NSString* path);
    Ref<NSDictionary> query() { return query_; }
    void setQuery(NSDictionary* query);
    Ref<NSDictionary> state() { return state_; }
    void setState(NSDictionary* state);
    bool animated() { return animated_; }
    void setAnimated(bool animated) { animated_ = animated; }
    bool withDelay() { return withDelay_; }
    void setWithDelay(bool withDelay) { withDelay_ = withDelay; }
    int32_t transition() { return transition_; }
    void setTransition(int32_t transition) { transition_ = transition; }

private:
    Ref<NSString> urlPath_;
    Ref<NSString> parentURLPath_;
    Ref<NSDictionary> query_;
    Ref<NSDictionary> state_;
    bool animated_ = false;
    bool withDelay_ = false;
    int32_t transition_ = 0;
};

// The navigator delegate's optional messages (each probed by name before it is sent).
class DZNavigatorDelegate {
public:
    virtual ~DZNavigatorDelegate() = default;
    virtual bool navigatorShouldOpenURL(DZBaseNavigator*, NSURL*) { return true; }
    virtual Ref<NSURL> navigatorURLToOpen(DZBaseNavigator*, NSURL* URL) { return Ref<NSURL>(URL); }
    virtual void navigatorWillOpenURLInViewController(DZBaseNavigator*, NSURL*, UIViewController*) {
    }
};

extern NSString* const DZNavigatorHistoryKey;
extern NSString* const DZNavigatorHistoryTimeKey;
extern NSString* const DZNavigatorHistoryImportantKey;

enum DZNavigatorPersistenceMode : int32_t {
    DZNavigatorPersistenceModeNone = 0,
    DZNavigatorPersistenceModeTop = 1,
    DZNavigatorPersistenceModeAll = 2,
};

class DZBaseNavigator : public NSObject {
    NS_OBJECT(DZBaseNavigator, NSObject)
    static void describeClass(RuntimeClass& c);
    bool init() override;
    void dealloc() override;

    static Ref<DZBaseNavigator> globalNavigator();
    static void setGlobalNavigator(DZBaseNavigator* navigator);

    Ref<UIViewController> openURLAction(DZURLAction* action);
    Ref<UIViewController> openURLs(std::initializer_list<NSString*> URLs);
    Ref<NSString> URL();
    void setURL(NSString* URL);
    Ref<UIViewController> viewControllerForURL(NSString* URL);
    Ref<UIViewController> viewControllerForURL(NSString* URL, NSDictionary* query);
    Ref<UIViewController> viewControllerForURL(NSString* URL, NSDictionary* query,
                                               Ref<DZURLNavigatorPattern>* pattern);

    Ref<UIWindow> window();
    void setWindow(UIWindow* window);
    virtual Class windowClass();
    Ref<UIViewController> rootViewController() { return rootViewController_; }
    void setRootViewController(UIViewController* controller);
    Ref<UIViewController> visibleViewController();
    Ref<UIViewController> topViewController();
    Ref<UINavigationController> frontNavigationController();
    Ref<UIViewController> frontViewController();
    static Ref<UIViewController> frontViewControllerForController(UIViewController* controller);

    bool isDelayed() { return delayCount_ > 0; }
    void beginDelay();
    void endDelay();
    void cancelDelay();

    void persistViewControllers();
    void persistController(UIViewController* controller, NSMutableArray* path);
    Ref<UIViewController> restoreViewControllers();
    void resetDefaults();
    Ref<NSString> pathForObject(NSObject* object);
    Ref<UIViewController> objectForPath(NSString* path);
    void removeAllViewControllers();
    virtual void didRestoreController(UIViewController*) {}
    void applicationWillLeaveForeground(NSNotification* note);

    Ref<DZNavigatorDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(DZNavigatorDelegate* delegate) { delegate_ = delegate; }
    Ref<DZURLMap> URLMap() { return URLMap_; }
    int32_t persistenceMode() { return persistenceMode_; }
    void setPersistenceMode(int32_t mode) { persistenceMode_ = mode; }
    double persistenceExpirationAge() { return persistenceExpirationAge_; }
    void setPersistenceExpirationAge(double age) { persistenceExpirationAge_ = age; }
    bool supportsShakeToReload() { return supportsShakeToReload_; }
    void setSupportsShakeToReload(bool supports) { supportsShakeToReload_ = supports; }
    bool opensExternalURLs() { return opensExternalURLs_; }
    void setOpensExternalURLs(bool opens) { opensExternalURLs_ = opens; }

    // Presentation (overridable).
    bool presentController(UIViewController* controller, NSString* parentURLPath,
                           DZURLNavigatorPattern* pattern, bool animated, int32_t transition);
    Ref<UIViewController> parentForController(UIViewController* controller, bool isContainer,
                                              NSString* parentURLPath);
    bool presentController(UIViewController* controller, UIViewController* parent, int32_t mode,
                           bool animated, int32_t transition);
    virtual void presentDependantController(UIViewController* controller, UIViewController* parent,
                                            int32_t mode, bool animated, int32_t transition);
    void presentModalController(UIViewController* controller, UIViewController* parent,
                                bool animated, int32_t transition);
    virtual Ref<UIViewController> getVisibleChildController(UIViewController* controller);
    virtual Class navigationControllerClass();

private:
    Ref<DZURLMap> URLMap_;
    Ref<UIWindow> window_;
    Ref<UIViewController> rootViewController_;
    Ref<NSMutableArray> delayedControllers_;
    int32_t persistenceMode_ = DZNavigatorPersistenceModeNone;
    double persistenceExpirationAge_ = 0;
    uint8_t delayCount_ = 0;
    bool supportsShakeToReload_ = false;
    bool opensExternalURLs_ = false;
    Weak<DZNavigatorDelegate> delegate_;
};

class DZNavigator : public DZBaseNavigator {
    NS_OBJECT(DZNavigator, DZBaseNavigator)
    // The global navigator, made on first use.
    static Ref<DZNavigator> navigator();
    Class windowClass() override;
    Class navigationControllerClass() override;
    void presentDependantController(UIViewController* controller, UIViewController* parent,
                                    int32_t mode, bool animated, int32_t transition) override;
    void presentPopupController(UIViewController* controller, UIViewController* parent,
                                bool animated);
    void didRestoreController(UIViewController* controller) override;
    Ref<UIViewController> getVisibleChildController(UIViewController* controller) override;
    // Reloads the visible controller's model.
    void reload();
};

class DZNavigatorWindow : public UIWindow {
    NS_OBJECT(DZNavigatorWindow, UIWindow)
    void motionBegan(UIEventSubtype motion, UIEvent* event) override;
};

// Opens the URL through the global navigator, animated.
Ref<UIViewController> DZNavigateToURLPath(NSString* URL);
Ref<UIViewController> openURL(NSString* URL);
// With the button under "__target__" in the query.
Ref<UIViewController> openURLFromButton(NSString* URL, NSObject* button);
Ref<NSObject> objectValue(NSString* URL);
