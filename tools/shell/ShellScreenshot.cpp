#include "tools/shell/ShellScreenshot.h"

#include <cmath>
#include <sstream>

#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UIViewRendering.h"

std::string ShellTakeScreenshot(const std::string& path) {
    // Text is drawn with the real faces' advances, whatever the session measures with, so that
    // what does not fit ends in an ellipsis instead of being cut off.
    UITextMeasurerScope fonts(UIFontTextMeasurer::shared());
    Ref<NSError> error;
    std::ostringstream line;
    if (!UIScreenWriteKeyWindowPNG(NSString::fromUTF8(path), &error)) {
        line << "No screenshot: " << (error ? error->localizedDescription()->utf8() : "") << "\n";
        return line.str();
    }
    auto screen = UIScreen::mainScreen();
    CGRect b = screen->bounds();
    CGFloat s = screen->scale();
    line << "Saved the screen to " << path << " (" << b.size.width << " x " << b.size.height
         << " points, " << std::lround(b.size.width * s) << " x " << std::lround(b.size.height * s)
         << " pixels).\n";
    return line.str();
}
