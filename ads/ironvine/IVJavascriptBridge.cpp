#include "ads/ironvine/IVJavascriptBridge.h"

#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSError.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLError.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIDevice.h"
#include "ads/ironvine/IVClientManager.h"
#include "ads/ironvine/IVCommandHandler.h"
#include "ads/ironvine/IVController.h"

namespace {
constexpr double kPadInterval = 1.0 / 30.0;
constexpr double kPhoneForeground = 1.0 / 15.0;
constexpr double kPhoneBackground = 0.5;

double intervalForMode(int32_t mode) {
    if (UIDevice::currentDevice()->userInterfaceIdiom() == UIUserInterfaceIdiomPad)
        return kPadInterval;
    return mode == IVExecModeForeground ? kPhoneForeground : kPhoneBackground;
}

// The operation a class itself offers to scripts: its own registrations and those of its bases
// up to, not including, the handler base (or the root object for the bridge). What the
// platform's root classes register (retain counting, descriptions) is never reachable.
const Method* scriptMethod(Class cls, SEL sel, Class stop) {
    for (Class c = cls; c && c != stop; c = c->superclass())
        for (const auto& m : c->methods())
            if (m.selector == sel && m.imp) return &m;
    return nullptr;
}

std::string scriptBlock(NSString* script) {
    return "<script type = \"text/javascript\">\n/*<![CDATA[*/\n" + script->utf8() +
           "\n/*]]>*/\n</script>";
}

bool isIntegerCode(const std::string& code) {
    return code.size() == 1 && std::string("cCsSiIlLqQB").find(code[0]) != std::string::npos;
}
}  // namespace

void IVJavascriptBridge::describeClass(RuntimeClass& c) {
    // Scripts reach these two on the bridge itself.
    c.method("setPollingInterval:", &IVJavascriptBridge::setPollingInterval)
        .method("setExecMode:", &IVJavascriptBridge::setExecMode);
}

Ref<IVJavascriptBridge> IVJavascriptBridge::bridgeInMode(int32_t mode, UIWebView* webView,
                                                         IVCommandHandler* handler) {
    auto bridge = alloc<IVJavascriptBridge>();
    if (!bridge->initInMode(mode, webView, handler)) return nullptr;
    return bridge;
}

bool IVJavascriptBridge::initInMode(int32_t mode, UIWebView* webView, IVCommandHandler* handler) {
    if (!NSObject::init()) return false;
    execMode_ = (mode == 0 || mode == 1) ? mode : 0;
    restartPolling();
    webView_ = webView;
    if (webView) {
        webViewDelegate_ = webView->delegate().get();
        webView->setDelegate(this);
    }
    commandHandlers_ = NSMutableArray::arrayWithCapacity(2);
    if (handler) addCommandHandler(handler);
    return true;
}

void IVJavascriptBridge::dealloc() {
    halt();
    if (webView_ && webView_->delegate().get() == static_cast<UIWebViewDelegate*>(this))
        webView_->setDelegate(nullptr);
    webView_ = nullptr;
    commandHandlers_ = nullptr;
    pendingJavascriptCommands_ = nullptr;
    NSObject::dealloc();
}

void IVJavascriptBridge::addCommandHandler(IVCommandHandler* handler) {
    if (!handler) return;
    commandHandlers_->addObject(handler);
    handler->setBridge(this);
}

void IVJavascriptBridge::removeCommandHandler(IVCommandHandler* handler) {
    commandHandlers_->removeObjectIdenticalTo(handler);
}

void IVJavascriptBridge::removeAllCommandHandlers() {
    commandHandlers_->removeAllObjects();
}

// ---- page -----------------------------------------------------------------------------------

Ref<NSString> IVJavascriptBridge::baseScript() {
    return NS(
        R"JS(var ExecMode={BG:0,FG:1};var g_commandQueue=[];function commandList(_1){if(_1===ExecMode.BG){return g_commandQueue.shift();}else{if(_1===ExecMode.FG){var _2=g_commandQueue.join("\n");g_commandQueue=[];return _2;}}};function sendCommand(_3){g_commandQueue.push(_3);};var Bridge=function(){var _4={};function _5(_6){sendCommand("setPollingInterval:"+_6+";");};_4.setPollingInterval=_5;return _4;}();)JS");
}

Ref<NSString> IVJavascriptBridge::capabilities() {
    return NS("accel\",\"audio");
}

