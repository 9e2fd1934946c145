// The launcher on the manual clock: pages and prompt, adding, holding to edit, dragging within
// and across pages with overflow and edge flips, taps, removal, badges, archiving, the
// spotlight (its taps and its pixels) and the degenerate sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSKeyedArchiver.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIImage.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITouchScript.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/RunLoopTesting.h"
#include "ui/style/DZLabel.h"
#include "ui/style/DZPageControl.h"
#include "ui/table/DZLauncherView.h"

namespace {

class LauncherRecorder : public NSObject, public DZLauncherViewDelegate {
    NS_OBJECT(LauncherRecorder, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"launcherView:didAddItem:", "launcherView:didRemoveItem:",
                      "launcherView:didMoveItem:", "launcherView:didSelectItem:",
                      "launcherViewDidBeginEditing:", "launcherViewDidEndEditing:"});
    }

public:
    void launcherViewDidAddItem(DZLauncherView*, DZLauncherItem* i) override { log("add", i); }
    void launcherViewDidRemoveItem(DZLauncherView*, DZLauncherItem* i) override {
        log("remove", i);
    }
    void launcherViewDidMoveItem(DZLauncherView*, DZLauncherItem* i) override { log("move", i); }
    void launcherViewDidSelectItem(DZLauncherView*, DZLauncherItem* i) override {
        log("select", i);
    }
    void launcherViewDidBeginEditing(DZLauncherView*) override { events.push_back("begin"); }
    void launcherViewDidEndEditing(DZLauncherView*) override { events.push_back("end"); }
    void log(const char* what, DZLauncherItem* item) {
        events.push_back(std::string(what) + " " + item->title()->utf8());
    }
    std::vector<std::string> events;
};

Ref<DZLauncherItem> item(int n, bool withURL = true) {
    auto title = NSString::stringWithFormat(NS("Icon %d"), n);
    auto url = withURL ? NSString::stringWithFormat(NS("app://icon/%d"), n) : nullptr;
    return make<DZLauncherItem>(
        static_cast<bool (DZLauncherItem::*)(NSString*, NSString*, NSString*, bool)>(
            &DZLauncherItem::initWithTitle),
        title.get(), static_cast<NSString*>(nullptr), url.get(), true);
}

class Launchers : public ::testing::Test {
protected:
    void SetUp() override {
        window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
        window->makeKeyAndVisible();
        launcher = make<DZLauncherView>(&DZLauncherView::initWithFrame, CGRectMake(0, 0, 320, 480));
        recorder = make<LauncherRecorder>();
        launcher->setDelegate(recorder.get());
        window->addSubview(launcher);
        fingers = UITouchScript::scriptWithWindow(window.get());
    }
    void TearDown() override {
        launcher->removeFromSuperview();
        for (auto& v : std::vector<Ref<UIView>>(window->subviewList()))
            v->removeFromSuperview();
    }
    // Pages of the given sizes, icons numbered from 1 across pages.
    void fill(std::vector<int> sizes) {
        auto pages = NSMutableArray::array();
        int n = 1;
        for (int size : sizes) {
            auto page = NSMutableArray::array();
            for (int i = 0; i < size; ++i)
                page->addObject(item(n++));
            pages->addObject(page);
        }
        launcher->setPages(pages);
        launcher->layoutIfNeeded();
    }
    std::vector<int> pageSizes() {
        std::vector<int> sizes;
        for (NSObject* page : *launcher->pages())
            sizes.push_back(static_cast<int>(static_cast<NSArray*>(page)->count()));
        return sizes;
    }
    std::string titleAt(int page, int index) {
        auto p = cast<NSArray>(launcher->pages()->objectAtIndex(static_cast<NSUInteger>(page)));
        return cast<DZLauncherItem>(p->objectAtIndex(static_cast<NSUInteger>(index)))
            ->title()
            ->utf8();
    }
    CGPoint centreOf(DZLauncherItem* it) {
        auto button = launcher->buttonForItem(it);
        CGRect f = button->superview()->convertRect(button->frame(), window.get());
        return CGPointMake(CGRectGetMidX(f), CGRectGetMidY(f));
    }
    Ref<DZLauncherItem> itemAt(int page, int index) {
        auto p = cast<NSArray>(launcher->pages()->objectAtIndex(static_cast<NSUInteger>(page)));
        return cast<DZLauncherItem>(p->objectAtIndex(static_cast<NSUInteger>(index)));
    }
    // Holds an icon for the editing time; the finger stays down.
    NSInteger holdIcon(DZLauncherItem* it) {
        auto f = fingers->down(centreOf(it));
        advanceRunLoop(1.01);
        return f;
    }

