#include "ui/core/DZGeometry.h"

#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/NSValue.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIGeometry.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWindow.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/UIViewController+DZCategory.h"

bool DZKeyWindowHasFirstResponder() {
    auto window = UIApplication::sharedApplication()->keyWindow();
    return window && findFirstResponder(window) != nullptr;
}

bool DZDeviceIsPadIdiom() {
    return UIDevice::currentDevice()->userInterfaceIdiom() == UIUserInterfaceIdiomPad;
}

bool DZOrientationAllowed(UIInterfaceOrientation orientation) {
    if (DZDeviceIsPadIdiom()) return true;
    return orientation == UIInterfaceOrientationPortrait ||
           orientation == UIInterfaceOrientationLandscapeLeft ||
           orientation == UIInterfaceOrientationLandscapeRight;
}

CGAffineTransform DZOrientationRotationTransform(UIInterfaceOrientation orientation) {
    switch (orientation) {
        case UIInterfaceOrientationPortraitUpsideDown:
            return CGAffineTransformMakeRotation(static_cast<CGFloat>(-M_PI));
        case UIInterfaceOrientationLandscapeRight:
            return CGAffineTransformMakeRotation(static_cast<CGFloat>(M_PI / 2));
        case UIInterfaceOrientationLandscapeLeft:
            return CGAffineTransformMakeRotation(static_cast<CGFloat>(M_PI * 1.5));
        default:
            return CGAffineTransformIdentity;
    }
}

namespace {
bool isPortrait(UIInterfaceOrientation o) {
    return o == UIInterfaceOrientationPortrait || o == UIInterfaceOrientationPortraitUpsideDown;
}
bool isLandscape(UIInterfaceOrientation o) {
    return o == UIInterfaceOrientationLandscapeRight || o == UIInterfaceOrientationLandscapeLeft;
}
CGRect applicationFrame() {
    auto screen = UIScreen::mainScreen();
    return screen ? screen->applicationFrame() : CGRectZero;
}
}  // namespace

CGFloat DZOrientationBarHeight(UIInterfaceOrientation orientation) {
    return isPortrait(orientation) ? 44 : 33;
}

CGFloat DZOrientationKeyboardHeight(UIInterfaceOrientation orientation) {
    return isPortrait(orientation) ? 216 : 160;
}

UIInterfaceOrientation DZCurrentOrientation() {
    auto orientation = UIApplication::sharedApplication()->statusBarOrientation();
    if (static_cast<NSInteger>(orientation) != 0) return orientation;
    if (auto visible = DZNavigator::navigator()->visibleViewController())
        return visible->interfaceOrientation();
    return orientation;
}

CGRect DZOrientedScreenBounds() {
    auto screen = UIScreen::mainScreen();
    CGRect bounds = screen ? screen->bounds() : CGRectZero;
    if (isLandscape(DZCurrentOrientation())) std::swap(bounds.size.width, bounds.size.height);
    return bounds;
}

CGRect DZFrameUnderNavigationBar() {
    CGRect app = applicationFrame();
    return CGRectMake(0, 0, app.size.width, app.size.height - DZCurrentBarHeight());
}

CGRect DZFrameBetweenBars() {
    CGRect app = applicationFrame();
    return CGRectMake(0, 0, app.size.width, app.size.height - 2 * DZCurrentBarHeight());
}

CGRect DZFrameAboveKeyboard() {
    CGRect frame = DZFrameUnderNavigationBar();
    frame.size.height -= DZCurrentKeyboardHeight();
    return frame;
}

CGFloat DZStatusBarHeightByOrientation() {
    CGRect app = applicationFrame();
    switch (DZCurrentOrientation()) {
        case UIInterfaceOrientationLandscapeLeft:
            return app.origin.x;
        case UIInterfaceOrientationLandscapeRight:
            return -app.origin.x;
        default:
            return app.origin.y;
    }
}

CGFloat DZStatusAndNavBarHeight() {
    CGRect bar = UIApplication::sharedApplication()->statusBarFrame();
    if (isPortrait(DZCurrentOrientation())) return bar.size.height + 44;
    return bar.size.width + 33;
}

CGFloat DZCurrentBarHeight() {
    return DZOrientationBarHeight(DZCurrentOrientation());
}

CGFloat DZCurrentKeyboardHeight() {
    return DZOrientationKeyboardHeight(DZCurrentOrientation());
}

// ---- views
// ----------------------------------------------------------------------------------------

namespace {
CGRect frameOf(UIView* view) {
    return view ? view->frame() : CGRectZero;
}
void changeFrame(UIView* view, void (*change)(CGRect&, CGFloat), CGFloat value) {
    if (!view) return;
    CGRect frame = view->frame();
    change(frame, value);
    view->setFrame(frame);
}
}  // namespace

