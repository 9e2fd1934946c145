#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UIWindow.h"
#include "tools/shell/ShellPictureNames.h"
#include "tools/shell/ShellScreen.h"
#include "ui/style/DZImageView.h"

namespace {

// Counts the taps of the buttons it is the target of, by title.
class TapCounter : public NSObject, public UIAlertViewDelegate {
    NS_OBJECT(TapCounter, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("tapped:", &TapCounter::tapped);
        c.implements({"alertView:clickedButtonAtIndex:"});
    }
    void tapped(NSObject* sender) { taps.push_back(as<UIButton>(sender)->currentTitle()->utf8()); }
    void alertViewClickedButtonAtIndex(UIAlertView*, NSInteger index) override {
        clickedIndex = index;
    }
    std::vector<std::string> taps;
    NSInteger clickedIndex = -1;
};

// Where the fingers that lift from it were, in its own coordinates; it keeps the touches to
// itself.
template <class Base>
class Lifts : public Base {
public:
    void touchesEnded(NSSet* touches, UIEvent*) override {
        auto touch = as<UITouch>(touches->anyObject());
        if (touch) points.push_back(touch->locationInView(this));
    }
    std::vector<CGPoint> points;
};

class FingerPad : public Lifts<UIView> {
    NS_OBJECT(FingerPad, UIView)
};

class FingerImage : public Lifts<DZImageView> {
    NS_OBJECT(FingerImage, DZImageView)
};

// A field that lays its text out nowhere (a token field while a token is selected).
class NoRoomField : public UITextField {
    NS_OBJECT(NoRoomField, UITextField)
    CGRect textRectForBounds(CGRect) override { return CGRectMake(-10, 0, 0, 0); }
    CGRect editingRectForBounds(CGRect) override { return CGRectMake(-10, 0, 0, 0); }
};

class ShellScreenTest : public testing::Test {
protected:
    void SetUp() override {
        window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
        window->setHidden(false);
        counter = make<TapCounter>();
    }

    Ref<UIButton> button(const char* title, CGRect frame, UIView* parent = nullptr) {
        auto b = UIButton::buttonWithType(UIButtonTypeRoundedRect);
        b->setFrame(frame);
        b->setTitle(NSString::fromUTF8(title), UIControlStateNormal);
        b->addTarget(counter, Selector::named("tapped:"), UIControlEventTouchUpInside);
        (parent ? parent : window.get())->addSubview(b);
        return b;
    }
    Ref<UILabel> label(const char* text, CGRect frame) {
        auto l = make<UILabel>(&UILabel::initWithFrame, frame);
        l->setText(NSString::fromUTF8(text));
        window->addSubview(l);
        return l;
    }
    // A picture of 10 points square made from the file `name` (nil: made in memory).
    static Ref<UIImage> picture(const char* name) {
        UIGraphicsBeginImageContextWithOptions(CGSizeMake(10, 10), false, 1);
        auto image = UIGraphicsGetImageFromCurrentImageContext();
        UIGraphicsEndImageContext();
        if (name) image->setSourceName(NSString::fromUTF8(name));
        return image;
    }
    // A plain table 200 points high at the window's top, its rows laid out.
    Ref<UITableView> table(UITableViewDataSource* source, UITableViewDelegate* delegate = nullptr) {
        auto t = alloc<UITableView>();
        t->initWithFrame(CGRectMake(0, 0, 320, 200), UITableViewStylePlain);
        t->setDataSource(source);
        if (delegate) t->setDelegate(delegate);
        window->addSubview(t);
        t->layoutIfNeeded();
        return t;
    }
    Ref<UITextField> field(const char* placeholder, CGRect frame) {
        auto f = make<UITextField>(&UITextField::initWithFrame, frame);
        f->setPlaceholder(NSString::fromUTF8(placeholder));
        window->addSubview(f);
        return f;
    }

    Ref<UIWindow> window;
    Ref<TapCounter> counter;
};

const char* kRule = "------------------------------------------------------------\n";

}  // namespace

TEST_F(ShellScreenTest, NumbersFollowThePrintedOrderTopToBottom) {
    // Added bottom first: the order on screen is what counts, not the order of the tree.
    button("Bottom", CGRectMake(20, 400, 280, 37));
    field("Your name", CGRectMake(100, 100, 200, 31));
    label("Name", CGRectMake(20, 100, 80, 31));
    button("Top", CGRectMake(20, 20, 280, 37));
    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.text(), std::string(kRule) +
                                 "[1] (Top)\n"
                                 "Name   [2] [(Your name)]\n"
                                 "[3] (Bottom)\n" +
                                 kRule);
    ASSERT_EQ(screen.elements().size(), 3u);
    EXPECT_EQ(screen.elements()[0].kind, ShellElement::Button);
    EXPECT_EQ(screen.elements()[1].kind, ShellElement::TextField);
    EXPECT_EQ(screen.elementNumbered(3)->label, "Bottom");
    EXPECT_EQ(screen.elementNumbered(0), nullptr);
    EXPECT_EQ(screen.elementNumbered(4), nullptr);

    ASSERT_TRUE(screen.elementNumbered(3)->tap());
    EXPECT_EQ(counter->taps, std::vector<std::string>{"Bottom"});
}

