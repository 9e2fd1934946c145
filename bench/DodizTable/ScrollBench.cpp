// Scrolling a 1,000-row framework table of variable-height text rows (the cell classes measure
// each row, the data source maps items to cells, the delegate holds the request queue through
// the drags) against a platform table of plain cells with the same texts, in the same run. Each
// pass drags from the top to the bottom in screen-high steps, then back to the top.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITableView.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZTableView.h"
#include "ui/table/DZTableViewController.h"
#include "ui/table/DZTableViewDataSource.h"

namespace {

constexpr int kRows = 1000;
constexpr CGFloat kScreen = 480;

std::vector<Ref<NSString>> texts() {
    std::vector<Ref<NSString>> out;
    for (int i = 0; i < kRows; ++i) {
        std::string t = "Listing " + std::to_string(i);
        for (int w = 0; w < i % 7; ++w)
            t += " with a longer description";
        out.push_back(NSString::stringWithUTF8String(t.c_str()));
    }
    return out;
}

void scrollThrough(UITableView* table) {
    CGFloat end = table->contentSize().height - kScreen;
    // Each step lays the rows out as the end of a run-loop pass would.
    for (CGFloat y = 0; y < end; y += kScreen) {
        table->dragBy(CGPointMake(0, kScreen), false);
        table->layoutIfNeeded();
    }
    table->dragBy(CGPointMake(0, -table->contentOffset().y), false);
    table->layoutIfNeeded();
}

// Plain cells with the texts, a fixed row height.
class PlainSource : public NSObject, public UITableViewDataSource {
    NS_OBJECT(PlainSource, NSObject)

public:
    std::vector<Ref<NSString>> rows;
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger) override {
        return static_cast<NSInteger>(rows.size());
    }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView* table,
                                                        NSIndexPath* path) override {
        auto cell = table->dequeueReusableCellWithIdentifier(NS("plain"));
        if (!cell) {
            cell = alloc<UITableViewCell>();
            cell->initWithStyle(UITableViewCellStyleDefault, NS("plain"));
        }
        cell->textLabel()->setText(rows[static_cast<size_t>(path->row())].get());
        return cell;
    }
};

void BM_FrameworkTable(benchmark::State& state) {
    NSAutoreleasePool pool;
    auto controller = make<DZTableViewController>();
    controller->setVariableHeightRows(true);
    controller->view()->setFrame(CGRectMake(0, 0, 320, kScreen));
    auto items = NSMutableArray::array();
    for (auto& t : texts())
        items->addObject(DZTableTextItem::itemWithText(t.get()).get());
    auto source = DZListDataSource::dataSourceWithItems(items.get());
    controller->setDataSource(source.get());
    controller->viewWillAppear(false);
    controller->viewDidAppear(false);
    auto table = controller->tableView();
    table->layoutSubviews();
    for (auto _ : state) {
        NSAutoreleasePool passPool;
        scrollThrough(table.get());
    }
}
BENCHMARK(BM_FrameworkTable)->Unit(benchmark::kMillisecond);

void BM_PlatformTable(benchmark::State& state) {
    NSAutoreleasePool pool;
    auto source = make<PlainSource>();
    source->rows = texts();
    auto table = alloc<UITableView>();
    table->initWithFrame(CGRectMake(0, 0, 320, kScreen), UITableViewStylePlain);
    table->setDataSource(source.get());
    table->layoutSubviews();
    for (auto _ : state) {
        NSAutoreleasePool passPool;
        scrollThrough(table.get());
    }
}
BENCHMARK(BM_PlatformTable)->Unit(benchmark::kMillisecond);

}  // namespace
