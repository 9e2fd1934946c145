// The styled text document (layout on demand, editing, hit tests, images over real sockets) and
// the label that shows it (highlighting, touches, copy, accessibility, drawing).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSURL.h"
#include "Foundation/NetworkWork.h"
#include "UIKit/UIAccessibilityElement.h"
#include "UIKit/UIPasteboard.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWindow.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/URLRequestTesting.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/style/DZStyledTextLabel.h"
#include "ui/style/DZTextStyle.h"
#include "ui/style/StyleTesting.h"
#include "ui/style/StyledTextTesting.h"

namespace {

using testhttp::held;
using testhttp::text;

// Counts the redisplays asked for.
class Redraws : public NSObject, public DZStyledTextDelegate {
    NS_OBJECT(Redraws, NSObject)

public:
    int count = 0;
    void styledTextNeedsDisplay(DZStyledText*) override { ++count; }
};

// Writes down the URLs the navigator is asked to open, and opens none.
class NavigationRecorder : public NSObject, public DZNavigatorDelegate {
    NS_OBJECT(NavigationRecorder, NSObject)
    static void describeClass(RuntimeClass& c) { c.implements({"navigator:shouldOpenURL:"}); }

public:
    std::vector<std::string> opened;
    bool navigatorShouldOpenURL(DZBaseNavigator*, NSURL* url) override {
        opened.push_back(url->absoluteString()->utf8());
        return false;
    }
};

// A table that keeps the highlighted label as the framework's table does.
class HighlightingTable : public UIView, public DZStyledTextLabelTable {
    NS_OBJECT(HighlightingTable, UIView)

public:
    std::vector<DZStyledTextLabel*> told;
    void setHighlightedLabel(DZStyledTextLabel* label) override { told.push_back(label); }
};

// Styles for the label: one without a state.
class LabelSheet : public DZDefaultStyleSheet {
    NS_OBJECT(LabelSheet, DZDefaultStyleSheet)
    static void describeClass(RuntimeClass& c) { c.method("plainLink", &LabelSheet::plainLink); }
    Ref<DZStyle> plainLink() { return DZTextStyle::styleWithColor(UIColor::redColor(), nullptr); }
};

class StyledTextTest : public RequestQueueTest {
protected:
    void SetUp() override {
        RequestQueueTest::SetUp();
        DZStyleSheet::setGlobalStyleSheet(make<LabelSheet>());
    }
    Ref<DZStyledTextLabel> label(const char* source, CGRect frame) {
        auto l = make<DZStyledTextLabel>(&UIView::initWithFrame, frame);
        l->setHtml(NSString::fromUTF8(source));
        l->layoutSubviews();
        l->text()->layoutIfNeeded();
        return l;
    }
    // A touch at a point of the label, began then ended.
    static void tap(DZStyledTextLabel* l, CGPoint point, bool end = true) {
        auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
        auto touch = UITouch::touchInWindow(window, l->convertPoint(point, nullptr), l);
        auto touches = NSSet::setWithObject(touch);
        l->touchesBegan(touches, nullptr);
        if (end) l->touchesEnded(touches, nullptr);
    }
    Ref<DZStyle> sheetStyle(const char* name, UIControlState state) {
        return DZStyleSheet::globalStyleSheet()->styleWithSelector(NSString::fromUTF8(name), state);
    }
};

// ---- the document -------------------------------------------------------------------------------

TEST_F(StyledTextTest, LayoutFollowsWidthAndFontAndHeightRoundsUp) {
    auto t = markup("abc <img src=\"bundle://n.png\" width=\"10\" height=\"20.5\"/>");
    EXPECT_TRUE(t->needsLayout());
    t->setWidth(100);
    auto first = t->rootFrame();
    EXPECT_EQ(t->height(), 21);
    t->setWidth(100);
    EXPECT_EQ(t->rootFrame().get(), first.get());
    t->setWidth(100.5f);
    EXPECT_TRUE(t->needsLayout());
    auto second = t->rootFrame();
    EXPECT_NE(second.get(), first.get());
    t->setFont(UIFont::systemFontOfSize(20));
    EXPECT_TRUE(t->needsLayout());
    EXPECT_EQ(t->rootFrame()->height(), 24);  // the 20-point line
    t->setFont(t->font());
    EXPECT_FALSE(t->needsLayout());
    EXPECT_EQ(t->description()->utf8(), "abc ");
}

TEST_F(StyledTextTest, TopLevelNodesAreInsertedByPlace) {
    auto t = DZStyledText::textWithURLs(NS("a"));
    t->addText(NS("b"));
    t->addText(NS("c"));
    t->insertChild(DZStyledTextNode::nodeWithText(NS("x")), 2);
    EXPECT_EQ(treeOf(t), "'a' 'b' 'x' 'c'");
    t->insertChild(DZStyledTextNode::nodeWithText(NS("first")), 0);
    t->insertChild(DZStyledTextNode::nodeWithText(NS("last")), 99);
    EXPECT_EQ(treeOf(t), "'first' 'a' 'b' 'x' 'c' 'last'");
    auto empty = make<DZStyledText>(&DZStyledText::initWithNode, nullptr);
    empty->insertChild(DZStyledTextNode::nodeWithText(NS("only")), 3);
    empty->addChild(make<DZStyledBoldNode>());
    EXPECT_EQ(treeOf(empty), "'only' b[]");
}

TEST_F(StyledTextTest, FramesAreFoundByNodeAndByPoint) {
    auto t = markup("go <a href=\"http://a.test/\">there</a> now");
    t->setWidth(300);
    auto link = t->rootNode()->nextSibling();
    // No layout is forced for a look-up by node.
    auto fresh = markup("x");
    EXPECT_FALSE(fresh->getFrameForNode(fresh->rootNode()));
    EXPECT_FALSE(t->getFrameForNode(link));
    t->layoutIfNeeded();
    auto frame = t->getFrameForNode(link);
    ASSERT_TRUE(frame);
    EXPECT_EQ(boundsOf(frame), "(18,0 35x17)");
    EXPECT_EQ(t->hitTest(CGPointMake(30, 5)).get(), frame.get());
    EXPECT_FALSE(t->hitTest(CGPointMake(5, 5)));  // plain text is no box
    EXPECT_FALSE(t->hitTest(CGPointMake(30, 50)));
    auto textFrame = t->getFrameForNode(link->nextSibling());
    ASSERT_TRUE(textFrame);
    EXPECT_EQ(cast<DZStyledTextFrame>(textFrame)->text()->utf8(), " now");
}

TEST_F(StyledTextTest, ImagesLoadWhenADelegateIsSetAndArriveWithoutRelayout) {
    server.route("GET", "/a.png", text(pngOf(50, 30), "image/png"));
    auto cached = UIImage::imageWithSize(CGSizeMake(4, 4), 1);
    cache->storeImage(cached, str(server.url("/cached.png")));
    auto t = DZStyledText::textFromXHTML(str("<img src=\"" + server.url("/a.png") +
                                             "\"/> and <img src=\"" + server.url("/c.png") +
                                             "\" width=\"8\" height=\"8\"/>"));
    // The second image was cached after the node was made: the node waits for it too.
    cache->storeImage(cached, str(server.url("/c.png")));
    t->setWidth(200);
    auto frames = t->rootFrame();
    EXPECT_EQ(t->invalidImages()->count(), 2u);
    auto redraws = make<Redraws>();
    t->setDelegate(redraws);
    // The cached one at once, with one redisplay; the other one loads.
    EXPECT_EQ(redraws->count, 1);
    EXPECT_FALSE(t->invalidImages());
    auto second = cast<DZStyledImageNode>(t->rootNode()->nextSibling()->nextSibling());
    EXPECT_EQ(second->image().get(), cached.get());
    auto firstNode = cast<DZStyledImageNode>(t->rootNode());
    ASSERT_TRUE(runLoopUntil([&] { return firstNode->image() != nullptr; }));
    EXPECT_EQ(redraws->count, 2);
    EXPECT_EQ(firstNode->image()->size().width, 50);
    // Laid out before it came: the frame keeps its size until the next layout (an empty
    // frame, moved down onto the line's baseline).
    EXPECT_EQ(t->rootFrame().get(), frames.get());
    EXPECT_EQ(boundsOf(frames), "(0,14.2 0x0)");
    t->setWidth(201);
    EXPECT_EQ(boundsOf(t->rootFrame()), "(0,0 50x30)");
}

TEST_F(StyledTextTest, StoppedLoadsPutTheirImagesBackAndFailuresDropThem) {
    auto gate = server.gate();
    server.route("GET", "/held.png", held(gate, text(pngOf(8, 8), "image/png")));
    server.route("GET", "/broken.png", text("no image", "image/png"));
    auto t =
        DZStyledText::textFromXHTML(str("<img src=\"" + server.url("/held.png") +
                                        "\"/><img src=\"" + server.url("/broken.png") + "\"/>"));
    t->setWidth(100);
    t->rootFrame();
    auto redraws = make<Redraws>();
    t->setDelegate(redraws);
    ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() == 1 && NetworkWork::inFlight() == 1; }));
    t->stopLoadingImages();
    ASSERT_TRUE(t->invalidImages());
    EXPECT_EQ(t->invalidImages()->count(), 1u);
    EXPECT_EQ(t->invalidImages()->objectAtIndex(0).get(), t->rootNode().get());
    gate->open();
    // Loading again fetches it.
    t->loadImages();
    ASSERT_TRUE(
        runLoopUntil([&] { return cast<DZStyledImageNode>(t->rootNode())->image() != nullptr; }));
    EXPECT_FALSE(cast<DZStyledImageNode>(t->rootNode()->nextSibling())->image());
    EXPECT_EQ(redraws->count, 1);
}