    ManualClockScope clock;
    Ref<UIWindow> window;
    Ref<DZLauncherView> launcher;
    Ref<LauncherRecorder> recorder;
    Ref<UITouchScript> fingers;
};

TEST_F(Launchers, LaysTwentyIconsOutOnThreePagesOfNine) {
    fill({9, 9, 2});
    EXPECT_EQ(launcher->rowCount(), 3);  // 480 / round(460 / 3)
    auto b = launcher->buttonForItem(itemAt(0, 4));
    EXPECT_TRUE(CGRectEqualToRect(b->frame(), CGRectMake(107, 153, 107, 153)));
    auto c = launcher->buttonForItem(itemAt(1, 0));
    EXPECT_EQ(c->frame().origin.x, 320);
    EXPECT_EQ(launcher->scrollView()->contentSize().width, 960);
    EXPECT_EQ(launcher->pager()->numberOfPages(), 3);
    EXPECT_TRUE(CGRectEqualToRect(launcher->pager()->frame(), CGRectMake(0, 460, 320, 20)));
}

TEST_F(Launchers, APromptShowsOnASecondPageOnlyWithOnePage) {
    launcher->setPrompt(NS("Hold an icon to arrange"));
    fill({4});
    auto prompt = as<UILabel>(launcher->scrollView()->viewWithTag(DZLauncherView::kPromptTag));
    ASSERT_TRUE(prompt);
    EXPECT_TRUE(CGRectEqualToRect(prompt->frame(), CGRectMake(360, 40, 240, 380)));
    EXPECT_EQ(launcher->pager()->numberOfPages(), 2);
    launcher->beginEditing();
    EXPECT_EQ(launcher->scrollView()->viewWithTag(DZLauncherView::kPromptTag), nullptr);
    launcher->endEditing();
    fill({9, 1});
    EXPECT_EQ(launcher->scrollView()->viewWithTag(DZLauncherView::kPromptTag), nullptr);
}

TEST_F(Launchers, AddingSkipsAPresentURLAndFillsTheFirstPageWithRoom) {
    fill({9, 8});
    launcher->addItem(item(3), false);  // same URL as icon 3
    EXPECT_EQ(pageSizes(), (std::vector<int>{9, 8}));
    launcher->addItem(item(50), false);
    EXPECT_EQ(pageSizes(), (std::vector<int>{9, 9}));
    EXPECT_EQ(titleAt(1, 8), "Icon 50");
    launcher->addItem(item(51), false);  // no room anywhere: a new page
    EXPECT_EQ(pageSizes(), (std::vector<int>{9, 9, 1}));
    EXPECT_EQ(launcher->currentPageIndex(), 2);  // scrolled to it
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"add Icon 50", "add Icon 51"}));
    EXPECT_EQ(launcher->buttonForItem(itemAt(2, 0))->frame().origin.x, 640);
    EXPECT_EQ(itemAt(2, 0)->launcher(), launcher);
}

