// What the screen shows besides the app's own views, and the stock views that draw text: the
// status bar, the keyboard over a focused input, text views with their caret, and alerts that
// grow to hold their message. Probed on the pictures the renderer makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSTimeZone.h"
#include "UIKit/UIActionSheet.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UITextField.h"
#include "UIKit/UITextInputTraits.h"
#include "UIKit/UITextView.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"
#include "platform/UIKit/DrawingTesting.h"

namespace {

// Opaque ink, dark or light (a clear pixel is neither).
bool dark(RGBA c) {
    return c.a > 200 && c.r < 100 && c.g < 100 && c.b < 100;
}

bool light(RGBA c) {
    return c.a > 200 && c.r > 200 && c.g > 200 && c.b > 200;
}

// Pixels in a rectangle of the image (in pixels) for which `test` holds.
template <class Test>
int countIn(UIImage* image, CGRect r, Test test) {
    auto px = UIImagePixelsOf(image->CGImage());
    int n = 0;
    for (int y = int(r.origin.y); y < int(CGRectGetMaxY(r)); ++y)
        for (int x = int(r.origin.x); x < int(CGRectGetMaxX(r)); ++x)
            n += test(pixelAt(px, x, y));
    return n;
}

// A white window over the whole screen, key and visible for the test's life, with the real
// font measurer and the status bar as the application starts.
class ScreenChrome : public ::testing::Test {
protected:
    void SetUp() override {
        window = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        window->setBackgroundColor(UIColor::redColor());
        window->makeKeyAndVisible();
        zone = NSTimeZone::defaultTimeZone();
        NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName(NS("UTC")));
    }
    void TearDown() override {
        if (auto focus = UIResponder::currentFirstResponder()) focus->resignFirstResponder();
        auto app = UIApplication::sharedApplication();
        app->setStatusBarHidden(false);
        app->setStatusBarStyle(UIStatusBarStyleDefault);
        app->setStatusBarOrientation(UIInterfaceOrientationPortrait);
        window->setHidden(true);
        NSTimeZone::setDefaultTimeZone(zone);
    }

    UITextMeasurerScope fonts{UIFontTextMeasurer::shared()};
    ManualClockScope clock;
    Ref<UIWindow> window;
    Ref<NSTimeZone> zone;
};

}  // namespace

TEST_F(ScreenChrome, TheStatusBarShowsTheClocksTimeInTheAppsStyle) {
    auto app = UIApplication::sharedApplication();
    EXPECT_EQ(UIStatusBarTimeText()->utf8(), "12:00 PM");
    // The time, in the middle of the strip, in dark ink on the default grey.
    auto noon = UIScreenRenderKeyWindow();
    EXPECT_TRUE(near(pixelAt(noon, 250, 2), {226, 226, 226, 255}, 12)) << pixelAt(noon, 250, 2);
    int timeInk = countIn(noon, CGRectMake(130, 2, 60, 16), dark);
    EXPECT_GT(timeInk, 20);
    // The carrier's name on the left, after the signal's bars; the battery on the right.
    EXPECT_GT(countIn(noon, CGRectMake(30, 2, 50, 16), dark), 20);
    EXPECT_TRUE(dark(pixelAt(noon, 8, 14)));
    EXPECT_TRUE(dark(pixelAt(noon, 300, 10)));
    EXPECT_TRUE(near(pixelAt(noon, 160, 30), kRed, 0));  // the app below the strip

    // The time follows the clock.
    Clock::advance(65 * 60);
    EXPECT_EQ(UIStatusBarTimeText()->utf8(), "1:05 PM");
    auto later = UIScreenRenderKeyWindow();
    int differing = 0;
    auto a = UIImagePixelsOf(noon->CGImage()), b = UIImagePixelsOf(later->CGImage());
    for (int y = 2; y < 18; ++y)
        for (int x = 120; x < 200; ++x)
            differing += !near(pixelAt(a, x, y), pixelAt(b, x, y), 40);
    EXPECT_GT(differing, 10);

    // Black opaque: white ink on black.
    app->setStatusBarStyle(UIStatusBarStyleBlackOpaque);
    auto opaque = UIScreenRenderKeyWindow();
    EXPECT_TRUE(near(pixelAt(opaque, 250, 2), kBlack, 0));
    EXPECT_GT(countIn(opaque, CGRectMake(130, 2, 60, 16), light), 20);
    // Black translucent: the app shows through the black.
    app->setStatusBarStyle(UIStatusBarStyleBlackTranslucent);
    auto translucent = UIScreenRenderKeyWindow();
    EXPECT_TRUE(near(pixelAt(translucent, 250, 2), {128, 0, 0, 255}, 3))
        << pixelAt(translucent, 250, 2);
    EXPECT_GT(countIn(translucent, CGRectMake(130, 2, 60, 16), light), 20);
    // Hidden: nothing over the app.
    app->setStatusBarHidden(true);
    auto hidden = UIScreenRenderKeyWindow();
    EXPECT_EQ(countIn(hidden, CGRectMake(0, 0, 320, 20), [](RGBA c) { return !near(c, kRed, 0); }),
              0);
}

