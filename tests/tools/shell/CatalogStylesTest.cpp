// The catalog's Styles screen replayed: the shell lists the styled buttons by their titles, a tap
// fires the button's action, and the screenshot shows the buttons drawn by their style chains.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "Foundation/NSString.h"
#include "TranscriptTesting.h"
#include "UIKit/UIImage.h"
#include "platform/UIKit/DrawingTesting.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/CatalogSessions.h"
#include "tools/shell/ShellSession.h"

namespace fs = std::filesystem;

TEST(CatalogStyles, TheShellListsTapsAndShowsTheStyledButtons) {
    InScratchFolder scratch("catalog-styles");
    registerCatalogApp();
    fs::path here = shellTestFolder();
    fs::path shot = fs::current_path() / "styles.png";
    fs::remove(shot);
    std::string out = runCatalogScript(here / "catalog-styles.script");
    expectTranscript(here / "catalog-styles.transcript", out);

    // The screenshot holds the first button's body: the default tint's normal colour, in the
    // lower half of its gloss (the screen's content starts below the status and navigation
    // bars, 64 points down; the button at (8, 10) of it).
    auto image = UIImage::imageWithContentsOfFile(NSString::fromUTF8(shot.string()));
    ASSERT_TRUE(image) << shot;
    EXPECT_TRUE(near(pixelAt(image, 8 + 4, 64 + 10 + 24), RGBA{75, 111, 157, 255}));
    // The disabled one beside it has the same body.
    EXPECT_TRUE(near(pixelAt(image, 8 + 208 + 4, 64 + 10 + 24), RGBA{75, 111, 157, 255}));
}