TEST_F(Launchers, HoldingAnIconForASecondStartsEditingAndADrag) {
    fill({5});
    auto icon = itemAt(0, 1);
    auto f = fingers->down(centreOf(icon));
    advanceRunLoop(0.99);
    EXPECT_FALSE(launcher->editing());
    advanceRunLoop(0.02);
    ASSERT_TRUE(launcher->editing());
    auto button = launcher->dragButton();
    ASSERT_TRUE(button);
    EXPECT_EQ(button->item(), icon);
    advanceRunLoop(0.3);
    EXPECT_FLOAT_EQ(button->transform().a, DZLauncherButton::kDragScale);
    EXPECT_FLOAT_EQ(button->alpha(), DZLauncherButton::kDragAlpha);
    EXPECT_EQ(pageSizes(), (std::vector<int>{5, 0}));  // one empty page offered
    // Deletable icons show a close button; the others wobble.
    EXPECT_TRUE(launcher->buttonForItem(itemAt(0, 0))->closeButton());
    CGAffineTransform t = launcher->buttonForItem(itemAt(0, 0))->transform();
    EXPECT_NE(t.b, 0);
    advanceRunLoop(0.07);
    EXPECT_FLOAT_EQ(launcher->buttonForItem(itemAt(0, 0))->transform().b, -t.b);
    fingers->up(f);
    advanceRunLoop(0.3);
    EXPECT_FALSE(button->dragging());
    EXPECT_EQ(button->superview(), Ref<UIView>(launcher->scrollView().get()));
    launcher->endEditing();
    advanceRunLoop(0.4);
    EXPECT_EQ(pageSizes(), (std::vector<int>{5}));
    EXPECT_FALSE(launcher->buttonForItem(itemAt(0, 0))->editing());
    EXPECT_TRUE(CGAffineTransformIsIdentity(launcher->buttonForItem(itemAt(0, 0))->transform()));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"begin", "end"}));
    // However the finger goes, lifted or cancelled as the app leaves, the icon drops and the
    // pages scroll again.
    for (bool leaves : {false, true}) {
        f = holdIcon(icon.get());
        auto app = UIApplication::sharedApplication();
        if (leaves) {
            app->performEnterBackground();
            app->performEnterForeground();
        } else {
            fingers->up(f);
        }
        advanceRunLoop(0.3);
        EXPECT_FALSE(launcher->dragButton()) << leaves;
        EXPECT_TRUE(launcher->scrollView()->isScrollEnabled()) << leaves;
        launcher->endEditing();
        advanceRunLoop(0.4);
    }
}

TEST_F(Launchers, TheWobbleRunsAsOneAnimationAfterAnother) {
    fill({3});
    // Long enough for any animation an earlier test left running to end: the counts below are
    // taken against what else is animating.
    advanceRunLoop(30);
    NSUInteger idle = UIView::runningAnimationCount();
    auto first = launcher->buttonForItem(itemAt(0, 0));
    auto second = launcher->buttonForItem(itemAt(0, 1));
    launcher->beginEditing();
    // Every icon turns inside one animation of 0.07 s, whose end starts the next.
    float before = first->transform().b;
    EXPECT_NEAR(std::fabs(before), std::sin(DZLauncherView::kWobbleRadians), 1e-4);
    EXPECT_FLOAT_EQ(second->transform().b, -before);  // neighbours turn the other way
    advanceRunLoop(0.069);
    EXPECT_FLOAT_EQ(first->transform().b, before);
    advanceRunLoop(0.002);
    EXPECT_FLOAT_EQ(first->transform().b, -before);
    advanceRunLoop(0.5);  // what editing itself animates is over by now
    EXPECT_EQ(UIView::runningAnimationCount(), idle + 1);

    // With animations off the steps go on, on the clock, without spinning.
    UIView::setAnimationsEnabled(false);
    advanceRunLoop(0.07);
    float now = first->transform().b;
    advanceRunLoop(0.07);
    EXPECT_FLOAT_EQ(first->transform().b, -now);
    EXPECT_EQ(UIView::runningAnimationCount(), idle);
    UIView::setAnimationsEnabled(true);
    advanceRunLoop(0.07);
    EXPECT_EQ(UIView::runningAnimationCount(), idle + 1);

    // Off screen the wobble stops; back on screen it resumes.
    launcher->removeFromSuperview();
    advanceRunLoop(0.2);
    EXPECT_EQ(UIView::runningAnimationCount(), idle);
    window->addSubview(launcher);
    EXPECT_EQ(UIView::runningAnimationCount(), idle + 1);

    launcher->endEditing();
    advanceRunLoop(0.5);
    EXPECT_EQ(UIView::runningAnimationCount(), idle);
    EXPECT_TRUE(CGAffineTransformIsIdentity(first->transform()));
    advanceRunLoop(0.2);
    EXPECT_TRUE(CGAffineTransformIsIdentity(first->transform()));
}

