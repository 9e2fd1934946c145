// The web view's picture: pages laid out and painted at scale 2 and probed pixel by pixel
// (backgrounds, rounded borders, text, images from the loopback server and data: URLs, style
// rules, scrolling), exact line breaks with the fixed-advance test font, relayout when scripts,
// the width or a style sheet change the page, taps, text that agrees with the picture, and a
// page the engine cannot lay out.
#include <unistd.h>

#include <filesystem>

#include "DrawingTesting.h"
#include "Foundation/NSData.h"
#include "Foundation/NSError.h"
#include "Foundation/NSLog.h"
#include "Foundation/NetworkWork.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "UIWebViewTesting.h"
#include "support/http/TestServer.h"

using namespace testhttp;

namespace {

class WebViewPaint : public WebViewTest {
protected:
    Ref<UIImage> shot() { return UIViewRenderImage(webView, 2); }
    // The pixel at a point of the view, at scale 2.
    static RGBA at(UIImage* image, CGFloat x, CGFloat y) {
        return pixelAt(image, int(x * 2), int(y * 2));
    }
    static bool dark(RGBA c) { return c.a > 200 && c.r < 100 && c.g < 100 && c.b < 100; }
    // How many pixels in the rectangle (points) pass the test.
    template <typename Test>
    static int pixelsIn(UIImage* image, CGRect r, Test test) {
        auto px = UIImagePixelsOf(image->CGImage());  // one copy for the whole count
        int n = 0;
        for (int y = int(r.origin.y * 2); y < int(CGRectGetMaxY(r) * 2); ++y)
            for (int x = int(r.origin.x * 2); x < int(CGRectGetMaxX(r) * 2); ++x)
                n += test(pixelAt(px, x, y)) ? 1 : 0;
        return n;
    }
    static int darkPixels(UIImage* image, CGRect r) { return pixelsIn(image, r, dark); }
    static int redPixels(UIImage* image, CGRect r) {
        return pixelsIn(image, r,
                        [](RGBA c) { return c.a > 252 && c.r > 252 && c.g < 3 && c.b < 3; });
    }
    // A rectangle's pixels at scale 2.
    static int area(CGFloat w, CGFloat h) { return int(w * h * 4); }
    // The body laid out on white shows `total` red pixels, all within the rectangles.
    void expectRedExactlyIn(const std::string& body, const std::vector<CGRect>& where, int total) {
        load("<body style='margin:0'>" + body + "</body>");
        auto image = shot();
        int inside = 0;
        for (CGRect r : where)
            inside += redPixels(image, r);
        EXPECT_EQ(inside, total) << body;
        EXPECT_EQ(redPixels(image, CGRectMake(0, 0, 320, 416)), total) << body;
    }
    CGFloat contentHeight() { return webView->scrollView()->contentSize().height; }
};

Ref<NSData> pngOf(CGSize size, UIColor* color) {
    auto image = paintedImage(
        size, 1,
        [&] {
            fill(color, CGRect{{0, 0}, size});
        },
        true);
    return UIImagePNGRepresentation(image);
}

}  // namespace

