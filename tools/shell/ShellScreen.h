// What the person sees: the key window's visible views as text, top to bottom, with every
// element that can be touched numbered [1], [2] ... in the order printed. Alerts and action
// sheets print on top; while one shows, only its buttons take touches, as on the phone.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

class NSIndexPath;
class UITableView;
class UIView;
class UIWebView;
class UIWindow;

struct ShellElement {
    enum Kind {
        Button,
        BarButton,
        BackButton,
        TextField,
        TextView,
        Switch,
        Segment,
        Row,
        AccessoryButton,
        Tab,
        PickerRow,
        PanelButton,  // a button of an alert or action sheet
        WebElement,
        Control,  // any other control (custom controls, section index entries)
        Link,     // a link of a view that lists its parts to accessibility (styled text)
    };
    int number = 0;
    Kind kind = Control;
    // What a person reads on it; `tap "label"` finds the element by it.
    std::string label;
    // Fields and switches also go by the text printed just before them on their line.
    std::string besideLabel;
    // Controls also go by the words of labels laid over them (a finger on the words touches the
    // control).
    std::vector<std::string> wordsOver;
    // The view that shows the element. The element counts as gone once this view has left its
    // window. The screen keeps no view alive: what the app lets go of goes.
    Weak<UIView> view;
    // Rows: their table and place.
    Weak<UITableView> table;
    Ref<NSIndexPath> indexPath;
    // Web page elements: the page's own number for it.
    Weak<UIWebView> webView;
    unsigned webIndex = 0;
    // A page's text field or selection: typing goes to it after a tap.
    bool takesText = false;
    // The touch. False when it had no effect (a refused tap).
    std::function<bool()> tap;
    // The touch is a finger at the middle of what shows of the view: two of them in a row are
    // one finger's double tap there.
    bool touchedAtMiddle = false;
    // Where in its window the element itself lies, when it is one part of its view (a segment,
    // a bar's button, a tab, a panel's button, a link, a row's accessory or editing control, an
    // index title, a clear button, a picker row, a page's element), by the view's own rectangle
    // for it, the one its touches go by; unset for an element that is its whole view. Fingers
    // aim at its middle.
    std::function<CGRect()> part;
    // Whether its view still shows what was printed, for an element that can go while its view
    // stays (the bar's back button of one screen, a bar's item, a page's element): unset, the
    // view's staying is enough.
    std::function<bool()> same;
};

// What the screen says while the app is in the background.
inline constexpr std::string_view kInBackground =
    "The app is in the background: \"foreground\" opens it again.";

class ShellScreen {
public:
    // The screen of the application's key window now (no window: an empty screen; the app in
    // the background: a line that says so, nothing to touch).
    static ShellScreen capture();
    static ShellScreen captureWindow(UIWindow* window);

    // The printed form: lines ending in "\n".
    const std::string& text() const { return text_; }
    const std::vector<ShellElement>& elements() const { return elements_; }
    // Nil for a number not on this screen.
    const ShellElement* elementNumbered(int number) const;
    // The first element from the top whose label is `label`: an exact match first, else one that
    // differs only in letter case; nil when none.
    const ShellElement* elementLabelled(std::string_view label) const;
    // Whether the element's view is still in a window.
    static bool isStillShown(const ShellElement& element);
    // Whether the element is still where it was printed, as it was: its view shown (not hidden,
    // not sliding off) and showing the same thing there. A tap that took it away leaves nothing
    // for a second tap at that place.
    static bool isStillThere(const ShellElement& element);
    // Whether the element is the Delete button a row shows.
    static bool isRowDelete(const ShellElement& element);
    // Whether a finger reaches the element: a touch at the middle of what shows of its view
    // (clear of the keyboard) lands in that view (or a view it lets touches through to), not in
    // a view or window in front of it (a bar, a full-screen view, an alert).
    static bool isReachable(const ShellElement& element);
    // Where a finger reaches the element, in its window: from the middle of what shows of it
    // (of its part, when it is one), the stretch around that middle where touches still land
    // in it, up and down first, then across (a row half under a bar: the half that shows).
    // Null when the middle is not reached. Every gesture aims at its middle.
    static CGRect reachableArea(const ShellElement& element);
    // Whether a finger reaches a view (a list, a bar, a screen) anywhere: views over it cover
    // it only when they cover all that shows of it.
    static bool isReachable(UIView* view);
    // Whether a finger at a point of the view's window lands in the view: in it or its own
    // subviews, or in a view it lets touches through to, with no window in front taking it.
    static bool landsIn(UIView* view, CGPoint point);
    // The window a finger at a point of `window` lands in: the frontmost window on the screen
    // that takes a touch there (an alert's over the app's, a full-screen ad's), else `window`;
    // with the point in its own terms.
    static std::pair<Ref<UIWindow>, CGPoint> windowUnderFinger(UIWindow* window, CGPoint point);
    // What the keyboard leaves of a rectangle of the window: the largest part around it, which
    // a person touches. Null when it covers all.
    static CGRect clearOfKeyboard(UIWindow* window, CGRect r);

private:
    friend class ShellScreenBuilder;
    std::string text_;
    std::vector<ShellElement> elements_;
};
