// The thumbnail grid: rows by the columns that fit, the "Load More Photos..." row with a known
// and an unknown total, thumbs of a row, taps reported to the delegate, the column count after
// a rotation.
#include <gtest/gtest.h>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIWindow.h"
#include "support/RunLoopTesting.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZThumbsViewController.h"
#include "ui/table/PhotoTesting.h"

namespace {

class GridDelegate : public NSObject, public DZThumbsViewControllerDelegate {
    NS_OBJECT(GridDelegate, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"thumbsViewController:shouldNavigateToPhoto:"});
    }

public:
    void thumbsViewControllerDidSelectPhoto(DZThumbsViewController*, DZPhoto* photo) override {
        picked.push_back(photo->index());
    }
    bool thumbsViewControllerShouldNavigateToPhoto(DZThumbsViewController*, DZPhoto*) override {
        return false;
    }
    std::vector<NSInteger> picked;
};

class ThumbnailGrids : public ::testing::Test {
protected:
    Ref<DZThumbsDataSource> sourceFor(TestPhotoSet* set) {
        return make<DZThumbsDataSource>(&DZThumbsDataSource::initWithPhotoSource,
                                        static_cast<DZPhotoSource*>(set),
                                        static_cast<DZThumbsTableViewCellDelegate*>(nullptr));
    }
    Ref<NSObject> objectAt(DZThumbsDataSource* source, NSInteger row) {
        return source->tableViewObjectForRowAtIndexPath(nullptr,
                                                        NSIndexPath::indexPathForRow(row, 0));
    }
    ManualClockScope clock;
};

TEST_F(ThumbnailGrids, TenOfTwentyFiveMakeThreeRowsAndALoadMoreRow) {
    auto set = TestPhotoSet::setWith(25, 10, "http://photos.test");
    auto source = sourceFor(set.get());
    EXPECT_EQ(source->columnCount(), 4);  // round((320 - 8) / 79)
    EXPECT_TRUE(source->hasMoreToLoad());
    ASSERT_EQ(source->tableViewNumberOfRowsInSection(nullptr, 0), 4);
    EXPECT_EQ(DZPhotoOf(objectAt(source.get(), 0).get())->index(), 0);
    EXPECT_EQ(DZPhotoOf(objectAt(source.get(), 2).get())->index(), 8);
    auto more = as<DZTableMoreButton>(objectAt(source.get(), 3));
    ASSERT_TRUE(more);
    EXPECT_TRUE(more->text()->isEqualToString(NS("Load More Photos...")));
    EXPECT_TRUE(more->subtitle()->isEqualToString(NS("Showing 10 of 25 Photos")));
    EXPECT_EQ(source->tableViewCellClassForObject(nullptr, objectAt(source.get(), 1).get()),
              DZThumbsTableViewCell::staticClass());

    // An unknown total.
    set->total = -1;
    more = as<DZTableMoreButton>(objectAt(source.get(), 3));
    ASSERT_TRUE(more);
    EXPECT_TRUE(more->subtitle()->isEqualToString(NS("Showing 10 Photos")));

    // Everything loaded: no more row; nothing loaded: no rows at all.
    set->total = 25;
    set->loadedCount = 25;
    EXPECT_EQ(source->tableViewNumberOfRowsInSection(nullptr, 0), 7);
    EXPECT_FALSE(is<DZTableMoreButton>(objectAt(source.get(), 6)));
    set->loadedCount = 0;
    EXPECT_EQ(source->tableViewNumberOfRowsInSection(nullptr, 0), 0);
    EXPECT_TRUE(source->titleForEmpty()->isEqualToString(NS("No Photos")));
    EXPECT_TRUE(
        source->subtitleForEmpty()->isEqualToString(NS("This photo set contains no photos.")));
}

TEST_F(ThumbnailGrids, ARowShowsItsPhotosAndHidesThePastTheLoadedRange) {
    auto set = TestPhotoSet::setWith(25, 10, "http://photos.test");
    auto cell = make<DZThumbsTableViewCell>(&DZThumbsTableViewCell::initWithStyle,
                                            UITableViewCellStyleDefault, NS("thumbs"));
    cell->setFrame(CGRectMake(0, 0, 320, 79));
    cell->setColumnCount(4);
    cell->setObject(DZPhotoObject(set->photos[8].get()));
    auto& thumbs = cell->thumbViews();
    ASSERT_EQ(thumbs.size(), 4u);
    EXPECT_TRUE(thumbs[0]->thumbURL()->isEqualToString(NS("http://photos.test/p8-4.png")));
    EXPECT_FALSE(thumbs[1]->isHidden());
    EXPECT_TRUE(thumbs[2]->isHidden());  // photo 10 is not loaded
    EXPECT_EQ(thumbs[2]->thumbURL(), nullptr);
    cell->layoutIfNeeded();
    EXPECT_TRUE(CGRectEqualToRect(thumbs[1]->frame(), CGRectMake(83, 0, 75, 75)));

    // Six columns in landscape, back to four: the row is rebuilt with four thumbs.
    cell->setColumnCount(6);
    EXPECT_EQ(cell->thumbViews().size(), 6u);
    cell->setColumnCount(4);
    EXPECT_EQ(cell->thumbViews().size(), 4u);
    EXPECT_EQ(cell->contentView()->subviews()->count(), 4u);
}

TEST_F(ThumbnailGrids, ATapReportsThePhotoAndARefusingDelegateKeepsTheGrid) {
    auto set = TestPhotoSet::setWith(8, 8, "http://photos.test");
    auto delegate = make<GridDelegate>();
    auto grid =
        make<DZThumbsViewController>(&DZThumbsViewController::initWithDelegate,
                                     static_cast<DZThumbsViewControllerDelegate*>(delegate.get()));
    grid->setPhotoSource(set.get());
    EXPECT_TRUE(grid->title()->isEqualToString(NS("Holiday")));
    ASSERT_TRUE(grid->navigationItem()->rightBarButtonItem());
    EXPECT_TRUE(grid->navigationItem()->rightBarButtonItem()->title()->isEqualToString(NS("Done")));
    auto cell = make<DZThumbsTableViewCell>(&DZThumbsTableViewCell::initWithStyle,
                                            UITableViewCellStyleDefault, NS("thumbs"));
    cell->setDelegate(grid.get());
    cell->setColumnCount(4);
    cell->setObject(DZPhotoObject(set->photos[4].get()));
    cell->thumbTouched(cell->thumbViews()[2].get());
    EXPECT_EQ(delegate->picked, (std::vector<NSInteger>{6}));
}

}  // namespace
