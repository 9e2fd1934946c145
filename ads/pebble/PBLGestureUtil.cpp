#include "ads/pebble/PBLGestureUtil.h"

#include <netinet/in.h>

#include <cstring>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "SystemConfiguration/SCNetworkReachability.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIView.h"
#include "UIKit/UIWindow.h"
#include "ads/pebble/HXStringEncoding.h"
#include "ads/pebble/PBLStackTrace.h"

Ref<PBLGestureUtil> PBLGestureUtil::shared() {
    static ProcessWide<PBLGestureUtil> instance;
    return instance.get();
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

Ref<NSString> PBLGestureUtil::viewInheritenceHierarchy(UIView* view, unsigned maxSize) {
    if (!view) return NSString::string();
    Class cls = view->getClass();
    std::string chain = cls->name();
    for (Class super = cls->superclass(); super; super = super->superclass())
        chain += ":" + super->name();
    if (chain.size() > maxSize) chain.resize(maxSize);
    return NSString::fromUTF8(chain);
}

void PBLGestureUtil::walk(UIView* view, UIView* window, NSString* stopName, NSMutableArray* into) {
    if (view->isHidden()) return;
    auto name = viewInheritenceHierarchy(view, 128);
    CGRect r = view->convertRect(view->frame(), window);
    into->addObject(NSDictionary::dictionaryWithObjectsAndKeys(
        {name.get(), NS("ViewName"), NSNumber::numberWithFloat(r.origin.x).get(), NS("x"),
         NSNumber::numberWithFloat(r.origin.y).get(), NS("y"),
         NSNumber::numberWithFloat(r.size.width).get(), NS("w"),
         NSNumber::numberWithFloat(r.size.height).get(), NS("h")}));
    if (stopName && name->isEqualToString(stopName)) return;
    auto subviews = view->subviews();
    for (NSObject* sub : *subviews)
        walk(static_cast<UIView*>(sub), window, stopName, into);
}

Ref<NSArray> PBLGestureUtil::walkViews(NSString* stopName) {
    auto records = NSMutableArray::array();
    if (auto window = UIApplication::sharedApplication()->keyWindow())
        walk(window, window, stopName, records);
    return records;
}

Ref<NSArray> pblGestureWalkViews(NSString* stopName) {
    return PBLGestureUtil::walkViews(stopName);
}

Ref<NSString> pblGestureStackTrace() {
    return stackTraceText();
}