TEST_F(ShellScreenTest, OnlyWhatAPersonCouldSeeAndTouchIsShownAndNumbered) {
    button("Hidden", CGRectMake(20, 20, 280, 37))->setHidden(true);
    button("Faded", CGRectMake(20, 60, 280, 37))->setAlpha(0);
    button("Off screen", CGRectMake(20, 600, 280, 37));
    auto clip = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 100, 320, 50));
    clip->setClipsToBounds(true);
    window->addSubview(clip);
    button("Clipped", CGRectMake(20, 60, 280, 37), clip);  // below the clipping box
    button("Disabled", CGRectMake(20, 200, 280, 37))->setEnabled(false);
    auto inert = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 250, 320, 50));
    inert->setUserInteractionEnabled(false);
    window->addSubview(inert);
    button("Inert", CGRectMake(20, 5, 280, 37), inert);
    button("Live", CGRectMake(20, 320, 280, 37));

    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.text(), std::string(kRule) +
                                 "(Disabled) [disabled]\n"
                                 "(Inert)\n"
                                 "[1] (Live)\n" +
                                 kRule);
    EXPECT_EQ(screen.elements().size(), 1u);
}

TEST_F(ShellScreenTest, AViewLaidOverAControlTakesItsTouchesSoItIsNeitherNumberedNorTapped) {
    auto covered = button("Covered", CGRectMake(20, 20, 280, 37));
    button("Beside", CGRectMake(20, 100, 280, 37));
    auto under = button("Under a see-through view", CGRectMake(20, 200, 280, 37));
    // An overlay over the first button only (as a full-screen ad or a dark screen lies over
    // what is below it), and a view that lets touches through over the third.
    auto overlay = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 80));
    window->addSubview(overlay);
    auto glass = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 180, 320, 80));
    glass->setUserInteractionEnabled(false);
    window->addSubview(glass);

    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.text(), std::string(kRule) +
                                 "(Covered)\n"
                                 "[1] (Beside)\n"
                                 "[2] (Under a see-through view)\n" +
                                 kRule);
    EXPECT_EQ(screen.elementLabelled("Covered"), nullptr);
    ASSERT_NE(screen.elementLabelled("Under a see-through view"), nullptr);
    EXPECT_TRUE(ShellScreen::isReachable(*screen.elementLabelled("Beside")));

    // A view laid over a control after the screen was printed takes the touch from then on.
    auto late = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 90, 320, 60));
    window->addSubview(late);
    EXPECT_FALSE(ShellScreen::isReachable(*screen.elementLabelled("Beside")));
    overlay->removeFromSuperview();
    auto uncovered = ShellScreen::captureWindow(window);
    ASSERT_NE(uncovered.elementLabelled("Covered"), nullptr);
    EXPECT_EQ(uncovered.elementLabelled("Beside"), nullptr);
    EXPECT_TRUE(uncovered.elementLabelled("Covered")->tap());
    EXPECT_EQ(counter->taps, std::vector<std::string>{"Covered"});
    (void)covered;
    (void)under;
}

TEST_F(ShellScreenTest, PicturedButtonsGoByTheirLabelOrPictureNameAndLabelsPrintWhole) {
    auto reply = UIButton::buttonWithType(UIButtonTypeCustom);
    reply->setFrame(CGRectMake(20, 20, 40, 40));
    reply->setImage(picture("toolbar_reply.png"), UIControlStateNormal);
    window->addSubview(reply);
    auto star = UIButton::buttonWithType(UIButtonTypeCustom);
    star->setFrame(CGRectMake(20, 80, 40, 40));
    star->setImage(picture("staroff32.png"), UIControlStateNormal);
    star->setAccessibilityLabel(NS("Watch"));
    window->addSubview(star);
    auto photo = UIButton::buttonWithType(UIButtonTypeCustom);
    photo->setFrame(CGRectMake(20, 140, 40, 40));
    photo->setBackgroundImage(picture("photo_1.jpg"), UIControlStateNormal);
    window->addSubview(photo);
    // Far narrower than its text: the picture cuts it, the text shows it whole.
    label("Maximum Price", CGRectMake(20, 200, 40, 20));
    auto lines =
        label("The first line of a long note that the picture cuts", CGRectMake(20, 240, 100, 40));
    lines->setNumberOfLines(2);

    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.text(), std::string(kRule) +
                                 "[1] (Reply)\n"
                                 "[2] (Watch)\n"
                                 "[3] (photo_1.jpg)\n"
                                 "Maximum Price\n"
                                 "The first line of a long note that the picture cuts\n" +
                                 kRule);
    EXPECT_NE(screen.elementLabelled("Reply"), nullptr);
    EXPECT_NE(screen.elementLabelled("Watch"), nullptr);
}