Ref<NSString> IVJavascriptBridge::globalsScript() {
    auto controller = IVController::sharedController();
    // The page starts with the version of the installed script pair.
    auto manager = controller->clientManager();
    auto version = manager ? manager->clientVersion() : nullptr;
    return NSString::stringWithFormat(
        NS(R"JS(var UserInfo=function(){var _1="%@";var _2={};function _3(){return"%@";};_2.getAppId=_3;function _4(){return _1;};_2.getClientVersion=_4;function _5(v){_1=v;};_2.setClientVersion=_5;function _6(){return"%@";};_2.getDeviceName=_6;function _7(){return"%@";};_2.getDeviceUid=_7;function _8(){return"%@";};_2.getHostVersion=_8;function _9(){return %qi;};_2.getSessionStart=_9;function _a(){return"%@";};_2.getServerURL=_a;return _2;}();var g_capabilities=["%@"];)JS"),
        version ? version.get() : NS(""), controller->applicationID(), IVController::deviceName(),
        IVController::deviceUID(), IVController::ivSDKVersion(),
        static_cast<long long>(IVController::sessionStart()), controller->serverURL(),
        capabilities());
}

Ref<NSString> IVJavascriptBridge::bridgeScript() {
    std::string out = baseScript()->utf8();
    for (NSObject* h : *commandHandlers_) {
        out += "\n";
        out += static_cast<IVCommandHandler*>(h)->bridgeScript()->utf8();
    }
    return NSString::fromUTF8(out);
}

Ref<NSString> IVJavascriptBridge::generateBridgeScript(NSString* name, IVCommandHandler* handler) {
    std::string out = "var " + name->utf8() + " = function()\n{\n\tvar self = {};\n";
    const std::string prefix = "bridge_";
    for (const auto& m : handler->getClass()->methods()) {
        const std::string& sel = m.selector->name;
        if (sel.rfind(prefix, 0) != 0) continue;
        std::string function, params, command;
        if (sel.find(':') == std::string::npos) {
            function = sel.substr(prefix.size());
            command = sel;
        } else {
            std::vector<std::string> parts;
            size_t start = 0;
            for (size_t colon; (colon = sel.find(':', start)) != std::string::npos;
                 start = colon + 1)
                parts.push_back(sel.substr(start, colon - start));
            std::string first = parts[0].substr(prefix.size());
            std::string param = "a_" + first;
            params = param;
            function = first;
            command = parts[0] + ":\\\"\"+" + param + "+\"\\\"";
            for (size_t i = 1; i < parts.size(); ++i) {
                const std::string& p = parts[i];
                std::string a = "a_" + p;
                params += ", " + a;
                std::string upper = p;
                if (!upper.empty()) upper[0] = static_cast<char>(std::toupper(upper[0]));
                function += upper;
                command += " " + p + ":\\\"\"+" + a + "+\"\\\"";
            }
        }
        out += "\tself." + function + " = function(" + params + ")\n\t{\n\t\tsendCommand(\"" +
               command + ";\");\n\t}\n\n";
    }
    out += "\treturn self;\n}();";
    return NSString::fromUTF8(out);
}

void IVJavascriptBridge::loadJavascriptString(NSString* script, NSString* execute, NSURL* baseURL) {
    std::string a = scriptBlock(bridgeScript().get());
    std::string b = scriptBlock(
        NSString::fromUTF8(globalsScript()->utf8() + (script ? script->utf8() : std::string()))
            .get());
    std::string c = scriptBlock(NS("function isIVJSLoaded(){return true;}"));
    std::string page = "<html><head><title>Advertisement</title>" + a + b + c +
                       "</head><body style=\"margin:0px;\" onload=\"" +
                       (execute ? execute->utf8() : std::string()) + "\"></body></html>";
    flushJavascriptCommands();
    if (webView_) webView_->loadHTMLString(NSString::fromUTF8(page).get(), baseURL);
    webViewLoading_ = true;
}

// ---- results --------------------------------------------------------------------------------

void IVJavascriptBridge::sendJavascriptCommand(NSString* javascript) {
    if (webViewLoading_)
        postJavascriptCommand(javascript);
    else
        executeJavascriptCommand(javascript);
}

void IVJavascriptBridge::postJavascriptCommand(NSString* javascript) {
    if (!javascript) return;
    if (!pendingJavascriptCommands_)
        pendingJavascriptCommands_ = NSMutableArray::arrayWithCapacity(1);
    pendingJavascriptCommands_->addObject(javascript);
}

void IVJavascriptBridge::executeJavascriptCommand(NSString* javascript) {
    if (!webView_ || !javascript) return;
    webView_->stringByEvaluatingJavaScriptFromString(
        NSString::stringWithFormat(NS("try { %@; } catch(e) {}"), javascript).get());
}

void IVJavascriptBridge::executePendingJavascriptCommands() {
    if (!pendingJavascriptCommands_) return;
    auto pending = pendingJavascriptCommands_->copy();
    for (NSObject* text : *pending)
        executeJavascriptCommand(static_cast<NSString*>(text));
}