CGFloat left(UIView* view) {
    return frameOf(view).origin.x;
}
void setLeft(UIView* view, CGFloat x) {
    changeFrame(
        view, [](CGRect& f, CGFloat v) { f.origin.x = v; }, x);
}
CGFloat top(UIView* view) {
    return frameOf(view).origin.y;
}
void setTop(UIView* view, CGFloat y) {
    changeFrame(
        view, [](CGRect& f, CGFloat v) { f.origin.y = v; }, y);
}
CGFloat right(UIView* view) {
    CGRect f = frameOf(view);
    return f.origin.x + f.size.width;
}
void setRight(UIView* view, CGFloat r) {
    changeFrame(
        view, [](CGRect& f, CGFloat v) { f.origin.x = v - f.size.width; }, r);
}
CGFloat bottom(UIView* view) {
    CGRect f = frameOf(view);
    return f.origin.y + f.size.height;
}
void setBottom(UIView* view, CGFloat b) {
    changeFrame(
        view, [](CGRect& f, CGFloat v) { f.origin.y = v - f.size.height; }, b);
}
CGFloat centerX(UIView* view) {
    return view ? view->center().x : 0;
}
void setCenterX(UIView* view, CGFloat x) {
    if (view) view->setCenter(CGPointMake(x, view->center().y));
}
CGFloat centerY(UIView* view) {
    return view ? view->center().y : 0;
}
void setCenterY(UIView* view, CGFloat y) {
    if (view) view->setCenter(CGPointMake(view->center().x, y));
}
CGFloat width(UIView* view) {
    return frameOf(view).size.width;
}
void setWidth(UIView* view, CGFloat w) {
    changeFrame(
        view, [](CGRect& f, CGFloat v) { f.size.width = v; }, w);
}
CGFloat height(UIView* view) {
    return frameOf(view).size.height;
}
void setHeight(UIView* view, CGFloat h) {
    changeFrame(
        view, [](CGRect& f, CGFloat v) { f.size.height = v; }, h);
}
CGPoint origin(UIView* view) {
    return frameOf(view).origin;
}
void setOrigin(UIView* view, CGPoint o) {
    if (!view) return;
    CGRect f = view->frame();
    f.origin = o;
    view->setFrame(f);
}
CGSize size(UIView* view) {
    return frameOf(view).size;
}
void setSize(UIView* view, CGSize s) {
    if (!view) return;
    CGRect f = view->frame();
    f.size = s;
    view->setFrame(f);
}

CGFloat dzScreenX(UIView* view) {
    CGFloat x = 0;
    for (Ref<UIView> v(view); v; v = v->superview())
        x += left(v);
    return x;
}

CGFloat dzScreenY(UIView* view) {
    CGFloat y = 0;
    for (Ref<UIView> v(view); v; v = v->superview())
        y += top(v);
    return y;
}

CGFloat screenViewX(UIView* view) {
    CGFloat x = 0;
    for (Ref<UIView> v(view); v; v = v->superview()) {
        x += left(v);
        if (auto scroll = as<UIScrollView>(v)) x -= scroll->contentOffset().x;
    }
    return x;
}

CGFloat screenViewY(UIView* view) {
    CGFloat y = 0;
    for (Ref<UIView> v(view); v; v = v->superview()) {
        y += top(v);
        if (auto scroll = as<UIScrollView>(v)) y -= scroll->contentOffset().y;
    }
    return y;
}

CGRect screenFrame(UIView* view) {
    return CGRectMake(screenViewX(view), screenViewY(view), width(view), height(view));
}

CGFloat orientationWidth(UIView* view) {
    return isLandscape(DZCurrentOrientation()) ? height(view) : width(view);
}

CGFloat orientationHeight(UIView* view) {
    return isLandscape(DZCurrentOrientation()) ? width(view) : height(view);
}

Ref<UIView> descendantOrSelfWithClass(UIView* view, Class cls) {
    if (!view || !cls) return nullptr;
    if (view->isKindOfClass(cls)) return Ref<UIView>(view);
    auto subviewsList = view->subviews();
    for (auto sub : *subviewsList) {
        if (auto found = descendantOrSelfWithClass(as<UIView>(sub).get(), cls)) return found;
    }
    return nullptr;
}

Ref<UIView> ancestorOrSelfWithClass(UIView* view, Class cls) {
    if (!cls) return nullptr;
    for (Ref<UIView> v(view); v; v = v->superview()) {
        if (v->isKindOfClass(cls)) return v;
    }
    return nullptr;
}

