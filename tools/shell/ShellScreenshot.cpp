#include "tools/shell/ShellScreenshot.h"

#include <cmath>
#include <sstream>

#include "Foundation/NSArray.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UIView.h"
#include "UIKit/UIViewRendering.h"

namespace {
void markForLayout(UIView* view) {
    view->setNeedsLayout();
    auto children = view->subviews();
    for (NSUInteger i = 0; children && i < children->count(); ++i)
        if (auto child = as<UIView>(children->objectAtIndex(i))) markForLayout(child.get());
}

// Lays every window out afresh with the measurer now in use.
void layOutWindows() {
    auto app = UIApplication::sharedApplication();
    auto windows = app ? app->windows() : nullptr;
    for (NSUInteger i = 0; windows && i < windows->count(); ++i)
        if (auto window = as<UIView>(windows->objectAtIndex(i))) markForLayout(window.get());
    UIView::layoutPendingViews();
}
}  // namespace

std::string ShellTakeScreenshot(const std::string& path) {
    Ref<NSError> error;
    bool written = false;
    {
        // Text is drawn with the real faces' advances, whatever the session measures with, so
        // that what does not fit ends in an ellipsis instead of being cut off; and laid out with
        // them first, so that a title sized to its text fits it as on the phone.
        UITextMeasurerScope fonts(UIFontTextMeasurer::shared());
        layOutWindows();
        written = UIScreenWriteKeyWindowPNG(NSString::fromUTF8(path), &error);
    }
    // Back to the session's own measures.
    layOutWindows();
    std::ostringstream line;
    if (!written) {
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
