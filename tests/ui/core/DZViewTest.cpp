#include <gtest/gtest.h>

#include <vector>

#include "DodizTesting.h"
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "ui/core/DZView.h"
#include "ui/core/DZYouTubeView.h"
#include "ui/core/DZLayout.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZStyleContext.h"

namespace {

class ContentView : public DZView {
    NS_OBJECT(ContentView, DZView)
    void drawContent(CGRect rect) override { contents.push_back(rect); }
    std::vector<CGRect> contents;
};

// A style that records what it drew in and may claim the content.
class RecordingStyle : public DZStyle {
    NS_OBJECT(RecordingStyle, DZStyle)
    void draw(DZStyleContext* context) override {
        frames.push_back(context->frame());
        contentFrames.push_back(context->contentFrame());
        delegates.push_back(context->delegate().get());
        if (drawsContent) context->setDidDrawContent(true);
        DZStyle::draw(context);
    }
    CGSize addToSize(CGSize size, DZStyleContext* context) override {
        fonts.push_back(context->font().get());
        return DZStyle::addToSize(CGSizeMake(size.width + 10, size.height + 4), context);
    }
    bool drawsContent = false;
    std::vector<CGRect> frames, contentFrames;
    std::vector<DZStyleDelegate*> delegates;
    std::vector<UIFont*> fonts;
};

class RecordingLayout : public DZLayout {
    NS_OBJECT(RecordingLayout, DZLayout)
    CGSize layoutSubviews(NSArray* subviews, UIView* view) override {
        counts.push_back(subviews->count());
        views.push_back(view);
        return CGSizeMake(1, 1);
    }
    std::vector<NSUInteger> counts;
    std::vector<UIView*> views;
};

Ref<ContentView> contentView() {
    return make<ContentView>(&UIView::initWithFrame, CGRectMake(10, 20, 30, 40));
}

TEST(DZView, RedrawsWhenTheBoundsChange) {
    EXPECT_EQ(contentView()->contentMode(), UIViewContentModeRedraw);
}

TEST(DZView, WithoutAStyleOnlyTheContentIsDrawn) {
    auto view = contentView();
    view->drawRect(CGRectMake(1, 1, 1, 1));
    ASSERT_EQ(view->contents.size(), 1u);
    EXPECT_EQ(rectText(view->contents[0]), rectText({{0, 0}, {30, 40}}));
}

TEST(DZView, TheStyleChainDrawsThenTheContentWhatItLeft) {
    auto view = contentView();
    auto second = make<RecordingStyle>();
    auto first = make<RecordingStyle>(&DZStyle::initWithNext, second.get());
    view->setStyle(first);
    view->drawRect(CGRectZero);
    ASSERT_EQ(first->frames.size(), 1u);
    ASSERT_EQ(second->frames.size(), 1u);  // passed along the chain
    EXPECT_EQ(rectText(first->frames[0]), rectText({{0, 0}, {30, 40}}));
    EXPECT_EQ(rectText(first->contentFrames[0]), rectText({{0, 0}, {30, 40}}));
    EXPECT_EQ(first->delegates[0], static_cast<DZStyleDelegate*>(view.get()));
    EXPECT_EQ(view->contents.size(), 1u);
    // A style that drew the content leaves nothing to drawContent.
    second->drawsContent = true;
    view->drawRect(CGRectZero);
    EXPECT_EQ(view->contents.size(), 1u);
    EXPECT_EQ(second->frames.size(), 2u);
}

TEST(DZView, SettingTheSameStyleDoesNotRedisplay) {
    auto view = contentView();
    view->displayIfNeeded();
    auto style = make<RecordingStyle>();
    view->setStyle(style);
    EXPECT_TRUE(view->needsDisplay());
    view->displayIfNeeded();
    EXPECT_FALSE(view->needsDisplay());
    view->setStyle(style);
    EXPECT_FALSE(view->needsDisplay());
    EXPECT_EQ(view->style().get(), style.get());
    view->setStyle(nullptr);
    EXPECT_TRUE(view->needsDisplay());
}

TEST(DZView, SizeIsWhatTheStylesAdd) {
    auto view = contentView();
    EXPECT_EQ(rectText({{0, 0}, view->sizeThatFits(CGSizeMake(500, 500))}), rectText(CGRectZero));
    auto second = make<RecordingStyle>();
    auto first = make<RecordingStyle>(&DZStyle::initWithNext, second.get());
    view->setStyle(first);
    CGSize size = view->sizeThatFits(CGSizeMake(500, 500));
    EXPECT_EQ(size.width, 20);
    EXPECT_EQ(size.height, 8);
    EXPECT_EQ(first->fonts, std::vector<UIFont*>{nullptr});
}

TEST(DZView, TheLayoutPlacesTheSubviews) {
    auto view = contentView();
    view->layoutSubviews();  // no layout: nothing happens
    auto layout = make<RecordingLayout>();
    view->displayIfNeeded();
    view->setLayout(layout);
    EXPECT_FALSE(view->needsDisplay());
    view->addSubview(make<UIView>(&UIView::initWithFrame, CGRectZero));
    view->addSubview(make<UIView>(&UIView::initWithFrame, CGRectZero));
    view->layoutSubviews();
    EXPECT_EQ(layout->counts, std::vector<NSUInteger>{2});
    EXPECT_EQ(layout->views, std::vector<UIView*>{view.get()});
}

TEST(DZUnclippedView, SwitchesClippingOffUpToTheTop) {
    auto top = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 100, 100));
    auto middle = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 50, 50));
    auto inner = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 20, 20));
    for (UIView* v : {top.get(), middle.get(), inner.get()})
        v->setClipsToBounds(true);
    top->addSubview(middle);
    middle->addSubview(inner);
    auto unclipped = make<DZUnclippedView>(&UIView::initWithFrame, CGRectMake(0, 0, 10, 10));
    unclipped->setClipsToBounds(true);
    inner->addSubview(unclipped);
    for (UIView* v : {top.get(), middle.get(), inner.get()})
        EXPECT_FALSE(v->clipsToBounds());
    EXPECT_FALSE(unclipped->clipsToBounds());
    unclipped->setFrame(CGRectMake(1, 2, 3, 4));
    EXPECT_EQ(rectText(unclipped->frame()), rectText({{1, 2}, {3, 4}}));
}

