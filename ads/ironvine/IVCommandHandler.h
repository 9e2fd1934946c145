// A command handler: one global object of the bridge page (such as BridgeLib) whose commands the
// bridge performs natively. Operations whose names begin with "bridge_" are the ones a generated
// handler script offers. Also the helpers every handler answers scripts with.
#pragma once

#include <cstdint>
#include <string>

#include "Foundation/NSObject.h"

class IVJavascriptBridge;
class NSString;

class IVCommandHandler : public NSObject {
    NS_OBJECT(IVCommandHandler, NSObject)
    virtual bool initWithName(NSString* name);
    Ref<NSString> name() { return name_; }
    virtual void setBridge(IVJavascriptBridge* bridge);
    Ref<IVJavascriptBridge> bridge() { return bridge_.lock(); }
    // The generated script for the handler's own bridge_ operations.
    virtual Ref<NSString> bridgeScript();

protected:
    // Sends script text to the bridge, when there still is one.
    void send(NSString* javascript);

private:
    Ref<NSString> name_;
    Weak<IVJavascriptBridge> bridge_;
};

// A script's callback text used as a format with exactly one value: the first conversion
// directive of the value's kind ("%s" for text, "%d", "%i", "%u" with any length for numbers)
// takes it, and every other "%" stays as it is ("%%" included, which never starts one).
Ref<NSString> IVFillCallback(NSString* format, const std::string& utf8Text);
Ref<NSString> IVFillCallback(NSString* format, int64_t number);
// "\"text\"" with the text escaped for a script string (quotes, controls, line separators).
std::string IVQuotedForScript(NSString* text);
