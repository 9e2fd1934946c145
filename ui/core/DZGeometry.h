// The screen questions every framework view asks (orientation, bar and keyboard heights, the
// content frame under the bars) and the framework's extensions of views, tables, toolbars and
// web views. Heights are in points; portrait bars are 44 high, landscape ones 33; the keyboard
// is 216 or 160. Main thread only.
#pragma once

#include "CoreGraphics/CGAffineTransform.h"
#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIApplication.h"

class NSDictionary;
class NSIndexPath;
class NSString;
class UIBarButtonItem;
class UITableView;
class UIToolbar;
class UIView;
class UIViewController;
class UIWebView;

// The framework's transition duration.
constexpr NSTimeInterval DZ_TRANSITION_DURATION = 0.3;

bool DZKeyWindowHasFirstResponder();
bool DZDeviceIsPadIdiom();
bool DZOrientationAllowed(UIInterfaceOrientation orientation);
CGAffineTransform DZOrientationRotationTransform(UIInterfaceOrientation orientation);
CGFloat DZOrientationBarHeight(UIInterfaceOrientation orientation);
CGFloat DZOrientationKeyboardHeight(UIInterfaceOrientation orientation);
UIInterfaceOrientation DZCurrentOrientation();
CGRect DZOrientedScreenBounds();
CGRect DZFrameUnderNavigationBar();
CGRect DZFrameBetweenBars();
CGRect DZFrameAboveKeyboard();
CGFloat DZStatusBarHeightByOrientation();
CGFloat DZStatusAndNavBarHeight();
CGFloat DZCurrentBarHeight();
CGFloat DZCurrentKeyboardHeight();

// ---- views --------------------------------------------------------------------------------------
// Frame shortcuts; a nil view reads 0.
CGFloat left(UIView* view);
void setLeft(UIView* view, CGFloat x);
CGFloat top(UIView* view);
void setTop(UIView* view, CGFloat y);
CGFloat right(UIView* view);
void setRight(UIView* view, CGFloat right);
CGFloat bottom(UIView* view);
void setBottom(UIView* view, CGFloat bottom);
CGFloat centerX(UIView* view);
void setCenterX(UIView* view, CGFloat x);
CGFloat centerY(UIView* view);
void setCenterY(UIView* view, CGFloat y);
CGFloat width(UIView* view);
void setWidth(UIView* view, CGFloat width);
CGFloat height(UIView* view);
void setHeight(UIView* view, CGFloat height);
CGPoint origin(UIView* view);
void setOrigin(UIView* view, CGPoint origin);
CGSize size(UIView* view);
void setSize(UIView* view, CGSize size);

CGFloat dzScreenX(UIView* view);
CGFloat dzScreenY(UIView* view);
CGFloat screenViewX(UIView* view);
CGFloat screenViewY(UIView* view);
CGRect screenFrame(UIView* view);
CGFloat orientationWidth(UIView* view);
CGFloat orientationHeight(UIView* view);
Ref<UIView> descendantOrSelfWithClass(UIView* view, Class cls);
Ref<UIView> ancestorOrSelfWithClass(UIView* view, Class cls);
void removeAllSubviews(UIView* view);
CGPoint offsetFromView(UIView* view, UIView* other);
CGRect frameWithKeyboardSubtracted(UIView* view, CGFloat extraHeight);
// From the superview upwards, the controller of the first view that has one.
Ref<UIViewController> viewController(UIView* view);
Ref<NSDictionary> userInfoForKeyboardNotification(UIView* view);
// Slides the view in from the bottom like the keyboard, with the keyboard's notifications.
void presentAsKeyboardInView(UIView* view, UIView* container);
void dismissAsKeyboard(UIView* view, bool animated);

// ---- tables -------------------------------------------------------------------------------------
Ref<UIView> indexView(UITableView* table);
CGFloat tableCellMargin(UITableView* table);
void scrollToTop(UITableView* table, bool animated);
void scrollToBottom(UITableView* table, bool animated);
void scrollToFirstRow(UITableView* table, bool flag);
void scrollToLastRow(UITableView* table, bool flag);
// Does nothing unless the first responder sits in a row of the table.
void scrollFirstResponderIntoView(UITableView* table);
void touchRowAtIndexPath(UITableView* table, NSIndexPath* indexPath, bool animated);

// ---- toolbars and web views -------------------------------------------------------------------
Ref<UIBarButtonItem> itemWithTag(UIToolbar* toolbar, NSInteger tag);
void replaceItemWithTag(UIToolbar* toolbar, NSInteger tag, UIBarButtonItem* item);
// The page element's rectangle; zero unless the page answers with four numbers.
CGRect frameOfElement(UIWebView* webView, NSString* query);
