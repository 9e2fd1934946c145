#include "UIKit/UIApplication.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <utility>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIKitSupport.h"
#include "UIKit/UIView.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWindow.h"

NSString* const UIApplicationLaunchOptionsURLKey = NS("UIApplicationLaunchOptionsURLKey");
NSString* const UIApplicationLaunchOptionsSourceApplicationKey =
    NS("UIApplicationLaunchOptionsSourceApplicationKey");

namespace {
Ref<UIApplication> makeApplication();

// A dropped application stops its task expiry and lets go of its delegate, windows and observer.
ProcessWide<UIApplication>& sharedSlot() {
    static ProcessWide<UIApplication> slot{makeApplication,
                                           [](UIApplication* app) { app->resetState(); }};
    return slot;
}

const std::vector<std::string>& defaultSchemes() {
    static const std::vector<std::string> s = {"http", "https", "mailto",    "tel",
                                               "sms",  "itms",  "itms-apps", "maps"};
    return s;
}

std::string lower(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

UIApplication::InterfaceLoader& interfaceLoader() {
    static UIApplication::InterfaceLoader loader;
    return loader;
}

void post(NSString* name, NSDictionary* userInfo = nullptr) {
    NSNotificationCenter::defaultCenter()->postNotificationName(
        name, UIApplication::sharedApplication(), userInfo);
}

// The fingers on the screen, as the touch events have listed them, until each lifts or is
// cancelled. Whoever moves them keeps them; a finger nobody keeps can never lift.
std::vector<Weak<UITouch>>& touchesInProgress() {
    static ProcessWide<std::vector<Weak<UITouch>>> list;
    return *list.get();
}

bool isOver(UITouch* t) {
    return t->phase() == UITouchPhaseEnded || t->phase() == UITouchPhaseCancelled;
}

void noteTouches(UIEvent* event) {
    auto& list = touchesInProgress();
    std::erase_if(list, [](Weak<UITouch>& w) {
        auto t = w.lock();
        return !t || isOver(t.get());
    });
    for (auto& t : event->touchList()) {
        bool known =
            std::any_of(list.begin(), list.end(), [&](Weak<UITouch>& w) { return w.lock() == t; });
        if (!known && !isOver(t.get())) list.emplace_back(t.get());
    }
}

// Every finger still down is cancelled, window by window: its view hears touchesCancelled (a
// control unhighlights and sends no action) and nothing more of it, even when it lifts later.
void cancelTouchesInProgress() {
    std::vector<Ref<UITouch>> touches;
    for (auto& w : std::exchange(touchesInProgress(), {}))
        if (auto t = w.lock(); t && !isOver(t.get())) touches.push_back(t);
    while (!touches.empty()) {
        auto window = touches.front()->window();
        std::vector<Ref<UITouch>> same, rest;
        for (auto& t : touches)
            (t->window() == window ? same : rest).push_back(t);
        for (auto& t : same)
            t->setPhase(UITouchPhaseCancelled);
        if (window) window->sendEvent(UIEvent::touchEvent(same));
        for (auto& t : same)
            t->setDeliveredToView(false);
        touches = std::move(rest);
    }
}
}  // namespace

void UIApplication::describeClass(RuntimeClass& c) {
    // Callers probe for these before using them, as older systems lacked some.
    c.implements({"beginBackgroundTaskWithExpirationHandler:"});
    c.method("endBackgroundTask:", &UIApplication::endBackgroundTask);
    c.method("openURL:", &UIApplication::openURL);
    c.method("canOpenURL:", &UIApplication::canOpenURL);
    c.method("keyWindow", &UIApplication::keyWindow);
    c.method("windows", &UIApplication::windows);
    c.method("applicationState", &UIApplication::applicationState);
    c.method("statusBarOrientation", &UIApplication::statusBarOrientation);
    c.method("statusBarWindow", &UIApplication::statusBarWindow);
    c.method("setNetworkActivityIndicatorVisible:",
             &UIApplication::setNetworkActivityIndicatorVisible);
    c.method("isNetworkActivityIndicatorVisible",
             &UIApplication::isNetworkActivityIndicatorVisible);
}

bool UIApplication::respondsToSelector(SEL sel) {
    static SEL begin = Selector::named("beginBackgroundTaskWithExpirationHandler:");
    static SEL end = Selector::named("endBackgroundTask:");
    if ((sel == begin || sel == end) && UIDevice::currentDevice()->systemVersion()->intValue() < 4)
        return false;
    return UIResponder::respondsToSelector(sel);
}

namespace {
Ref<UIApplication> makeApplication() {
    auto app = make<UIApplication>();
    app->resetState();
    return app;
}
}  // namespace

Ref<UIApplication> UIApplication::sharedApplication() {
    return sharedSlot().get();
}

// ---- delegate and windows ---------------------------------------------------------------------

Ref<NSArray> UIApplication::windows() {
    std::vector<Ref<UIWindow>> live;
    for (auto& w : windows_)
        if (auto win = w.lock()) live.push_back(win);
    return NSArray::arrayWithVector(live);
}

Ref<UIResponder> UIApplication::nextResponder() {
    // The delegate ends the chain when it is a responder.
    return as<UIResponder>(delegate_.lock());
}

void UIApplication::windowCreated(UIWindow* window) {
    windows_.erase(std::remove_if(windows_.begin(), windows_.end(),
                                  [](const Weak<UIWindow>& w) { return !w.alive(); }),
                   windows_.end());
    windows_.emplace_back(window);
}

void UIApplication::windowBecameKey(UIWindow* window) {
    auto old = keyWindow_.lock();
    if (old.get() == window) return;
    keyWindow_ = window;
    if (old) old->resignKeyWindow();
    if (window) window->becomeKeyWindow();
}

void UIApplication::windowResignedKey(UIWindow* window) {
    if (!keyWindow_.is(window)) return;
    keyWindow_.reset();
    window->resignKeyWindow();
}

// ---- the network activity indicator ------------------------------------------------------------

void UIApplication::beginNetworkActivity() {
    std::lock_guard<std::mutex> hold(activityLock_);
    ++activityHolds_;
    networkActivityIndicatorVisible_.store(true);
}

void UIApplication::endNetworkActivity() {
    std::lock_guard<std::mutex> hold(activityLock_);
    if (activityHolds_ == 0) return;
    if (--activityHolds_ == 0) networkActivityIndicatorVisible_.store(false);
}

void UINetworkActivityHold::setHeld(bool held) {
    Ref<UIApplication> was = held_ ? app_.lock() : nullptr;
    Ref<UIApplication> now = held ? UIApplication::sharedApplication() : nullptr;
    if (held == held_ && was == now) return;
    if (was) was->endNetworkActivity();
    if (now) now->beginNetworkActivity();
    app_ = now;
    held_ = held;
}

// ---- hand-offs
// ------------------------------------------------------------------------------------

bool UIApplication::canOpenURL(NSURL* url) {
    if (!url) return false;
    auto scheme = url->scheme();
    if (!scheme || scheme->length() == 0) return false;
    std::string s = lower(scheme->utf8());
    return std::find(schemes_.begin(), schemes_.end(), s) != schemes_.end();
}

bool UIApplication::openURL(NSURL* url) {
    if (!canOpenURL(url)) return false;
    opened_.emplace_back(url);
    if (openURLObserver_) openURLObserver_(url);
    // The other app comes to the front: this one leaves the screen as the hand-off happens, so
    // that nothing more reaches it (the second tap of a double tap) until it is brought back.
    if (!terminating_) performEnterBackground();
    return true;
}

void UIApplication::setOpenableURLSchemes(NSArray* schemes) {
    schemes_.clear();
    if (!schemes) return;
    for (NSUInteger i = 0; i < schemes->count(); ++i)
        if (auto s = as<NSString>(schemes->objectAtIndex(i))) schemes_.push_back(lower(s->utf8()));
}

Ref<NSArray> UIApplication::openableURLSchemes() {
    auto out = NSMutableArray::array();
    for (auto& s : schemes_)
        out->addObject(NSString::fromUTF8(s));
    return out;
}

Ref<NSArray> UIApplication::openedURLs() {
    return NSArray::arrayWithVector(opened_);
}

void UIApplication::clearOpenedURLs() {
    opened_.clear();
}

// ---- status bar
// -------------------------------------------------------------------------------------

void UIApplication::setStatusBarStyle(UIStatusBarStyle style, bool) {
    statusBarStyle_ = style;
}
void UIApplication::setStatusBarHidden(bool hidden, bool) {
    setStatusBarHidden(hidden, UIStatusBarAnimationNone);
}
void UIApplication::setStatusBarHidden(bool hidden, UIStatusBarAnimation) {
    bool shownAgain = statusBarHidden_ && !hidden;
    statusBarHidden_ = hidden;
    // Content laid out while the bar was hidden would stay under it.
    if (shownAgain) UIViewController::layOutWindowsContent();
}

void UIApplication::setStatusBarOrientation(UIInterfaceOrientation orientation) {
    setStatusBarOrientation(orientation, false);
}

void UIApplication::setStatusBarOrientation(UIInterfaceOrientation orientation, bool) {
    if (orientation == statusBarOrientation_) return;
    post(UIApplicationWillChangeStatusBarOrientationNotification,
         NSDictionary::dictionaryWithObject(NSNumber::numberWithInteger(orientation),
                                            UIApplicationStatusBarOrientationUserInfoKey));
    UIInterfaceOrientation old = statusBarOrientation_;
    statusBarOrientation_ = orientation;
    post(UIApplicationDidChangeStatusBarOrientationNotification,
         NSDictionary::dictionaryWithObject(NSNumber::numberWithInteger(old),
                                            UIApplicationStatusBarOrientationUserInfoKey));
}

CGRect UIApplication::statusBarFrame() {
    return statusBarHidden_ ? CGRectZero : statusBarStrip();
}

CGRect UIApplication::statusBarStrip() {
    switch (statusBarOrientation_) {
        case UIInterfaceOrientationPortraitUpsideDown:
            return CGRectMake(0, 460, 320, 20);
        // Turned with the home button on the left, the screen's left edge is the top.
        case UIInterfaceOrientationLandscapeLeft:
            return CGRectMake(0, 0, 20, 480);
        case UIInterfaceOrientationLandscapeRight:
            return CGRectMake(300, 0, 20, 480);
        default:
            return CGRectMake(0, 0, 320, 20);
    }
}

Ref<UIView> UIApplication::statusBarWindow() {
    if (!statusBarWindow_) {
        statusBarWindow_ = make<UIView>(&UIView::initWithFrame, statusBarStrip());
    }
    return statusBarWindow_;
}

// ---- state and life cycle
// -----------------------------------------------------------------------------

void UIApplication::setState(UIApplicationState state) {
    state_ = state;
}

void UIApplication::performResignActive() {
    if (state_ != UIApplicationStateActive) return;
    Ref<UIApplication> self(this);
    setState(UIApplicationStateInactive);
    if (auto d = delegate()) d->applicationWillResignActive(this);
    post(UIApplicationWillResignActiveNotification);
}

void UIApplication::performBecomeActive() {
    if (state_ == UIApplicationStateActive) return;
    Ref<UIApplication> self(this);
    setState(UIApplicationStateActive);
    if (auto d = delegate()) d->applicationDidBecomeActive(this);
    post(UIApplicationDidBecomeActiveNotification);
}

void UIApplication::performEnterBackground() {
    if (state_ == UIApplicationStateBackground) return;
    Ref<UIApplication> self(this);
    // The fingers on the app go with the screen: none of them ends as a tap on its return.
    cancelTouchesInProgress();
    performResignActive();
    setState(UIApplicationStateBackground);
    backgroundSince_ = Clock::uptime();
    if (auto d = delegate()) d->applicationDidEnterBackground(this);
    post(UIApplicationDidEnterBackgroundNotification);
    scheduleTaskExpiry();
}

void UIApplication::performEnterForeground() {
    if (state_ != UIApplicationStateBackground) return;
    Ref<UIApplication> self(this);
    if (expiryTimer_) {
        expiryTimer_->invalidate();
        expiryTimer_ = nullptr;
    }
    setState(UIApplicationStateInactive);
    if (auto d = delegate()) d->applicationWillEnterForeground(this);
    post(UIApplicationWillEnterForegroundNotification);
    performBecomeActive();
}

void UIApplication::performMemoryWarning() {
    Ref<UIApplication> self(this);
    UIImage::flushNamedCache();
    if (auto d = delegate()) d->applicationDidReceiveMemoryWarning(this);
    post(UIApplicationDidReceiveMemoryWarningNotification);
}

void UIApplication::performShake() {
    auto event = UIEvent::motionEvent(UIEventSubtypeMotionShake);
    sendEvent(event);
}

void UIApplication::terminate() {
    if (terminating_) return;
    Ref<UIApplication> self(this);
    terminating_ = true;
    if (auto d = delegate()) d->applicationWillTerminate(this);
    post(UIApplicationWillTerminateNotification);
    NSRunLoop::mainRunLoop()->stop();
}

// ---- background tasks
// -----------------------------------------------------------------------------------

UIBackgroundTaskIdentifier UIApplication::beginBackgroundTaskWithExpirationHandler(
    std::function<void()> handler) {
    UIBackgroundTaskIdentifier id = nextTask_++;
    tasks_[id] = std::move(handler);
    if (state_ == UIApplicationStateBackground) scheduleTaskExpiry();
    return id;
}

void UIApplication::endBackgroundTask(UIBackgroundTaskIdentifier identifier) {
    // Ending a task that is not running (the invalid identifier, one ended already) is the
    // caller's mistake: the phone notes it in the log and goes on.
    if (tasks_.erase(identifier) == 0)
        NSLog(NS("endBackgroundTask: no background task with identifier %lu is running"),
              static_cast<unsigned long>(identifier));
    if (tasks_.empty() && expiryTimer_) {
        expiryTimer_->invalidate();
        expiryTimer_ = nullptr;
    }
}

NSTimeInterval UIApplication::backgroundTimeRemaining() {
    if (state_ != UIApplicationStateBackground) return std::numeric_limits<double>::max();
    return std::max(0.0, UIApplicationBackgroundTaskTime - (Clock::uptime() - backgroundSince_));
}

void UIApplication::scheduleTaskExpiry() {
    if (tasks_.empty() || expiryTimer_) return;
    Ref<UIApplication> self(this);
    expiryTimer_ = UIKitAfterDelay(backgroundTimeRemaining(), [self] { self->expireTasks(); });
}

void UIApplication::expireTasks() {
    expiryTimer_ = nullptr;
    if (state_ != UIApplicationStateBackground) return;
    // Handlers end their tasks, which changes the table under us.
    std::vector<std::function<void()>> handlers;
    for (auto& [id, fn] : tasks_)
        if (fn) handlers.push_back(fn);
    for (auto& fn : handlers)
        fn();
}

// ---- events and actions
// -------------------------------------------------------------------------------

bool UIApplication::sendAction(SEL action, NSObject* target, NSObject* sender, UIEvent* event) {
    if (!action) return false;
    Ref<NSObject> receiver(target);
    if (!receiver) {
        // Up the chain from the focus (or from the sender when nothing has it).
        Ref<UIResponder> r = UIResponder::currentFirstResponder();
        if (!r) r = as<UIResponder>(sender);
        while (r && !r->respondsToSelector(action))
            r = r->nextResponder();
        if (!r) return false;
        receiver = r;
    }
    UIKitInvokeAction(receiver, action, sender, event);
    return true;
}

void UIApplication::sendEvent(UIEvent* event) {
    if (!event) return;
    if (event->type() == UIEventTypeTouches) {
        // Off the screen, nothing touches the app.
        if (isIgnoringInteractionEvents() || state_ == UIApplicationStateBackground) return;
        if (event->touchList().empty()) return;
        noteTouches(event);
        if (auto w = event->touchList().front()->window()) w->sendEvent(event);
        return;
    }
    if (auto key = keyWindow()) {
        key->sendEvent(event);
    } else if (auto first = UIResponder::currentFirstResponder()) {
        first->motionBegan(event->subtype(), event);
        first->motionEnded(event->subtype(), event);
    }
}

// ---- the main loop
// ------------------------------------------------------------------------------------

void UIApplication::setMainInterfaceLoader(InterfaceLoader loader) {
    interfaceLoader() = std::move(loader);
}

bool UIApplication::launch(UIApplicationDelegate* delegate, NSDictionary* launchOptions) {
    Ref<UIApplication> self(this);
    if (delegate) setDelegate(delegate);
    auto d = this->delegate();
    bool ok = true;
    if (d) {
        NSObject* obj = objc_detail::objectOf(d.get());
        if (respondsTo(obj, Selector::named("application:didFinishLaunchingWithOptions:")))
            ok = d->applicationDidFinishLaunchingWithOptions(this, launchOptions);
        else if (respondsTo(obj, Selector::named("applicationDidFinishLaunching:")))
            d->applicationDidFinishLaunching(this);
        else
            ok = d->applicationDidFinishLaunchingWithOptions(this, launchOptions);
        auto url = launchOptions
                       ? as<NSURL>(launchOptions->objectForKey(UIApplicationLaunchOptionsURLKey))
                       : nullptr;
        if (ok && url) d->applicationHandleOpenURL(this, url);
    }
    post(UIApplicationDidFinishLaunchingNotification, launchOptions);
    performBecomeActive();
    return ok;
}

int UIApplication::runMain(UIApplicationDelegate* delegate, NSDictionary* launchOptions) {
    Ref<UIApplication> self(this);
    if (delegate) ownedDelegate_ = objc_detail::objectOf(delegate);
    terminating_ = false;
    // A source that never fires keeps the loop from running dry between events.
    auto keepAlive = RunLoopSource::sourceWithHandler(nullptr);
    auto loop = NSRunLoop::mainRunLoop();
    loop->addSource(keepAlive, NSDefaultRunLoopMode);
    launch(delegate, launchOptions);
    while (!terminating_)
        loop->runInMode(NSDefaultRunLoopMode, 1e9, false);
    loop->removeSource(keepAlive, NSDefaultRunLoopMode);
    keepAlive->invalidate();
    return 0;
}

void UIApplication::resetState() {
    if (expiryTimer_) expiryTimer_->invalidate();
    expiryTimer_ = nullptr;
    delegate_.reset();
    ownedDelegate_ = nullptr;
    windows_.clear();
    keyWindow_.reset();
    schemes_ = defaultSchemes();
    opened_.clear();
    openURLObserver_ = nullptr;
    {
        // Loads still running keep their holds: the indicator shows them to the next session.
        std::lock_guard<std::mutex> hold(activityLock_);
        networkActivityIndicatorVisible_.store(activityHolds_ > 0);
    }
    statusBarStyle_ = UIStatusBarStyleDefault;
    statusBarHidden_ = false;
    statusBarWindow_ = nullptr;
    statusBarOrientation_ = UIInterfaceOrientationPortrait;
    badgeNumber_ = 0;
    idleTimerDisabled_ = false;
    shakeToEdit_ = true;
    remoteTypes_ = 0;
    state_ = UIApplicationStateInactive;
    terminating_ = false;
    ignoring_ = 0;
    tasks_.clear();
    nextTask_ = 1;
}

int UIApplicationMain(int, char**, NSString* principalClassName, NSString* delegateClassName) {
    if (principalClassName && principalClassName->length() > 0) {
        Class cls = NSClassFromString(principalClassName);
        if (!cls || !cls->isSubclassOfClass(UIApplication::staticClass()))
            NSException::raise(NSInternalInconsistencyException,
                               NS("Unable to instantiate the UIApplication subclass instance. No "
                                  "class named %@ is loaded."),
                               principalClassName);
        if (cls != UIApplication::staticClass()) {
            auto instance = cls->createInstance();
            auto app = as<UIApplication>(instance);
            if (!app || !app->init())
                NSException::raise(NSInternalInconsistencyException, NS("Unable to instantiate %@"),
                                   principalClassName);
            app->schemes_ = defaultSchemes();
            sharedSlot().exchange(app);
        }
    }
    auto app = UIApplication::sharedApplication();
    Ref<NSObject> delegateObject;
    UIApplicationDelegate* delegate = nullptr;
    if (delegateClassName && delegateClassName->length() > 0) {
        Class cls = NSClassFromString(delegateClassName);
        if (!cls)
            NSException::raise(NSInternalInconsistencyException,
                               NS("Unable to instantiate the UIApplication delegate instance. No "
                                  "class named %@ is loaded."),
                               delegateClassName);
        delegateObject = cls->createInstance();
        delegate = dynamic_cast<UIApplicationDelegate*>(delegateObject.get());
        if (!delegate || !delegateObject->init())
            NSException::raise(NSInternalInconsistencyException,
                               NS("The class %@ is not an application delegate"),
                               delegateClassName);
        app->setDelegate(delegate);
    }
    // The main interface file may make the delegate (and the window) itself.
    auto nib =
        as<NSString>(NSBundle::mainBundle()->objectForInfoDictionaryKey(NS("NSMainNibFile")));
    if (nib && nib->length() > 0 && interfaceLoader()) interfaceLoader()(app, nib);
    if (!delegate) delegate = app->delegate().get();
    return app->runMain(delegate, nullptr);
}
