#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DrawingTesting.h"
#include "Foundation/NSArray.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/ImageCodecs.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UITabBar.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"
#include "support/FoundationTesting.h"

namespace {
std::vector<std::string> gLog;

class ItemTarget : public NSObject {
    NS_OBJECT(ItemTarget, NSObject)
    static void describeClass(RuntimeClass& c) { c.method("pressed:", &ItemTarget::pressed); }
    void pressed(NSObject* sender) {
        auto item = as<UIBarButtonItem>(sender);
        gLog.push_back("pressed " + (item ? item->displayTitle()->utf8() : std::string("?")));
    }
};

std::string titleOf(UIBarItem* item) {
    return item && item->title() ? item->title()->utf8() : "";
}
std::string titleOf(UINavigationItem* item) {
    return item && item->title() ? item->title()->utf8() : "";
}

class BarDelegate : public NSObject, public UINavigationBarDelegate, public UITabBarDelegate {
    NS_OBJECT(BarDelegate, NSObject)
    bool allowPop = true;
    bool navigationBarShouldPopItem(UINavigationBar*, UINavigationItem* item) override {
        gLog.push_back("shouldPop " + titleOf(item));
        return allowPop;
    }
    void navigationBarDidPopItem(UINavigationBar*, UINavigationItem* item) override {
        gLog.push_back("didPop " + titleOf(item));
    }
    void navigationBarDidPushItem(UINavigationBar*, UINavigationItem* item) override {
        gLog.push_back("didPush " + titleOf(item));
    }
    void tabBarDidSelectItem(UITabBar*, UITabBarItem* item) override {
        gLog.push_back("tab " + titleOf(item) + " " + std::to_string(item->tag()));
    }
};

Ref<UINavigationItem> navItem(const char* title) {
    return make<UINavigationItem>(&UINavigationItem::initWithTitle, NSString::fromUTF8(title));
}

class BarsTest : public testing::Test {
protected:
    Ref<UIWindow> window = make<UIWindow>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    Ref<BarDelegate> delegate = make<BarDelegate>();
    void SetUp() override {
        gLog.clear();
        window->makeKeyAndVisible();
    }
};
}  // namespace

TEST_F(BarsTest, NavigationBarShowsTheBackButtonOfTheItemBelow) {
    auto bar = make<UINavigationBar>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 44));
    window->addSubview(bar);
    bar->setDelegate(delegate);
    bar->pushNavigationItem(navItem("Search"), false);
    EXPECT_FALSE(bar->backButtonTitle());
    auto results = navItem("Results");
    bar->pushNavigationItem(results, true);
    EXPECT_EQ(bar->displayedTitle()->utf8(), "Results");
    EXPECT_EQ(bar->backButtonTitle()->utf8(), "Search");
    EXPECT_EQ(raisedName([&] { bar->pushNavigationItem(results, false); }),
              "NSInternalInconsistencyException");
    // An untitled item below gives "Back"; a custom back item gives its own title.
    bar->pushNavigationItem(make<UINavigationItem>(), false);
    bar->pushNavigationItem(navItem("Item"), false);
    EXPECT_EQ(bar->backButtonTitle()->utf8(), "Back");
    bar->backItem()->setBackBarButtonItem(make<UIBarButtonItem>(
        &UIBarButtonItem::initWithTitle, NS("List"), UIBarButtonItemStylePlain, nullptr, nullptr));
    EXPECT_EQ(bar->backButtonTitle()->utf8(), "List");
    // A left item replaces the back button unless it supplements it.
    auto top = bar->topItem();
    top->setLeftBarButtonItem(make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                                    UIBarButtonSystemItemCancel, nullptr, nullptr));
    EXPECT_FALSE(bar->backButtonTitle());
    top->setLeftItemsSupplementBackButton(true);
    EXPECT_TRUE(bar->backButtonTitle());
    top->setHidesBackButton(true);
    EXPECT_FALSE(bar->tapBackButton());
    EXPECT_EQ(gLog, (std::vector<std::string>{"didPush Search", "didPush Results", "didPush ",
                                              "didPush Item"}));
}