class YouTubeViewTest : public testing::Test {
protected:
    static void settle() {
        for (int i = 0; i < 4; ++i)
            advanceRunLoop(0);
    }
    static std::string eval(UIWebView* view, const char* script) {
        return text(view->stringByEvaluatingJavaScriptFromString(str(script)));
    }
    ManualClockScope clock_;
};

TEST_F(YouTubeViewTest, ThePlayerPageAtTheViewsSize) {
    auto view = make<DZYouTubeView>(&DZYouTubeView::initWithURLPath,
                                    NS("http://video.test/v/abc?x=1&y=\"2\"&z=<3>"));
    settle();
    EXPECT_EQ(rectText(view->frame()), rectText({{0, 0}, {140, 105}}));
    // The URL reaches the page as it is, whatever characters it holds.
    EXPECT_EQ(eval(view, "document.getElementById('yt').getAttribute('src')"),
              "http://video.test/v/abc?x=1&y=\"2\"&z=<3>");
    EXPECT_EQ(eval(view, "document.getElementsByTagName('param')[0].getAttribute('value')"),
              "http://video.test/v/abc?x=1&y=\"2\"&z=<3>");
    EXPECT_EQ(eval(view, "document.getElementById('yt').getAttribute('width')"), "140");
    EXPECT_EQ(eval(view, "document.getElementById('yt').getAttribute('height')"), "105");
    EXPECT_EQ(eval(view, "document.getElementsByTagName('embed').length"), "1");
    EXPECT_EQ(text(view->urlPath()), "http://video.test/v/abc?x=1&y=\"2\"&z=<3>");
    // A URL that tries to close the attribute stays inside it.
    view->setUrlPath(NS("http://video.test/\"><script>document.title='owned'</script>"));
    settle();
    EXPECT_EQ(eval(view, "document.title"), "");
    EXPECT_EQ(eval(view, "document.getElementsByTagName('script').length"), "0");
}

TEST_F(YouTubeViewTest, LayoutResizesThePlayer) {
    auto view = make<DZYouTubeView>(&DZYouTubeView::initWithURLPath, NS("http://video.test/v"));
    settle();
    view->setFrame(CGRectMake(0, 0, 320, 240));
    view->layoutSubviews();
    EXPECT_EQ(eval(view, "yt.width + 'x' + yt.height"), "320x240");
}

TEST_F(YouTubeViewTest, NoURLShowsAnEmptyPage) {
    auto view = make<DZYouTubeView>(&DZYouTubeView::initWithURLPath, nullptr);
    settle();
    EXPECT_EQ(view->urlPath().get(), nullptr);
    EXPECT_EQ(eval(view, "document.getElementsByTagName('embed').length"), "0");
    EXPECT_EQ(eval(view, "document.body.textContent"), "\u00a0");
}

}  // namespace