// The app's picture-only controls have no labels: they go by what their pictures stand for, a
// star that is filled prints starred, a photo the app made fills its button, and pictures print
// without their file type.
TEST_F(ShellScreenTest, PicturesThatStandForWordsGoByWhatTheyDo) {
    auto pictured = [&](const char* name, CGRect frame, bool background = false) {
        auto b = UIButton::buttonWithType(UIButtonTypeCustom);
        b->setFrame(frame);
        if (background)
            b->setBackgroundImage(picture(name), UIControlStateNormal);
        else
            b->setImage(picture(name), UIControlStateNormal);
        window->addSubview(b);
        return b;
    };
    pictured("toolbar_reply.png", CGRectMake(10, 10, 40, 40));
    pictured("staroff32.png", CGRectMake(60, 10, 40, 40));
    pictured("toolbar_web.png", CGRectMake(110, 10, 40, 40));
    pictured("toolbar_share.png", CGRectMake(160, 10, 40, 40));
    pictured("staron32.png", CGRectMake(10, 60, 40, 40));
    // The photo took the place of the button's words.
    pictured(nullptr, CGRectMake(60, 60, 40, 40), /*background=*/true)
        ->setTitle(NS(""), UIControlStateNormal);
    // A picture made in memory on a button that never had words says no more than that.
    pictured(nullptr, CGRectMake(110, 60, 40, 40), /*background=*/true);
    auto arrows =
        make<UISegmentedControl>(&UISegmentedControl::initWithFrame, CGRectMake(10, 110, 90, 30));
    arrows->insertSegmentWithImage(picture("triangelup.png"), 0, false);
    arrows->insertSegmentWithImage(picture("triangeldown.png"), 1, false);
    window->addSubview(arrows);
    auto bar = make<UIToolbar>(&UIToolbar::initWithFrame, CGRectMake(0, 160, 320, 44));
    auto item = [&](const char* name) {
        auto i = alloc<UIBarButtonItem>();
        i->initWithImage(picture(name), UIBarButtonItemStylePlain, counter,
                         Selector::named("tapped:"));
        return i;
    };
    // A picture of the UI framework's goes by its name: the framework names its controls.
    bar->setItems(NSArray::arrayWithObjects({item("bundle://Dodiz20.bundle/images/backIcon.png"),
                                             item("toolbar_share.png"), item("staron32.png")}));
    window->addSubview(bar);
    auto tag = alloc<UIImageView>();
    tag->initWithImage(picture("pricetag.png"));
    tag->setFrame(CGRectMake(10, 220, 40, 20));
    window->addSubview(tag);

    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.text(), std::string(kRule) +
                                 "[1] (Reply)   [2] (Favorite)   [3] (Open in Browser)   "
                                 "[4] (Share)\n"
                                 "[5] (*Favorite*)   [6] (Photo)   [7] (image)\n"
                                 "[8] Previous | [9] Next\n"
                                 "[10] (backIcon)  [11] (Share)  [12] (*Favorite*)\n"
                                 "[image pricetag]\n" +
                                 kRule);
    EXPECT_EQ(screen.elementLabelled("Favorite")->number, 2);
    EXPECT_EQ(screen.elementLabelled("Open in Browser")->number, 3);
    EXPECT_EQ(screen.elementLabelled("Photo")->number, 6);
    EXPECT_EQ(screen.elementLabelled("Next")->number, 9);
    EXPECT_EQ(screen.elementLabelled("Share")->number, 4);
    // Each entry of the table counted as it named a control here.
    for (auto& entry : namedPictures())
        EXPECT_GT(timesSpoken(entry), 0u) << entry.picture;
}