TEST_F(BarsTest, BackButtonTapPopsThroughTheDelegate) {
    auto bar = make<UINavigationBar>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 44));
    window->addSubview(bar);
    bar->setItems(NSArray::arrayWithObjects({navItem("Search"), navItem("Results")}));
    bar->setDelegate(delegate);
    delegate->allowPop = false;
    UIView::layoutPendingViews();
    ASSERT_TRUE(bar->backButtonView());
    CGRect f = bar->backButtonView()->frame();
    window->tapAtPoint(CGPointMake(CGRectGetMidX(f), CGRectGetMidY(f)));
    EXPECT_EQ(bar->items()->count(), 2u);
    delegate->allowPop = true;
    window->tapAtPoint(CGPointMake(CGRectGetMidX(f), CGRectGetMidY(f)));
    EXPECT_EQ(bar->items()->count(), 1u);
    EXPECT_EQ(gLog, (std::vector<std::string>{"shouldPop Results", "shouldPop Results",
                                              "didPop Results"}));
    EXPECT_FALSE(bar->popNavigationItemAnimated(false));  // the root stays
}

TEST_F(BarsTest, ToolbarSharesRoomAmongFlexibleSpacesAndItemsSendActions) {
    auto target = make<ItemTarget>();
    auto toolbar = make<UIToolbar>(&UIView::initWithFrame, CGRectMake(0, 436, 320, 44));
    window->addSubview(toolbar);
    auto space = [] {
        return make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                     UIBarButtonSystemItemFlexibleSpace, nullptr, nullptr);
    };
    auto fixed = make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                       UIBarButtonSystemItemFixedSpace, nullptr, nullptr);
    fixed->setWidth(40);
    auto refresh =
        make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                              UIBarButtonSystemItemRefresh, target, Selector::named("pressed:"));
    auto next =
        make<UIBarButtonItem>(&UIBarButtonItem::initWithTitle, NS("Next"),
                              UIBarButtonItemStyleBordered, target, Selector::named("pressed:"));
    toolbar->setItems(NSArray::arrayWithObjects({refresh, space(), fixed, space(), next}));
    UIView::layoutPendingViews();
    CGRect r0 = toolbar->frameForItemAtIndex(0), r4 = toolbar->frameForItemAtIndex(4);
    EXPECT_FLOAT_EQ(r0.origin.x, 6);
    EXPECT_FLOAT_EQ(CGRectGetMaxX(r4), 314);
    EXPECT_FLOAT_EQ(toolbar->frameForItemAtIndex(2).size.width, 40);
    EXPECT_FLOAT_EQ(toolbar->frameForItemAtIndex(1).size.width,
                    toolbar->frameForItemAtIndex(3).size.width);
    EXPECT_FALSE(fixed->itemView());
    CGRect nf = next->itemView()->frame();
    window->tapAtPoint(
        toolbar->convertPoint(CGPointMake(CGRectGetMidX(nf), CGRectGetMidY(nf)), nullptr));
    next->setEnabled(false);
    window->tapAtPoint(
        toolbar->convertPoint(CGPointMake(CGRectGetMidX(nf), CGRectGetMidY(nf)), nullptr));
    EXPECT_TRUE(refresh->sendAction());
    EXPECT_EQ(gLog, (std::vector<std::string>{"pressed Next", "pressed Refresh"}));
}

