// Words held back and painted together in one drawing call leave exactly the pixels that
// painting each word by itself leaves: pages with words in several colours, fonts and sizes,
// decorations, clips that change between two words, list numbers and form controls, under both
// text measurers, into transparent and opaque bitmaps and through a context whose global alpha
// composites each shape by itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CoreGraphics/CGBitmapContext.h"
#include "CoreGraphics/CGContext.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/WebContent/WebPage.h"
#include "UIKit/WebContent/WebRender.h"

namespace {

const char* const kPage = R"(<html><body style='margin:4px;font-size:15px'>
<p>Plain words in <b>bold</b>, <i>italic</i>, <b><i>both</i></b>, <span style='color:#c03'>red
ones</span> and <span style='color:rgba(0,0,0,0.5)'>half seen words</span> side by side.</p>
<p><a href='/x'>an underlined link of several words</a> then <u>under lined</u>
<s>struck through</s> <span style='text-decoration:overline'>over lined</span> and
<a href='/y'>a link</a><a href='/z'>touching</a> another.</p>
<p style='font-family:serif;font-size:22px'>Serif words, large,
<span style='font-family:monospace;font-size:11px'>mono small</span>
tight<span style='font-size:30px'>big</span>tight.</p>
<div style='width:120px;overflow:hidden;white-space:nowrap'>clipped words run past the edge of
their box</div>
<p>before <span style='display:inline-block;width:60px;height:20px;overflow:hidden;
border-radius:6px;vertical-align:top'>the clip changes here</span> after the clip</p>
<ol><li>first</li><li>second</li></ol>
<p>Accents &eacute; &agrave; &uuml;, signs &euro; &plusmn;, and &#x6f22;&#x5b57;.</p>
<p style='line-height:11px;font-size:16px'>lines so tight that descenders meet ascenders gjpqy
&Aring;&Eacute;&Icirc; gjpqy &Aring;&Eacute;&Icirc; gjpqy &Aring;&Eacute;&Icirc; gjpqy</p>
<p><i style='text-decoration:underline'>fjord fly jiffy</i> <u>gypsy jumpy</u></p>
<p style='line-height:9px;width:150px'><a href='/w'>a link wrapping over lines set so close
that Tall &Aring;&Eacute;&Icirc; letters cross the underline above them</a></p>
<select><option>chosen option</option></select> <input type=submit value='Send it'>
<input type=checkbox checked> <input value='a field'>
</body></html>)";

struct Picture {
    std::vector<uint8_t> bytes;
    size_t inked = 0;  // pixels that are not white
};

// The page painted whole at scale 2 into a fresh image context.
Picture paint(bool opaque, bool globalAlpha, bool wordByWord) {
    webcontent::DetachedPageHost host(CGSizeMake(320, 480));
    auto page = webcontent::Page::create(&host, NSURL::URLWithString(NS("http://shop.test/")), "");
    page->parse(kPage, "text/html", "");
    webcontent::PageRenderer renderer(&host);
    renderer.update(page.get(), CGSizeMake(320, 480));
    CGFloat height = renderer.contentHeight();
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(320, height), opaque, 2);
    CGContextRef c = UIGraphicsGetCurrentContext();
    if (globalAlpha) CGContextSetAlpha(c, 0.6f);
    {
        std::unique_ptr<webcontent::PaintWordByWordScope> byWord;
        if (wordByWord) byWord = std::make_unique<webcontent::PaintWordByWordScope>();
        renderer.paint(c, CGRectMake(0, 0, 320, height));
    }
    Picture p;
    auto* data = static_cast<const uint8_t*>(CGBitmapContextGetData(c));
    p.bytes.assign(data, data + CGBitmapContextGetBytesPerRow(c) * CGBitmapContextGetHeight(c));
    for (size_t i = 0; i + 3 < p.bytes.size(); i += 4)
        p.inked += (p.bytes[i] & p.bytes[i + 1] & p.bytes[i + 2]) != 255;
    UIGraphicsEndImageContext();
    page->close();
    return p;
}

TEST(WebPaintTogether, LeavesThePixelsOfPaintingWordByWord) {
    for (bool faces : {false, true}) {
        std::unique_ptr<UITextMeasurerScope> fonts;
        if (faces) fonts = std::make_unique<UITextMeasurerScope>(UIFontTextMeasurer::shared());
        for (bool opaque : {false, true}) {
            for (bool globalAlpha : {false, true}) {
                SCOPED_TRACE(std::string(faces ? "font faces" : "test font") +
                             (opaque ? ", opaque" : "") + (globalAlpha ? ", global alpha" : ""));
                Picture together = paint(opaque, globalAlpha, false);
                Picture alone = paint(opaque, globalAlpha, true);
                // A page of text, not an empty picture.
                EXPECT_GT(together.inked, 20000u);
                ASSERT_EQ(together.bytes.size(), alone.bytes.size());
                size_t differ = 0;
                for (size_t i = 0; i < together.bytes.size(); ++i)
                    differ += together.bytes[i] != alone.bytes[i];
                EXPECT_EQ(differ, 0u);
            }
        }
    }
}

}  // namespace
