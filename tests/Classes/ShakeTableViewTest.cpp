// The shake and shadowed table views, on their own (nothing in the app uses them).
#include <gtest/gtest.h>

#include <vector>

#include "Classes/ShakeTableView.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSString.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UITableViewCell.h"

namespace {

class Counter : public NSObject, public ShakeObserver {
    NS_OBJECT(Counter, NSObject)

public:
    void shake() override { ++shakes; }
    int shakes = 0;
};

class Rows : public NSObject, public UITableViewDataSource {
    NS_OBJECT(Rows, NSObject)

public:
    NSInteger count = 0;
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger) override { return count; }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView*, NSIndexPath*) override {
        auto cell = alloc<UITableViewCell>();
        cell->initWithStyle(UITableViewCellStyleDefault, NS("Row"));
        return cell;
    }
};

Ref<ShadowedTableView> table(Rows* rows) {
    auto t = alloc<ShadowedTableView>();
    t->initWithFrame(CGRectMake(0, 0, 320, 220), UITableViewStylePlain);
    t->setDataSource(rows);
    t->reloadData();
    t->layoutIfNeeded();
    return t;
}

bool isFirstSublayer(CALayer* layer, CALayer* sublayer) {
    auto sublayers = layer->sublayers();
    return sublayers && sublayers->count() > 0 && sublayers->objectAtIndex(0).get() == sublayer;
}

}  // namespace

TEST(ShakeTableView, AShakeReachesTheObserverOnceAndOtherMotionsDoNot) {
    auto t = alloc<ShakeTableView>();
    t->initWithFrame(CGRectMake(0, 0, 320, 200), UITableViewStylePlain);
    EXPECT_TRUE(t->canBecomeFirstResponder());
    auto counter = make<Counter>();
    t->addShakeObserver(counter);
    t->motionEnded(UIEventSubtypeMotionShake, UIEvent::motionEvent(UIEventSubtypeMotionShake));
    EXPECT_EQ(counter->shakes, 1);
    t->motionEnded(UIEventSubtypeNone, UIEvent::motionEvent(UIEventSubtypeNone));
    EXPECT_EQ(counter->shakes, 1);
    // The observer is kept by the table.
    Weak<Counter> weak(counter.get());
    counter = nullptr;
    EXPECT_TRUE(weak.lock());
    t = nullptr;
    EXPECT_FALSE(weak.lock());
}

TEST(ShadowedTableView, AnEmptyTableShowsOnlyTheOriginShadow) {
    auto rows = make<Rows>();
    auto t = table(rows);
    auto origin = t->originShadow();
    ASSERT_TRUE(origin);
    EXPECT_TRUE(isFirstSublayer(t->layer(), origin));
    EXPECT_EQ(origin->frame().size.height, 20);
    EXPECT_EQ(origin->frame().size.width, 320);
    EXPECT_FALSE(t->topShadow());
    EXPECT_FALSE(t->bottomShadow());
}

TEST(ShadowedTableView, TheTopShadowFollowsRowZeroAndTheBottomShadowTheLastRow) {
    auto rows = make<Rows>();
    rows->count = 3;
    auto t = table(rows);
    auto top = t->topShadow();
    auto bottom = t->bottomShadow();
    ASSERT_TRUE(top);
    ASSERT_TRUE(bottom);
    auto first = t->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0));
    auto last = t->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(2, 0));
    EXPECT_TRUE(isFirstSublayer(first->layer(), top));
    EXPECT_EQ(top->frame().origin.y, -10);
    EXPECT_EQ(top->frame().size.height, 10);
    EXPECT_TRUE(isFirstSublayer(last->layer(), bottom));
    EXPECT_EQ(bottom->frame().origin.y, last->frame().size.height);
    EXPECT_EQ(bottom->frame().size.height, 20);

    // Thirty rows: row 0 scrolls away and takes its shadow; the last row is not on screen.
    rows->count = 30;
    t->reloadData();
    t->setContentOffset(CGPointMake(0, 300));
    t->layoutIfNeeded();
    EXPECT_FALSE(t->topShadow());
    EXPECT_FALSE(t->bottomShadow());
    EXPECT_EQ(t->originShadow()->frame().origin.y, 300);
    // Back at the top, a new shadow on the first cell.
    t->setContentOffset(CGPointMake(0, 0));
    t->layoutIfNeeded();
    ASSERT_TRUE(t->topShadow());
    EXPECT_NE(t->topShadow().get(), top.get());
    EXPECT_TRUE(isFirstSublayer(
        t->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0))->layer(), t->topShadow()));
}
