#include "ads/pebble/PBLGestureUtil.h"

#include <netinet/in.h>

#include <cstring>

#include "Foundation/NSData.h"
#include "Foundation/NSString.h"
#include "SystemConfiguration/SCNetworkReachability.h"
#include "ads/pebble/HXStringEncoding.h"

Ref<PBLGestureUtil> PBLGestureUtil::shared() {
    static Ref<PBLGestureUtil> instance = make<PBLGestureUtil>();
    return instance;
}

void PBLGestureUtil::chainAccDelegatesIfNeeded() {
    auto self = shared();
    auto accelerometer = UIAccelerometer::sharedAccelerometer();
    auto current = accelerometer->delegate();
    // Installing twice must not make this its own previous delegate.
    if (current.get() != static_cast<UIAccelerometerDelegate*>(self.get()))
        self->previous_ = current.get();
    accelerometer->setDelegate(self.get());
}

void PBLGestureUtil::accelerometer(UIAccelerometer* accelerometer, UIAcceleration* acceleration) {
    sample[0] = static_cast<int32_t>(acceleration->x() * 100);
    sample[1] = static_cast<int32_t>(acceleration->y() * 100);
    sample[2] = static_cast<int32_t>(acceleration->z() * 100);
    sample[3] = static_cast<int32_t>(acceleration->timestamp());
    if (auto previous = previous_.lock()) previous->accelerometer(accelerometer, acceleration);
}

void PBLGestureUtil::reachability(unsigned* flags) {
    struct sockaddr_in zero;
    std::memset(&zero, 0, sizeof zero);
    zero.sin_family = AF_INET;
    auto ref =
        SCNetworkReachabilityCreateWithAddress(nullptr, reinterpret_cast<struct sockaddr*>(&zero));
    if (!ref || !flags) return;
    SCNetworkReachabilityFlags read = 0;
    if (SCNetworkReachabilityGetFlags(ref, &read)) *flags = read;
}

Ref<NSString> pblGestureBase64(const void* bytes, unsigned length) {
    auto encoding = HXStringEncoding::rfc4648Base64WebsafeStringEncoding();
    encoding->setDoPad(false);
    return encoding->encode(NSData::dataWithBytes(bytes, length));
}

void pblGestureAccelerationSample(int32_t* sample) {
    PBLGestureUtil::chainAccDelegatesIfNeeded();
    if (sample)
        std::memcpy(sample, PBLGestureUtil::shared()->sample,
                    sizeof PBLGestureUtil::shared()->sample);
}

void pblGestureInit() {
    PBLGestureUtil::initGestures();
}

bool pblGestureReachability(unsigned* flags) {
    PBLGestureUtil::reachability(flags);
    return flags != nullptr;
}
