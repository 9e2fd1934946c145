#include "UIKit/UITableViewController.h"

#include "UIKit/UIView.h"

void UITableViewController::describeClass(RuntimeClass&) {}

bool UITableViewController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    return UIViewController::initWithNibName(nibName, bundle);
}

bool UITableViewController::initWithStyle(UITableViewStyle style) {
    if (!initWithNibName(nullptr, nullptr)) return false;
    style_ = style;
    return true;
}

void UITableViewController::loadView() {
    if (nibName()) {
        UIViewController::loadView();
    } else {
        auto table = alloc<UITableView>();
        table->initWithFrame(fullScreenFrame(), style_);
        table->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                   UIViewAutoresizingFlexibleHeight);
        setView(table);
    }
    if (auto table = tableView()) {
        if (!table->dataSource()) table->setDataSource(this);
        if (!table->delegate()) table->setDelegate(this);
    }
}

Ref<UITableView> UITableViewController::tableView() {
    return as<UITableView>(view());
}

void UITableViewController::setTableView(UITableView* tableView) {
    setView(tableView);
}

void UITableViewController::viewWillAppear(bool animated) {
    auto table = tableView();
    if (table && !reloadedOnce_) {
        reloadedOnce_ = true;
        table->reloadData();
    }
    if (table && clearsSelection_) {
        if (auto selected = table->indexPathForSelectedRow()) {
            table->deselectRowAtIndexPath(selected, animated);
        }
    }
}

void UITableViewController::viewDidAppear(bool) {
    if (auto table = tableView()) table->flashScrollIndicators();
}

void UITableViewController::setEditing(bool editing, bool animated) {
    UIViewController::setEditing(editing, animated);
    if (isViewLoaded()) {
        if (auto table = tableView()) table->setEditing(editing, animated);
    }
}