// Pictures made in memory have no name: they show as pictures, unless their maker tells
// assistive technology there is nothing to read in them (the backdrop of a banner's words).
TEST_F(ShellScreenTest, PicturesMadeInMemoryShowUnlessTheirMakerHidesThem) {
    auto image = UIImage::imageWithSize(CGSizeMake(10, 10), 1);
    auto banner = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 100, 320, 50));
    window->addSubview(banner);
    auto background = alloc<UIImageView>();
    background->initWithImage(image.get());
    background->setFrame(banner->bounds());
    background->setAccessibilityElementsHidden(true);
    banner->addSubview(background);
    auto icon = alloc<UIImageView>();
    icon->initWithImage(image.get());
    icon->setFrame(CGRectMake(5, 5, 40, 40));
    banner->addSubview(icon);
    auto words = make<UILabel>(&UILabel::initWithFrame, CGRectMake(50, 15, 200, 20));
    words->setText(NS("App 101"));
    banner->addSubview(words);
    // An ad that is a picture and nothing else.
    auto ad = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 300, 320, 50));
    window->addSubview(ad);
    auto whole = alloc<UIImageView>();
    whole->initWithImage(image.get());
    whole->setFrame(ad->bounds());
    ad->addSubview(whole);
    // A named picture filling its view still goes by its name.
    auto tag = alloc<UIImageView>();
    tag->initWithImage(picture("pricetag.png"));
    tag->setFrame(CGRectMake(0, 0, 40, 20));
    auto holder = make<UIView>(&UIView::initWithFrame, CGRectMake(10, 200, 40, 20));
    holder->addSubview(tag);
    window->addSubview(holder);

    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.text(),
              std::string(kRule) + "[picture]   App 101\n[image pricetag]\n[picture]\n" + kRule);
}

// Large buttons without a title of their own, whose words are labels laid over them: a person
// taps the words, and finds the button by them.
TEST_F(ShellScreenTest, WordsLaidOverAButtonNameIt) {
    auto choose = UIButton::buttonWithType(UIButtonTypeCustom);
    choose->setFrame(CGRectMake(10, 16, 300, 68));
    choose->setAccessibilityLabel(NS("Choose Location"));
    window->addSubview(choose);
    label("Location", CGRectMake(24, 24, 272, 28));
    label("Press to select", CGRectMake(24, 54, 272, 22));
    label("Elsewhere", CGRectMake(24, 200, 272, 22));

    auto screen = ShellScreen::captureWindow(window);
    ASSERT_NE(screen.elementLabelled("Location"), nullptr);
    EXPECT_EQ(screen.elementLabelled("Location")->label, "Choose Location");
    EXPECT_EQ(screen.elementLabelled("location"), screen.elementLabelled("Choose Location"));
    EXPECT_EQ(screen.elementLabelled("Press to select"), screen.elementLabelled("Location"));
    // Words over nothing that takes touches name nothing.
    EXPECT_EQ(screen.elementLabelled("Elsewhere"), nullptr);
}

TEST_F(ShellScreenTest, LabelsMatchExactlyFirstThenInAnyCaseFromTheTop) {
    button("search", CGRectMake(20, 20, 280, 37));
    button("Search", CGRectMake(20, 100, 280, 37));
    button("Search", CGRectMake(20, 200, 280, 37));
    label("Watch this item", CGRectMake(20, 300, 180, 27));
    auto sw = make<UISwitch>(&UISwitch::initWithFrame, CGRectMake(221, 300, 79, 27));
    window->addSubview(sw);
    field("Your message", CGRectMake(20, 400, 280, 31));

    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.elementLabelled("Search")->number, 2);  // exact, the first from the top
    EXPECT_EQ(screen.elementLabelled("search")->number, 1);
    EXPECT_EQ(screen.elementLabelled("SEARCH")->number, 1);
    EXPECT_EQ(screen.elementLabelled("  Search ")->number, 2);
    // A switch goes by the label beside it, a field by its placeholder.
    EXPECT_EQ(screen.elementLabelled("watch this item")->kind, ShellElement::Switch);
    EXPECT_EQ(screen.elementLabelled("Your message")->kind, ShellElement::TextField);
    EXPECT_EQ(screen.elementLabelled("Sear"), nullptr);
    EXPECT_EQ(screen.elementLabelled(""), nullptr);

    ASSERT_TRUE(screen.elementLabelled("watch this item")->tap());
    EXPECT_TRUE(sw->isOn());
}

TEST_F(ShellScreenTest, TheScreenKeepsNoViewAlive) {
    Weak<UIButton> weak;
    ShellScreen screen;
    {
        NSAutoreleasePool pool;
        auto b = button("Gone soon", CGRectMake(20, 20, 280, 37));
        weak = b;
        screen = ShellScreen::captureWindow(window);
        ASSERT_NE(screen.elementNumbered(1), nullptr);
        EXPECT_TRUE(ShellScreen::isStillShown(*screen.elementNumbered(1)));
        b->removeFromSuperview();
        EXPECT_FALSE(ShellScreen::isStillShown(*screen.elementNumbered(1)));
    }
    // The app let go of the button: it is gone though the screen still lists it.
    EXPECT_FALSE(weak.alive());
    EXPECT_FALSE(ShellScreen::isStillShown(*screen.elementNumbered(1)));
    EXPECT_FALSE(screen.elementNumbered(1)->tap());
    EXPECT_TRUE(counter->taps.empty());
}

