// Navigation bars and their items: a stack of navigation items, the top one shown with its
// title (or title view), its left and right buttons and a back button titled after the item
// below.
#pragma once

#include "UIKit/UIToolbar.h"
#include "UIKit/UIView.h"

class UIBarButtonItem;
class UIButton;
class UIColor;
class UILabel;
class UINavigationBar;
class UINavigationItem;

// All optional; the defaults allow every push and pop.
class UINavigationBarDelegate {
public:
    virtual ~UINavigationBarDelegate() = default;
    virtual bool navigationBarShouldPushItem(UINavigationBar*, UINavigationItem*) { return true; }
    virtual void navigationBarDidPushItem(UINavigationBar*, UINavigationItem*) {}
    virtual bool navigationBarShouldPopItem(UINavigationBar*, UINavigationItem*) { return true; }
    virtual void navigationBarDidPopItem(UINavigationBar*, UINavigationItem*) {}
    // The platform's own: the bar's style or see-through setting changed (its navigation
    // controller lays its content out again).
    virtual void navigationBarDidChangeStyle(UINavigationBar*) {}
};

class UINavigationItem : public NSObject {
    NS_OBJECT(UINavigationItem, NSObject)
    static void describeClass(RuntimeClass& c);
    bool initWithTitle(NSString* title);

    Ref<NSString> title() { return title_; }
    void setTitle(NSString* title);
    Ref<UIView> titleView() { return titleView_; }
    void setTitleView(UIView* view);
    Ref<NSString> prompt() { return prompt_; }
    void setPrompt(NSString* prompt);
    // The button shown on the next item's bar to come back here (nil: one titled after this
    // item, "Back" when it has no title).
    Ref<UIBarButtonItem> backBarButtonItem() { return backBarButtonItem_; }
    void setBackBarButtonItem(UIBarButtonItem* item);
    bool hidesBackButton() { return hidesBackButton_; }
    void setHidesBackButton(bool hides);
    void setHidesBackButton(bool hides, bool animated);
    Ref<UIBarButtonItem> leftBarButtonItem();
    void setLeftBarButtonItem(UIBarButtonItem* item);
    void setLeftBarButtonItem(UIBarButtonItem* item, bool animated);
    Ref<UIBarButtonItem> rightBarButtonItem();
    void setRightBarButtonItem(UIBarButtonItem* item);
    void setRightBarButtonItem(UIBarButtonItem* item, bool animated);
    Ref<NSArray> leftBarButtonItems() { return leftItems_; }
    void setLeftBarButtonItems(NSArray* items);
    void setLeftBarButtonItems(NSArray* items, bool animated);
    Ref<NSArray> rightBarButtonItems() { return rightItems_; }
    void setRightBarButtonItems(NSArray* items);
    void setRightBarButtonItems(NSArray* items, bool animated);
    bool leftItemsSupplementBackButton() { return supplementBack_; }
    void setLeftItemsSupplementBackButton(bool v);

    // The bar that shows the item (an item is on one bar at a time).
    Ref<UINavigationBar> navigationBar() { return bar_.lock(); }
    void setNavigationBar(UINavigationBar* bar) { bar_ = bar; }

private:
    void changed();
    Ref<NSString> title_, prompt_;
    Ref<UIView> titleView_;
    Ref<UIBarButtonItem> backBarButtonItem_;
    Ref<NSArray> leftItems_, rightItems_;
    bool hidesBackButton_ = false;
    bool supplementBack_ = false;
    Weak<UINavigationBar> bar_;
};

class UINavigationBar : public UIView {
    NS_OBJECT(UINavigationBar, UIView)
    static void describeClass(RuntimeClass& c);
    // 44 points high.
    bool initWithFrame(CGRect frame) override;

    UIBarStyle barStyle() { return barStyle_; }
    // Both tell the delegate of a change.
    void setBarStyle(UIBarStyle s);
    Ref<UIColor> tintColor() { return tintColor_; }
    void setTintColor(UIColor* color);
    bool isTranslucent() { return translucent_; }
    void setTranslucent(bool v);
    // Not retained.
    Ref<UINavigationBarDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(UINavigationBarDelegate* delegate) { delegate_ = delegate; }

    // Bottom to top.
    Ref<NSArray> items();
    void setItems(NSArray* items);
    void setItems(NSArray* items, bool animated);
    Ref<UINavigationItem> topItem();
    Ref<UINavigationItem> backItem();
    // Asks the delegate, pushes, tells the delegate. Pushing an item already on a bar raises
    // NSInternalInconsistencyException.
    void pushNavigationItem(UINavigationItem* item, bool animated);
    // Asks the delegate, pops, tells the delegate; nil when refused or when only one item is
    // left. (Owners that manage the stack themselves use setItems:, which asks nobody.)
    Ref<UINavigationItem> popNavigationItemAnimated(bool animated);

    // What the bar shows now (the shell prints these): the title text, the back button's title
    // (nil when none shows), the left and right items.
    Ref<NSString> displayedTitle();
    Ref<NSString> backButtonTitle();
    Ref<NSArray> displayedLeftItems();
    Ref<NSArray> displayedRightItems();
    // The back button's tap: the pop the user asks for (through the delegate's should-pop).
    bool tapBackButton();
    Ref<UIView> backButtonView();

    void layoutSubviews() override;
    CGSize sizeThatFits(CGSize size) override;

    // An item changed what it shows.
    void itemChanged(UINavigationItem* item);
    // The back button's action.
    void backButtonTapped(NSObject* sender);

private:
    void rebuild();
    UIBarStyle barStyle_ = UIBarStyleDefault;
    Ref<UIColor> tintColor_;
    bool translucent_ = false;
    Weak<UINavigationBarDelegate> delegate_;
    std::vector<Ref<UINavigationItem>> items_;
    Ref<UILabel> titleLabel_;
    Ref<UIButton> backButton_;
    std::vector<Ref<UIView>> shownViews_;
};