TEST_F(Launchers, DraggingMovesTheIconAndReportsOnlyRealMoves) {
    fill({6});
    auto icon = itemAt(0, 0);
    // Slots are taken by where the finger is: near the top left is the first.
    auto f = fingers->down(CGPointMake(20, 20));
    advanceRunLoop(1.01);
    ASSERT_TRUE(launcher->editing());
    fingers->move(f, CGPointMake(25, 30));  // still its own slot
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"begin"}));
    // To the slot of the third icon (column 2, row 0).
    fingers->move(f, CGPointMake(2 * 107 + 10, 20));
    EXPECT_EQ(titleAt(0, 2), "Icon 1");
    EXPECT_EQ(titleAt(0, 0), "Icon 2");
    EXPECT_EQ(recorder->events.back(), "move Icon 1");
    fingers->up(f);
    advanceRunLoop(0.5);
    EXPECT_FLOAT_EQ(launcher->buttonForItem(icon)->center().x, 214 + 107 / 2.0f);
}

// An icon dragged onto the middle of another takes that one's place (not the slot past the
// corner nearest the finger, which from the last row is the end of the page).
TEST_F(Launchers, AnIconDroppedOnAnotherTakesItsPlace) {
    fill({9});
    auto icon = itemAt(0, 1);
    auto f = holdIcon(icon);
    ASSERT_TRUE(launcher->editing());
    CGPoint target = centreOf(itemAt(0, 6));  // column 0, row 2
    fingers->move(f, CGPointMake(target.x, target.y - 40));
    fingers->move(f, target);
    EXPECT_EQ(titleAt(0, 6), "Icon 2");
    EXPECT_EQ(titleAt(0, 5), "Icon 7");
    fingers->up(f);
    advanceRunLoop(0.5);
    EXPECT_EQ(titleAt(0, 6), "Icon 2");
    EXPECT_FLOAT_EQ(launcher->buttonForItem(icon)->center().x, target.x);
    EXPECT_FLOAT_EQ(launcher->buttonForItem(icon)->center().y, target.y);
}

TEST_F(Launchers, DropsOnAFullPageCascadeToTheNextPages) {
    fill({9, 9, 3});
    launcher->beginEditing();
    launcher->setCurrentPageIndex(2);
    auto icon = itemAt(2, 0);
    auto f = fingers->down(centreOf(icon));
    ASSERT_EQ(launcher->dragButton()->item(), icon);
    // Back to the first page by its left edge, held half a second.
    fingers->move(f, CGPointMake(10, 200));
    advanceRunLoop(0.51);
    EXPECT_EQ(launcher->currentPageIndex(), 1);
    advanceRunLoop(0.31);
    fingers->move(f, CGPointMake(12, 200));
    // Page 1 is full: its last icon went to the front of page 2.
    EXPECT_EQ(pageSizes(), (std::vector<int>{9, 9, 3, 0}));
    EXPECT_EQ(titleAt(1, 3), "Icon 19");
    EXPECT_EQ(titleAt(2, 0), "Icon 18");
    fingers->up(f);
    advanceRunLoop(0.3);
    launcher->endEditing();
    EXPECT_EQ(pageSizes(), (std::vector<int>{9, 9, 3}));
}

TEST_F(Launchers, OverflowMakesATrailingPage) {
    fill({9, 9});
    launcher->beginEditing();
    launcher->setCurrentPageIndex(2);  // the empty editing page
    auto icon = itemAt(1, 8);
    launcher->setCurrentPageIndex(1);
    auto f = fingers->down(centreOf(icon));
    fingers->move(f, CGPointMake(20, 20));  // to the first slot of the full page 1: no move
    fingers->up(f);
    advanceRunLoop(0.3);
    // From page 1 into full page 0 by its left edge.
    icon = itemAt(1, 0);
    f = fingers->down(centreOf(icon));
    fingers->move(f, CGPointMake(5, 20));
    advanceRunLoop(0.85);
    EXPECT_EQ(launcher->currentPageIndex(), 0);
    fingers->move(f, CGPointMake(20, 20));
    EXPECT_EQ(pageSizes(), (std::vector<int>{9, 9, 0}));
    EXPECT_EQ(titleAt(0, 0), icon->title()->utf8());
    EXPECT_EQ(titleAt(1, 0), "Icon 9");
    fingers->up(f);
}