TEST_F(ShellScreenTest, AnAlertTakesTheTouchesFromTheScreenBelow) {
    button("Below", CGRectMake(20, 20, 280, 37));
    auto alert = alloc<UIAlertView>();
    alert->initWithTitle(NS("Send reply?"), NS("Is it\nstill there?"), counter.get(), NS("Cancel"),
                         {NS("Send")});
    alert->show();

    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.text(), std::string(kRule) +
                                 "(Below)\n"
                                 "== Alert: Send reply? ==\n"
                                 "   Is it\n"
                                 "   still there?\n"
                                 "   [1] (Cancel)   [2] (Send)\n" +
                                 kRule);
    const ShellElement* send = screen.elementLabelled("Send");
    ASSERT_NE(send, nullptr);
    EXPECT_EQ(send->kind, ShellElement::PanelButton);
    EXPECT_TRUE(ShellScreen::isStillShown(*send));
    ASSERT_TRUE(send->tap());
    EXPECT_EQ(counter->clickedIndex, 1);
    EXPECT_FALSE(ShellScreen::isStillShown(*send));
    EXPECT_TRUE(counter->taps.empty());
}

TEST_F(ShellScreenTest, OneAlertAtATimeIsPrintedAndChosenFrom) {
    auto tip = alloc<UIAlertView>();
    tip->initWithTitle(NS("Quick Tip"), NS("Tap the index"), counter.get(), NS("OK"));
    tip->show();
    auto error = alloc<UIAlertView>();
    error->initWithTitle(NS("Notice"), NS("Network connection error"), nullptr, NS("OK"));
    error->show();

    // The second waits unseen, and none of its buttons can be chosen.
    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.text(), std::string(kRule) +
                                 "== Alert: Quick Tip ==\n"
                                 "   Tap the index\n"
                                 "   [1] (OK)\n" +
                                 kRule);
    ASSERT_EQ(screen.elements().size(), 1u);
    ASSERT_TRUE(screen.elementNumbered(1)->tap());
    EXPECT_EQ(counter->clickedIndex, 0);
    auto next = ShellScreen::captureWindow(window);
    EXPECT_EQ(next.text(), std::string(kRule) +
                               "== Alert: Notice ==\n"
                               "   Network connection error\n"
                               "   [1] (OK)\n" +
                               kRule);
    ASSERT_TRUE(next.elementNumbered(1)->tap());
    EXPECT_EQ(UIButtonPanelView::shownPanels()->count(), 0u);
}

TEST_F(ShellScreenTest, TheKeyboardTakesTheTouchesOfWhatItCovers) {
    auto name = field("Your name", CGRectMake(20, 20, 280, 31));
    button("Half under", CGRectMake(20, 240, 280, 48));  // the keys start at 264
    button("Post", CGRectMake(20, 400, 280, 37));
    ASSERT_TRUE(name->becomeFirstResponder());

    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.text(), std::string(kRule) +
                                 "[1] [_(Your name)]\n"
                                 "[2] (Half under)\n"
                                 "(Post)\n"
                                 "(keyboard: type text; the return key reads \"return\")\n" +
                                 kRule);
    EXPECT_EQ(screen.elementLabelled("Post"), nullptr);
    // What shows above the keys takes the tap there.
    ASSERT_TRUE(screen.elementLabelled("Half under")->tap());
    EXPECT_EQ(counter->taps, std::vector<std::string>{"Half under"});

    // With the keyboard down the button is there to tap again.
    name->resignFirstResponder();
    auto down = ShellScreen::captureWindow(window);
    ASSERT_NE(down.elementLabelled("Post"), nullptr);
    EXPECT_TRUE(down.elementLabelled("Post")->tap());
    EXPECT_EQ(counter->taps, (std::vector<std::string>{"Half under", "Post"}));
}

namespace {
class Rows : public NSObject, public UITableViewDataSource, public UITableViewDelegate {
    NS_OBJECT(Rows, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"numberOfSectionsInTableView:", "tableView:titleForHeaderInSection:",
                      "tableView:commitEditingStyle:forRowAtIndexPath:",
                      "tableView:didSelectRowAtIndexPath:"});
    }
    NSInteger numberOfSectionsInTableView(UITableView*) override { return 2; }
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger section) override {
        return section == 0 ? 3 : 20;
    }
    Ref<NSString> tableViewTitleForHeaderInSection(UITableView*, NSInteger section) override {
        return section == 0 ? NS("First") : NS("Second");
    }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView* table,
                                                        NSIndexPath* path) override {
        auto cell = table->dequeueReusableCellWithIdentifier(NS("Row"));
        if (!cell) {
            cell = alloc<UITableViewCell>();
            cell->initWithStyle(UITableViewCellStyleDefault, NS("Row"));
        }
        cell->textLabel()->setText(NSString::fromUTF8("Row " + std::to_string(path->section()) +
                                                      "." + std::to_string(path->row())));
        cell->setAccessoryType(path->row() == 0 ? UITableViewCellAccessoryCheckmark
                                                : UITableViewCellAccessoryNone);
        return cell;
    }
    void tableViewCommitEditingStyle(UITableView*, UITableViewCellEditingStyle,
                                     NSIndexPath* path) override {
        deleted = path->row();
    }
    void tableViewDidSelectRowAtIndexPath(UITableView*, NSIndexPath* path) override {
        selected = path->row();
    }
    NSInteger selected = -1, deleted = -1;
};
}  // namespace

