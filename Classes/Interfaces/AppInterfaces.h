// The app's interface files. On the phone the window and the screens load from compiled
// interface files named in the code; here each is a builder registered under that name
// (UIKit/UINib.h), which makes the views, connects the owner's outlets and actions and returns
// the file's top-level objects. The main interface "MainWindow" (the bundle's "NSMainNibFile")
// makes the application delegate, the window and the outer navigation stack.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;
class NSDictionary;

// Registers every builder below under its interface's name; safe to call more than once.
void registerAppInterfaces();

// The owner is the application: the delegate, the window, and the outer navigation controller
// rooted at the root tab bar; the delegate's outlets are connected.
Ref<NSArray> buildMainWindow(NSObject* owner, NSDictionary* options);
Ref<NSArray> buildSearchViewController(NSObject* owner, NSDictionary* options);
Ref<NSArray> buildSearchFilterController(NSObject* owner, NSDictionary* options);
Ref<NSArray> buildStateViewController(NSObject* owner, NSDictionary* options);
Ref<NSArray> buildCityViewController(NSObject* owner, NSDictionary* options);
Ref<NSArray> buildCatagoryViewController(NSObject* owner, NSDictionary* options);
Ref<NSArray> buildSavedSearchController(NSObject* owner, NSDictionary* options);
Ref<NSArray> buildSearchSettingController(NSObject* owner, NSDictionary* options);
// A free-standing cell (the owner is not used).
Ref<NSArray> buildSearchSettingViewCell(NSObject* owner, NSDictionary* options);