TEST_F(WebViewPaint, BackgroundsRoundedBordersAndText) {
    load(
        "<html><body style='margin:0;padding:10px;background:#00ff00'>"
        "<div style='width:100px;height:50px;border:4px solid #0000ff;"
        "border-radius:20px;background:#ff0000'></div>"
        "<p style='margin:0;font-size:20px;font-family:Helvetica;line-height:24px;color:#000'>"
        "iiii <b>iiii</b></p></body></html>");
    auto image = shot();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size().width, 320);
    EXPECT_EQ(pixelAt(image, 639, 0).a, 255);
    // The body's colour around the box and below the page's content.
    EXPECT_TRUE(near(at(image, 5, 5), kGreen));
    EXPECT_TRUE(near(at(image, 300, 400), kGreen));
    // The box (10...118 by 10...68): red inside, blue border, and rounded corners that show
    // the body through.
    EXPECT_TRUE(near(at(image, 60, 40), kRed));
    EXPECT_TRUE(near(at(image, 60, 12), kBlue));
    EXPECT_TRUE(near(at(image, 12, 40), kBlue));
    EXPECT_TRUE(near(at(image, 116, 40), kBlue));
    EXPECT_TRUE(near(at(image, 60, 66), kBlue));
    EXPECT_TRUE(near(at(image, 11, 11), kGreen));   // outside the top-left curve
    EXPECT_TRUE(near(at(image, 117, 67), kGreen));  // outside the bottom-right curve
    EXPECT_TRUE(near(at(image, 60, 69), kGreen));
    // The text's line box is 10...330 by 68...92; "iiii" takes 40 points in the test font,
    // the space 5, the bold word the next 40.
    CGFloat top = 68;
    int normal = darkPixels(image, CGRectMake(10, top, 40, 24));
    int bold = darkPixels(image, CGRectMake(55, top, 40, 24));
    EXPECT_GT(normal, 20);
    EXPECT_GT(bold, normal);
    EXPECT_EQ(darkPixels(image, CGRectMake(0, top + 24, 320, 30)), 0);
    EXPECT_EQ(darkPixels(image, CGRectMake(96, top, 224, 24)), 0);
    EXPECT_EQ(darkPixels(image, CGRectMake(0, top, 10, 24)), 0);
}

TEST_F(WebViewPaint, TheTestFontBreaksLinesExactly) {
    webView->setFrame(CGRectMake(0, 0, 320, 10));  // content height: the page's own
    std::string page =
        "<body style='margin:0'><div id=d style='width:130px;font-size:20px;line-height:24px'>"
        "<span onclick=\"window.hit='a'\">aaaa</span> <span onclick=\"window.hit='b'\">bbbb"
        "</span> <span onclick=\"window.hit='c'\">cccc</span></div></body>";
    load(page);
    shot();
    // 40 + 5 + 40 + 5 + 40: exactly the width, one line.
    EXPECT_EQ(contentHeight(), 24);
    eval("document.getElementById('d').style.width = '129px'");
    shot();
    EXPECT_EQ(contentHeight(), 48);
    // The third word starts the second line.
    EXPECT_TRUE(webView->tapAtPoint(CGPointMake(10, 30)));
    EXPECT_EQ(eval("window.hit"), "c");
    EXPECT_TRUE(webView->tapAtPoint(CGPointMake(50, 10)));
    EXPECT_EQ(eval("window.hit"), "b");
    EXPECT_FALSE(webView->tapAtPoint(CGPointMake(300, 60)) && eval("window.hit") != "b");
}

TEST_F(WebViewPaint, APictureTakenWithRealFontMeasuresIsLaidOutWithThem) {
    load(
        "<body style='margin:0'><div style='width:130px;font-size:20px;line-height:24px'>"
        "aaaa bbbb cccc</div></body>");
    auto image = shot();
    EXPECT_GT(darkPixels(image, CGRectMake(0, 0, 130, 24)), 0);
    EXPECT_EQ(darkPixels(image, CGRectMake(0, 24, 320, 24)), 0);
    // The face's letters are wider than the test font's half em: the third word wraps.
    UITextMeasurerScope fonts(UIFontTextMeasurer::shared());
    image = shot();
    EXPECT_GT(darkPixels(image, CGRectMake(0, 24, 130, 24)), 0);
    EXPECT_EQ(darkPixels(image, CGRectMake(130, 0, 190, 48)), 0);
}