TEST_F(Launchers, TheEdgesBeyondTheFirstAndLastPagesNeverFlip) {
    fill({3});
    launcher->beginEditing();
    auto icon = itemAt(0, 1);
    auto f = fingers->down(centreOf(icon));
    fingers->move(f, CGPointMake(2, 200));
    advanceRunLoop(1);
    EXPECT_EQ(launcher->currentPageIndex(), 0);
    fingers->move(f, CGPointMake(318, 200));
    advanceRunLoop(0.6);
    EXPECT_EQ(launcher->currentPageIndex(), 1);  // the editing page
    advanceRunLoop(0.4);
    fingers->move(f, CGPointMake(319, 200));
    advanceRunLoop(1);
    EXPECT_EQ(launcher->currentPageIndex(), 1);  // no page after the last
    fingers->up(f);
}

TEST_F(Launchers, ATapSelectsForAMomentAndReportsOnlyItemsWithAURL) {
    auto pages = NSMutableArray::array();
    auto page = NSMutableArray::array();
    page->addObject(item(1));
    page->addObject(item(2, false));
    pages->addObject(page);
    launcher->setPages(pages);
    launcher->layoutIfNeeded();
    auto button = launcher->buttonForItem(itemAt(0, 1));
    fingers->tap(centreOf(itemAt(0, 1)));
    EXPECT_TRUE(button->isSelected());
    advanceRunLoop(0.31);
    EXPECT_FALSE(button->isSelected());
    EXPECT_TRUE(recorder->events.empty());
    fingers->tap(centreOf(itemAt(0, 0)));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"select Icon 1"}));
    advanceRunLoop(2);
    EXPECT_FALSE(launcher->editing());  // a tap is no hold
}

TEST_F(Launchers, ClosingAnIconRemovesItAndEndingEditingDropsEmptyPages) {
    fill({2, 1, 1});
    launcher->beginEditing();
    auto lone = itemAt(1, 0);
    auto other = itemAt(2, 0);
    launcher->buttonForItem(lone)->closeButton()->sendActionsForControlEvents(
        UIControlEventTouchUpInside);
    launcher->removeItem(other, false);
    EXPECT_EQ(pageSizes(), (std::vector<int>{2, 0, 0, 0}));
    EXPECT_EQ(lone->launcher(), nullptr);
    advanceRunLoop(0.3);
    launcher->endEditing();
    EXPECT_EQ(pageSizes(), (std::vector<int>{2}));
    EXPECT_EQ(launcher->pager()->numberOfPages(), 1);
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"begin", "remove Icon 3", "remove Icon 4", "end"}));
    // An icon that may not be deleted shows no close button.
    auto fixed =
        make<DZLauncherItem>(static_cast<bool (DZLauncherItem::*)(NSString*, NSString*, NSString*)>(
                                 &DZLauncherItem::initWithTitle),
                             NS("Fixed"), static_cast<NSString*>(nullptr), NS("app://fixed"));
    launcher->addItem(fixed, false);
    launcher->beginEditing();
    EXPECT_EQ(launcher->buttonForItem(fixed)->closeButton(), nullptr);
    launcher->endEditing();
}

TEST_F(Launchers, TheHoldTimerDoesNothingOnceItsButtonIsGone) {
    fill({3});
    auto icon = itemAt(0, 0);
    auto f = fingers->down(centreOf(icon));
    fingers->cancel();
    (void)f;
    launcher->setPages(NSArray::array());  // every button goes
    launcher->layoutIfNeeded();
    advanceRunLoop(1.5);
    EXPECT_FALSE(launcher->editing());
}