TEST_F(ShellScreenTest, TablesShowTheirVisibleRowsAndHowManyAreOutOfView) {
    auto rows = make<Rows>();
    auto table = this->table(rows.get(), rows.get());

    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.text(), std::string(kRule) +
                                 "-- First --\n"
                                 "[1] Row 0.0 (checked)\n"
                                 "[2] Row 0.1\n"
                                 "[3] Row 0.2\n"
                                 "-- Second --\n"
                                 "[4] Row 1.0 (checked)\n"
                                 "(19 more rows below)\n" +
                                 kRule);
    const ShellElement* row = screen.elementLabelled("Row 0.2");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->kind, ShellElement::Row);
    EXPECT_EQ(row->indexPath->row(), 2);
    EXPECT_TRUE(row->tap());
    EXPECT_EQ(rows->selected, 2);

    // A swipe shows the Delete button as one more element of the row.
    ASSERT_TRUE(table->swipeToDeleteRowAtIndexPath(row->indexPath));
    screen = ShellScreen::captureWindow(window);
    const ShellElement* del = screen.elementLabelled("Delete");
    ASSERT_NE(del, nullptr);
    EXPECT_EQ(del->number, 4);
    EXPECT_TRUE(del->tap());
    EXPECT_EQ(rows->deleted, 2);
}

namespace {
// A blank row, then a settings row that holds only a segmented control.
class BareRows : public NSObject, public UITableViewDataSource {
    NS_OBJECT(BareRows, NSObject)
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger) override { return 2; }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView*, NSIndexPath* path) override {
        auto cell = alloc<UITableViewCell>();
        cell->initWithStyle(UITableViewCellStyleDefault, nullptr);
        if (path->row() == 1) {
            auto choice = make<UISegmentedControl>(&UISegmentedControl::initWithFrame,
                                                   CGRectMake(10, 7, 280, 30));
            choice->insertSegmentWithTitle(NS("Entire Post"), 0, false);
            choice->insertSegmentWithTitle(NS("Title Only"), 0, false);
            choice->setSelectedSegmentIndex(0);
            cell->contentView()->addSubview(choice);
        }
        return cell;
    }
};
}  // namespace

// Rows without words of their own still say what they are, so that no number stands alone.
TEST_F(ShellScreenTest, RowsWithoutWordsAreNamed) {
    auto rows = make<BareRows>();
    table(rows.get());

    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.text(), std::string(kRule) +
                                 "[1] (blank row)\n"
                                 "[2] (row)  [3] *Title Only* | [4] Entire Post\n" +
                                 kRule);
    EXPECT_EQ(screen.elementLabelled("blank row")->number, 1);
    EXPECT_EQ(screen.elementLabelled("row")->number, 2);
}

TEST_F(ShellScreenTest, TheAppsTextCannotForgeElementNumbers) {
    // The screen marks elements with control characters until they are numbered; text that
    // holds such characters prints them as blanks and numbers nothing.
    label(
        "Evil \x01"
        "0\x02 text\tend",
        CGRectMake(20, 20, 280, 24));
    button("Go\x01", CGRectMake(20, 100, 280, 37));
    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.text(), std::string(kRule) +
                                 "Evil  0  text end\n"
                                 "[1] (Go )\n" +
                                 kRule);
    EXPECT_EQ(screen.elements().size(), 1u);
}

