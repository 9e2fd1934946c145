#include "ads/ironvine/IVApplicationCommandHandler.h"

#include "Foundation/NSBundle.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

void IVApplicationCommandHandler::describeClass(RuntimeClass& c) {
    c.method("bridge_infoDictionaryValueForKey:withCallback:",
             &IVApplicationCommandHandler::bridge_infoDictionaryValueForKey);
}

bool IVApplicationCommandHandler::init() {
    return initWithName(NS("BridgeApp"));
}

void IVApplicationCommandHandler::bridge_infoDictionaryValueForKey(NSString* key,
                                                                   NSString* callback) {
    auto info = NSBundle::mainBundle()->infoDictionary();
    auto value = info && key ? info->objectForKey(key) : nullptr;
    send(IVFillCallback(callback,
                        IVQuotedForScript(value ? value->description().get() : NS("(null)")))
             .get());
}