void removeAllSubviews(UIView* view) {
    while (view->subviews()->count())
        cast<UIView>(view->subviews()->lastObject())->removeFromSuperview();
}

CGPoint offsetFromView(UIView* view, UIView* other) {
    CGFloat x = 0, y = 0;
    for (Ref<UIView> v(view); v && v.get() != other; v = v->superview()) {
        x += left(v);
        y += top(v);
    }
    return CGPointMake(x, y);
}

CGRect frameWithKeyboardSubtracted(UIView* view, CGFloat extraHeight) {
    CGRect frame = view->frame();
    if (DZKeyWindowHasFirstResponder()) {
        CGFloat screenHeight = DZOrientedScreenBounds().size.height;
        CGFloat overlap = (dzScreenY(view) + frame.size.height) -
                          (screenHeight - (DZCurrentKeyboardHeight() + extraHeight));
        if (overlap > 0) frame.size.height -= overlap;
    }
    return frame;
}

Ref<UIViewController> viewController(UIView* view) {
    for (Ref<UIView> v = view ? view->superview() : nullptr; v; v = v->superview()) {
        if (auto controller = as<UIViewController>(v->nextResponder())) return controller;
    }
    return nullptr;
}

Ref<NSDictionary> userInfoForKeyboardNotification(UIView* view) {
    CGRect screen = DZOrientedScreenBounds();
    CGFloat x = std::floor(screen.size.width / 2 - width(view) / 2);
    CGFloat halfHeight = std::floor(height(view) / 2);
    auto info = NSMutableDictionary::dictionary();
    info->setObject(valueWithCGRect(CGRectMake(0, 0, screen.size.width, height(view))),
                    UIKeyboardBoundsUserInfoKey);
    info->setObject(valueWithCGPoint(CGPointMake(x, screen.size.height + halfHeight)),
                    UIKeyboardCenterBeginUserInfoKey);
    info->setObject(valueWithCGPoint(CGPointMake(x, screen.size.height - halfHeight)),
                    UIKeyboardCenterEndUserInfoKey);
    return info;
}

namespace {
// The animation delegate that posts the notification at the end of a keyboard-like slide.
class DZKeyboardSlide : public NSObject {
    NS_OBJECT(DZKeyboardSlide, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("presentAsKeyboardAnimationDidStop",
                 &DZKeyboardSlide::presentAsKeyboardAnimationDidStop);
        c.method("dismissAsKeyboardAnimationDidStop",
                 &DZKeyboardSlide::dismissAsKeyboardAnimationDidStop);
    }
    void presentAsKeyboardAnimationDidStop() {
        NSNotificationCenter::defaultCenter()->postNotificationName(
            UIKeyboardDidShowNotification, view_, userInfoForKeyboardNotification(view_));
    }
    void dismissAsKeyboardAnimationDidStop() {
        NSNotificationCenter::defaultCenter()->postNotificationName(
            UIKeyboardDidHideNotification, view_, userInfoForKeyboardNotification(view_));
        view_->removeFromSuperview();
    }
    Ref<UIView> view_;
};
}  // namespace

void presentAsKeyboardInView(UIView* view, UIView* container) {
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIKeyboardWillShowNotification, view, userInfoForKeyboardNotification(view));
    setTop(view, height(container));
    container->addSubview(view);
    auto slide = make<DZKeyboardSlide>();
    slide->view_ = view;
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(DZ_TRANSITION_DURATION);
    UIView::setAnimationDelegate(slide);
    UIView::setAnimationDidStopSelector(Selector::named("presentAsKeyboardAnimationDidStop"));
    setTop(view, top(view) - height(view));
    UIView::commitAnimations();
}

void dismissAsKeyboard(UIView* view, bool animated) {
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIKeyboardWillHideNotification, view, userInfoForKeyboardNotification(view));
    auto slide = make<DZKeyboardSlide>();
    slide->view_ = view;
    if (animated) {
        UIView::beginAnimations(nullptr, nullptr);
        UIView::setAnimationDuration(DZ_TRANSITION_DURATION);
        UIView::setAnimationDelegate(slide);
        UIView::setAnimationDidStopSelector(Selector::named("dismissAsKeyboardAnimationDidStop"));
    }
    setTop(view, top(view) + height(view));
    if (animated)
        UIView::commitAnimations();
    else
        slide->dismissAsKeyboardAnimationDidStop();
}

// ---- tables -------------------------------------------------------------------------------------

Ref<UIView> indexView(UITableView* table) {
    Class cls = classNamed("UITableViewIndex");
    auto subviews = table->subviews();
    for (NSUInteger i = subviews->count(); i > 0; --i) {
        auto v = cast<UIView>(subviews->objectAtIndex(i - 1));
        if (cls && v->isKindOfClass(cls)) return v;
    }
    return nullptr;
}

