// What the framework's navigator needs of every controller: the super-controller link of
// controllers shown other than in a container (popups, search results), the popup over a
// controller, the URL a controller was opened with, and two collections that drop these links
// once nothing else holds the controller. The links live in tables keyed by the controller's
// identity; their values are zeroing weak references. Each collection runs on a repeating
// 20-second timer of the main run loop while its set has members. Also bars, modal dismissal
// and the first-responder search. Main thread only.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;
class NSMutableArray;
class NSString;
class UIView;
class UIViewController;
class UITabBarController;
class UIWindow;

// Installs the framework's defaults of the controller operations and registers the operations
// by name (once; every entry point of the navigator and the controller bases calls it).
void DZInstallControllerExtensions();

// ---- windows ----------------------------------------------------------------------------------
Ref<UIView> findFirstResponder(UIWindow* window);
Ref<UIView> findFirstResponderInView(UIWindow* window, UIView* view);

// ---- links --------------------------------------------------------------------------------------
// The platform parent when there is one, else the recorded super-controller.
Ref<UIViewController> superController(UIViewController* controller);
void setSuperController(UIViewController* controller, UIViewController* superController);
Ref<UIViewController> popupViewController(UIViewController* controller);
void setPopupViewController(UIViewController* controller, UIViewController* popup);
Ref<UIViewController> dzPreviousViewController(UIViewController* controller);
Ref<UIViewController> nextViewController(UIViewController* controller);
void removeFromSupercontroller(UIViewController* controller);
// Shows or hides the status bar and fades the navigation bar.
void showBars(UIViewController* controller, bool show, bool animated);
void dismissModalViewController(UIViewController* controller);
// The URL the navigator opened the controller with.
Ref<NSString> originalNavigatorURL(UIViewController* controller);
void setOriginalNavigatorURL(UIViewController* controller, NSString* URL);

// ---- collections
// ---------------------------------------------------------------------------------- Controllers
// with a super-controller or popup entry (retained while listed).
Ref<NSArray> dzCommonControllers();
void dzAddCommonController(UIViewController* controller);
void doCommonGarbageCollection();
// Controllers with an opening URL or stored by the URL map (retained while listed).
Ref<NSArray> dzNavigatorControllers();
void dzAddNavigatorController(UIViewController* controller);
void doNavigatorGarbageCollection();
void unsetCommonProperties(UIViewController* controller);
void unsetNavigatorProperties(UIViewController* controller);
// Whether a collection timer is scheduled now (for tests).
bool dzCommonCollectionScheduled();
bool dzNavigatorCollectionScheduled();

// ---- tab bars -----------------------------------------------------------------------------------
// The controller itself when it is a container, else a navigation controller holding it.
Ref<UIViewController> rootControllerForController(UITabBarController* tabBar,
                                                  UIViewController* controller);
// The controllers behind the URLs, each in its root controller, become the tabs.
void setTabURLs(UITabBarController* tabBar, NSArray* URLs);
