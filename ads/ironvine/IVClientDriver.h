// Runs the downloaded driver script in a hidden web view that is never put on screen. The script
// chooses, downloads and stores ads through the standard, application and reflection handlers
// and reports back through "BridgeDriver"; the driver is the ad manager's only way to ask for an
// ad and to learn that one arrived. Main thread.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"
#include "UIKit/UIWebView.h"
#include "ads/ironvine/IVCommandHandler.h"

class IVApplicationCommandHandler;
class IVClientDriver;
class IVCocoaCommandHandler;
class IVJavascriptBridge;
class IVStandardCommandHandler;
class NSData;
class NSNumber;
class NSURL;

class IVDriverCommandHandler : public IVCommandHandler {
    NS_OBJECT(IVDriverCommandHandler, IVCommandHandler)
    static void describeClass(RuntimeClass& c);
    bool initWithDriver(IVClientDriver* driver);

    void bridge_notifyInitFailed();
    void bridge_notifyInitSucceeded();
    void bridge_notifyAdFetchFailedForSlotNamed(NSString* name);
    void bridge_notifyAdFetchSucceeded(NSString* name, NSString* dlTime, NSString* expiration);
    void bridge_pingURL(NSString* url);
    void bridge_reloadAndExecuteBaseURL(NSString* command, NSString* baseURL);
    void bridge_reloadAndExecute(NSString* command);
    // Only "fetchReenqueueDelay" and "slotDict" can be reached; the text is escaped for the
    // script like every other handler's.
    void bridge_getAdManagerProperty(NSString* key, NSString* callback);
    void bridge_setAdManagerProperty(NSString* key, NSString* value);
    // 1 (idle) and 2 (fetching) only.
    void bridge_setState(NSString* state);

private:
    // The driver owns this handler through its bridge; a strong reference back would keep both.
    Weak<IVClientDriver> driver_;
};

class IVClientDriver : public NSObject, public UIWebViewDelegate {
    NS_OBJECT(IVClientDriver, NSObject)
    static void describeClass(RuntimeClass& c);
    // The most polls the shut-down drain makes, so that a script that keeps queueing cannot hold
    // the engine's shut-down for ever.
    static constexpr int kMaxShutdownPolls = 100;

    bool init() override;
    void dealloc() override;

    int32_t state() { return state_; }
    void setState(int32_t state) { state_ = state; }
    int32_t execMode() { return execMode_; }
    void setExecMode(int32_t mode) { execMode_ = mode; }
    Ref<IVJavascriptBridge> bridge() { return bridge_; }
    Ref<UIWebView> webView() { return webView_; }

    void executeScript(NSString* command, NSURL* baseURL, NSData* data);
    void adFetchFailedForSlotNamed(NSString* name);
    void adFetchSucceededForSlotNamed(NSString* name, int64_t dlTime, int64_t expiration);
    void initFailed() {}
    void initSucceeded();
    void pingURL(NSURL* url);
    void setBridgePollingIntervalOverride(NSNumber* seconds);
    void executeCommand(NSString* command);
    void reloadAndExecute(NSString* command, NSURL* baseURL);
    bool fetchAdForSlotNamed(NSString* name);
    void shutdown();
    void startup();
    // The driverInit command for the ad manager's slots.
    Ref<NSString> driverInitCommand();

    bool webViewShouldStartLoadWithRequest(UIWebView* webView, NSURLRequest* request,
                                           UIWebViewNavigationType type) override;

private:
    void readDriverScript(NSString* command, NSURL* baseURL);

    Ref<UIWebView> webView_;
    int32_t state_ = 0;
    int32_t execMode_ = 0;
    Ref<IVJavascriptBridge> bridge_;
    Ref<IVStandardCommandHandler> standardHandler_;
    Ref<IVCocoaCommandHandler> cocoaHandler_;
    Ref<IVApplicationCommandHandler> applicationHandler_;
    Ref<IVDriverCommandHandler> driverHandler_;
};