TEST_F(BarsTest, RefreshActionAndStopShowTheirPicturesAndFitNarrowSlots) {
    auto toolbar = make<UIToolbar>(&UIView::initWithFrame, CGRectMake(0, 436, 320, 44));
    toolbar->setBarStyle(UIBarStyleBlack);
    window->addSubview(toolbar);
    auto system = [](UIBarButtonSystemItem kind) {
        return make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem, kind, nullptr,
                                     nullptr);
    };
    auto refresh = system(UIBarButtonSystemItemRefresh),
         action = system(UIBarButtonSystemItemAction), stop = system(UIBarButtonSystemItemStop),
         done = system(UIBarButtonSystemItemDone);
    // As an ad's browser sets them: two narrow slots.
    refresh->setWidth(27);
    action->setWidth(27);
    auto space = system(UIBarButtonSystemItemFlexibleSpace);
    toolbar->setItems(
        NSArray::arrayWithObjects({refresh, space, action, space, stop, space, done}));
    UIView::layoutPendingViews();
    // Without a width of its own a picture item takes its picture's and the margins.
    EXPECT_FLOAT_EQ(toolbar->frameForItemAtIndex(4).size.width, 40);
    auto shot = UIViewRenderImage(toolbar, 2);
    auto px = UIImagePixelsOf(shot->CGImage());
    auto whiteIn = [&](CGRect r) {
        int n = 0;
        for (int y = int(r.origin.y * 2); y < int(CGRectGetMaxY(r) * 2); ++y)
            for (int x = int(r.origin.x * 2); x < int(CGRectGetMaxX(r) * 2); ++x) {
                RGBA c = pixelAt(px, x, y);
                n += c.r > 200 && c.g > 200 && c.b > 200 ? 1 : 0;
            }
        return n;
    };
    for (auto [index, word] : {std::pair{0, "Refresh"}, {2, "Action"}, {4, "Stop"}}) {
        auto item = as<UIBarButtonItem>(toolbar->items()->objectAtIndex(NSUInteger(index)));
        auto button = as<UIButton>(item->itemView());
        ASSERT_TRUE(button) << word;
        // Known by its word, shown by its picture, drawn whole within its slot.
        EXPECT_EQ(text(button->accessibilityLabel()), word);
        EXPECT_EQ(text(button->currentTitle()), "(nil)") << word;
        ASSERT_TRUE(button->currentImage()) << word;
        CGRect slot = toolbar->frameForItemAtIndex(NSUInteger(index));
        CGRect glyph = CGRectInset(slot, (slot.size.width - 20) / 2, (slot.size.height - 20) / 2);
        EXPECT_GT(whiteIn(glyph), 150) << word;
        EXPECT_EQ(whiteIn(CGRectInset(slot, -8, 0)), whiteIn(glyph)) << word;
    }
    // Done keeps its word on a button.
    EXPECT_EQ(text(as<UIButton>(done->itemView())->currentTitle()), "Done");
}

TEST_F(BarsTest, TabBarSelectsOnTapAndSystemItemsKeepTheirTitles) {
    auto tabBar = make<UITabBar>(&UIView::initWithFrame, CGRectMake(0, 431, 320, 49));
    window->addSubview(tabBar);
    tabBar->setDelegate(delegate);
    auto search =
        make<UITabBarItem>(&UITabBarItem::initWithTabBarSystemItem, UITabBarSystemItemSearch, 100);
    auto favorite = make<UITabBarItem>(&UITabBarItem::initWithTabBarSystemItem,
                                       UITabBarSystemItemFavorites, 200);
    auto post = make<UITabBarItem>(&UITabBarItem::initWithTitle, NS("Post"), nullptr, 300);
    favorite->setTitle(NS("Favorite"));  // a system item keeps the platform's title
    EXPECT_EQ(favorite->title()->utf8(), "Favorites");
    tabBar->setItems(NSArray::arrayWithObjects({search, favorite, post}));
    tabBar->setSelectedItem(search);
    window->tapAtPoint(CGPointMake(300, 450));
    EXPECT_EQ(tabBar->selectedItem().get(), post.get());
    window->tapAtPoint(CGPointMake(300, 450));  // again: the delegate hears it again
    post->setEnabled(false);
    window->tapAtPoint(CGPointMake(300, 450));
    EXPECT_EQ(gLog, (std::vector<std::string>{"tab Post 300", "tab Post 300"}));
    // The selection survives new items that still hold it, and goes when they do not.
    tabBar->setItems(NSArray::arrayWithObjects({post, search}));
    EXPECT_EQ(tabBar->selectedItem().get(), post.get());
    tabBar->setItems(NSArray::arrayWithObject(search));
    EXPECT_FALSE(tabBar->selectedItem());
    tabBar->setSelectedItem(favorite);  // not on the bar: ignored
    EXPECT_FALSE(tabBar->selectedItem());
}

