// BridgeApp: lets scripts read the application's bundle information.
#pragma once

#include "ads/ironvine/IVCommandHandler.h"

class IVApplicationCommandHandler : public IVCommandHandler {
    NS_OBJECT(IVApplicationCommandHandler, IVCommandHandler)
    static void describeClass(RuntimeClass& c);
    bool init() override;
    // The value's description, escaped and quoted, into the callback.
    void bridge_infoDictionaryValueForKey(NSString* key, NSString* callback);
};
