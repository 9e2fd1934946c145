// The catalog's Styled Text screen replayed: the shell lists the label's lines with its links
// numbered, a tap on a link reaches the navigator's hand-off, and the screenshot shows the text
// and its inline image; a link held under the finger shows the highlight.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "TranscriptTesting.h"
#include "UIKit/UIAccessibilityElement.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIWindow.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/site/RunningSite.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/CatalogSessions.h"
#include "tools/shell/ShellScreenshot.h"
#include "tools/shell/ShellSession.h"
#include "ui/core/DZURLCache.h"
#include "ui/style/DZStyledTextLabel.h"

namespace fs = std::filesystem;

namespace {

Ref<DZStyledTextLabel> findLabel(UIView* view) {
    if (auto label = as<DZStyledTextLabel>(view)) return label;
    for (auto& sub : view->subviewList())
        if (auto found = findLabel(sub)) return found;
    return nullptr;
}

}  // namespace

TEST(CatalogStyledText, TheShellListsTheLinesTapsALinkAndShowsItsHighlight) {
    InScratchFolder scratch("catalog-styled-text");
    sitetest::site();
    DZURLCache::sharedCache()->removeAll(true);
    registerCatalogApp();
    fs::path here = shellTestFolder();
    fs::path shot = fs::current_path() / "styled-text.png";
    fs::path held = fs::current_path() / "styled-text-held.png";
    fs::remove(shot);
    fs::remove(held);

    // A finger held on the first link: its frame takes the sheet's highlighted link style, a
    // light grey rounded box around the link's text.
    bool heldDown = false;
    int probeX = 0, probeY = 0;
    auto hold = [&] {
        auto window = UIApplication::sharedApplication()->delegate()->window();
        auto label = window ? findLabel(window) : nullptr;
        if (!label) return;
        Ref<UIAccessibilityElement> link;
        for (NSInteger i = 0; i < label->accessibilityElementCount() && !link; ++i) {
            auto e = cast<UIAccessibilityElement>(label->accessibilityElementAtIndex(i));
            if (e->accessibilityTraits() & UIAccessibilityTraitLink) link = e;
        }
        if (!link) return;
        CGRect frame = link->accessibilityFrame();
        auto touch = UITouch::touchInWindow(
            window, CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame)), label);
        auto touches = NSSet::setWithObject(touch);
        label->touchesBegan(touches, nullptr);
        heldDown = label->highlightedNode() != nullptr;
        ShellTakeScreenshot(held.string());
        // A cancelled touch leaves the highlight; the finger lifted elsewhere clears it.
        label->touchesCancelled(touches, nullptr);
        label->setHighlightedNode(nullptr);
        probeX = int(CGRectGetMidX(frame));
        probeY = int(CGRectGetMinY(frame)) - 2;
    };
    HookedLines script(readFile(here / "catalog-styled-text.script"),
                       "# The test holds a finger on the first link here and takes a screenshot "
                       "of its highlight.",
                       hold);
    std::istream in(&script);
    std::string out = runCatalogScript(in);
    expectTranscript(here / "catalog-styled-text.transcript", out);

    auto image = UIImage::imageWithContentsOfFile(NSString::fromUTF8(shot.string()));
    ASSERT_TRUE(image) << shot;
    auto highlighted = UIImage::imageWithContentsOfFile(NSString::fromUTF8(held.string()));
    ASSERT_TRUE(heldDown);
    ASSERT_TRUE(highlighted) << held;
    // Just above the link's text, inside the box: white 0.75; without the finger, the screen's
    // white.
    EXPECT_TRUE(near(pixelAt(highlighted, probeX, probeY), RGBA{191, 191, 191, 255}));
    EXPECT_TRUE(near(pixelAt(image, probeX, probeY), RGBA{255, 255, 255, 255}));
    // The inline thumbnail (40 by 30) shows on the second line after "tyres " (the screen's
    // content starts 64 points down, the label's text at 14, 14): not the screen's white.
    EXPECT_FALSE(near(pixelAt(image, 14 + 42 + 20, 64 + 14 + 17 + 15), RGBA{255, 255, 255, 255}));
}