void IVJavascriptBridge::flushJavascriptCommands() {
    pendingJavascriptCommands_ = nullptr;
}

bool IVJavascriptBridge::isIVJSLoaded() {
    if (!webView_) return false;
    return webView_->stringByEvaluatingJavaScriptFromString(NS("isIVJSLoaded();"))->boolValue();
}

// ---- polling --------------------------------------------------------------------------------

void IVJavascriptBridge::setPollingInterval(NSNumber* seconds) {
    halt();
    double interval = seconds ? seconds->doubleValue() : 0;
    if (!(interval >= kMinimumPollingInterval)) interval = kMinimumPollingInterval;
    Weak<IVJavascriptBridge> weak(this);
    pollingInterval_ = interval;
    pollingTimer_ = NSTimer::scheduledTimerWithTimeInterval(interval, true, [weak](NSTimer*) {
        if (auto self = weak.lock()) self->poll();
    });
}

void IVJavascriptBridge::setPollingIntervalOverride(NSNumber* seconds) {
    if (!seconds) return;
    double v = seconds->doubleValue();
    if (!(v >= kMinimumPollingInterval && v <= 1.0)) return;
    pollingIntervalOverride_ = seconds;
    setPollingInterval(seconds);
}

void IVJavascriptBridge::restartPolling() {
    if (pollingIntervalOverride_)
        setPollingInterval(pollingIntervalOverride_.get());
    else
        setPollingInterval(NSNumber::numberWithDouble(intervalForMode(execMode_)).get());
}

void IVJavascriptBridge::handleExecModeUpdate(int32_t mode) {
    if (pollingIntervalOverride_) {
        setPollingInterval(pollingIntervalOverride_.get());
        execMode_ = mode;
        return;
    }
    if (mode != 0 && mode != 1) return;
    execMode_ = mode;
    setPollingInterval(NSNumber::numberWithDouble(intervalForMode(mode)).get());
}

void IVJavascriptBridge::halt() {
    if (pollingTimer_) pollingTimer_->invalidate();
    pollingTimer_ = nullptr;
    pollingInterval_ = 0;
}

double IVJavascriptBridge::currentPollingInterval() {
    return pollingTimer_ ? pollingInterval_ : 0;
}

NSUInteger IVJavascriptBridge::poll() {
    if (!webView_) return 0;
    Ref<IVJavascriptBridge> keep(this);
    auto list = webView_->stringByEvaluatingJavaScriptFromString(
        NSString::stringWithFormat(NS("commandList(%d);"),
                                   static_cast<int>(IVController::sharedController()->execMode()))
            .get());
    if (!list || list->length() == 0) return 0;
    auto commands = list->componentsSeparatedByString(NS(";\n"));
    NSUInteger performed = 0;
    try {
        for (NSObject* c : *commands) {
            executeCocoaCommand(static_cast<NSString*>(c));
            ++performed;
        }
    } catch (ExceptionRaised&) {
        // The rest of this batch is dropped; the next tick goes on.
    } catch (std::exception&) {
    }
    return performed;
}

// ---- commands -------------------------------------------------------------------------------

NSObject* IVJavascriptBridge::commandHandlerForSelector(SEL selector) {
    if (scriptMethod(getClass(), selector, NSObject::staticClass())) return this;
    if (!commandHandlers_) return nullptr;
    for (NSObject* h : *commandHandlers_)
        if (scriptMethod(h->getClass(), selector, IVCommandHandler::staticClass())) return h;
    return nullptr;
}

bool IVJavascriptBridge::respondsToSelector(SEL selector) {
    return commandHandlerForSelector(selector) != nullptr || NSObject::respondsToSelector(selector);
}