TEST_F(ShellScreenTest, AnImageForSeveralFingersTakesRealTouchesAtItsMiddle) {
    auto image = UIImage::imageWithSize(CGSizeMake(10, 10), 1);
    // A pager of its own fingers, with its page below the status bar, partly off the bottom.
    auto pad = make<FingerPad>(&FingerPad::initWithFrame, CGRectMake(0, 20, 320, 460));
    pad->setUserInteractionEnabled(true);
    window->addSubview(pad);
    auto page = make<FingerImage>(&FingerImage::initWithFrame, CGRectMake(0, 60, 320, 600));
    page->setImage(image);
    page->setUserInteractionEnabled(true);
    page->setMultipleTouchEnabled(true);
    pad->addSubview(page);
    // An ordinary image beside it is only shown.
    auto plain = make<DZImageView>(&DZImageView::initWithFrame, CGRectMake(0, 0, 20, 20));
    plain->setImage(image);
    window->addSubview(plain);

    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.text(), std::string(kRule) + "[picture]\n[1] [picture]\n" + kRule);
    ASSERT_EQ(screen.elements().size(), 1u);
    ASSERT_TRUE(screen.elements()[0].tap());
    // The middle of what shows of it: the window's 480 points clip the page at 400 of its 600.
    ASSERT_EQ(page->points.size(), 1u);
    EXPECT_EQ(page->points[0].x, 160);
    EXPECT_EQ(page->points[0].y, 200);
    EXPECT_TRUE(pad->points.empty());

    // Zoomed, the page lets touches through to its pager: still numbered, and the touch lands on
    // the pager where the page shows.
    page->setUserInteractionEnabled(false);
    screen = ShellScreen::captureWindow(window);
    ASSERT_EQ(screen.elements().size(), 1u);
    ASSERT_TRUE(screen.elements()[0].tap());
    ASSERT_EQ(pad->points.size(), 1u);
    EXPECT_EQ(pad->points[0].y, 260);
    EXPECT_EQ(page->points.size(), 1u);

    // Where touches do not reach (a pager that takes none), nothing is numbered.
    pad->setUserInteractionEnabled(false);
    screen = ShellScreen::captureWindow(window);
    EXPECT_TRUE(screen.elements().empty());
    EXPECT_EQ(screen.text(), std::string(kRule) + "[picture]\n[picture]\n" + kRule);
}

// A view laid over others that paints all of its frame (a full-screen ad, an overlay) hides what
// it covers whole: a person reads only what shows. What shows in part, and what lies under a
// view that lets the screen through (no colour, faded, a see-through bar), still prints.
TEST_F(ShellScreenTest, WhatAViewCoversWholeIsLeftOut) {
    label("Title behind", CGRectMake(20, 30, 280, 20));
    button("Row behind", CGRectMake(20, 100, 280, 37));
    label("Half under", CGRectMake(20, 290, 280, 20));
    button("Under glass", CGRectMake(20, 340, 280, 37));
    button("Under a faded sheet", CGRectMake(20, 400, 280, 37));
    auto ad = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 20, 320, 280));
    ad->setBackgroundColor(UIColor::whiteColor());
    window->addSubview(ad);
    button("Close", CGRectMake(230, 10, 70, 30), ad);
    auto glass = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 330, 320, 60));
    glass->setBackgroundColor(UIColor::clearColor());
    window->addSubview(glass);
    auto faded = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 390, 320, 60));
    faded->setBackgroundColor(UIColor::blackColor());
    faded->setAlpha(0.5f);
    window->addSubview(faded);
    auto bar = make<UIToolbar>(&UIToolbar::initWithFrame, CGRectMake(0, 436, 320, 44));
    bar->setBarStyle(UIBarStyleBlackTranslucent);
    window->addSubview(bar);

    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.text(), std::string(kRule) +
                                 "[1] (Close)\n"
                                 "Half under\n"
                                 "(Under glass)\n"
                                 "(Under a faded sheet)\n" +
                                 kRule);
    EXPECT_EQ(screen.elementLabelled("Row behind"), nullptr);

    // A bar paints its whole frame: what lies under it is hidden.
    auto text = field("Comment", CGRectMake(10, 446, 240, 30));
    auto tabs = make<UIToolbar>(&UIToolbar::initWithFrame, CGRectMake(0, 436, 320, 44));
    window->addSubview(tabs);
    EXPECT_EQ(ShellScreen::captureWindow(window).text().find("Comment"), std::string::npos);
    // Gone, the overlay leaves the screen below it whole again.
    ad->removeFromSuperview();
    screen = ShellScreen::captureWindow(window);
    EXPECT_NE(screen.text().find("Title behind\n[1] (Row behind)\n"), std::string::npos)
        << screen.text();
    (void)text;
}

