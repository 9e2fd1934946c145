#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSError.h"
#include "Foundation/NetworkWork.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/URLRequestTesting.h"
#include "ui/style/DZButton.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/style/DZFillStyles.h"
#include "ui/style/DZFrameStyles.h"
#include "ui/style/DZTextStyle.h"
#include "ui/style/StyleTesting.h"

namespace {

using testhttp::held;
using testhttp::text;

// Writes down what a button's image loads report.
class ImageRecorder : public NSObject, public DZImageViewDelegate {
    NS_OBJECT(ImageRecorder, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"imageView:didLoadImage:", "imageViewDidStartLoad:",
                      "imageView:didFailLoadWithError:"});
    }

public:
    std::vector<std::string> events;
    bool nilViews = true;
    void imageViewDidLoadImage(DZImageView* view, UIImage* image) override {
        nilViews = nilViews && !view;
        events.push_back(image ? "loaded" : "loaded nil");
    }
    void imageViewDidStartLoad(DZImageView* view) override {
        nilViews = nilViews && !view;
        events.push_back("start");
    }
    void imageViewDidFailLoadWithError(DZImageView* view, NSError* error) override {
        nilViews = nilViews && !view;
        events.push_back("fail " + error->domain()->utf8());
    }
};

class Buttons : public RequestQueueTest {
protected:
    Ref<DZButton> button(const char* style, const char* title, CGSize size) {
        auto b = DZButton::buttonWithStyle(str(style), str(title));
        b->setFrame(CGRectMake(0, 0, size.width, size.height));
        return b;
    }
    Ref<UIImage> drawn(DZButton* b) {
        return paintedImage(b->bounds().size, 2, [&] { b->drawRect(b->bounds()); });
    }
};

TEST_F(Buttons, TheNormalStateStandsInForTheOthers) {
    auto b = make<DZButton>();
    auto style = make<DZStyle>();
    b->setTitle(NS("Go"), UIControlStateNormal);
    b->setStyle(style, UIControlStateNormal);
    for (auto set : {&DZButton::setHighlighted, &DZButton::setSelected}) {
        ((*b).*set)(true);
        EXPECT_TRUE(b->titleForCurrentState()->isEqualToString(NS("Go")));
        EXPECT_EQ(b->styleForCurrentState().get(), style.get());
        ((*b).*set)(false);
    }
    b->setEnabled(false);
    EXPECT_EQ(b->contentForCurrentState().get(), b->contentForState(UIControlStateDisabled).get());
    EXPECT_TRUE(b->titleForCurrentState()->isEqualToString(NS("Go")));
    EXPECT_EQ(b->contentForState(UIControlStateDisabled)->title().get(), nullptr);
}

TEST_F(Buttons, KeysAndCurrentStateFollowTheirOwnOrders) {
    auto b = make<DZButton>();
    b->setTitle(NS("both"), UIControlStateHighlighted | UIControlStateSelected);
    EXPECT_TRUE(b->titleForState(UIControlStateHighlighted)->isEqualToString(NS("both")));
    EXPECT_EQ(b->titleForState(UIControlStateSelected).get(), nullptr);
    b->setTitle(NS("picked"), UIControlStateSelected);
    b->setHighlighted(true);
    b->setSelected(true);
    EXPECT_TRUE(b->titleForCurrentState()->isEqualToString(NS("picked")));
    EXPECT_TRUE(b->accessibilityLabel()->isEqualToString(NS("picked")));
    EXPECT_TRUE(b->accessibilityTraits() & UIAccessibilityTraitButton);
    EXPECT_EQ(b->state(), UIControlStateHighlighted | UIControlStateSelected);
}

TEST_F(Buttons, FontsComeFromTheFieldTheTextStepOrTheSheet) {
    auto b = make<DZButton>();
    auto sheetFont = as<DZDefaultStyleSheet>(DZStyleSheet::globalStyleSheet())->buttonFont();
    EXPECT_EQ(b->fontForCurrentState()->pointSize(), 12);
    auto kept = b->font();
    EXPECT_EQ(b->font().get(), kept.get());  // kept in the field from then on
    EXPECT_EQ(kept->pointSize(), sheetFont->pointSize());

    auto fresh = make<DZButton>();
    auto big = UIFont::systemFontOfSize(20);
    fresh->setStyle(
        make<DZStyle>(&DZStyle::initWithNext, DZTextStyle::styleWithFont(big, nullptr).get()),
        UIControlStateNormal);
    EXPECT_EQ(fresh->fontForCurrentState().get(), big.get());
    auto set = UIFont::systemFontOfSize(9);
    fresh->setFont(set);
    EXPECT_EQ(fresh->fontForCurrentState().get(), set.get());
}

