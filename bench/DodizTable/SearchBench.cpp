// One keystroke in a search text field over 5,000 local names, to the reloaded results: the edit
// schedules the search for the next pass, the data source filters on it and reports the load,
// and the field reloads and lays out its results table over the screen. Against filtering the
// same names in a plain loop, in the same run. The ratio is the cost of the field's machinery
// (timer, model callbacks, table reload and layout) per keystroke.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "UIKit/UIWindow.h"
#include "ui/table/DZSearchTextField.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZTableView.h"
#include "ui/table/DZTableViewDataSource.h"

namespace {

constexpr int kNames = 5000;

std::vector<std::string> names() {
    static const char* firsts[] = {"Ada",   "Ben",   "Cora", "Dmitri", "Elena",
                                   "Farid", "Greta", "Hiro", "Ines",   "Jonas"};
    std::vector<std::string> out;
    for (int i = 0; i < kNames; ++i)
        out.push_back(std::string(firsts[i % 10]) + " " + std::to_string(i));
    return out;
}

bool startsWith(const std::string& name, const std::string& prefix) {
    return name.compare(0, prefix.size(), prefix) == 0;
}

// Filters the names on each search and reports the load at once.
class LocalNames : public DZListDataSource {
    NS_OBJECT(LocalNames, DZListDataSource)

public:
    std::vector<std::string> all = names();
    void search(NSString* text) override {
        std::string prefix = text ? text->UTF8String() : "";
        auto found = NSMutableArray::array();
        for (auto& name : all)
            if (!prefix.empty() && startsWith(name, prefix))
                found->addObject(DZTableTextItem::itemWithText(
                                     NSString::stringWithUTF8String(name.c_str()).get())
                                     .get());
        setItems(found.get());
        didFinishLoad();
    }
    Ref<NSMutableArray> delegates() override { return DZModel::delegates(); }
};

void BM_SearchFieldKeystroke(benchmark::State& state) {
    ManualClockScope clock;
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto field =
        make<DZSearchTextField>(&DZSearchTextField::initWithFrame, CGRectMake(0, 20, 320, 31));
    window->addSubview(field.get());
    auto source = make<LocalNames>();
    field->setDataSource(source.get());
    field->becomeFirstResponder();
    field->setText(NS("Ada 1"));  // the first results, outside the timing
    auto loop = NSRunLoop::currentRunLoop();
    bool toggle = false;
    for (auto _ : state) {
        // "Ada 1" and "Ada 12" in turn: a keystroke and a backspace, each a search.
        if (toggle)
            field->deleteBackward();
        else
            field->insertText(NS("2"));
        toggle = !toggle;
        Clock::setNow(Clock::now() + 0.001);
        loop->runInMode(NSDefaultRunLoopMode, 0, false);
        field->tableView()->layoutIfNeeded();
        benchmark::DoNotOptimize(field->tableView()->numberOfRowsInSection(0));
    }
    field->resignFirstResponder();
    field->removeFromSuperview();
}

void BM_PlainFilter(benchmark::State& state) {
    auto all = names();
    bool toggle = false;
    for (auto _ : state) {
        std::string prefix = toggle ? "Ada 1" : "Ada 12";
        toggle = !toggle;
        std::vector<const std::string*> found;
        for (auto& name : all)
            if (startsWith(name, prefix)) found.push_back(&name);
        benchmark::DoNotOptimize(found.data());
    }
}

}  // namespace

BENCHMARK(BM_SearchFieldKeystroke)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainFilter)->Unit(benchmark::kMicrosecond);
