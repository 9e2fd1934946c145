// Helpers the toolkit's classes share: work on the main run loop after a delay on the Clock.
#pragma once

#include <functional>
#include <string>

#include "Foundation/NSObject.h"

class NSTimer;

// Runs `fn` on the main run loop (common modes) once `delay` seconds have passed on the Clock;
// a zero delay runs it on the next pass (and gives no timer). Invalidate the timer to cancel.
Ref<NSTimer> UIKitAfterDelay(NSTimeInterval delay, std::function<void()> fn);

// Calls a method by name with as many of the arguments as the selector takes.
void UIKitInvokeAction(NSObject* target, SEL action, NSObject* arg1, NSObject* arg2);
