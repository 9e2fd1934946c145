// The result cell's layout arithmetic: the thumbnail's width from the image's aspect ratio and
// the left margin it leaves, the price tag against the right edge and the title and detail
// widths, and the highlighted look.
#include <gtest/gtest.h>

#include <cmath>

#include "Classes/ItemTableViewCell.h"
#include "Classes/ResultScreenInterfaces.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "ui/style/DZImageView.h"

namespace {

Ref<UIImage> blank(CGFloat width, CGFloat height) {
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(width, height), false, 1);
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image;
}

class ResultCell : public testing::Test {
protected:
    void SetUp() override {
        registerResultScreenInterfaces();
        cell = ItemTableViewCell::createTableViewCellWithIdentifier(NS("ItemTableViewCell"));
        ASSERT_TRUE(cell);
    }
    Ref<ItemTableViewCell> cell;
};

}  // namespace

TEST_F(ResultCell, ComesCompletedFromItsInterface) {
    EXPECT_EQ(cell->accessoryType(), UITableViewCellAccessoryDisclosureIndicator);
    EXPECT_EQ(cell->leftMargin(), 6);
    ASSERT_TRUE(cell->imgView());
    EXPECT_EQ(cell->imgView()->superview().get(), static_cast<UIView*>(cell.get()));
    EXPECT_TRUE(CGRectEqualToRect(cell->imgView()->frame(), CGRectMake(3, 3, 0, 80)));
    EXPECT_TRUE(cell->backgroundView());
    EXPECT_TRUE(cell->titleLabel() && cell->priceLabel() && cell->timeLabel() &&
                cell->locationLabel() && cell->detailLabel() && cell->priceImageView());
    // An interface without a cell gives none.
    EXPECT_FALSE(ItemTableViewCell::createTableViewCellWithIdentifier(NS("ItemViewController")));
}

TEST_F(ResultCell, ThumbnailWidthFollowsTheImage) {
    cell->imageViewDidLoadImage(nullptr, blank(160, 120));
    EXPECT_NEAR(cell->imgView()->frame().size.width, 106.67, 0.01);
    EXPECT_EQ(cell->imgView()->frame().size.height, 80);
    EXPECT_EQ(cell->leftMargin(), 115);  // 106 + 6 + 3
    EXPECT_EQ(cell->titleLabel()->frame().origin.x, 115);
    EXPECT_EQ(cell->detailLabel()->frame().origin.x, 115);
    EXPECT_EQ(cell->detailLabel()->frame().size.width, 292 - 115);

    cell->imageViewDidLoadImage(nullptr, blank(400, 100));
    EXPECT_EQ(cell->imgView()->frame().size.width, 120);
    EXPECT_EQ(cell->leftMargin(), 129);

    // A failed load: the bare margin, the thumbnail as it was.
    auto fresh = ItemTableViewCell::createTableViewCellWithIdentifier(NS("ItemTableViewCell"));
    fresh->imageViewDidLoadImage(nullptr, nullptr);
    EXPECT_EQ(fresh->leftMargin(), 6);
    EXPECT_EQ(fresh->imgView()->frame().size.width, 0);
    // An image a fraction of a point wide leaves no gap for it.
    fresh->imageViewDidLoadImage(nullptr, blank(1, 100));
    EXPECT_EQ(fresh->leftMargin(), 6);
}

TEST_F(ResultCell, PriceTagTouchesTheRightEdge) {
    CGRect tagBefore = cell->priceImageView()->frame();
    CGRect titleBefore = cell->titleLabel()->frame();
    cell->setPriceWidth(40);
    cell->layout();
    CGRect tag = cell->priceImageView()->frame();
    EXPECT_EQ(tag.size.width, 55);
    EXPECT_EQ(tag.origin.x, 265);
    EXPECT_EQ(tag.origin.y, tagBefore.origin.y);
    EXPECT_EQ(tag.size.height, tagBefore.size.height);
    EXPECT_EQ(cell->titleLabel()->frame().size.width, 268 - 6);  // 314 - 46 - left margin
    EXPECT_EQ(cell->titleLabel()->frame().origin.y, titleBefore.origin.y);

    cell->imageViewDidLoadImage(nullptr, blank(160, 120));
    EXPECT_EQ(cell->titleLabel()->frame().size.width, 268 - 115);

    // Without a price the title takes the row and the tag stays put.
    cell->setPriceWidth(0);
    cell->layout();
    EXPECT_EQ(cell->titleLabel()->frame().size.width, 314 - 115);
    EXPECT_EQ(cell->priceImageView()->frame().origin.x, 265);
}

TEST_F(ResultCell, InEditModeTheContentMovesRightOfTheDeleteControlAndKeepsItsPrice) {
    cell->imageViewDidLoadImage(nullptr, blank(160, 120));
    cell->setPriceWidth(40);
    cell->layout();
    auto inRow = [this](UIView* v) { return v->convertRect(v->bounds(), cell.get()); };
    auto same = [](CGRect a, CGRect b) {
        return std::abs(a.origin.x - b.origin.x) < 0.01 &&
               std::abs(a.origin.y - b.origin.y) < 0.01 &&
               std::abs(a.size.width - b.size.width) < 0.01 &&
               std::abs(a.size.height - b.size.height) < 0.01;
    };
    CGRect tag = inRow(cell->priceImageView());
    CGRect price = inRow(cell->priceLabel());
    CGRect time = inRow(cell->timeLabel());
    CGRect title = inRow(cell->titleLabel());

    cell->setEditingStyle(UITableViewCellEditingStyleDelete);
    cell->setEditing(true);
    // The thumbnail and the title moved right by the control's width; what stands against the
    // right edge stays whole in the row.
    EXPECT_NEAR(cell->imgView()->frame().origin.x, 3 + 32, 0.01);
    EXPECT_NEAR(inRow(cell->titleLabel()).origin.x, title.origin.x + 32, 0.01);
    EXPECT_NEAR(CGRectGetMaxX(inRow(cell->titleLabel())), CGRectGetMaxX(title), 0.01);
    EXPECT_TRUE(same(inRow(cell->priceImageView()), tag));
    EXPECT_TRUE(same(inRow(cell->priceLabel()), price));
    EXPECT_TRUE(same(inRow(cell->timeLabel()), time));
    // Laid out again while editing (a price set anew), the tag still touches the row's edge.
    cell->layout();
    EXPECT_NEAR(CGRectGetMaxX(inRow(cell->priceImageView())), 320, 0.01);
    EXPECT_NEAR(CGRectGetMaxX(inRow(cell->titleLabel())), CGRectGetMaxX(title), 0.01);

    cell->setEditing(false);
    EXPECT_NEAR(cell->imgView()->frame().origin.x, 3, 0.01);
    EXPECT_TRUE(same(inRow(cell->priceImageView()), tag));
    EXPECT_TRUE(same(inRow(cell->titleLabel()), title));
}

TEST_F(ResultCell, HighlightDropsTheTitleShadow) {
    cell->setHighlighted(true, false);
    EXPECT_TRUE(cell->isHighlighted());
    EXPECT_EQ(cell->titleLabel()->shadowOffset().height, 0);
    EXPECT_TRUE(cell->imageView()->isHidden());
    cell->setHighlighted(false, false);
    EXPECT_EQ(cell->titleLabel()->shadowOffset().height, 1);
    EXPECT_FALSE(cell->imageView()->isHidden());
    cell->setSelected(true, false);
    EXPECT_EQ(cell->titleLabel()->shadowOffset().height, 0);
}