// ---- the label ----------------------------------------------------------------------------------

TEST_F(StyledTextTest, APlainLinkHighlightsWithTheSheetsLinkStyle) {
    auto l = label("go <a href=\"http://a.test/x\">there</a> now", CGRectMake(0, 0, 300, 40));
    auto link = cast<DZStyledLinkNode>(l->text()->rootNode()->nextSibling());
    auto frame = cast<DZStyledBoxFrame>(l->text()->getFrameForNode(link));
    EXPECT_EQ(frame->style().get(), sheetStyle("linkText:", UIControlStateNormal).get());
    tap(l, CGPointMake(30, 5), false);
    EXPECT_EQ(l->highlightedNode().get(), link.get());
    EXPECT_EQ(l->highlightedFrame().get(), frame.get());
    EXPECT_EQ(frame->style().get(), sheetStyle("linkText:", UIControlStateHighlighted).get());
    l->setHighlightedNode(nullptr);
    EXPECT_EQ(frame->style().get(), sheetStyle("linkText:", UIControlStateNormal).get());
    EXPECT_FALSE(l->highlightedFrame());
}

TEST_F(StyledTextTest, ALinkBrokenOverLinesHighlightsAsAWhole) {
    auto l = label("<a href=\"http://a.test/\">aa bb cc dd</a> ee", CGRectMake(0, 0, 40, 60));
    auto first = cast<DZStyledInlineFrame>(l->text()->rootFrame());
    auto second = first->inlineNextFrame();
    ASSERT_TRUE(second);
    tap(l, CGPointMake(5, 20), false);  // on the second piece
    EXPECT_EQ(l->highlightedFrame().get(), second.get());
    auto highlighted = sheetStyle("linkText:", UIControlStateHighlighted);
    EXPECT_EQ(first->style().get(), highlighted.get());
    EXPECT_EQ(second->style().get(), highlighted.get());
}