TEST_F(Buttons, ToolbarButtonsSizeToTheirTitles) {
    EXPECT_TRUE(
        CGSizeEqualToSize(button("toolbarButton:", "Post", CGSizeZero)->sizeThatFits(CGSizeZero),
                          CGSizeMake(40, 32)));
    EXPECT_TRUE(CGSizeEqualToSize(
        button("toolbarBackButton:", "Post", CGSizeZero)->sizeThatFits(CGSizeZero),
        CGSizeMake(44, 32)));
    // A style the sheet does not know: no style, the offered size.
    auto none = button("noSuchStyle:", "Post", CGSizeMake(10, 10));
    EXPECT_EQ(none->styleForCurrentState().get(), nullptr);
    EXPECT_TRUE(CGSizeEqualToSize(none->sizeThatFits(CGSizeMake(7, 8)), CGSizeMake(7, 8)));
    EXPECT_TRUE(near(at(drawn(none.get()), 1, 1), kClear));
}

TEST_F(Buttons, ToolbarButtonBodyByState) {
    auto b = button("toolbarButton:", "Post", CGSizeMake(40, 32));
    EXPECT_TRUE(near(at(drawn(b), 4, 24), RGBA{75, 111, 157, 255}));
    b->setHighlighted(true);
    EXPECT_TRUE(near(at(drawn(b), 4, 24), RGBA{44, 53, 65, 255}));
}

TEST_F(Buttons, TheTitleIsDrawnInTheTextFrame) {
    auto painter = std::make_shared<RecordingTextPainter>();
    UITextPainterInstall(painter);
    auto b = button("toolbarButton:", "Post", CGSizeMake(60, 32));
    drawn(b);
    UITextPainterInstall(nullptr);
    ASSERT_EQ(painter->calls.size(), 1u);
    EXPECT_EQ(painter->calls[0].text, u"Post");
    EXPECT_EQ(painter->calls[0].fontSize, 12);
    // Centred in the padded content frame (8 each side): x = 8 + round(44 / 2 - 12).
    EXPECT_EQ(painter->calls[0].rect.origin.x, 18);
}

TEST_F(Buttons, ImagesLoadPerStateAndFallBack) {
    server.route("GET", "/icon.png", text(pngOf(12, 10), "image/png"));
    server.route("GET", "/broken.png", text("not an image", "image/png"));
    server.route("GET", "/missing.png", text("gone", "text/plain", 404));
    auto recorder = make<ImageRecorder>();
    auto b = button("launcherButton:", "Home", CGSizeMake(80, 80));
    b->setImageDelegate(recorder);
    auto url = str(server.url("/icon.png"));
    b->setImage(url, UIControlStateNormal);
    EXPECT_TRUE(b->imageForState(UIControlStateNormal)->isEqualToString(url));
    ASSERT_TRUE(runLoopUntil([&] { return b->contentForState(0)->image() != nullptr; }));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "loaded"}));
    EXPECT_TRUE(recorder->nilViews);
    EXPECT_EQ(b->contentForState(0)->request().get(), nullptr);

    // The highlighted state's load fails: it shows the normal image.
    b->setImage(str(server.url("/broken.png")), UIControlStateHighlighted);
    b->setHighlighted(true);
    ASSERT_TRUE(runLoopUntil([&] { return recorder->events.size() == 4; }));
    EXPECT_EQ(recorder->events[3], "fail dodiz20.network");
    EXPECT_EQ(b->imageForCurrentState().get(), b->contentForState(0)->image().get());
    b->setImage(str(server.url("/missing.png")), UIControlStateSelected);
    ASSERT_TRUE(runLoopUntil([&] { return recorder->events.size() == 6; }));
    EXPECT_EQ(recorder->events[4], "start");
    EXPECT_NE(recorder->events[5].find("fail"), std::string::npos);

    // The same URL again while its image is there does not load; an empty one clears it.
    std::size_t asked = server.requestsTo("/icon.png").size();
    b->setImage(url, UIControlStateNormal);
    EXPECT_EQ(server.requestsTo("/icon.png").size(), asked);
    EXPECT_EQ(recorder->events.size(), 6u);
    b->setImage(NS(""), UIControlStateNormal);
    EXPECT_EQ(b->contentForState(0)->image().get(), nullptr);
}

TEST_F(Buttons, ACachedImageAnswersAtOnceAndPlacesTheImagePart) {
    auto icon = UIImage::imageWithSize(CGSizeMake(20, 16), 1);
    auto url = str(server.url("/cached.png"));
    cache->storeImage(icon, url);
    auto recorder = make<ImageRecorder>();
    auto b = button("launcherButton:", "Home", CGSizeMake(80, 80));
    b->setImageDelegate(recorder);
    b->setIsVertical(true);
    b->setImage(url, UIControlStateNormal);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"loaded"}));
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_EQ(b->imageForCurrentState().get(), icon.get());
    // Vertical: the bounds, moved by the box margin (-7 at the top), the image centred in it.
    CGRect r = b->rectForImage();
    EXPECT_TRUE(sameRect(r, CGRectMake(30, 32 - 7, 20, 16))) << r.origin.x << " " << r.origin.y;
    // Without an image there is no rectangle.
    b->setImage(nullptr, UIControlStateNormal);
    EXPECT_TRUE(sameRect(b->rectForImage(), CGRectZero));
    EXPECT_TRUE(
        sameRect(button("toolbarButton:", "x", CGSizeMake(10, 10))->rectForImage(), CGRectZero));
}

