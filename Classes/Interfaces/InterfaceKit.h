// What the app's interface builders share: the views an interface file lays out, made and
// connected the way the file would. Screens are 320 x 480 points; a screen's view fills the
// window below the 20-point status bar.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UITableView.h"

class NSArray;
class NSString;
class UIButton;
class UILabel;
class UINavigationBar;
class UITextField;
class UIToolbar;
class UIView;

namespace interface {

inline constexpr CGFloat kScreenWidth = 320;
inline constexpr CGFloat kScreenHeight = 480;
inline constexpr CGFloat kStatusBarHeight = 20;
inline constexpr CGFloat kBarHeight = 44;
// A screen's view: the window less the status bar.
inline constexpr CGFloat kViewHeight = kScreenHeight - kStatusBarHeight;

// A screen's view, white, resizing with its container.
Ref<UIView> screenView();
Ref<UILabel> addLabel(UIView* parent, CGRect frame, NSString* text, CGFloat fontSize,
                      bool bold = false);
// A rounded-rectangle button sending the owner's action on touch-up-inside.
Ref<UIButton> addButton(UIView* parent, CGRect frame, NSString* title, NSObject* target,
                        const char* action);
// A rounded text field.
Ref<UITextField> addTextField(UIView* parent, CGRect frame, NSString* placeholder);
// A table whose data source and delegate are the owner, as far as it is one.
Ref<UITableView> addTable(UIView* parent, CGRect frame, UITableViewStyle style, NSObject* owner);
// The same, filling the screen's view below a navigation bar.
Ref<UITableView> addTableBelowBar(UIView* parent, UITableViewStyle style, NSObject* owner);
Ref<UIBarButtonItem> barButton(NSString* title, UIBarButtonItemStyle style, NSObject* target,
                               const char* action);
// A navigation bar across the top of the view with one item.
Ref<UINavigationBar> addNavigationBar(UIView* parent, NSString* title, UIBarButtonItem* left,
                                      UIBarButtonItem* right);
// A navigation bar across the top of the view whose pointed back button, titled after `back`,
// sends `back`'s action (a presented screen's way back).
Ref<UINavigationBar> addNavigationBarWithBack(UIView* parent, NSString* title,
                                              UIBarButtonItem* back);
// A tool bar across the bottom of the view.
Ref<UIToolbar> addToolbar(UIView* parent, NSArray* items);

}  // namespace interface
