#include <gtest/gtest.h>

#include "Foundation/NSArray.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIViewRendering.h"
#include "platform/UIKit/DrawingTesting.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZTableView.h"
#include "ui/table/DZTableViewDataSource.h"
#include "ui/table/DZTableViewDragRefreshDelegate.h"
#include "ui/table/TableTesting.h"

namespace {

class PullController : public DZTableViewController {
    NS_OBJECT(PullController, DZTableViewController)

public:
    Ref<DZTableViewDelegate> createDelegate() override {
        return make<DZTableViewDragRefreshDelegate>(
            &DZTableViewDragRefreshDelegate::initWithController, this);
    }
};

// A white table of two 44-point rows, shown.
template <class C>
Ref<C> twoRows(bool shadows) {
    auto c = make<C>();
    c->view()->setFrame(CGRectMake(0, 0, 320, 300));
    c->setShowTableShadows(shadows);
    c->tableView()->setBackgroundColor(UIColor::whiteColor().get());
    auto source = DZListDataSource::dataSourceWithObjects(
        {DZTableTextItem::itemWithText(NS("")).get(), DZTableTextItem::itemWithText(NS("")).get()});
    c->setDataSource(source.get());
    c->viewWillAppear(false);
    c->viewDidAppear(false);
    c->tableView()->layoutIfNeeded();
    return c;
}

RGBA probe(UIView* view, int x, int y) {
    return pixelAt(UIViewRenderImage(view, 1).get(), x, y);
}

}  // namespace

TEST(DZTablePixels, ShadowsDarkenAboveTheFirstRowAndUnderTheLast) {
    auto c = twoRows<DZTableViewController>(true);
    auto table = c->tableView();
    // Under the last row (which ends at 88) the shadow starts at half black and fades.
    RGBA under = probe(table.get(), 160, 89);
    RGBA below = probe(table.get(), 160, 120);
    EXPECT_LT(under.r, 160);
    EXPECT_TRUE(near(below, kWhite, 3)) << below;
    // Pulled down: the origin shadow darkens the visible top (half black, fading over 20
    // points) and the inverse shadow the 10 points above the first row (toward a quarter black).
    table->setContentOffset(CGPointMake(0, -20));
    table->layoutIfNeeded();
    RGBA top = probe(table.get(), 160, 0);
    RGBA middle = probe(table.get(), 160, 10);
    RGBA justAbove = probe(table.get(), 160, 19);
    EXPECT_LT(top.r, 150) << top;
    EXPECT_LT(top.r, middle.r);
    EXPECT_LT(justAbove.r, middle.r) << justAbove << middle;
    EXPECT_TRUE(near(probe(table.get(), 160, 60), kWhite, 3));

    // Without shadows the same places stay white.
    auto plain = twoRows<DZTableViewController>(false);
    EXPECT_TRUE(near(probe(plain->tableView().get(), 160, 89), kWhite, 3));
}

TEST(DZTablePixels, ThePulledHeaderShowsItsBackground) {
    auto c = twoRows<PullController>(false);
    auto table = c->tableView();
    table->beginDragging();
    table->dragTo(CGPointMake(0, -70));
    table->layoutIfNeeded();
    EXPECT_TRUE(near(probe(table.get(), 5, 5), RGBA{226, 231, 237, 255}, 1))
        << probe(table.get(), 5, 5);
    table->endDragging(false);
}
