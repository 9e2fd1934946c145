// The catalog's Tables screen replayed against the stand-in services: the rows and their
// accessories by navigation mode, the banner, a row menu, the editor row typed into, grown with
// return and shrunk with backspace, then the paged items with load more and a pull that reloads
// them ("Release to update...", "Updating...", then the header at rest with its last-updated
// time).
#include <gtest/gtest.h>

#include <sstream>

#include "Foundation/NetworkWork.h"
#include "TranscriptTesting.h"
#include "support/services/RunningServices.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/ShellSession.h"
#include "ui/core/DZGlobalCore.h"

TEST(CatalogTables, RowsEditorPagesAndPullToRefresh) {
    registerCatalogApp();
    servicestest::services().reset();
    auto here = shellTestFolder();
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
}
