// The catalog's Tables screen replayed against the stand-in services: the rows and their
// accessories by navigation mode, the banner, a row menu, the editor row typed into, grown with
// return and shrunk with backspace, then the paged items with load more and a pull that reloads
// them ("Release to update...", "Updating...", then the header at rest with its last-updated
// time). The modal screen's screenshot shows its white page.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "Foundation/NSString.h"
#include "Foundation/NetworkWork.h"
#include "TranscriptTesting.h"
#include "UIKit/UIImage.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/services/RunningServices.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/ShellSession.h"
#include "ui/core/DZGlobalCore.h"

TEST(CatalogTables, RowsEditorPagesAndPullToRefresh) {
    registerCatalogApp();
    servicestest::services().reset();
    auto here = shellTestFolder();
    auto modalShot = std::filesystem::current_path() / "catalog-modal.png";
    auto menuShot = std::filesystem::current_path() / "row-menu.png";
    std::filesystem::remove(modalShot);
    ShellOptions options;
    options.scriptPath = (here / "catalog-tables.script").string();
    options.delegateClassName = kCatalogDelegateClassName;
    std::istringstream in;
    std::ostringstream out;
    ShellSession session(options, out, in);
    EXPECT_EQ(session.run(), 0);
    expectTranscript(here / "catalog-tables.transcript", out.str());
    EXPECT_EQ(DZNetworkActivityCount(), 0);
    EXPECT_EQ(NetworkWork::inFlight(), 0);
    // Two pages, then the reload of the first; the row thumbnails came from the same host.
    auto log = servicestest::takeLog();
    int pages = 0;
    for (auto& line : log)
        if (line.find("/items.json?page=") != std::string::npos) ++pages;
    EXPECT_EQ(pages, 3);
    // The modal screen is a white page under its bar, not a black one.
    auto modal = UIImage::imageWithContentsOfFile(NSString::fromUTF8(modalShot.string()));
    ASSERT_TRUE(modal) << modalShot;
    EXPECT_TRUE(near(pixelAt(modal, 160, 300), kWhite));
    EXPECT_TRUE(near(pixelAt(modal, 300, 180), kWhite));
    if (!getenv("BN_KEEP_SCREENSHOT")) {
        std::filesystem::remove(modalShot);
        std::filesystem::remove(menuShot);
    }
}
