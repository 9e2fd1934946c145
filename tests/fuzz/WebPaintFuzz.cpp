// The web view's layout and painting on arbitrary markup and style rules: the first two bytes
// pick the viewport width (0...1024 points), the rest up to the first NUL is a style sheet, what
// follows is the page. The page is laid out, painted, hit-tested and read as text; nothing may
// crash, hang, leak or touch memory it does not own.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/WebContent/WebPage.h"
#include "UIKit/WebContent/WebRender.h"

namespace {

// Painting costs a pass over every pixel; the top of a long page says as much.
constexpr CGFloat kMaxPaintedHeight = 1500;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    CGFloat width = CGFloat((size_t(data[0]) << 8 | data[1]) % 1025);
    std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    size_t nul = rest.find('\0');
    std::string_view css = nul == std::string_view::npos ? std::string_view() : rest.substr(0, nul);
    std::string_view body = nul == std::string_view::npos ? rest : rest.substr(nul + 1);
    std::string html = "<style>" + std::string(css) + "</style>" + std::string(body);

    webcontent::DetachedPageHost host(CGSizeMake(320, 480));
    auto page = webcontent::Page::create(&host, NSURL::URLWithString(NS("http://fuzz.test/")), "");
    page->parse(html, "text/html", "UTF-8");
    webcontent::PageRenderer renderer(&host);
    renderer.update(page.get(), CGSizeMake(width, 480));
    CGFloat height = std::min(renderer.contentHeight(), kMaxPaintedHeight);
    if (height < 480) abort();  // at least the viewport
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(std::max<CGFloat>(width, 1), height), false,
                                           1);
    renderer.paint(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, width, height));
    UIGraphicsEndImageContext();
    for (CGFloat y = 0; y < height; y += 97)
        renderer.elementAt(CGPointMake(width / 2, y));
    page->setStyleHiddenElements(renderer.hiddenElements());
    page->readableText(nullptr);
    // Laid out again unchanged: nothing to do.
    if (renderer.update(page.get(), CGSizeMake(width, 480))) abort();
    page->close();
    return 0;
}