TEST_F(ScreenChrome, TheKeyboardCoversTheScreensBottomWhileAFieldHasTheFocus) {
    auto field = make<UITextField>(&UIView::initWithFrame, CGRectMake(10, 300, 200, 31));
    field->setBorderStyle(UITextBorderStyleRoundedRect);
    field->setText(NS("Bikes"));
    window->addSubview(field);
    auto before = UIScreenRenderKeyWindow();
    EXPECT_TRUE(light(pixelAt(before, 100, 315)));  // the field
    EXPECT_TRUE(near(pixelAt(before, 1, 280), kRed, 0));

    ASSERT_TRUE(field->becomeFirstResponder());
    auto shown = UIScreenRenderKeyWindow();
    // The keyboard's 216 points, from its dark top line down, over the field.
    EXPECT_TRUE(near(pixelAt(shown, 160, 263), kRed, 0));
    EXPECT_TRUE(near(pixelAt(shown, 160, 264), {70, 74, 82, 255}, 6)) << pixelAt(shown, 160, 264);
    EXPECT_TRUE(near(pixelAt(shown, 1, 280), {134, 141, 157, 255}, 12)) << pixelAt(shown, 1, 280);
    EXPECT_FALSE(light(pixelAt(shown, 100, 318)));  // between two rows of keys
    // Keys: light faces with their letters ("Q" at the top left).
    EXPECT_TRUE(light(pixelAt(shown, 5, 272)));
    EXPECT_GT(countIn(shown, CGRectMake(3, 270, 26, 42), dark), 10);
    // The return key, bottom right, grey with its title; a search field's is blue.
    CGRect returnKey = CGRectMake(245, 430, 70, 38);
    int returnInk = countIn(shown, returnKey, light);
    EXPECT_GT(returnInk, 10);
    EXPECT_EQ(countIn(shown, returnKey, [](RGBA c) { return c.b > c.r + 80; }), 0);
    field->setReturnKeyType(UIReturnKeySearch);
    auto search = UIScreenRenderKeyWindow();
    EXPECT_GT(countIn(search, returnKey, [](RGBA c) { return c.b > c.r + 80; }), 300);
    EXPECT_NE(countIn(search, returnKey, light), returnInk);
    // A number pad's keys: "1" top left of three columns.
    field->setKeyboardType(UIKeyboardTypeNumberPad);
    auto pad = UIScreenRenderKeyWindow();
    EXPECT_TRUE(light(pixelAt(pad, 150, 272)));  // one wide key where letters had several gaps
    EXPECT_GT(countIn(pad, CGRectMake(4, 266, 100, 50), dark), 10);

    // A field with a view of its own for input shows that view where the keys would be.
    auto picker = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 216));
    picker->setBackgroundColor(UIColor::greenColor());
    field->setInputView(picker);
    auto own = UIScreenRenderKeyWindow();
    EXPECT_TRUE(near(pixelAt(own, 5, 272), kGreen, 0));
    EXPECT_TRUE(near(pixelAt(own, 300, 470), kGreen, 0));
    EXPECT_TRUE(near(pixelAt(own, 160, 263), kRed, 0));
    field->setInputView(nullptr);

    // Gone with the focus.
    field->resignFirstResponder();
    auto after = UIScreenRenderKeyWindow();
    EXPECT_TRUE(near(pixelAt(after, 1, 280), kRed, 0));
    EXPECT_TRUE(light(pixelAt(after, 100, 315)));
}

TEST_F(ScreenChrome, TheKeyboardIsLowerInLandscapeAtTheTurnedBottom) {
    auto app = UIApplication::sharedApplication();
    auto field = make<UITextField>(&UIView::initWithFrame, CGRectMake(10, 30, 200, 31));
    window->addSubview(field);
    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeRight);
    ASSERT_TRUE(field->becomeFirstResponder());
    // The interface's top is the screen's right edge: its bottom, and the keyboard, the left.
    EXPECT_TRUE(CGRectEqualToRect(UIKeyboard::frame(), CGRectMake(0, 0, 162, 480)));
    EXPECT_TRUE(CGRectEqualToRect(UIKeyboard::interfaceFrame(), CGRectMake(0, 158, 480, 162)));
    auto screen = UIScreenRenderKeyWindow();
    EXPECT_TRUE(near(pixelAt(screen, 161, 240), {70, 74, 82, 255}, 6)) << pixelAt(screen, 161, 240);
    EXPECT_TRUE(near(pixelAt(screen, 163, 240), kRed, 0));
    // The status bar runs down the right edge.
    EXPECT_FALSE(near(pixelAt(screen, 310, 100), kRed, 30));
    EXPECT_TRUE(near(pixelAt(screen, 290, 100), kRed, 0));
}