TEST_F(Buttons, AButtonAnswersImageLoadsAndDoesNothingWithThem) {
    auto listener = button("launcherButton:", "Listener", CGSizeMake(80, 80));
    EXPECT_TRUE(respondsTo(listener.get(), Selector::named("imageView:didLoadImage:")));
    auto icon = UIImage::imageWithSize(CGSizeMake(20, 16), 1);
    auto url = str(server.url("/cached.png"));
    cache->storeImage(icon, url);
    auto b = button("launcherButton:", "Home", CGSizeMake(80, 80));
    b->setImageDelegate(listener.get());
    b->setImage(url, UIControlStateNormal);
    EXPECT_EQ(b->imageForCurrentState().get(), icon.get());
    EXPECT_EQ(listener->imageForCurrentState().get(), nullptr);
    EXPECT_TRUE(listener->titleForCurrentState()->isEqualToString(NS("Listener")));
}

TEST_F(Buttons, TheImagePartGoesWhereTheTextStepLeftTheContentFrame) {
    auto painter = std::make_shared<RecordingTextPainter>();
    UITextPainterInstall(painter);
    auto icon = paintedImage(CGSizeMake(20, 16), 1,
                             [] { fill(UIColor::redColor(), CGRectMake(0, 0, 20, 16)); });
    auto url = str(server.url("/red.png"));
    cache->storeImage(icon, url);
    auto b = button("launcherButton:", "Home", CGSizeMake(100, 40));
    b->setImage(url, UIControlStateNormal);
    auto image = drawn(b);
    UITextPainterInstall(nullptr);
    // The text frame starts after the image's 20: "Home" (22 x 14 in bold 11) is centred in
    // the remaining 80, at (29, 13) of it.
    ASSERT_EQ(painter->calls.size(), 1u);
    EXPECT_EQ(painter->calls[0].rect.origin.x, 20 + 29);
    // The image: at that offset, its own size, moved by the box margin (-7 at the top), so
    // (29, 6, 20, 16), with the corners rounded by the part's shape.
    EXPECT_TRUE(near(at(image, 39, 6.5f), kRed));
    EXPECT_TRUE(near(at(image, 29.5f, 14), kRed));
    EXPECT_TRUE(near(at(image, 48, 14), kRed));
    EXPECT_TRUE(near(at(image, 29.5f, 6.5f), kClear));
    EXPECT_TRUE(near(at(image, 49.5f, 14), kClear));
    EXPECT_TRUE(near(at(image, 30, 23), kClear));
    EXPECT_TRUE(near(at(image, 10, 14), kClear));
}

// A control whose selection is its own, as the table's cells keep it.
class AlwaysSelectedButton : public DZButton {
    NS_OBJECT(AlwaysSelectedButton, DZButton)
    bool isSelected() override { return true; }
};

TEST_F(Buttons, TheCurrentStateIsReadThroughTheOverridableGetters) {
    auto b = make<AlwaysSelectedButton>();
    b->setTitle(NS("plain"), UIControlStateNormal);
    b->setTitle(NS("chosen"), UIControlStateSelected);
    EXPECT_TRUE(b->titleForCurrentState()->isEqualToString(NS("chosen")));
    EXPECT_EQ(b->state(), UIControlStateSelected);
}

TEST_F(Buttons, SuspendingCancelsAHeldLoadAndResumingLoadsAgain) {
    auto gate = server.gate();
    server.route("GET", "/held.png", held(gate, text(pngOf(8, 8), "image/png")));
    auto b = button("launcherButton:", "Home", CGSizeMake(80, 80));
    b->setImage(str(server.url("/held.png")), UIControlStateNormal);
    auto content = b->contentForState(0);
    ASSERT_TRUE(runLoopUntil([&] { return content->request() != nullptr; }));
    b->suspendLoadingImages(true);
    EXPECT_EQ(content->request().get(), nullptr);
    gate->open();
    b->suspendLoadingImages(false);
    ASSERT_TRUE(runLoopUntil([&] { return content->image() != nullptr; }));
    b->suspendLoadingImages(false);  // has its image: nothing to do
    EXPECT_EQ(content->request().get(), nullptr);
}

TEST_F(Buttons, AFreedButtonCancelsItsLoad) {
    auto gate = server.gate();
    server.route("GET", "/slow.png", held(gate, text(pngOf(8, 8), "image/png")));
    Weak<DZButtonContent> content;
    {
        auto b = button("launcherButton:", "Home", CGSizeMake(80, 80));
        auto recorder = make<ImageRecorder>();
        b->setImageDelegate(recorder);
        b->setImage(str(server.url("/slow.png")), UIControlStateNormal);
        content = b->contentForState(0);
        ASSERT_TRUE(runLoopUntil([&] { return content.lock()->request() != nullptr; }));
    }
    EXPECT_FALSE(content.alive());
    gate->open();
    EXPECT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
}

}  // namespace