TEST_F(WebViewPaint, AWordLongerThanTheViewportBreaksAtItsEdge) {
    webView->setFrame(CGRectMake(0, 0, 320, 10));  // content height: the page's own
    // Letters of 10 points in a box with 10 points of padding on each side: 30 fill a line.
    std::string word(32, 'a');
    load(
        "<body style='margin:0'><div style='padding:10px;font-size:20px;line-height:24px'>"
        "To " +
        word + "@relay.test now</div></body>");
    shot();
    // The long word goes on after "To", breaks at the padding's edge (27 of its letters fill the
    // line) and ends on the second line, "now" after it; nothing is drawn past the edge.
    EXPECT_EQ(contentHeight(), 20 + 2 * 24);
    webView->setFrame(CGRectMake(0, 0, 320, 100));
    auto image = shot();
    EXPECT_GT(darkPixels(image, CGRectMake(290, 10, 20, 24)), 0);
    EXPECT_GT(darkPixels(image, CGRectMake(10, 34, 20, 24)), 0);
    EXPECT_GT(darkPixels(image, CGRectMake(180, 34, 30, 24)), 0);
    EXPECT_EQ(darkPixels(image, CGRectMake(210, 34, 110, 24)), 0);
    EXPECT_EQ(darkPixels(image, CGRectMake(310, 0, 10, 68)), 0);
    // Words that fit, and text that must not wrap, stay whole.
    load(
        "<body style='margin:0'><div style='padding:10px;font-size:20px;line-height:24px'>"
        "aaaa bbbb<div style='white-space:nowrap'>" +
        word + word + "</div></div></body>");
    webView->setFrame(CGRectMake(0, 0, 320, 10));
    shot();
    EXPECT_EQ(contentHeight(), 20 + 2 * 24);
    webView->setFrame(CGRectMake(0, 0, 320, 100));
    image = shot();
    EXPECT_GT(darkPixels(image, CGRectMake(310, 34, 10, 24)), 0);
}

TEST_F(WebViewPaint, ABoxWiderThanTheScreenIsNarrowedToItAsItsWordsAre) {
    // A bordered table of a fixed width past the screen's, full of words.
    std::string words;
    for (int i = 0; i < 40; ++i)
        words += "Selling my road bike, good condition. ";
    load("<body style='margin:8px'><table width='600' style='border:2px solid #000'><tr><td>" +
         words + "</td></tr></table></body>");
    webView->setFrame(CGRectMake(0, 0, 320, 10));
    shot();
    webView->setFrame(CGRectMake(0, 0, 320, std::min<CGFloat>(contentHeight(), 400)));
    auto image = shot();
    // Its right border stands inside the screen, as far in as its left one, the words within.
    auto column = [&](CGFloat x) { return darkPixels(image, CGRectMake(x, 20, 1, 100)); };
    EXPECT_EQ(column(8), 400);
    EXPECT_EQ(column(310), 400);
    EXPECT_EQ(darkPixels(image, CGRectMake(312, 0, 8, 120)), 0);
    EXPECT_LE(webView->scrollView()->contentSize().width, 320);
    // A block of a set width past the screen's, padded, keeps its padding inside the screen.
    load("<body style='margin:0'><div style='width:600px;padding:10px;border:2px solid #000'>" +
         words + "</div></body>");
    webView->setFrame(CGRectMake(0, 0, 320, 200));
    image = shot();
    EXPECT_EQ(column(0), 400);
    EXPECT_EQ(column(318), 400);
    EXPECT_EQ(darkPixels(image, CGRectMake(308.5f, 4, 9, 190)), 0);
}

TEST_F(WebViewPaint, ATextDocumentsLongLineWrapsAtTheScreensEdge) {
    // A list the way a server sends it: short lines kept as they are, one line far wider than
    // the screen.
    std::string text =
        "[\n  \"kind\": \"impression\",\n  \"target\": \"/exmet.php?appid=" + std::string(60, 'a') +
        "&nid=iad&type=19\"\n]\n";
    webView->loadData(NSData::dataWithBytes(text.data(), NSUInteger(text.size())),
                      NS("application/json"), NS("utf-8"), nullptr);
    settle();
    auto image = shot();
    auto lines = eval("document.body.innerText");
    EXPECT_NE(lines.find("\"kind\": \"impression\","), std::string::npos) << lines;
    // Nothing drawn at the right edge: the long line goes on over the lines below its start,
    // where four lines of text unwrapped would have ended 80 points down.
    EXPECT_EQ(darkPixels(image, CGRectMake(314, 0, 6, 200)), 0);
    EXPECT_GT(darkPixels(image, CGRectMake(8, 90, 300, 60)), 0);
}