TEST_F(ScreenChrome, TheNetworkActivityIndicatorTurnsBesideTheCarrierWhileTheFlagIsOn) {
    auto app = UIApplication::sharedApplication();
    // Between the carrier's name and the time: the strip's grey alone while the flag is off.
    CGFloat carrierEnd = 30 + sizeWithFont(NS("Carrier"), UIFont::boldSystemFontOfSize(12)).width;
    CGRect spot = CGRectMake(carrierEnd + 2, 2, 20, 16);
    // Ink darker than the strip's gradient, or lighter than the black bar.
    auto ink = [](RGBA c) { return c.a == 255 && c.r < 130; };
    auto lit = [](RGBA c) { return c.a == 255 && c.r > 90; };
    app->setNetworkActivityIndicatorVisible(false);
    EXPECT_EQ(countIn(UIScreenRenderKeyWindow(), spot, ink), 0);
    app->setNetworkActivityIndicatorVisible(true);
    EXPECT_GT(countIn(UIScreenRenderKeyWindow(), spot, ink), 20);
    // In the carrier's ink on the black bar too.
    app->setStatusBarStyle(UIStatusBarStyleBlackOpaque);
    EXPECT_GT(countIn(UIScreenRenderKeyWindow(), spot, lit), 20);
    app->setNetworkActivityIndicatorVisible(false);
    EXPECT_EQ(countIn(UIScreenRenderKeyWindow(), spot, lit), 0);
}

TEST_F(ScreenChrome, TextViewsDrawTheirTextAndTheFocusedOneItsCaret) {
    auto view = make<UITextView>(&UIView::initWithFrame, CGRectMake(10, 40, 300, 100));
    view->setFont(UIFont::systemFontOfSize(17));
    view->setText(NS("Red bike, barely used"));
    window->addSubview(view);
    auto image = UIViewRenderImage(view, 1);
    // White behind dark text that starts 8 points in.
    EXPECT_TRUE(near(pixelAt(image, 290, 90), kWhite, 0));
    EXPECT_GT(countIn(image, CGRectMake(8, 8, 150, 22), dark), 50);
    EXPECT_EQ(countIn(image, CGRectMake(0, 0, 7, 100), dark), 0);
    // No caret without the focus.
    auto blue = [](RGBA c) { return c.b > 200 && c.r < 120; };
    EXPECT_EQ(countIn(image, CGRectMake(0, 0, 300, 100), blue), 0);

    ASSERT_TRUE(view->becomeFirstResponder());
    CGRect caret = view->caretRect();
    CGFloat textWidth = sizeWithFont(NS("Red bike, barely used"), view->font()).width;
    EXPECT_NEAR(CGRectGetMidX(caret), 8 + textWidth, 1.5);
    EXPECT_FLOAT_EQ(caret.origin.y, 8);
    auto focused = UIViewRenderImage(view, 1);
    EXPECT_GT(countIn(focused, CGRectInset(caret, -1, 0), blue), 15);
    // Typing a new line moves it to the start of the next line.
    view->insertText(NS("\nOK"));
    CGRect next = view->caretRect();
    EXPECT_GT(next.origin.y, caret.origin.y + 10);
    auto typed = UIViewRenderImage(view, 1);
    EXPECT_GT(countIn(typed, CGRectMake(8, next.origin.y, 40, next.size.height), dark), 20);
    EXPECT_GT(countIn(typed, CGRectInset(next, -1, 0), blue), 15);

    // A focused text field shows its caret after its text.
    auto field = make<UITextField>(&UIView::initWithFrame, CGRectMake(10, 200, 200, 31));
    field->setText(NS("Bikes"));
    window->addSubview(field);
    EXPECT_EQ(countIn(UIViewRenderImage(field, 1), CGRectMake(0, 0, 200, 31), blue), 0);
    ASSERT_TRUE(field->becomeFirstResponder());
    auto withCaret = UIViewRenderImage(field, 1);
    CGRect t = field->textRectForBounds(field->bounds());
    CGFloat end = t.origin.x + sizeWithFont(NS("Bikes"), field->font()).width;
    EXPECT_GT(countIn(withCaret, CGRectMake(end - 2, 0, 4, 31), blue), 8);
    // Typed past its width, the field shows the text's end by the caret, not an ellipsis.
    field->setFrame(CGRectMake(10, 200, 60, 31));
    field->setText(NS("Bikes and more bikes"));
    auto scrolled = UIViewRenderImage(field, 1);
    CGRect room = field->textRectForBounds(field->bounds());
    EXPECT_GT(countIn(scrolled, CGRectMake(CGRectGetMaxX(room) - 3, 0, 5, 31), blue), 8);
    // The last letter ("s") stands by the caret: the text's last columns of ink reach above
    // the baseline, as an ellipsis's dots would not.
    int last = -1;
    for (int x = 0; x < int(CGRectGetMaxX(room)) - 1; ++x)
        if (countIn(scrolled, CGRectMake(x, 0, 1, 31), dark) > 0) last = x;
    EXPECT_GT(last, CGRectGetMaxX(room) - 6);
    EXPECT_GT(countIn(scrolled, CGRectMake(last - 2, 8, 3, 9), dark), 0);
}

