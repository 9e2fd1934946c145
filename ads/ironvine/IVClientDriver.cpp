#include "ads/ironvine/IVClientDriver.h"

#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/Runtime.h"
#include "URLLoading/NSURLConnection.h"
#include "ads/ironvine/IVAdEngine.h"
#include "ads/ironvine/IVAdManager.h"
#include "ads/ironvine/IVApplicationCommandHandler.h"
#include "ads/ironvine/IVAsyncCommand.h"
#include "ads/ironvine/IVClientManager.h"
#include "ads/ironvine/IVCocoaCommandHandler.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVJavascriptBridge.h"
#include "ads/ironvine/IVStandardCommandHandler.h"

namespace {
Ref<IVAdManager> adManager() {
    return IVController::sharedController()->adManager();
}
}  // namespace

// ---- BridgeDriver ---------------------------------------------------------------------------

void IVDriverCommandHandler::describeClass(RuntimeClass& c) {
    using H = IVDriverCommandHandler;
    c.method("bridge_notifyInitFailed", &H::bridge_notifyInitFailed)
        .method("bridge_notifyInitSucceeded", &H::bridge_notifyInitSucceeded)
        .method("bridge_notifyAdFetchFailedForSlotNamed:",
                &H::bridge_notifyAdFetchFailedForSlotNamed)
        .method("bridge_notifyAdFetchSucceededForSlotNamed:dlTime:expiration:",
                &H::bridge_notifyAdFetchSucceeded)
        .method("bridge_pingURL:", &H::bridge_pingURL)
        .method("bridge_reloadAndExecute:baseURL:", &H::bridge_reloadAndExecuteBaseURL)
        .method("bridge_reloadAndExecute:", &H::bridge_reloadAndExecute)
        .method("bridge_getAdManagerProperty:callback:", &H::bridge_getAdManagerProperty)
        .method("bridge_setAdManagerProperty:value:", &H::bridge_setAdManagerProperty)
        .method("bridge_setState:", &H::bridge_setState);
}

bool IVDriverCommandHandler::initWithDriver(IVClientDriver* driver) {
    if (!initWithName(NS("BridgeDriver"))) return false;
    driver_ = driver;
    return true;
}

void IVDriverCommandHandler::bridge_notifyInitFailed() {
    if (auto d = driver_.lock()) d->initFailed();
}

void IVDriverCommandHandler::bridge_notifyInitSucceeded() {
    if (auto d = driver_.lock()) d->initSucceeded();
}

void IVDriverCommandHandler::bridge_notifyAdFetchFailedForSlotNamed(NSString* name) {
    if (auto d = driver_.lock()) d->adFetchFailedForSlotNamed(name);
}

void IVDriverCommandHandler::bridge_notifyAdFetchSucceeded(NSString* name, NSString* dlTime,
                                                           NSString* expiration) {
    if (auto d = driver_.lock())
        d->adFetchSucceededForSlotNamed(name, dlTime ? dlTime->longLongValue() : 0,
                                        expiration ? expiration->longLongValue() : 0);
}

void IVDriverCommandHandler::bridge_pingURL(NSString* url) {
    if (auto d = driver_.lock(); d && url) d->pingURL(NSURL::URLWithString(url).get());
}

void IVDriverCommandHandler::bridge_reloadAndExecuteBaseURL(NSString* command, NSString* baseURL) {
    if (auto d = driver_.lock())
        d->reloadAndExecute(command, baseURL ? NSURL::URLWithString(baseURL).get() : nullptr);
}

void IVDriverCommandHandler::bridge_reloadAndExecute(NSString* command) {
    if (auto d = driver_.lock()) d->reloadAndExecute(command, nullptr);
}

void IVDriverCommandHandler::bridge_getAdManagerProperty(NSString* key, NSString* callback) {
    auto manager = adManager();
    if (!manager || !key || !callback) return;
    Ref<NSObject> value;
    if (key->isEqualToString(NS("fetchReenqueueDelay")))
        value = NSNumber::numberWithDouble(manager->fetchReenqueueDelay());
    else if (key->isEqualToString(NS("slotDict")))
        value = manager->slotDict();
    else
        return;
    send(IVFillCallback(callback, IVQuotedForScript(value->description().get())).get());
}

void IVDriverCommandHandler::bridge_setAdManagerProperty(NSString* key, NSString* value) {
    auto manager = adManager();
    if (!manager || !key || !value) return;
    if (key->isEqualToString(NS("fetchReenqueueDelay")))
        manager->setFetchReenqueueDelay(value->doubleValue());
    // The slot table is the engine's own; any other key is ignored.
}

void IVDriverCommandHandler::bridge_setState(NSString* state) {
    auto d = driver_.lock();
    if (!d || !state) return;
    int value = state->intValue();
    if (value == 1 || value == 2) d->setState(value);
}

// ---- the driver -----------------------------------------------------------------------------

void IVClientDriver::describeClass(RuntimeClass& c) {
    c.method("executeScript:baseURL:data:", &IVClientDriver::executeScript);
}

bool IVClientDriver::init() {
    if (!NSObject::init()) return false;
    webView_ = make<UIWebView>();
    webView_->setDelegate(this);
    state_ = 0;
    execMode_ = 0;
    standardHandler_ = make<IVStandardCommandHandler>();
    cocoaHandler_ = make<IVCocoaCommandHandler>();
    applicationHandler_ = make<IVApplicationCommandHandler>();
    driverHandler_ = alloc<IVDriverCommandHandler>();
    driverHandler_->initWithDriver(this);
    bridge_ = IVJavascriptBridge::bridgeInMode(0, webView_.get(), nullptr);
    bridge_->addCommandHandler(standardHandler_.get());
    bridge_->addCommandHandler(cocoaHandler_.get());
    bridge_->addCommandHandler(applicationHandler_.get());
    bridge_->addCommandHandler(driverHandler_.get());
    return true;
}

