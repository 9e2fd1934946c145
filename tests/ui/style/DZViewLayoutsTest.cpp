#include <gtest/gtest.h>

#include "Foundation/NSArray.h"
#include "UIKit/UIView.h"
#include "ui/core/DZView.h"
#include "ui/core/DodizTesting.h"
#include "ui/style/DZViewLayouts.h"

namespace {

// Answers a fixed height for any width, as a cell of text would.
class FixedHeightView : public UIView {
    NS_OBJECT(FixedHeightView, UIView)

public:
    CGFloat fitHeight = 0;
    CGSize sizeThatFits(CGSize size) override { return CGSizeMake(size.width, fitHeight); }
};

Ref<UIView> box(CGFloat w, CGFloat h) {
    return make<UIView>(&UIView::initWithFrame, CGRectMake(3, 4, w, h));
}

Ref<FixedHeightView> cell(CGFloat h) {
    auto v = make<FixedHeightView>();
    v->fitHeight = h;
    return v;
}

Ref<DZView> host(CGFloat width) {
    return make<DZView>(&DZView::initWithFrame, CGRectMake(0, 0, width, 100));
}

std::string sizeText(CGSize s) {
    return rectText(CGRectMake(0, 0, s.width, s.height));
}

TEST(ViewLayouts, EmptyLayoutsAnswerThePaddingAndTheBasePlacesNothing) {
    auto flow = make<DZFlowLayout>();
    flow->setPadding(10);
    auto grid = make<DZGridLayout>();
    grid->setPadding(7);
    auto view = host(200);
    EXPECT_EQ(sizeText(flow->layoutSubviews(NSArray::array(), view)), sizeText(CGSizeMake(10, 20)));
    EXPECT_EQ(sizeText(grid->layoutSubviews(NSArray::array(), view)), sizeText(CGSizeMake(7, 14)));
    auto child = box(50, 20);
    auto base = make<DZLayout>();
    EXPECT_EQ(sizeText(base->layoutSubviews(NSArray::arrayWithObjects({child.get()}), view)),
              sizeText(CGSizeZero));
    EXPECT_EQ(rectText(child->frame()), rectText(CGRectMake(3, 4, 50, 20)));
    EXPECT_EQ(make<DZGridLayout>()->columnCount(), 1);
}

TEST(ViewLayouts, AFlowFillsRowsAndARowMovesDownByItsFirstSubview) {
    auto flow = make<DZFlowLayout>();
    flow->setPadding(10);
    flow->setSpacing(5);
    auto view = host(200);
    Ref<UIView> views[] = {box(50, 20), box(50, 25), box(50, 20), box(50, 30)};
    for (auto& v : views)
        view->addSubview(v);
    CGSize size = flow->layoutSubviews(view->subviews(), view);
    EXPECT_EQ(rectText(views[0]->frame()), rectText(CGRectMake(10, 10, 50, 20)));
    EXPECT_EQ(rectText(views[1]->frame()), rectText(CGRectMake(65, 10, 50, 25)));
    EXPECT_EQ(rectText(views[2]->frame()), rectText(CGRectMake(120, 10, 50, 20)));
    // The fourth does not fit the 180 inside the padding: the next row is 30 + 5 lower.
    EXPECT_EQ(rectText(views[3]->frame()), rectText(CGRectMake(10, 45, 50, 30)));
    EXPECT_EQ(sizeText(size), sizeText(CGSizeMake(175 + 10, 45 + 30 + 10)));

    // The styled view hands its subviews to its layout.
    view->setLayout(flow);
    for (auto& v : views)
        v->setFrame(CGRectMake(0, 0, 50, 20));
    view->layoutSubviews();
    EXPECT_EQ(rectText(views[1]->frame()), rectText(CGRectMake(65, 10, 50, 20)));
}

TEST(ViewLayouts, AGridMakesEqualColumnsAndRowsAsHighAsTheirLastCell) {
    auto grid = make<DZGridLayout>();
    grid->setColumnCount(3);
    grid->setPadding(10);
    grid->setSpacing(5);
    auto view = host(320);
    Ref<FixedHeightView> cells[] = {cell(40), cell(10), cell(20), cell(15)};
    auto list = NSMutableArray::array();
    for (auto& c : cells)
        list->addObject(c);
    CGSize size = grid->layoutSubviews(list, view);
    // (320 - 20) / 3 = 100 wide; the first row at 10 + 5.
    EXPECT_EQ(rectText(cells[0]->frame()), rectText(CGRectMake(10, 15, 100, 40)));
    EXPECT_EQ(rectText(cells[1]->frame()), rectText(CGRectMake(115, 15, 100, 10)));
    EXPECT_EQ(rectText(cells[2]->frame()), rectText(CGRectMake(220, 15, 100, 20)));
    // The row counts 20 high (its last cell), not 40.
    EXPECT_EQ(rectText(cells[3]->frame()), rectText(CGRectMake(10, 40, 100, 15)));
    EXPECT_EQ(sizeText(size), sizeText(CGSizeMake(325 + 10, 40 + 15 + 10)));

    // Cells round up: 100 / 3 gives 34.
    grid->setPadding(0);
    grid->setSpacing(0);
    grid->layoutSubviews(list, host(100));
    EXPECT_EQ(cells[0]->frame().size.width, 34);
    EXPECT_EQ(cells[2]->frame().origin.x, 68);

    // No columns count as one: one cell a row, the full width, no division by zero.
    grid->setColumnCount(0);
    size = grid->layoutSubviews(list, host(100));
    EXPECT_EQ(rectText(cells[0]->frame()), rectText(CGRectMake(0, 0, 100, 40)));
    EXPECT_EQ(rectText(cells[1]->frame()), rectText(CGRectMake(0, 40, 100, 10)));
    EXPECT_EQ(rectText(cells[3]->frame()), rectText(CGRectMake(0, 70, 100, 15)));
    EXPECT_EQ(sizeText(size), sizeText(CGSizeMake(100, 85)));
    grid->setColumnCount(-4);
    grid->layoutSubviews(list, host(100));
    EXPECT_EQ(cells[1]->frame().origin.y, 40);
}

}  // namespace