TEST_F(ScreenChrome, AlertsGrowToHoldTheirMessageThenScrollIt) {
    NSString* message =
        NS("Your email address is included in the reply, so that the seller can "
           "answer you.");
    auto alert = alloc<UIAlertView>();
    alert->initWithTitle(NS("Reply"), message, nullptr, NS("OK"));
    alert->show();
    Ref<UILabel> label;
    for (auto& v : alert->subviewList())
        if (auto l = as<UILabel>(v); l && l->text()->isEqualToString(message)) label = l;
    ASSERT_TRUE(label);
    CGFloat lh = label->font()->lineHeight();
    CGRect f = label->frame();
    EXPECT_GE(f.size.height, 2 * lh);
    EXPECT_LE(CGRectGetMaxY(f), alert->bounds().size.height - 44);
    auto image = UIViewRenderImage(alert, 1);
    // White ink on both lines of the message.
    EXPECT_GT(countIn(image, CGRectMake(f.origin.x, f.origin.y, f.size.width, lh), light), 30);
    EXPECT_GT(countIn(image, CGRectMake(f.origin.x, f.origin.y + lh, f.size.width, lh), light), 30);
    // Rounded corners: outside them the screen shows through.
    EXPECT_EQ(pixelAt(image, 1, 1).a, 0);
    alert->dismissWithClickedButtonIndex(0, false);

    // A message longer than the screen scrolls inside an alert that fits the screen.
    std::string longText;
    for (int i = 0; i < 60; ++i)
        longText += "Every line of these terms applies to every listing. ";
    auto terms = alloc<UIAlertView>();
    terms->initWithTitle(NS("Terms"), NSString::fromUTF8(longText), nullptr, NS("OK"));
    terms->show();
    // Clear of the status bar, centred on the screen.
    EXPECT_GE(terms->frame().origin.y, 20);
    EXPECT_LE(CGRectGetMaxY(terms->frame()), UIScreen::mainScreen()->bounds().size.height - 20);
    Ref<UIScrollView> scroller;
    for (auto& v : terms->subviewList())
        if (auto s = as<UIScrollView>(v)) scroller = s;
    ASSERT_TRUE(scroller);
    EXPECT_GT(scroller->contentSize().height, scroller->frame().size.height * 2);
    terms->dismissWithClickedButtonIndex(0, false);
}

TEST_F(ScreenChrome, SegmentTitlesShareTheSizeAtWhichTheLongestFits) {
    auto sort =
        make<UISegmentedControl>(&UISegmentedControl::initWithItems,
                                 NSArray::arrayWithObjects({NS("Most Recent"), NS("Best Match"),
                                                            NS("Low Price"), NS("High Price")}));
    sort->setFrame(CGRectMake(0, 0, 280, 30));
    auto image = UIViewRenderImage(sort, 2);
    auto px = UIImagePixelsOf(image->CGImage());
    // Ink of a segment's title, in pixels: its top and bottom rows, its ends, and whether its
    // last columns reach above the baseline (a letter) or not (an ellipsis's dots).
    struct Ink {
        int top = 1000, bottom = -1, left = 1000, right = -1;
        bool tallEnd = false;
    };
    auto inkOf = [&](int segment) {
        Ink ink;
        for (int y = 8; y < 52; ++y)
            for (int x = segment * 140 + 8; x < segment * 140 + 132; ++x)
                if (dark(pixelAt(px, x, y))) {
                    ink.top = std::min(ink.top, y);
                    ink.bottom = std::max(ink.bottom, y);
                    ink.left = std::min(ink.left, x);
                    ink.right = std::max(ink.right, x);
                }
        for (int y = ink.top; y < ink.bottom - 4; ++y)
            for (int x = ink.right - 2; x <= ink.right; ++x)
                ink.tallEnd |= dark(pixelAt(px, x, y));
        return ink;
    };
    auto bold = UIFont::boldSystemFontOfSize(13);
    // "Most Recent" does not fit at the bar's 13 points: it shrinks to a size at which it fits
    // its segment whole, its last letter drawn rather than an ellipsis.
    ASSERT_GT(sizeWithFont(NS("Most Recent"), bold).width, 70);
    auto most = inkOf(0);
    EXPECT_LT((most.bottom - most.top + 1) / 2.f, bold->capHeight() - 1.5);
    EXPECT_TRUE(most.tallEnd);
    EXPECT_LE(most.right, 140 - 4);
    // The others, which would fit larger, take the same size: their capitals stand as high on
    // the same baseline ("High Price"'s "g" reaches below it).
    for (int segment = 1; segment < 4; ++segment) {
        auto ink = inkOf(segment);
        EXPECT_NEAR(ink.top, most.top, 1) << segment;
        if (segment < 3) {
            EXPECT_NEAR(ink.bottom, most.bottom, 1) << segment;
        }
        EXPECT_TRUE(ink.tallEnd) << segment;
    }
}