TEST_F(WebViewPaint, FollowsScriptsWidthAndScrolling) {
    load(
        "<body style='margin:0;background:#ff0000'>"
        "<div style='height:500px;background:#ff0000'></div>"
        "<div style='height:500px;background:#0000ff'></div>"
        "<p id=t style='font-size:20px;line-height:24px;margin:0'>"
        "aaaa aaaa aaaa aaaa aaaa aaaa aaaa</p></body>");
    auto image = shot();
    EXPECT_TRUE(near(at(image, 100, 100), kRed));
    EXPECT_EQ(contentHeight(), 1024);  // 310 points of text fit 320 on one line
    // Scrolled by the scroll view, the second block shows at the top.
    webView->scrollView()->setContentOffset(CGPointMake(0, 600));
    image = shot();
    EXPECT_TRUE(near(at(image, 100, 10), kBlue));
    webView->scrollView()->setContentOffset(CGPointMake(0, 0));
    // A script's change shows at the next picture.
    eval("document.body.firstChild.style.background = '#00ff00'");
    image = shot();
    EXPECT_TRUE(near(at(image, 100, 100), kGreen));
    // A narrower view breaks the text again.
    webView->setFrame(CGRectMake(0, 0, 200, 416));
    shot();
    EXPECT_EQ(contentHeight(), 1000 + 2 * 24);
}

TEST_F(WebViewPaint, ANewPageShowsFromItsTop) {
    std::string tall =
        "<body style='margin:0'><div style='height:600px;background:#ff0000'></div>"
        "<div style='height:600px;background:#0000ff'></div></body>";
    load(tall);
    shot();
    webView->scrollView()->setContentOffset(CGPointMake(0, 700));
    EXPECT_TRUE(near(at(shot(), 100, 10), kBlue));
    // The same markup again is a new document all the same.
    load(tall);
    EXPECT_EQ(webView->scrollView()->contentOffset().y, 0);
    EXPECT_TRUE(near(at(shot(), 100, 10), kRed));
}

TEST_F(WebViewPaint, ATapClicksTheLinkUnderItAsAFingerWould) {
    load(
        "<body style='margin:0'><p style='margin:0;font-size:20px;line-height:24px'>"
        "<a href='http://shop.test/next'>next page</a> plain</p></body>");
    recorder->take();
    EXPECT_TRUE(webView->tapAtPoint(CGPointMake(20, 10)));
    settle();
    auto events = recorder->take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0], "should 0 http://shop.test/next");
    // Scrolled away from the link, the same point hits nothing that navigates.
    load(
        "<body style='margin:0'><div style='height:600px'></div>"
        "<a href='http://shop.test/far'>far</a></body>");
    recorder->take();
    EXPECT_TRUE(webView->tapAtPoint(CGPointMake(10, 5)));  // the empty block
    settle();
    EXPECT_TRUE(recorder->take().empty());
    webView->scrollView()->setContentOffset(CGPointMake(0, 600));
    EXPECT_TRUE(webView->tapAtPoint(CGPointMake(10, 5)));
    settle();
    events = recorder->take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0], "should 0 http://shop.test/far");
}

