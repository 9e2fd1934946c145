// 1,000 pinch-and-pan moves of two scripted fingers on the pager (each move runs its touch
// handling, resistance and zoom arithmetic, then lays the page out) against setting a page
// view's frame and transform 1,000 times, in the same run.
#include <benchmark/benchmark.h>

#include <cmath>

#include "Foundation/Clock.h"
#include "UIKit/UITouchScript.h"
#include "UIKit/UIWindow.h"
#include "ui/table/DZScrollView.h"

namespace {

constexpr int kMoves = 1000;

class BenchPages : public NSObject, public DZScrollViewDataSource, public DZScrollViewDelegate {
    NS_OBJECT(BenchPages, NSObject)

public:
    NSInteger numberOfPagesInScrollView(DZScrollView*) override { return 5; }
    Ref<UIView> scrollViewPageAtIndex(DZScrollView* pager, NSInteger) override {
        if (auto page = pager->dequeueReusablePage()) return page;
        return make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    }
    void scrollViewDidMoveToPageAtIndex(DZScrollView*, NSInteger) override {}
};

// Fingers breathing in and out about the middle while drifting: a pinch and a pan each move.
CGPoint finger(int i, int side) {
    CGFloat spread = 60 + 40 * std::sin(i * 0.05f);
    CGFloat drift = 20 * std::sin(i * 0.013f);
    return CGPointMake(160 + drift + side * spread, 240 + drift);
}

void BM_PagerPinchAndPan(benchmark::State& state) {
    ManualClockScope clock;
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto pager = make<DZScrollView>(&DZScrollView::initWithFrame, CGRectMake(0, 0, 320, 480));
    auto pages = make<BenchPages>();
    pager->setDelegate(pages.get());
    pager->setDataSource(pages.get());
    pager->setCenterPageIndex(2);
    window->addSubview(pager);
    pager->layoutIfNeeded();
    auto fingers = UITouchScript::scriptWithWindow(window.get());
    for (auto _ : state) {
        auto f = fingers->down({finger(0, -1), finger(0, 1)});
        for (int i = 1; i <= kMoves; ++i) {
            fingers->move({{f[0], finger(i, -1)}, {f[1], finger(i, 1)}});
            pager->layoutIfNeeded();
        }
        fingers->cancel();
        pager->layoutIfNeeded();
    }
    benchmark::DoNotOptimize(pager->pageEdges());
    state.SetItemsProcessed(state.iterations() * kMoves);
    window->setHidden(true);
}
BENCHMARK(BM_PagerPinchAndPan)->Unit(benchmark::kMicrosecond);

void BM_PageFrameAndTransform(benchmark::State& state) {
    auto parent = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    auto page = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    parent->addSubview(page);
    for (auto _ : state) {
        for (int i = 1; i <= kMoves; ++i) {
            CGFloat z = 1 + (60 + 40 * std::sin(i * 0.05f)) / 100;
            page->setTransform(CGAffineTransformMakeScale(z, z));
            page->setFrame(CGRectMake(-10 * z, -15 * z, 320 * z, 480 * z));
        }
    }
    benchmark::DoNotOptimize(page->frame());
    state.SetItemsProcessed(state.iterations() * kMoves);
}
BENCHMARK(BM_PageFrameAndTransform)->Unit(benchmark::kMicrosecond);

}  // namespace