// The back button comes to a point at its left end; a title too long for it gives way to
// "Back" instead of being cut.
TEST_F(ScreenChrome, TheBackButtonIsPointedAndALongTitleBecomesBack) {
    auto bar = make<UINavigationBar>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 44));
    auto backTitle = [&](const char* below) {
        bar->setItems(NSArray::arrayWithObjects(
            {make<UINavigationItem>(&UINavigationItem::initWithTitle, NSString::fromUTF8(below))
                 .get(),
             make<UINavigationItem>(&UINavigationItem::initWithTitle, NS("Item")).get()}));
        bar->layoutIfNeeded();
        auto button = as<UIButton>(bar->backButtonView());
        return button && button->currentTitle() ? button->currentTitle()->utf8() : std::string();
    };
    EXPECT_EQ(backTitle("Bikes"), "Bikes");
    EXPECT_EQ(backTitle("\"road bike\" in Bikes"), "Back");
    auto button = as<UIButton>(bar->backButtonView());
    ASSERT_TRUE(button);
    CGRect f = button->frame();
    // The title lies inside the button, right of its point.
    CGRect t = button->titleLabel()->frame();
    EXPECT_GE(t.origin.x, 8);
    EXPECT_LE(CGRectGetMaxX(t), f.size.width);

    auto image = UIViewRenderImage(bar, 1);
    int x0 = int(f.origin.x), top = int(f.origin.y) + 1, mid = int(CGRectGetMidY(f));
    // The bar beside the button, and the button's face inside it, on the same rows.
    auto barAt = [&](int y) { return pixelAt(image, x0 - 3, y); };
    RGBA face = pixelAt(image, x0 + 20, mid);
    ASSERT_FALSE(near(face, barAt(mid), 6)) << face;
    // The top-left corner is the bar's (a rounded rectangle would cover it), while the point
    // reaches the button's left edge at mid-height.
    EXPECT_TRUE(near(pixelAt(image, x0 + 3, top + 3), barAt(top + 3), 3))
        << pixelAt(image, x0 + 3, top + 3);
    int bottom = int(CGRectGetMaxY(f)) - 2;
    EXPECT_TRUE(near(pixelAt(image, x0 + 3, bottom - 3), barAt(bottom - 3), 3))
        << pixelAt(image, x0 + 3, bottom - 3);
    EXPECT_FALSE(near(pixelAt(image, x0 + 2, mid), barAt(mid), 6)) << pixelAt(image, x0 + 2, mid);
}

TEST_F(ScreenChrome, ANavigationTitleShrinksIntoTheRoomTheButtonsLeave) {
    auto bar = make<UINavigationBar>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 44));
    bar->pushNavigationItem(
        make<UINavigationItem>(&UINavigationItem::initWithTitle, NS("Select Category")), false);
    auto compose = make<UINavigationItem>(&UINavigationItem::initWithTitle, NS("Compose Listing"));
    compose->setRightBarButtonItem(
        make<UIBarButtonItem>(&UIBarButtonItem::initWithTitle, NS("Hide Keyboard"),
                              UIBarButtonItemStyleBordered, nullptr, nullptr));
    bar->pushNavigationItem(compose, false);
    bar->layoutIfNeeded();
    auto bold = UIFont::boldSystemFontOfSize(20);
    // The title's room is narrower than the title at the bar's 20 points.
    Ref<UILabel> title;
    for (auto& v : bar->subviewList())
        if (auto l = as<UILabel>(v);
            l && l->text() && l->text()->isEqualToString(NS("Compose Listing")))
            title = l;
    ASSERT_TRUE(title);
    ASSERT_LT(title->frame().size.width, sizeWithFont(NS("Compose Listing"), bold).width);
    // Drawn whole, in a smaller size: the white ink ends in the "e", not in an ellipsis.
    auto image = UIViewRenderImage(bar, 1);
    CGRect f = title->frame();
    int right = -1, top = 1000, bottom = -1;
    for (int y = 4; y < 40; ++y)
        for (int x = int(f.origin.x); x < int(CGRectGetMaxX(f)); ++x)
            if (light(pixelAt(image, x, y))) {
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    ASSERT_GE(right, 0);
    // The lowest ink is the "g"'s descender, 4 points below the baseline: the last columns
    // reach higher than an ellipsis's dots would.
    int high = 0;
    for (int y = top; y < bottom - 8; ++y)
        for (int x = right - 2; x <= right; ++x)
            high += light(pixelAt(image, x, y));
    EXPECT_GT(high, 0);
}