TEST_F(WebViewPaint, StyleRulesHideBlocksInThePictureAndInTheText) {
    load(
        "<html><head><style>.gone { display: none } .ghost { visibility: hidden }</style>"
        "</head><body style='margin:0'>"
        "<div class=gone style='height:50px;background:#ff0000'>secret one</div>"
        "<div class=ghost style='height:50px;background:#00ff00'>secret two</div>"
        "<div style='height:50px;background:#0000ff'>shown</div></body></html>");
    auto image = shot();
    // The hidden block takes no room; the invisible one keeps its room but paints nothing.
    EXPECT_TRUE(near(at(image, 100, 25), kWhite));
    EXPECT_TRUE(near(at(image, 300, 75), kBlue));
    auto text = webView->readableText()->utf8();
    EXPECT_EQ(text.find("secret"), std::string::npos) << text;
    EXPECT_NE(text.find("shown"), std::string::npos) << text;
}

TEST_F(WebViewPaint, ListItemsHaveTheirMarkers) {
    load(
        "<body style='margin:0'><ul style='margin:0;padding-left:40px;font-size:20px;"
        "line-height:24px;color:#000'><li>one</li><li style='list-style-type:square'>two</li>"
        "<li style='list-style-type:none'>three</li></ul></body>");
    auto image = shot();
    // Markers sit in the padding, left of each item's text, one per line box.
    EXPECT_GT(darkPixels(image, CGRectMake(0, 0, 40, 24)), 0);
    EXPECT_GT(darkPixels(image, CGRectMake(0, 24, 40, 24)),
              darkPixels(image, CGRectMake(0, 0, 40, 24)));
    EXPECT_EQ(darkPixels(image, CGRectMake(0, 48, 40, 24)), 0);
    EXPECT_GT(darkPixels(image, CGRectMake(40, 48, 80, 24)), 0);
}

TEST_F(WebViewPaint, DataURLImagesPaintAtTheirSize) {
    auto png = pngOf(CGSizeMake(30, 20), UIColor::redColor());
    std::string url = "data:image/png;base64," + png->base64EncodedString()->utf8();
    load("<body style='margin:0'><img style='display:block' src='" + url +
         "'>"
         "<div style='width:20px;height:20px;background:url(\"" +
         url + "\")'></div></body>");
    auto image = shot();
    EXPECT_TRUE(near(at(image, 1, 1), kRed));
    EXPECT_TRUE(near(at(image, 29, 19), kRed));
    EXPECT_TRUE(near(at(image, 31, 10), kWhite));
    // The background below, cut to its box.
    EXPECT_TRUE(near(at(image, 10, 30), kRed));
    EXPECT_TRUE(near(at(image, 25, 30), kWhite));
}

// A red picture 30 by 20 points, as a data: URL.
std::string redPicture() {
    auto png = pngOf(CGSizeMake(30, 20), UIColor::redColor());
    return "data:image/png;base64," + png->base64EncodedString()->utf8();
}

TEST_F(WebViewPaint, ImagesPaintWhereTheyAreLaidOut) {
    std::string url = redPicture();
    // After text on a line: "aaaa " takes 45 points in the test font.
    expectRedExactlyIn(
        "<p style='margin:0;font-size:20px;line-height:24px'>aaaa <img src='" + url + "'></p>",
        {CGRectMake(45, 0, 30, 24)}, area(30, 20));
    // Centred, below a block.
    expectRedExactlyIn("<div style='height:50px'></div><center><img src='" + url + "'></center>",
                       {CGRectMake(145, 50, 30, 24)}, area(30, 20));
    // In the second cell of a table moved off the origin.
    expectRedExactlyIn(
        "<table style='margin:40px 0 0 60px;border-spacing:0'><tr>"
        "<td style='padding:0;width:100px;height:30px'>x</td><td style='padding:0'>"
        "<img src='" +
            url + "' style='display:block'></td></tr></table>",
        {CGRectMake(160, 40, 30, 30)}, area(30, 20));
    // Scaled by its attributes and by style rules, each where it is laid out.
    expectRedExactlyIn(
        "<div style='height:10px'></div>"
        "<img style='display:block;margin-left:20px' width=60 height=40 src='" +
            url +
            "'><img style='display:block;margin-left:100px;width:90px;"
            "height:10px' src='" +
            url + "'>",
        {CGRectMake(20, 10, 60, 40), CGRectMake(100, 50, 90, 10)}, area(60, 40) + area(90, 10));
}

