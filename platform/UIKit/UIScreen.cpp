#include "UIKit/UIScreen.h"

#include "Foundation/NSArray.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"

void UIScreen::describeClass(RuntimeClass& c) {
    c.method("scale", &UIScreen::scale);
    c.method("bounds", &UIScreen::bounds);
    c.method("applicationFrame", &UIScreen::applicationFrame);
}

Ref<UIScreen> UIScreen::mainScreen() {
    static ProcessWide<UIScreen> shared;
    return shared.get();
}

Ref<NSArray> UIScreen::screens() {
    return NSArray::arrayWithObject(mainScreen());
}

CGRect UIScreen::applicationFrame() {
    CGRect b = bounds();
    auto app = UIApplication::sharedApplication();
    CGRect bar = app->statusBarFrame();
    if (CGRectIsEmpty(bar)) return b;
    // The screen less the status bar's strip, in the screen's own (portrait) coordinates.
    if (bar.size.width >= b.size.width) {
        CGFloat y = bar.origin.y > 0 ? 0 : bar.size.height;
        return CGRectMake(0, y, b.size.width, b.size.height - bar.size.height);
    }
    CGFloat x = bar.origin.x > 0 ? 0 : bar.size.width;
    return CGRectMake(x, 0, b.size.width - bar.size.width, b.size.height);
}
