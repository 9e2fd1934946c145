// Styled text from arbitrary input: the first byte picks markup or plain text and the line-break
// and address flags, the next two the width (0...320 points), the rest is the source. The text
// is laid out, drawn, hit-tested and read back; nothing may crash, hang, leak or touch memory it
// does not own.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"
#include "UIKit/UIGraphics.h"
#include "ui/style/DZStyledFrame.h"
#include "ui/style/DZStyledNode.h"
#include "ui/style/DZStyledText.h"

namespace {

// Drawing costs a pass over every pixel; the top of a tall text says as much.
constexpr CGFloat kMaxDrawnHeight = 1200;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    uint8_t mode = data[0];
    CGFloat width = CGFloat((size_t(data[1]) << 8 | data[2]) % 321);
    std::string_view body(reinterpret_cast<const char*>(data + 3), size - 3);
    NSAutoreleasePool pool;
    auto source = NSString::fromUTF8(body);
    bool lineBreaks = mode & 2, URLs = mode & 4;
    auto text = (mode & 1) ? DZStyledText::textWithURLs(source, lineBreaks)
                           : DZStyledText::textFromXHTML(source, lineBreaks, URLs);
    if (!text) return 0;
    text->setWidth(width);
    CGFloat height = text->height();
    if (height < 0) abort();
    CGFloat drawn = std::min(height, kMaxDrawnHeight);
    UIGraphicsBeginImageContextWithOptions(
        CGSizeMake(std::max<CGFloat>(width, 1), std::max<CGFloat>(drawn, 1)), false, 1);
    text->drawAtPoint(CGPointZero);
    UIGraphicsEndImageContext();
    for (CGFloat y = 0; y < drawn; y += 13) {
        for (CGFloat x = 0; x <= width; x += 29) {
            if (auto frame = text->hitTest(CGPointMake(x, y)))
                if (!text->getFrameForNode(frame->element())) abort();
        }
    }
    text->description();
    text->rootNode()->outerHTML();
    text->getElementByClassName(NS("x"));
    // The same width again keeps the layout.
    auto frames = text->rootFrame();
    text->setWidth(width);
    if (text->rootFrame().get() != frames.get()) abort();
    return 0;
}