Ref<NSInvocation> IVJavascriptBridge::invocationForString(NSString* command, NSObject* target) {
    if (!command || command->length() == 0 || !target) return nullptr;
    std::u16string text = command->u16();
    if (!text.empty() && text.back() == u';') text.pop_back();
    std::u16string selector;
    std::vector<std::u16string> args;
    bool expectingKeyword = true, inQuotes = false;
    size_t start = 0, length = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t ch = text[i];
        if (inQuotes) {
            if (ch == u'"') inQuotes = false;
            length = i - start + 1;
        } else if (ch == u'"') {
            inQuotes = true;
            length = i - start + 1;
        } else if (expectingKeyword) {
            if (ch == u':' && length > 0) {
                selector += text.substr(start, length) + u":";
                expectingKeyword = false;
                length = 0;
                start = i + 1;
            } else if (ch == u' ' && length == 0) {
                start = i + 1;
            } else if (ch == u' ') {
                // a space inside a keyword changes nothing
            } else {
                length = i - start + 1;
            }
        } else {
            if (ch == u' ' && length == 0) {
                start = i + 1;
            } else if (ch == u' ') {
                args.push_back(text.substr(start, length));
                expectingKeyword = true;
                length = 0;
                start = i + 1;
            } else {
                length = i - start + 1;
            }
        }
    }
    std::u16string rest = start < text.size() ? text.substr(start) : std::u16string();
    if (expectingKeyword)
        selector += rest;
    else
        args.push_back(rest);

    SEL sel = Selector::named(NSString::fromUTF16(selector)->utf8());
    NSObject* owner = target == this ? commandHandlerForSelector(sel) : target;
    if (!owner) return nullptr;
    Class stop = owner == this ? NSObject::staticClass() : IVCommandHandler::staticClass();
    const Method* method = scriptMethod(owner->getClass(), sel, stop);
    if (!method) return nullptr;
    auto signature = NSMethodSignature::signatureWithObjCTypes(method->types.c_str());
    auto call = NSInvocation::invocationWithMethodSignature(signature.get());
    call->setTarget(target);
    call->setSelector(sel);
    NSUInteger slots = signature->numberOfArguments();
    for (size_t k = 0; k < args.size() && k + 2 < slots; ++k) {
        const std::u16string& token = args[k];
        Ref<NSObject> value;
        if (!token.empty() && token[0] == u'"') {
            value = NSString::fromUTF16(token.size() >= 2
                                            ? std::u16string_view(token).substr(1, token.size() - 2)
                                            : std::u16string_view());
        } else {
            auto t = NSString::fromUTF16(token);
            auto lower = t->lowercaseString()->utf8();
            if (lower == "true" || lower == "yes")
                value = NSNumber::numberWithDouble(1.0);
            else if (lower == "false" || lower == "no")
                value = NSNumber::numberWithDouble(0.0);
            else
                value = NSNumber::numberWithDouble(t->doubleValue());
        }
        std::string code = signature->getArgumentTypeAtIndex(k + 2);
        if (isIntegerCode(code)) {
            long long n = 0;
            if (auto num = as<NSNumber>(value))
                n = num->longLongValue();
            else if (auto s = as<NSString>(value))
                // Through a number: a huge or NaN text saturates instead of overflowing the cast.
                n = NSNumber::numberWithDouble(s->doubleValue())->longLongValue();
            call->setArgument(Value::ofSigned(n, code[0]), static_cast<NSInteger>(k + 2));
        } else if (code == "f" || code == "d") {
            double d = 0;
            if (auto num = as<NSNumber>(value))
                d = num->doubleValue();
            else if (auto s = as<NSString>(value))
                d = s->doubleValue();
            call->setArgument(Value::ofDouble(d, code[0]), static_cast<NSInteger>(k + 2));
        } else {
            call->setArgument(Value::ofObject(value.get()), static_cast<NSInteger>(k + 2));
        }
    }
    return call;
}

void IVJavascriptBridge::executeCocoaCommand(NSString* command) {
    auto call = invocationForString(command, this);
    if (!call) return;
    SEL sel = call->selector();
    NSObject* owner = commandHandlerForSelector(sel);
    if (!owner) return;
    call->invokeWithTarget(owner);
}

// ---- web view -------------------------------------------------------------------------------

bool IVJavascriptBridge::webViewShouldStartLoadWithRequest(UIWebView* webView,
                                                           NSURLRequest* request,
                                                           UIWebViewNavigationType type) {
    if (auto d = webViewDelegate_.lock())
        return d->webViewShouldStartLoadWithRequest(webView, request, type);
    return true;
}

void IVJavascriptBridge::webViewDidStartLoad(UIWebView* webView) {
    halt();
    webViewLoading_ = true;
    if (auto d = webViewDelegate_.lock()) d->webViewDidStartLoad(webView);
}

void IVJavascriptBridge::loadFinished() {
    webViewLoading_ = false;
    executePendingJavascriptCommands();
    flushJavascriptCommands();
    restartPolling();
}

void IVJavascriptBridge::webViewDidFinishLoad(UIWebView* webView) {
    Ref<IVJavascriptBridge> keep(this);
    loadFinished();
    if (auto d = webViewDelegate_.lock()) d->webViewDidFinishLoad(webView);
}

void IVJavascriptBridge::webViewDidFailLoadWithError(UIWebView* webView, NSError* error) {
    // A cancelled load is not this bridge's business, nor the replaced delegate's.
    if (error && error->code() == NSURLErrorCancelled) return;
    Ref<IVJavascriptBridge> keep(this);
    loadFinished();
    if (auto d = webViewDelegate_.lock()) d->webViewDidFailLoadWithError(webView, error);
}
