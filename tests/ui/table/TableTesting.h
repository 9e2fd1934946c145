// What the table tests share: a model whose condition the test sets and which writes down its
// loads, a controller that writes down selections and may refuse URLs, and a window to show
// tables in.
#pragma once

#include <string>
#include <vector>

#include "Foundation/NSError.h"
#include "Foundation/NSIndexPath.h"
#include "UIKit/UIWindow.h"
#include "ui/core/DZModel.h"
#include "ui/table/DZTableViewController.h"

class StubModel : public DZModel {
    NS_OBJECT(StubModel, DZModel)

public:
    bool isLoaded() override { return loaded; }
    bool isLoading() override { return loading; }
    void load(int32_t policy, bool more) override {
        loads.push_back(std::to_string(policy) + (more ? "+" : ""));
        if (startsLoading) {
            loading = true;
            didStartLoad();
        }
    }
    void finish() {
        loading = false;
        loaded = true;
        didFinishLoad();
    }
    bool loaded = true, loading = false, startsLoading = false;
    std::vector<std::string> loads;
};

class RecordingTableController : public DZTableViewController {
    NS_OBJECT(RecordingTableController, DZTableViewController)

public:
    bool shouldOpenURL(NSString*) override { return opensURLs; }
    void didSelectObject(NSObject* object, NSIndexPath* indexPath) override {
        selected.push_back(object);
        selectedRows.push_back(indexPath->row());
        DZTableViewController::didSelectObject(object, indexPath);
    }
    bool opensURLs = false;
    std::vector<Ref<NSObject>> selected;
    std::vector<NSInteger> selectedRows;
};

// Receives the selector of a linked item.
class SelectionTarget : public NSObject {
    NS_OBJECT(SelectionTarget, NSObject)
    static void describeClass(RuntimeClass& c) { c.method("picked:", &SelectionTarget::picked); }

public:
    void picked(NSObject* item) { items.push_back(item); }
    std::vector<Ref<NSObject>> items;
};

// A key window of the screen's size that the test owns.
inline Ref<UIWindow> testWindow() {
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();
    return window;
}
