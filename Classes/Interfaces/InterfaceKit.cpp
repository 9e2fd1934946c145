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