// A title too wide to sit centred at full size beside the back button shrinks and stays
// centred on the bar, clear of the button and of the right edge.
TEST_F(ScreenChrome, ALongTitleBesideTheBackButtonStaysCentredOnTheBar) {
    auto bar = make<UINavigationBar>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 44));
    bar->pushNavigationItem(make<UINavigationItem>(&UINavigationItem::initWithTitle, NS("Catalog")),
                            false);
    bar->pushNavigationItem(
        make<UINavigationItem>(&UINavigationItem::initWithTitle, NS("bazaarnest: classifieds")),
        false);
    bar->layoutIfNeeded();
    auto back = bar->backButtonView();
    ASSERT_TRUE(back);
    int after = int(CGRectGetMaxX(back->frame())) + 2;
    auto image = UIViewRenderImage(bar, 1);
    int left = 1000, right = -1;
    for (int y = 8; y < 36; ++y)
        for (int x = after; x < 320; ++x)
            if (light(pixelAt(image, x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    ASSERT_GE(right, 0);
    // The white ink's middle is the bar's, within two points.
    EXPECT_NEAR((left + right) / 2.0, 160, 2) << left << " to " << right;
    EXPECT_GE(left, after + 4);
    EXPECT_LE(right, 320 - 10);
}

namespace {
// The number of pixels where two pictures of the same size differ.
int differingPixels(UIImage* a, UIImage* b) {
    auto pa = UIImagePixelsOf(a->CGImage()), pb = UIImagePixelsOf(b->CGImage());
    if (pa.width != pb.width || pa.height != pb.height) return -1;
    int n = 0;
    for (size_t i = 0; i < pa.argb.size(); ++i)
        n += pa.argb[i] != pb.argb[i];
    return n;
}

// With BN_SHOTS_DIR set the pictures are kept there as PNG files, for a person to look at.
void keep(UIImage* image, const char* name) {
    const char* dir = std::getenv("BN_SHOTS_DIR");
    if (!dir || !image) return;
    auto png = UIImagePNGRepresentation(image);
    if (png) png->writeToFile(NSString::fromUTF8(std::string(dir) + "/" + name), true);
}

Ref<UIAlertView> alertTitled(NSString* title, NSString* message) {
    auto alert = alloc<UIAlertView>();
    alert->initWithTitle(title, message, nullptr, NS("OK"));
    return alert;
}
}  // namespace

TEST_F(ScreenChrome, AnAlertHidesWhatIsBehindItOverADimmedScreen) {
    auto alert = alertTitled(NS("Login Failed"), NS("Failed to login"));
    alert->show();
    CGRect f = alert->frame();
    // Inside the panel's edge, left of its words: the same on a red screen and a green one.
    int x = int(f.origin.x + 6), y = int(CGRectGetMidY(f));
    auto onRed = UIScreenRenderKeyWindow();
    window->setBackgroundColor(UIColor::greenColor());
    auto onGreen = UIScreenRenderKeyWindow();
    keep(onGreen, "chrome-alert.png");
    EXPECT_TRUE(near(pixelAt(onRed, x, y), pixelAt(onGreen, x, y), 0))
        << pixelAt(onRed, x, y) << " " << pixelAt(onGreen, x, y);
    EXPECT_EQ(pixelAt(onRed, x, y).a, 255);
    // Around it the screen is shaded: the green darker, not gone.
    RGBA around = pixelAt(onGreen, 5, 100);
    EXPECT_TRUE(near(around, {0, 153, 0, 255}, 3)) << around;
    // The shade takes the touches the panel does not.
    auto shade = alert->window()->hitTest(CGPointMake(5, 100), nullptr);
    EXPECT_TRUE(shade && shade != alert->window() && !shade->isDescendantOfView(alert)) << shade;
    alert->dismissWithClickedButtonIndex(0, false);
    auto after = UIScreenRenderKeyWindow();
    EXPECT_TRUE(near(pixelAt(after, 5, 100), kGreen, 0));
}

TEST_F(ScreenChrome, ASecondAlertIsNotDrawnUntilTheFirstIsDismissed) {
    auto tip = alertTitled(NS("Quick Tip"), NS("Tap the index to jump to a section."));
    auto error = alertTitled(NS("Notice"), NS("Network connection error"));
    tip->show();
    auto first = UIScreenRenderKeyWindow();
    error->show();
    auto both = UIScreenRenderKeyWindow();
    keep(both, "chrome-two-alerts.png");
    EXPECT_EQ(differingPixels(first, both), 0);
    EXPECT_FALSE(error->isVisible());
    EXPECT_FALSE(error->window());
    ASSERT_EQ(UIButtonPanelView::shownPanels()->count(), 1u);
    // Its turn comes with the first one's dismissal: then it is drawn, over one shade.
    ASSERT_TRUE(tip->clickButtonAtIndex(0));
    EXPECT_TRUE(error->isVisible());
    auto second = UIScreenRenderKeyWindow();
    EXPECT_GT(differingPixels(first, second), 100);
    EXPECT_TRUE(near(pixelAt(second, 5, 100), {153, 0, 0, 255}, 3)) << pixelAt(second, 5, 100);
    error->dismissWithClickedButtonIndex(0, false);
}

TEST_F(ScreenChrome, WithTheKeyboardUpAlertsAndSheetsStandAboveIt) {
    auto field = make<UITextField>(&UIView::initWithFrame, CGRectMake(10, 30, 200, 31));
    window->addSubview(field);
    ASSERT_TRUE(field->becomeFirstResponder());
    CGFloat keysTop = CGRectGetMinY(UIKeyboard::frame());
    auto keyboard = UIScreenRenderKeyWindow();
    ASSERT_TRUE(light(pixelAt(keyboard, 14, 290)));  // the "Q" key

    // The alert in the room above the keyboard, the keys' top row clear of it (shaded).
    auto alert = alertTitled(NS("Login Failed"), NS("Failed to login"));
    alert->show();
    EXPECT_LE(CGRectGetMaxY(alert->frame()), keysTop);
    EXPECT_GE(alert->frame().origin.y, 20);
    auto withAlert = UIScreenRenderKeyWindow();
    keep(withAlert, "chrome-alert-keyboard.png");
    // A key of the top row under the alert's middle column: shaded, not the alert's dark blue.
    int keyX = 100;
    while (keyX < 220 && !light(pixelAt(keyboard, keyX, 285)))
        ++keyX;
    ASSERT_LT(keyX, 220);
    RGBA key = pixelAt(withAlert, keyX, 285);
    EXPECT_GT(key.r, 120) << key;
    EXPECT_LT(key.r, 200) << key;
    // The keyboard going down gives it the middle of the screen again.
    field->resignFirstResponder();
    EXPECT_NEAR(CGRectGetMidY(alert->frame()), 240, 1);
    alert->dismissWithClickedButtonIndex(0, false);

    // A sheet over the keyboard: in a window above its level, drawn over the keys.
    ASSERT_TRUE(field->becomeFirstResponder());
    auto sheet = alloc<UIActionSheet>();
    sheet->initWithTitle(NS("E-mail privacy"), nullptr, NS("Cancel"), nullptr,
                         {NS("Anonymous"), NS("Show")});
    sheet->showInView(window);
    ASSERT_TRUE(sheet->window());
    EXPECT_GE(sheet->window()->windowLevel(), UIWindowLevelAlert);
    EXPECT_EQ(CGRectGetMaxY(sheet->frame()), 480);
    EXPECT_LT(sheet->frame().origin.y, 290);
    auto withSheet = UIScreenRenderKeyWindow();
    keep(withSheet, "chrome-sheet-keyboard.png");
    EXPECT_GT(differingPixels(keyboard, withSheet), 20000);
    // The sheet's dark grey where the "Q" key was.
    RGBA behindTitle = pixelAt(withSheet, 14, 290);
    EXPECT_FALSE(light(behindTitle)) << behindTitle;
    EXPECT_LT(behindTitle.r, 120) << behindTitle;
    sheet->dismissWithClickedButtonIndex(0, false);
}

namespace {
// The panel's buttons, by index.
std::vector<Ref<UIButton>> panelButtons(UIView* panel) {
    std::vector<Ref<UIButton>> found;
    for (auto& v : panel->subviewList())
        if (auto b = as<UIButton>(v)) found.push_back(b);
    std::sort(found.begin(), found.end(), [](auto& a, auto& b) { return a->tag() < b->tag(); });
    return found;
}

// A button's face left of its title, and the light ink of the title in its middle, on the
// screen's picture.
RGBA faceOf(UIImage* screen, UIButton* button) {
    CGRect f = button->convertRect(button->bounds(), nullptr);
    return pixelAt(screen, int(f.origin.x + 6), int(CGRectGetMidY(f)));
}

int lightInkIn(UIImage* screen, UIButton* button) {
    CGRect f = button->convertRect(button->bounds(), nullptr);
    return countIn(screen, CGRectInset(f, f.size.width / 4, 10), light);
}
}  // namespace

TEST_F(ScreenChrome, ASheetsDestructiveButtonIsRedAndItsCancelButtonDark) {
    auto sheet = alloc<UIActionSheet>();
    sheet->initWithTitle(NS("Save this search?"), nullptr, NS("Cancel"), NS("Yes"), {NS("Later")});
    sheet->showInView(window);
    auto screen = UIScreenRenderKeyWindow();
    keep(screen, "chrome-sheet-buttons.png");
    auto buttons = panelButtons(sheet);
    ASSERT_EQ(buttons.size(), 3u);
    ASSERT_EQ(sheet->destructiveButtonIndex(), 0);
    ASSERT_EQ(sheet->cancelButtonIndex(), 2);
    RGBA yes = faceOf(screen, buttons[0]), later = faceOf(screen, buttons[1]),
         cancel = faceOf(screen, buttons[2]);
    EXPECT_TRUE(yes.r > 170 && yes.g < 70 && yes.b < 70) << yes;
    EXPECT_TRUE(light(later)) << later;
    EXPECT_TRUE(dark(cancel)) << cancel;
    // White words on the red and the dark button, dark ones on the light button.
    EXPECT_GT(lightInkIn(screen, buttons[0]), 20);
    EXPECT_GT(lightInkIn(screen, buttons[2]), 20);
    CGRect f = buttons[1]->convertRect(buttons[1]->bounds(), nullptr);
    EXPECT_GT(countIn(screen, CGRectInset(f, f.size.width / 4, 10), dark), 20);
    // The index changed while the sheet shows: the red moves with it.
    sheet->setDestructiveButtonIndex(1);
    screen = UIScreenRenderKeyWindow();
    buttons = panelButtons(sheet);
    RGBA now = faceOf(screen, buttons[1]);
    EXPECT_TRUE(now.r > 170 && now.g < 70 && now.b < 70) << now;
    EXPECT_TRUE(light(faceOf(screen, buttons[0]))) << faceOf(screen, buttons[0]);
    sheet->dismissWithClickedButtonIndex(2, false);
}

TEST_F(ScreenChrome, AnAlertsTwoButtonsStandSideBySideCancelOnTheLeft) {
    auto alert = alloc<UIAlertView>();
    alert->initWithTitle(NS("Cancel"), NS("Are you sure you want to cancel?"), nullptr, NS("No"),
                         {NS("Yes")});
    alert->show();
    auto screen = UIScreenRenderKeyWindow();
    keep(screen, "chrome-alert-pair.png");
    auto buttons = panelButtons(alert);
    ASSERT_EQ(buttons.size(), 2u);
    CGRect no = buttons[0]->frame(), yes = buttons[1]->frame();
    EXPECT_EQ(no.origin.y, yes.origin.y);
    EXPECT_LT(CGRectGetMaxX(no), yes.origin.x);
    EXPECT_LT(no.size.width, alert->bounds().size.width / 2);
    // The panel is only as tall as one row of buttons needs.
    EXPECT_LT(alert->bounds().size.height - CGRectGetMaxY(yes), 30);
    // Light words on faces of the panel's blue, not white buttons.
    for (auto& b : buttons) {
        RGBA face = faceOf(screen, b);
        EXPECT_FALSE(light(face)) << face;
        EXPECT_GT(face.b, face.r + 40) << face;
        EXPECT_GT(lightInkIn(screen, b), 20);
    }
    alert->dismissWithClickedButtonIndex(0, false);

    // The cancel button goes left also when it was added last.
    auto later = alloc<UIAlertView>();
    later->initWithTitle(NS("Delete"), nullptr, nullptr, nullptr, {NS("Delete")});
    later->setCancelButtonIndex(later->addButtonWithTitle(NS("Keep")));
    later->show();
    buttons = panelButtons(later);
    ASSERT_EQ(buttons.size(), 2u);
    EXPECT_LT(buttons[1]->frame().origin.x, buttons[0]->frame().origin.x);
    later->dismissWithClickedButtonIndex(1, false);

    // Three stack, each the panel's width.
    auto three = alloc<UIAlertView>();
    three->initWithTitle(NS("Reply"), nullptr, nullptr, NS("Cancel"), {NS("Mail"), NS("Text")});
    three->show();
    buttons = panelButtons(three);
    ASSERT_EQ(buttons.size(), 3u);
    EXPECT_EQ(buttons[0]->frame().origin.x, buttons[1]->frame().origin.x);
    EXPECT_GT(buttons[1]->frame().origin.y, CGRectGetMaxY(buttons[0]->frame()));
    EXPECT_GT(buttons[2]->frame().origin.y, CGRectGetMaxY(buttons[1]->frame()));
    EXPECT_GT(buttons[0]->frame().size.width, three->bounds().size.width / 2);
    three->dismissWithClickedButtonIndex(0, false);
}