TEST_F(WebViewPaint, APictureClaimingAHugeSizeIsLaidOutWithinBounds) {
    // A picture whose header claims a height past what an int holds (2^31 + 1 rows).
    auto png = pngOf(CGSizeMake(30, 20), UIColor::redColor());
    std::string bytes(static_cast<const char*>(png->bytes()), png->length());
    ASSERT_EQ(bytes.substr(12, 4), "IHDR");
    bytes.replace(20, 4, std::string("\x80\x00\x00\x01", 4));
    auto data = NSData::dataWithBytes(bytes.data(), bytes.size());
    load(
        "<body style='margin:0'><div style='height:20px;background:#f00'></div><img src='"
        "data:image/png;base64," +
        data->base64EncodedString()->utf8() + "'></body>");
    auto image = shot();
    ASSERT_TRUE(image);
    EXPECT_TRUE(near(at(image, 10, 10), kRed));
    EXPECT_GE(contentHeight(), 20);
    EXPECT_LE(contentHeight(), (1 << 24) + 100);
}

TEST_F(WebViewPaint, BackgroundImagesSitAtTheirOffsetsAndRepeatAsAsked) {
    std::string box =
        "<div style='margin:50px 0 0 40px;width:200px;height:100px;background:url(\"" +
        redPicture() + "\") ";
    // A box at 40,50 with the picture 10,20 into it, once.
    expectRedExactlyIn(box + "no-repeat 10px 20px'></div>", {CGRectMake(50, 70, 30, 20)},
                       area(30, 20));
    // Repeated along its row only, across the box's whole width.
    expectRedExactlyIn(box + "repeat-x 0 30px'></div>", {CGRectMake(40, 80, 200, 20)},
                       area(200, 20));
}