TEST_F(StyledTextTest, OnlyStylesThatTakeAStateHighlight) {
    auto l = label("<span class=\"plainLink\">plain</span> <button href=\"/b\">b</button>",
                   CGRectMake(0, 0, 300, 40));
    auto span = cast<DZStyledBoxFrame>(l->text()->rootFrame());
    tap(l, CGPointMake(3, 5), false);
    EXPECT_FALSE(l->highlightedNode());
    EXPECT_EQ(span->style().get(), sheetStyle("plainLink", UIControlStateNormal).get());
}

TEST_F(StyledTextTest, ANewWidthClearsTheHighlight) {
    auto l = label("<a href=\"http://a.test/\">link</a>", CGRectMake(0, 0, 300, 40));
    tap(l, CGPointMake(3, 5), false);
    ASSERT_TRUE(l->highlightedNode());
    l->layoutSubviews();  // same width
    EXPECT_TRUE(l->highlightedNode());
    l->setFrame(CGRectMake(0, 0, 250, 40));
    l->layoutSubviews();
    EXPECT_FALSE(l->highlightedNode());
    EXPECT_EQ(l->text()->width(), 250);
    l->setContentInset(UIEdgeInsetsMake(1, 10, 2, 20));
    l->layoutSubviews();
    EXPECT_EQ(l->text()->width(), 220);
    CGSize fits = l->sizeThatFits(CGSizeMake(1, 1));
    EXPECT_EQ(fits.width, 250);
    EXPECT_EQ(fits.height, 17 + 3);
}

TEST_F(StyledTextTest, ATouchedLinkOpensThroughTheNavigatorUnlessATableTakesIt) {
    auto navigator = DZNavigator::navigator();
    auto recorder = make<NavigationRecorder>();
    navigator->setDelegate(recorder);
    auto l = label("go <a href=\"http://a.test/x\">there</a>", CGRectMake(0, 0, 300, 40));
    l->setContentInset(UIEdgeInsetsMake(10, 5, 0, 0));
    l->layoutSubviews();
    tap(l, CGPointMake(5 + 30, 10 + 5));
    EXPECT_EQ(recorder->opened, (std::vector<std::string>{"http://a.test/x"}));
    EXPECT_FALSE(l->highlightedNode());
    // A touch off the link opens nothing.
    tap(l, CGPointMake(5 + 2, 10 + 5));
    EXPECT_EQ(recorder->opened.size(), 1u);

    // Inside a table the table hears of the label and opens nothing here.
    auto table = make<HighlightingTable>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 400));
    auto cell = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 44));
    table->addSubview(cell);
    cell->addSubview(l);
    tap(l, CGPointMake(5 + 30, 10 + 5), false);
    EXPECT_EQ(table->told, (std::vector<DZStyledTextLabel*>{l.get()}));
    tap(l, CGPointMake(5 + 30, 10 + 5));
    EXPECT_EQ(recorder->opened.size(), 1u);
    EXPECT_TRUE(l->highlightedNode());
    l->setHighlightedNode(nullptr);
    EXPECT_EQ(table->told.back(), nullptr);
    navigator->setDelegate(nullptr);
}

