// The application object: one per process.
#pragma once

#include <atomic>

#include "Foundation/NSObject.h"

class UIApplication : public NSObject {
    NS_OBJECT(UIApplication, NSObject)
    static Ref<UIApplication> sharedApplication();

    // The status bar's network activity indicator.
    bool isNetworkActivityIndicatorVisible() { return networkActivityIndicatorVisible_.load(); }
    void setNetworkActivityIndicatorVisible(bool visible) {
        networkActivityIndicatorVisible_.store(visible);
    }

private:
    std::atomic<bool> networkActivityIndicatorVisible_{false};
};