TEST_F(WebViewPaint, FormControlsAreDrawnAsThePhoneDrawsThem) {
    auto gray = [](RGBA c) { return c.a > 200 && c.r > 120 && c.r < 160 && c.r == c.b; };
    auto buttonFace = [](RGBA c) { return bool(near(c, RGBA{230, 230, 230, 255})); };
    // One control a line, each line 40 points high, on a green page.
    load(
        "<body style='margin:0;background:#00ff00;font-size:20px;line-height:24px'>"
        "<form style='margin:0' action='http://shop.test/find'>"
        "<div style='height:40px'><input name=q value='iiii'></div>"
        "<div style='height:40px'><input></div>"
        "<div style='height:40px'><select name=s><option>aaaa</option>"
        "<option selected>ii</option><option>bbbb</option></select></div>"
        "<div style='height:40px'><input type=checkbox name=c checked>"
        "<input type=checkbox name=d></div>"
        "<div style='height:40px'><input type=radio name=r checked>"
        "<input type=radio name=r></div>"
        "<div style='height:40px'><input type=submit value='Go'> <input type=button "
        "value='ii'></div>"
        "<div style='height:40px'><input type=hidden name=h value=zzzz></div>"
        "</form></body>");
    auto image = shot();
    // A text field: a white box 150 points wide with a grey border, its value inside.
    EXPECT_TRUE(near(at(image, 140, 12), kWhite));
    EXPECT_TRUE(near(at(image, 170, 12), kGreen));
    EXPECT_GT(pixelsIn(image, CGRectMake(0, 0, 156, 2), gray), 200);
    EXPECT_GT(darkPixels(image, CGRectMake(0, 0, 50, 30)), 20);
    EXPECT_EQ(darkPixels(image, CGRectMake(50, 0, 270, 40)), 0);
    // An empty one: the box without text.
    EXPECT_TRUE(near(at(image, 100, 52), kWhite));
    EXPECT_EQ(darkPixels(image, CGRectMake(0, 40, 320, 40)), 0);
    // A select: one box showing the chosen option, and an arrow at its right; no other
    // option is printed.
    int selectText = darkPixels(image, CGRectMake(0, 80, 30, 40));
    EXPECT_GT(selectText, 10);
    EXPECT_GT(darkPixels(image, CGRectMake(30, 80, 25, 40)), 10);  // the arrow
    EXPECT_EQ(darkPixels(image, CGRectMake(55, 80, 265, 40)), 0);
    EXPECT_TRUE(near(at(image, 100, 90), kGreen));
    // Checkboxes and radio buttons with their state: a mark in the chosen one only.
    EXPECT_GT(darkPixels(image, CGRectMake(0, 120, 18, 40)), 10);
    EXPECT_EQ(darkPixels(image, CGRectMake(18, 120, 20, 40)), 0);
    EXPECT_GT(pixelsIn(image, CGRectMake(18, 120, 20, 40), gray), 20);
    EXPECT_GT(darkPixels(image, CGRectMake(0, 160, 18, 40)), 10);
    EXPECT_EQ(darkPixels(image, CGRectMake(18, 160, 20, 40)), 0);
    EXPECT_GT(pixelsIn(image, CGRectMake(18, 160, 20, 40), gray), 20);
    // Button inputs: a light face with the value on it.
    EXPECT_GT(pixelsIn(image, CGRectMake(0, 200, 100, 40), buttonFace), 200);
    EXPECT_GT(darkPixels(image, CGRectMake(0, 200, 60, 40)), 20);
    // A hidden input shows nothing.
    EXPECT_EQ(pixelsIn(image, CGRectMake(0, 240, 320, 40), [](RGBA c) { return !near(c, kGreen); }),
              0);

    // The checkbox is not editable, but a tap on the submit button submits its form as a
    // link tap navigates.
    recorder->take();
    EXPECT_TRUE(webView->tapAtPoint(CGPointMake(12, 212)));
    settle();
    auto events = recorder->take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0], "should 1 http://shop.test/find?q=iiii&s=ii&c=on&r=on&h=zzzz");
}

TEST_F(WebViewPaint, AFilePageShowsPicturesFromTheDeviceAndANetworkPageNone) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("web-paint-files-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string file = (dir / "pic.png").string();
    ASSERT_TRUE(pngOf(CGSizeMake(30, 20), UIColor::redColor())
                    ->writeToFile(NSString::fromUTF8(file), true));
    auto folder = NSURL::fileURLWithPath(NSString::fromUTF8(dir.string() + "/"));
    std::string page =
        "<body style='margin:0'><img style='display:block' src='pic.png'>"
        "<img style='display:block' src='file://" +
        file + "'></body>";
    webView->loadHTMLString(str(page), folder);
    settle();
    shot();  // asks for the pictures
    settle();
    auto image = shot();
    EXPECT_EQ(redPixels(image, CGRectMake(0, 0, 320, 416)), 2 * area(30, 20));
    // The same page from the network: neither picture is read (and the network has none).
    UIWebView::setURLLoader([](NSURLRequest*, UIWebViewLoadCompletion done) {
        UIWebViewLoadResult failed;
        failed.error = NSError::errorWithDomain(NSURLErrorDomain, -1100, nullptr);
        done(failed);
    });
    load(page, NSURL::URLWithString(NS("http://pages.test/")));
    shot();
    settle();
    EXPECT_EQ(redPixels(shot(), CGRectMake(0, 0, 320, 416)), 0);
    fs::remove_all(dir);
}

