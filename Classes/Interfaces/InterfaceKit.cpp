#include "Classes/Interfaces/InterfaceKit.h"

#include "Foundation/NSArray.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIToolbar.h"

namespace interface {

Ref<UIView> screenView() {
    auto view = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, kScreenWidth, kViewHeight));
    view->setBackgroundColor(UIColor::whiteColor());
    view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    return view;
}

Ref<UILabel> addLabel(UIView* parent, CGRect frame, NSString* text, CGFloat fontSize, bool bold) {
    auto label = make<UILabel>(&UILabel::initWithFrame, frame);
    label->setText(text);
    label->setFont(bold ? UIFont::boldSystemFontOfSize(fontSize)
                        : UIFont::systemFontOfSize(fontSize));
    label->setBackgroundColor(UIColor::clearColor());
    parent->addSubview(label);
    return label;
}

Ref<UIButton> addButton(UIView* parent, CGRect frame, NSString* title, NSObject* target,
                        const char* action) {
    auto button = UIButton::buttonWithType(UIButtonTypeRoundedRect);
    button->setFrame(frame);
    button->setTitle(title, UIControlStateNormal);
    if (target && action)
        button->addTarget(target, Selector::named(action), UIControlEventTouchUpInside);
    parent->addSubview(button);
    return button;
}

Ref<UITextField> addTextField(UIView* parent, CGRect frame, NSString* placeholder) {
    auto field = make<UITextField>(&UITextField::initWithFrame, frame);
    field->setBorderStyle(UITextBorderStyleRoundedRect);
    field->setPlaceholder(placeholder);
    parent->addSubview(field);
    return field;
}

Ref<UITableView> addTable(UIView* parent, CGRect frame, UITableViewStyle style, NSObject* owner) {
    auto table = alloc<UITableView>();
    table->initWithFrame(frame, style);
    table->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    if (auto* source = dynamic_cast<UITableViewDataSource*>(owner)) table->setDataSource(source);
    if (auto* delegate = dynamic_cast<UITableViewDelegate*>(owner)) table->setDelegate(delegate);
    parent->addSubview(table);
    return table;
}

Ref<UITableView> addTableBelowBar(UIView* parent, UITableViewStyle style, NSObject* owner) {
    return addTable(parent, CGRectMake(0, kBarHeight, kScreenWidth, kViewHeight - kBarHeight),
                    style, owner);
}

Ref<UIBarButtonItem> barButton(NSString* title, UIBarButtonItemStyle style, NSObject* target,
                               const char* action) {
    return make<UIBarButtonItem>(&UIBarButtonItem::initWithTitle, title, style, target,
                                 Selector::named(action));
}

Ref<UINavigationBar> addNavigationBar(UIView* parent, NSString* title, UIBarButtonItem* left,
                                      UIBarButtonItem* right) {
    auto bar = make<UINavigationBar>(&UINavigationBar::initWithFrame,
                                     CGRectMake(0, 0, kScreenWidth, kBarHeight));
    auto item = make<UINavigationItem>(&UINavigationItem::initWithTitle, title);
    if (left) item->setLeftBarButtonItem(left);
    if (right) item->setRightBarButtonItem(right);
    bar->setItems(NSArray::arrayWithObject(item));
    parent->addSubview(bar);
    return bar;
}

namespace {
// A bar of a screen's own whose pointed back button sends the action of the item below's back
// item instead of taking a screen away: what it goes back from is the screen itself. The bar
// keeps both items, so that the button stays while the screen leaves.
class OwnBackBar : public UINavigationBar, public UINavigationBarDelegate {
    NS_OBJECT(OwnBackBar, UINavigationBar)

public:
    void navigationBarDidPopItem(UINavigationBar*, UINavigationItem* item) override {
        Ref<UINavigationItem> below = topItem();
        if (!below) return;
        setItems(NSArray::arrayWithObjects({below.get(), item}));
        if (auto back = below->backBarButtonItem()) back->sendAction();
    }
};
}  // namespace

Ref<UINavigationBar> addNavigationBarWithBack(UIView* parent, NSString* title,
                                              UIBarButtonItem* back) {
    auto bar = make<OwnBackBar>(&UINavigationBar::initWithFrame,
                                CGRectMake(0, 0, kScreenWidth, kBarHeight));
    bar->setDelegate(bar.get());
    auto below = make<UINavigationItem>(&UINavigationItem::initWithTitle, back->title());
    below->setBackBarButtonItem(back);
    auto item = make<UINavigationItem>(&UINavigationItem::initWithTitle, title);
    bar->setItems(NSArray::arrayWithObjects({below.get(), item.get()}));
    parent->addSubview(bar);
    return bar;
}

Ref<UIToolbar> addToolbar(UIView* parent, NSArray* items) {
    CGFloat height = parent->bounds().size.height;
    auto bar = make<UIToolbar>(&UIToolbar::initWithFrame,
                               CGRectMake(0, height - kBarHeight, kScreenWidth, kBarHeight));
    bar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
    bar->setItems(items);
    parent->addSubview(bar);
    return bar;
}

}  // namespace interface
