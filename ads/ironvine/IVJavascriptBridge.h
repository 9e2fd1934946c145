// The only channel from ad scripts to native code: the bridge loads a page whose script keeps a
// queue of command texts, polls that queue on a repeating timer, parses each command into a call
// and performs it on itself or on the first command handler that has the operation. Results go
// back as script text evaluated in the same web view. Main thread.
#pragma once

#include <cstdint>
#include <vector>

#include "Foundation/NSObject.h"
#include "UIKit/UIWebView.h"

class IVCommandHandler;
class NSInvocation;
class NSMutableArray;
class NSNumber;
class NSString;
class NSTimer;
class NSURL;

// 0 background, 1 foreground.
enum IVExecMode : int32_t { IVExecModeBackground = 0, IVExecModeForeground = 1 };

class IVJavascriptBridge : public NSObject, public UIWebViewDelegate {
    NS_OBJECT(IVJavascriptBridge, NSObject)
    static void describeClass(RuntimeClass& c);
    static constexpr double kMinimumPollingInterval = 1.0 / 30.0;

    // The third argument is the first command handler, or nil.
    static Ref<IVJavascriptBridge> bridgeInMode(int32_t mode, UIWebView* webView,
                                                IVCommandHandler* handler);
    bool initInMode(int32_t mode, UIWebView* webView, IVCommandHandler* handler);
    void dealloc() override;

    Ref<UIWebView> webView() { return webView_; }
    void addCommandHandler(IVCommandHandler* handler);
    void removeCommandHandler(IVCommandHandler* handler);
    void removeAllCommandHandlers();

    void loadJavascriptString(NSString* script, NSString* execute, NSURL* baseURL);
    void sendJavascriptCommand(NSString* javascript);
    void postJavascriptCommand(NSString* javascript);
    void executeJavascriptCommand(NSString* javascript);
    void executePendingJavascriptCommands();
    void flushJavascriptCommands();
    bool isIVJSLoaded();

    void setPollingInterval(NSNumber* seconds);
    // Accepted only within [1/30, 1.0] seconds.
    void setPollingIntervalOverride(NSNumber* seconds);
    Ref<NSNumber> pollingIntervalOverride() { return pollingIntervalOverride_; }
    void restartPolling();
    void halt();
    void handleExecModeUpdate(int32_t mode);
    // One tick: the commands performed.
    NSUInteger poll();
    // The interval of the running timer, 0 when halted.
    double currentPollingInterval();

    int32_t execMode() { return execMode_; }
    void setExecMode(int32_t mode) { execMode_ = mode; }

    Ref<NSString> capabilities();
    Ref<NSString> globalsScript();
    Ref<NSString> bridgeScript();
    static Ref<NSString> baseScript();
    static Ref<NSString> generateBridgeScript(NSString* name, IVCommandHandler* handler);

    // The parsed command as a call ready to perform, or nil.
    Ref<NSInvocation> invocationForString(NSString* command, NSObject* target);
    void executeCocoaCommand(NSString* command);
    // The bridge itself, else the first handler that has the operation, else nil.
    NSObject* commandHandlerForSelector(SEL selector);
    bool respondsToSelector(SEL selector) override;

    bool webViewShouldStartLoadWithRequest(UIWebView* webView, NSURLRequest* request,
                                           UIWebViewNavigationType type) override;
    void webViewDidStartLoad(UIWebView* webView) override;
    void webViewDidFinishLoad(UIWebView* webView) override;
    void webViewDidFailLoadWithError(UIWebView* webView, NSError* error) override;

private:
    void loadFinished();

    Ref<NSTimer> pollingTimer_;
    double pollingInterval_ = 0;
    Ref<UIWebView> webView_;
    Weak<UIWebViewDelegate> webViewDelegate_;
    Ref<NSMutableArray> pendingJavascriptCommands_;
    bool webViewLoading_ = false;
    int32_t execMode_ = 0;
    Ref<NSMutableArray> commandHandlers_;
    Ref<NSNumber> pollingIntervalOverride_;
};