class WebViewPaintOverLoopback : public WebViewPaint {
protected:
    void SetUp() override {
        WebViewPaint::SetUp();
        UIWebView::setURLLoader(UIWebViewConnectionLoader());
        base = NSURL::URLWithString(str(server.url()));
    }
    void TearDown() override {
        WebViewPaint::TearDown();
        EXPECT_EQ(NetworkWork::inFlight(), 0);
    }
    void loadAndFetch(const std::string& html) {
        webView->loadHTMLString(str(html), base);
        settle();
        shot();  // the first layout asks for the page's images and style sheets
        ASSERT_TRUE(runLoopUntil([&] { return NetworkWork::inFlight() == 0; }));
    }
    TestServer server;
    Ref<NSURL> base;
};

TEST_F(WebViewPaintOverLoopback, ImagesAndStyleSheetsComeThroughTheLoader) {
    auto png = pngOf(CGSizeMake(30, 20), UIColor::blueColor());
    server.route("GET", "/pics/blue.png", [png](const Request&) {
        return Response(200, std::string(png->view()), "image/png");
    });
    server.route("GET", "/site.css", [](const Request&) {
        return Response(200, ".ad { display: none } body { background: #00ff00 }", "text/css");
    });
    loadAndFetch(
        "<html><head><link rel=stylesheet href='site.css'></head>"
        "<body style='margin:0'><div class=ad>advert text</div>"
        "<img style='display:block' src='pics/blue.png'><p>kept</p></body></html>");
    auto image = shot();
    // The image at its size, where the hidden block would have been.
    EXPECT_TRUE(near(at(image, 1, 1), kBlue));
    EXPECT_TRUE(near(at(image, 29, 19), kBlue));
    EXPECT_TRUE(near(at(image, 31, 10), kGreen));
    EXPECT_TRUE(near(at(image, 10, 21), kGreen));
    auto text = webView->readableText()->utf8();
    EXPECT_EQ(text.find("advert"), std::string::npos) << text;
    EXPECT_NE(text.find("kept"), std::string::npos) << text;
}

TEST_F(WebViewPaintOverLoopback, AMissingImageTakesNoRoom) {
    loadAndFetch(
        "<body style='margin:0;background:#0000ff'>"
        "<img style='display:block' src='nothing.png'><div style='height:10px;"
        "background:#ff0000'></div></body>");
    auto image = shot();
    EXPECT_TRUE(near(at(image, 5, 5), kRed));
    EXPECT_TRUE(near(at(image, 5, 15), kBlue));
}

TEST_F(WebViewPaint, APageTheEngineCannotLayOutPaintsWhiteAndLogsOneLine) {
    // A style sheet whose fetch throws in the middle of the layout stands for any failure of
    // the engine: the page shows white, one line says so, the app goes on.
    UIWebView::setURLLoader([](NSURLRequest* request, UIWebViewLoadCompletion done) {
        if (request->URL()->absoluteString()->hasSuffix(NS("broken.css")))
            throw std::runtime_error("style sheet reader gave up");
        UIWebViewLoadResult failed;
        failed.error = NSError::errorWithDomain(NSURLErrorDomain, -1100, nullptr);
        done(failed);
    });
    std::vector<std::string> lines;
    auto previous = NSLogSetSink([&](const std::string& line) { lines.push_back(line); });
    load(
        "<html><head><link rel=stylesheet href='broken.css'></head>"
        "<body style='margin:0;background:#ff0000'><p>text</p></body></html>",
        NSURL::URLWithString(NS("http://pages.test/")));
    auto image = shot();
    NSLogSetSink(previous);
    ASSERT_TRUE(image);
    EXPECT_TRUE(near(at(image, 5, 5), kWhite));
    EXPECT_TRUE(near(at(image, 300, 400), kWhite));
    EXPECT_EQ(darkPixels(image, CGRectMake(0, 0, 320, 416)), 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("could not be laid out"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("http://pages.test/"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("it shows white"), std::string::npos) << lines[0];

    // The next page paints as ever.
    load("<body style='margin:0;background:#00ff00'></body>");
    EXPECT_TRUE(near(at(shot(), 5, 5), kGreen));
}
