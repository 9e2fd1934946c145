#include "Classes/RequestInFlight.h"

#include "Foundation/NSIndexPath.h"

bool RequestInFlight::send(const std::function<void()>& send) {
    if (out_) return false;
    out_ = true;
    try {
        send();
    } catch (...) {
        out_ = false;
        throw;
    }
    return true;
}

Ref<NSIndexPath> RequestInFlight::rowToSelect(NSIndexPath* path) const {
    return out_ ? nullptr : Ref<NSIndexPath>(path);
}