TEST_F(Launchers, ZeroSizesGiveNoRowsAndMakeNoPagesForever) {
    auto flat = make<DZLauncherView>(&DZLauncherView::initWithFrame, CGRectMake(0, 0, 320, 20));
    EXPECT_EQ(flat->rowCount(), 0);
    flat->addItem(item(1), false);
    flat->addItem(item(2), false);
    flat->layoutIfNeeded();
    EXPECT_LE(flat->pages()->count(), 3u);
    flat->setColumnCount(0);
    flat->layoutIfNeeded();
    flat->beginEditing();
    flat->endEditing();
    EXPECT_LE(flat->pages()->count(), 3u);
}

TEST(LauncherItems, BadgesAndArchives) {
    auto it = item(7);
    auto button = make<DZLauncherButton>(&DZLauncherButton::initWithItem, it.get());
    EXPECT_EQ(button->badge(), nullptr);  // 0: no label
    it->setBadgeNumber(-1);
    button->updateBadge();
    ASSERT_TRUE(button->badge());
    EXPECT_TRUE(button->badge()->isHidden());
    it->setBadgeNumber(5);
    button->updateBadge();
    EXPECT_TRUE(button->badge()->text()->isEqualToString(NS("5")));
    EXPECT_FALSE(button->badge()->isHidden());
    it->setBadgeNumber(100);
    button->updateBadge();
    EXPECT_TRUE(button->badge()->text()->isEqualToString(NS("99+")));
    EXPECT_TRUE(button->titleForState(UIControlStateNormal)->isEqualToString(NS("Icon 7")));

    it->setStyle(NS("launcherButton:"));
    auto data = NSKeyedArchiver::archivedDataWithRootObject(it);
    auto back = as<DZLauncherItem>(NSKeyedUnarchiver::unarchiveObjectWithData(data));
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->title()->isEqualToString(NS("Icon 7")));
    EXPECT_TRUE(back->URL()->isEqualToString(NS("app://icon/7")));
    EXPECT_TRUE(back->style()->isEqualToString(NS("launcherButton:")));
    EXPECT_TRUE(back->canDelete());
    EXPECT_EQ(back->badgeNumber(), 0);
    EXPECT_EQ(back->launcher(), nullptr);
}

TEST_F(Launchers, TheSpotlightDimsAroundAClearHoleAndPassesATapInItToTheIcon) {
    fill({6});
    auto icon = itemAt(0, 4);
    launcher->beginHighlightItem(icon, NS("Your saved searches live here"));
    advanceRunLoop(1);
    auto spot = launcher->highlightView();
    ASSERT_TRUE(spot);
    EXPECT_EQ(spot->superview(), Ref<UIView>(window.get()));
    CGRect hole = spot->highlightRect();
    // The button's frame inset by 8 at the top, 2 at the sides, grown by 4 at the bottom.
    EXPECT_TRUE(CGRectEqualToRect(hole, CGRectMake(109, 161, 103, 149)));
    EXPECT_GT(spot->textLabel()->frame().origin.y, hole.origin.y + hole.size.height);

    auto image = UIViewRenderImage(spot, 1);
    RGBA outside = pixelAt(image.get(), 20, 20);
    RGBA centre = pixelAt(image.get(), static_cast<int>(CGRectGetMidX(hole)),
                          static_cast<int>(CGRectGetMidY(hole)));
    EXPECT_GT(outside.a, 150);  // dark
    EXPECT_LT(outside.r, 30);
    EXPECT_EQ(centre.a, 0);  // clear

    fingers->tap(CGPointMake(CGRectGetMidX(hole), CGRectGetMidY(hole)));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"select Icon 5"}));
    advanceRunLoop(0.5);
    EXPECT_EQ(launcher->highlightView(), nullptr);
    EXPECT_EQ(spot->superview(), nullptr);

    // A tap elsewhere only ends it.
    launcher->beginHighlightItem(icon, NS("Again"));
    advanceRunLoop(1);
    fingers->tap(CGPointMake(20, 20));
    advanceRunLoop(0.5);
    EXPECT_EQ(recorder->events.size(), 1u);
    EXPECT_EQ(launcher->highlightView(), nullptr);
}

}  // namespace