void IVClientDriver::dealloc() {
    if (bridge_) bridge_->halt();
    if (webView_) webView_->setDelegate(nullptr);
    NSObject::dealloc();
}

void IVClientDriver::executeScript(NSString* command, NSURL* baseURL, NSData* data) {
    if (!data) return;
    std::string text(static_cast<const char*>(data->bytes()), data->length());
    // Read as a C string: the text ends at the first zero byte.
    if (auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
    bridge_->loadJavascriptString(NSString::fromUTF8(text).get(), command, baseURL);
}

void IVClientDriver::adFetchFailedForSlotNamed(NSString* name) {
    if (auto m = adManager()) m->adDownloadFailedForSlotNamed(name);
}

void IVClientDriver::adFetchSucceededForSlotNamed(NSString* name, int64_t dlTime,
                                                  int64_t expiration) {
    if (auto m = adManager()) m->adDownloadedForSlotNamed(name, dlTime, expiration);
}

void IVClientDriver::initSucceeded() {
    if (auto m = adManager()) m->clientDriverDidInitialize();
}

void IVClientDriver::pingURL(NSURL* url) {
    if (!url) return;
    // Fire and forget: the answer is dropped.
    NSURLConnection::connectionWithRequest(NSURLRequest::requestWithURL(url).get(), nullptr);
}

void IVClientDriver::setBridgePollingIntervalOverride(NSNumber* seconds) {
    bridge_->setPollingIntervalOverride(seconds);
}

void IVClientDriver::executeCommand(NSString* command) {
    bridge_->sendJavascriptCommand(command);
}

void IVClientDriver::readDriverScript(NSString* command, NSURL* baseURL) {
    auto path = IVController::sharedController()->clientManager()->pathForComponent(NS("driver"));
    auto invocation = IVInvocation(this, "executeScript:baseURL:data:", {command, baseURL});
    auto context = IVCallbackContext::contextWithCallbackInvocation(invocation.get(), true);
    IVController::sharedController()->ioRequestManager()->sendAsyncCommand(
        IVIOReadRequest::requestWithPathToRead(path.get(), context.get()).get());
}

void IVClientDriver::reloadAndExecute(NSString* command, NSURL* baseURL) {
    if (!bridge_->isIVJSLoaded()) return;
    readDriverScript(command, baseURL ? baseURL : IVAdManager::adBaseURL().get());
}

bool IVClientDriver::fetchAdForSlotNamed(NSString* name) {
    if (state_ != 1 || !bridge_->isIVJSLoaded()) return false;
    state_ = 2;
    bridge_->sendJavascriptCommand(
        NSString::stringWithFormat(
            NS("try {fetchAdForSlotNamed('%@');} catch(e){BridgeLib.log('failed: ' + e);}"), name)
            .get());
    return true;
}

void IVClientDriver::shutdown() {
    bridge_->sendJavascriptCommand(NS("shutdown();"));
    for (int i = 0; i < kMaxShutdownPolls && bridge_->poll() > 0; ++i) {
    }
}

Ref<NSString> IVClientDriver::driverInitCommand() {
    std::string list = "[";
    auto manager = adManager();
    Ref<NSDictionary> slots = manager ? Ref<NSDictionary>(manager->slotDict()) : nullptr;
    if (!slots) slots = NSDictionary::dictionary();
    NSUInteger n = slots->count(), i = 0;
    for (NSObject* key : *slots) {
        auto slot = as<IVAdSlot>(slots->objectForKey(key));
        list += NSString::stringWithFormat(
                    NS("{name:\\&quot;%@\\&quot;,size:%d}%@"), slot->slotDescription()->name(),
                    slot->slotDescription()->size(), ++i < n ? NS(",") : NS(""))
                    ->utf8();
    }
    list += "]";
    return NSString::stringWithFormat(
        NS("try {driverInit(&quot;%s&quot;);} catch(e){BridgeLib.log('failed: ' + e);}"),
        list.c_str());
}

void IVClientDriver::startup() {
    // A sync that answers after its engine was shut down (or before one started) has no slots to
    // drive.
    if (!adManager()) return;
    if (!IVController::sharedController()->clientManager()->hasClient()) return;
    readDriverScript(driverInitCommand().get(), IVAdManager::adBaseURL().get());
}

bool IVClientDriver::webViewShouldStartLoadWithRequest(UIWebView* webView, NSURLRequest* request,
                                                       UIWebViewNavigationType) {
    auto url = request ? request->URL() : nullptr;
    auto scheme = url ? url->scheme() : nullptr;
    if (scheme && scheme->isEqualToString(NS("file"))) return true;
    if (scheme && scheme->isEqualToString(NS("about"))) return false;
    if (!bridge_ || !bridge_->isIVJSLoaded()) return true;
    auto answer = webView->stringByEvaluatingJavaScriptFromString(NSString::stringWithFormat(
        NS("shouldStartLoadWithRequest(\"%@\");"), url ? url->absoluteString().get() : NS("")));
    return answer && answer->isEqualToString(NS("true"));
}
