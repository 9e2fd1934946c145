#include "UIKit/UIKitSupport.h"

#include <vector>

#include "Foundation/NSRunLoop.h"
#include "Foundation/NSTimer.h"
#include "Foundation/Runtime.h"

Ref<NSTimer> UIKitAfterDelay(NSTimeInterval delay, std::function<void()> fn) {
    if (delay <= 0) {
        // Timers wait at least a fraction of a millisecond; "next pass" is a queued perform.
        NSRunLoop::mainRunLoop()->performBlock(std::move(fn));
        return nullptr;
    }
    auto timer = NSTimer::timerWithTimeInterval(delay < 0 ? 0 : delay, false,
                                                [fn = std::move(fn)](NSTimer*) { fn(); });
    NSRunLoop::mainRunLoop()->addTimer(timer, NSRunLoopCommonModes);
    return timer;
}

void UIKitInvokeAction(NSObject* target, SEL action, NSObject* arg1, NSObject* arg2) {
    if (!target || !action) return;
    std::vector<Value> args;
    if (action->keywordCount >= 1) args.push_back(Value::ofObject(arg1));
    if (action->keywordCount >= 2) args.push_back(Value::ofObject(arg2));
    for (unsigned i = 2; i < action->keywordCount; ++i)
        args.push_back(Value::ofObject(nullptr));
    invokeMethod(target, action, args);
}