// A bar wider than the screen (a screen laid out for landscape but drawn upright) has items off
// the screen: a person neither sees nor touches them, so they are neither printed nor numbered.
TEST_F(ShellScreenTest, BarItemsOffTheScreenAreNotNumbered) {
    auto titled = [](const char* title) {
        return make<UIBarButtonItem>(&UIBarButtonItem::initWithTitle, NSString::fromUTF8(title),
                                     UIBarButtonItemStyleBordered, nullptr, Selector::named("x:"));
    };
    auto nav = make<UINavigationBar>(&UINavigationBar::initWithFrame, CGRectMake(-80, 0, 480, 44));
    auto item = make<UINavigationItem>(&UINavigationItem::initWithTitle, NS("Composer"));
    item->setLeftBarButtonItem(titled("Cancel"));
    item->setRightBarButtonItem(titled("Send"));
    nav->pushNavigationItem(item, false);
    window->addSubview(nav);
    auto bar = make<UIToolbar>(&UIToolbar::initWithFrame, CGRectMake(-80, 436, 480, 44));
    auto space = [] {
        return make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                     UIBarButtonSystemItemFlexibleSpace, nullptr,
                                     Selector::named("x:"));
    };
    auto back = titled("Back"), reload = titled("Reload"), done = titled("Done");
    auto gap1 = space(), gap2 = space();
    bar->setItems(
        NSArray::arrayWithObjects({back.get(), gap1.get(), reload.get(), gap2.get(), done.get()}));
    window->addSubview(bar);
    window->layoutIfNeeded();
    nav->layoutIfNeeded();
    bar->layoutIfNeeded();

    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.text(), std::string(kRule) + "| Composer |\n[1] (Reload)\n" + kRule);
    EXPECT_EQ(screen.elementLabelled("Cancel"), nullptr);
    EXPECT_EQ(screen.elementLabelled("Done"), nullptr);
}

// What a control is called comes from the library that makes it: a segment's picture and a glyph
// on a bar by their accessibility labels, a view that takes taps and says it is a button numbered
// and touched at its middle; a segment that takes no touches says so beside its name.
TEST_F(ShellScreenTest, ControlsGoByTheNamesTheirMakersGave) {
    auto back = picture(nullptr);
    back->setAccessibilityLabel(NS("Back"));
    auto forward = picture(nullptr);
    forward->setAccessibilityLabel(NS("Forward"));
    auto steps = make<UISegmentedControl>(&UISegmentedControl::initWithItems,
                                          NSArray::arrayWithObjects({back.get(), forward.get()}));
    steps->setFrame(CGRectMake(10, 10, 90, 30));
    steps->setMomentary(true);
    steps->setEnabled(false, 1);
    window->addSubview(steps);
    auto bar = make<UIToolbar>(&UIToolbar::initWithFrame, CGRectMake(0, 60, 320, 44));
    auto stop = alloc<UIBarButtonItem>();
    stop->initWithBarButtonSystemItem(UIBarButtonSystemItemStop, counter,
                                      Selector::named("tapped:"));
    stop->setAccessibilityLabel(NS("Close"));
    auto refresh = alloc<UIBarButtonItem>();
    refresh->initWithBarButtonSystemItem(UIBarButtonSystemItemRefresh, counter,
                                         Selector::named("tapped:"));
    // Named, an item whose picture is not there yet still goes by its name.
    auto next = alloc<UIBarButtonItem>();
    next->initWithImage(nullptr, UIBarButtonItemStylePlain, counter, Selector::named("tapped:"));
    next->setAccessibilityLabel(NS("Next"));
    bar->setItems(NSArray::arrayWithObjects({stop.get(), refresh.get(), next.get()}));
    window->addSubview(bar);
    auto ad = make<FingerPad>(&FingerPad::initWithFrame, CGRectMake(0, 150, 320, 50));
    ad->setAccessibilityTraits(UIAccessibilityTraitButton | UIAccessibilityTraitImage);
    ad->setAccessibilityLabel(NS("Advertisement"));
    auto whole = alloc<UIImageView>();
    whole->initWithImage(picture(nullptr));
    whole->setFrame(ad->bounds());
    ad->addSubview(whole);
    window->addSubview(ad);

    auto screen = ShellScreen::captureWindow(window);
    EXPECT_EQ(screen.text(), std::string(kRule) +
                                 "[1] Back | Forward [disabled]\n"
                                 "[2] (Close)  [3] (Refresh)  [4] (Next)\n"
                                 "[5] (Advertisement) [picture]\n" +
                                 kRule);
    ASSERT_NE(screen.elementLabelled("Advertisement"), nullptr);
    ASSERT_TRUE(screen.elementLabelled("Advertisement")->tap());
    ASSERT_EQ(ad->points.size(), 1u);
    EXPECT_EQ(ad->points[0].x, 160);
    EXPECT_EQ(ad->points[0].y, 25);
}

// A token field lays its text out in no room while a token is selected: the marker it keeps as
// text then shows neither text nor caret.
TEST_F(ShellScreenTest, AFieldWithNoRoomForItsTextShowsNone) {
    auto tokens = make<NoRoomField>(&UITextField::initWithFrame, CGRectMake(10, 10, 300, 31));
    tokens->setText(NS("`"));
    window->addSubview(tokens);
    auto plain = field("Note", CGRectMake(10, 60, 300, 31));
    plain->setText(NS("`"));
    EXPECT_EQ(ShellScreen::captureWindow(window).text(),
              std::string(kRule) + "[1] []\n[2] [`]\n" + kRule);
}