CGFloat tableCellMargin(UITableView* table) {
    return table->style() == UITableViewStyleGrouped ? 10 : 0;
}

void scrollToTop(UITableView* table, bool animated) {
    table->setContentOffset(CGPointMake(0, 0), animated);
}

void scrollToBottom(UITableView* table, bool animated) {
    if (table->numberOfSections() > 0 && table->numberOfRowsInSection(0) > 0) {
        NSInteger last = table->numberOfRowsInSection(0) - 1;
        table->scrollToRowAtIndexPath(NSIndexPath::indexPathForRow(last, 0),
                                      UITableViewScrollPositionBottom, animated);
    }
}

void scrollToFirstRow(UITableView* table, bool) {
    if (table->numberOfSections() > 0 && table->numberOfRowsInSection(0) > 0) {
        table->scrollToRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0),
                                      UITableViewScrollPositionTop, false);
    }
}

void scrollToLastRow(UITableView* table, bool) {
    NSInteger sections = table->numberOfSections();
    if (sections > 0) {
        NSInteger rows = table->numberOfRowsInSection(sections - 1);
        if (rows > 0) {
            table->scrollToRowAtIndexPath(NSIndexPath::indexPathForRow(rows - 1, sections - 1),
                                          UITableViewScrollPositionBottom, false);
        }
    }
}

void scrollFirstResponderIntoView(UITableView* table) {
    auto window = table->window();
    auto responder = window ? findFirstResponder(window) : nullptr;
    auto cell = as<UITableViewCell>(
        ancestorOrSelfWithClass(responder.get(), UITableViewCell::staticClass()));
    auto path = cell ? table->indexPathForCell(cell) : nullptr;
    if (path) table->scrollToRowAtIndexPath(path, UITableViewScrollPositionMiddle, true);
}

void touchRowAtIndexPath(UITableView* table, NSIndexPath* indexPath, bool animated) {
    if (!table->cellForRowAtIndexPath(indexPath)) table->reloadData();
    auto delegate = table->delegate();
    if (delegate) delegate->tableViewWillSelectRowAtIndexPath(table, indexPath);
    table->selectRowAtIndexPath(indexPath, animated, UITableViewScrollPositionTop);
    if (delegate) delegate->tableViewDidSelectRowAtIndexPath(table, indexPath);
}

// ---- toolbars and web views -----------------------------------------------------------------

Ref<UIBarButtonItem> itemWithTag(UIToolbar* toolbar, NSInteger tag) {
    auto itemsList = toolbar->items();
    for (auto item : *itemsList) {
        auto button = as<UIBarButtonItem>(item);
        if (button->tag() == tag) return button;
    }
    return nullptr;
}

void replaceItemWithTag(UIToolbar* toolbar, NSInteger tag, UIBarButtonItem* item) {
    auto items = toolbar->items();
    for (NSUInteger i = 0; i < items->count(); ++i) {
        if (cast<UIBarButtonItem>(items->objectAtIndex(i))->tag() == tag) {
            auto replaced = items->mutableCopy();
            replaced->replaceObjectAtIndex(i, item);
            toolbar->setItems(replaced);
            return;
        }
    }
}

CGRect frameOfElement(UIWebView* webView, NSString* query) {
    auto script = NSString::stringWithFormat(
        NS("    var target = %@;     var x = 0, y = 0;     for (var n = target; n && n.nodeType "
           "== 1; n = n.offsetParent) {        x += n.offsetLeft;       y += n.offsetTop;     } "
           "    x + ',' + y + ',' + target.offsetWidth + ',' + target.offsetHeight; "),
        query);
    auto answer = webView->stringByEvaluatingJavaScriptFromString(script);
    if (!answer) return CGRectZero;
    auto parts = answer->componentsSeparatedByString(NS(","));
    if (parts->count() != 4) return CGRectZero;
    CGFloat n[4];
    for (NSUInteger i = 0; i < 4; ++i) {
        auto text = cast<NSString>(parts->objectAtIndex(i))
                        ->stringByTrimmingCharactersInSet(NSCharacterSet::whitespaceCharacterSet());
        // Only numbers make a rectangle.
        char* end = nullptr;
        std::string s = text->utf8();
        double v = std::strtod(s.c_str(), &end);
        if (s.empty() || *end != '\0' || !std::isfinite(v)) return CGRectZero;
        n[i] = static_cast<CGFloat>(v);
    }
    return CGRectMake(n[0], n[1], n[2], n[3]);
}