TEST(BarItems, ImageOnlyItemsGoByTheirAccessibilityLabel) {
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(10, 10), false, 1);
    auto arrow = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    auto item = make<UIBarButtonItem>(&UIBarButtonItem::initWithImage, arrow.get(),
                                      UIBarButtonItemStylePlain, nullptr, nullptr);
    EXPECT_EQ(text(item->displayTitle()), "image");
    item->setAccessibilityLabel(NS("Back"));
    EXPECT_EQ(text(item->displayTitle()), "Back");
    // A title still comes first.
    item->setTitle(NS("Return"));
    EXPECT_EQ(text(item->displayTitle()), "Return");
}

// The platform's own icons of the Search and Favorites system items: a glass and a star, lit
// when selected; other items without an image show their title alone.
TEST(TabBarIcons, SearchAndFavoritesItemsDrawTheirIconsLitWhenSelected) {
    auto bar = make<UITabBar>(&UITabBar::initWithFrame, CGRectMake(0, 0, 300, 49));
    auto search =
        make<UITabBarItem>(&UITabBarItem::initWithTabBarSystemItem, UITabBarSystemItemSearch, 1);
    auto favorites =
        make<UITabBarItem>(&UITabBarItem::initWithTabBarSystemItem, UITabBarSystemItemFavorites, 2);
    auto more =
        make<UITabBarItem>(&UITabBarItem::initWithTabBarSystemItem, UITabBarSystemItemMore, 3);
    bar->setItems(NSArray::arrayWithObjects({search.get(), favorites.get(), more.get()}));
    bar->setSelectedItem(search);
    auto shot = UIViewRenderImage(bar, 1);
    ASSERT_TRUE(shot);
    // Each slot is 100 wide; the icon box is 30 x 30 from y 4, centred.
    RGBA ring = pixelAt(shot, 55, 17);  // on the glass's ring, right of its centre
    EXPECT_GT(ring.b, ring.r + 60) << ring;
    RGBA middle = pixelAt(shot, 35 + 12, 16);  // inside the ring
    EXPECT_LT(middle.b, 110) << middle;
    RGBA star = pixelAt(shot, 150, 20);
    EXPECT_GT(star.r, 90) << star;
    EXPECT_LT(std::abs(star.r - star.b), 20) << star;
    RGBA beside = pixelAt(shot, 136, 6);  // the star's box corner: the bar
    EXPECT_LT(beside.r, 80) << beside;
    RGBA none = pixelAt(shot, 250, 20);  // "More" draws no icon
    EXPECT_LT(none.r, 80) << none;

    // Selected, the star lights up too.
    bar->setSelectedItem(favorites);
    auto lit = UIViewRenderImage(bar, 1);
    RGBA litStar = pixelAt(lit, 150, 20);
    EXPECT_GT(litStar.b, litStar.r + 60) << litStar;
    RGBA unlitRing = pixelAt(lit, 55, 17);
    EXPECT_LT(std::abs(unlitRing.r - unlitRing.b), 20) << unlitRing;
}

TEST(BarSystemItems, PicturesFollowTheScreenOfEachTest) {
    auto refresh = [] {
        return make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                     UIBarButtonSystemItemRefresh, nullptr, nullptr);
    };
    ASSERT_TRUE(refresh()->systemImage());
    EXPECT_FLOAT_EQ(refresh()->systemImage()->scale(), 1);
    resetProcessWideInstances();  // the next test runs on the high-resolution screen
    UIScreen::mainScreen()->setScale(2);
    ASSERT_TRUE(refresh()->systemImage());
    EXPECT_FLOAT_EQ(refresh()->systemImage()->scale(), 2);
}
