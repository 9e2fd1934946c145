// The toolkit's notification names and user-info keys that other frameworks and the system
// observe; the toolkit itself posts them.
#pragma once

#include "Foundation/NSString.h"

extern NSString* const UIApplicationDidFinishLaunchingNotification;
extern NSString* const UIApplicationDidReceiveMemoryWarningNotification;
extern NSString* const UIApplicationWillResignActiveNotification;
extern NSString* const UIApplicationDidBecomeActiveNotification;
extern NSString* const UIApplicationDidEnterBackgroundNotification;
extern NSString* const UIApplicationWillEnterForegroundNotification;
extern NSString* const UIApplicationWillTerminateNotification;
extern NSString* const UIApplicationWillChangeStatusBarOrientationNotification;
extern NSString* const UIApplicationDidChangeStatusBarOrientationNotification;
extern NSString* const UIApplicationStatusBarOrientationUserInfoKey;
extern NSString* const UIDeviceOrientationDidChangeNotification;
extern NSString* const UIKeyboardWillShowNotification;
extern NSString* const UIKeyboardDidShowNotification;
extern NSString* const UIKeyboardWillHideNotification;
extern NSString* const UIKeyboardDidHideNotification;
extern NSString* const UIKeyboardFrameBeginUserInfoKey;
extern NSString* const UIKeyboardFrameEndUserInfoKey;
extern NSString* const UIKeyboardAnimationDurationUserInfoKey;
extern NSString* const UIKeyboardAnimationCurveUserInfoKey;
extern NSString* const UIKeyboardBoundsUserInfoKey;
extern NSString* const UIKeyboardCenterBeginUserInfoKey;
extern NSString* const UIKeyboardCenterEndUserInfoKey;