TEST_F(StyledTextTest, CopyPutsEveryTopLevelNodesTextOnThePasteboard) {
    auto l = label("first <b>bold</b> <a href=\"h\">link</a> last", CGRectMake(0, 0, 300, 40));
    l->copy(nullptr);
    auto board = UIPasteboard::generalPasteboard();
    EXPECT_EQ(board->string()->utf8(), "first bold link last");
    EXPECT_EQ(as<NSString>(board->valueForPasteboardType(NS("public.utf8-plain-text")))->utf8(),
              "first bold link last");
    EXPECT_TRUE(respondsTo(l.get(), Selector::named("copy:")));
}

TEST_F(StyledTextTest, AccessibilityListsLinksAndLinesOfEveryTopLevelNode) {
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    auto l = label("aaa bbb ccc <a href=\"h\">link</a> <b>dd</b>", CGRectMake(10, 20, 60, 80));
    window->addSubview(l);
    std::vector<std::string> seen;
    for (NSInteger i = 0; i < l->accessibilityElementCount(); ++i) {
        auto e = cast<UIAccessibilityElement>(l->accessibilityElementAtIndex(i));
        EXPECT_EQ(l->indexOfAccessibilityElement(e), i);
        std::string kind = e->accessibilityTraits() == UIAccessibilityTraitLink ? "link" : "text";
        CGRect r = e->accessibilityFrame();
        seen.push_back(kind + " '" + e->accessibilityLabel()->utf8() + "' " + num(r.origin.x) +
                       "," + num(r.origin.y) + " " + num(r.size.width) + "x" + num(r.size.height));
    }
    // The first text, the link, the space after it and the bold text, offset by the label's
    // place on the screen.
    // Lines that start at the same x join: a new element begins only left of the run.
    EXPECT_EQ(seen, (std::vector<std::string>{"text 'aaa bbb ccc ' 10,20 49x34",
                                              "link 'link' 35,37 28x17", "text ' ' 63,37 4x17",
                                              "text 'dd' 10,54 14x17"}));
    EXPECT_FALSE(l->accessibilityElementAtIndex(99));
    EXPECT_EQ(l->indexOfAccessibilityElement(l), NSNotFound);
}

TEST_F(StyledTextTest, TheLabelDrawsItsTextAndALinkHighlight) {
    auto l = label("<a href=\"http://a.test/\">link</a> text", CGRectMake(0, 0, 120, 30));
    l->setContentInset(UIEdgeInsetsMake(6, 8, 0, 0));
    l->layoutSubviews();
    auto draw = [&] {
        return paintedImage(CGSizeMake(120, 30), 2, [&] { l->drawRect(l->bounds()); });
    };
    // Left of the link's text, inside its highlight's rounded box only while highlighted.
    CGFloat probeX = 8 - 2, probeY = 6 + 8;
    auto before = draw();
    EXPECT_EQ(at(before, probeX, probeY).a, 0);
    tap(l, CGPointMake(8 + 5, 6 + 5), false);
    auto after = draw();
    EXPECT_TRUE(near(at(after, probeX, probeY), RGBA{191, 191, 191, 255}));
    // Some ink of the text in the label's colour.
    bool ink = false;
    for (CGFloat x = 8 + 29; x < 8 + 60 && !ink; x += 0.5f)
        for (CGFloat y = 6; y < 6 + 17 && !ink; y += 0.5f)
            ink = at(after, x, y).a > 200 && at(after, x, y).r < 60;
    EXPECT_TRUE(ink);
}

TEST_F(StyledTextTest, ALabelLetsGoOfItsTextsDelegate) {
    auto t = markup("x");
    {
        auto l = make<DZStyledTextLabel>(&UIView::initWithFrame, CGRectMake(0, 0, 10, 10));
        l->setText(t);
        EXPECT_EQ(dynamic_cast<DZStyledTextLabel*>(t->delegate().get()), l.get());
        auto other = markup("y");
        l->setText(other);
        EXPECT_FALSE(t->delegate());
        l->setText(t);
    }
    EXPECT_FALSE(t->delegate());
}

}  // namespace
