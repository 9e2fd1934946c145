// The catalog's text input screens replayed against the stand-in services: completion over the
// names service while typing (one request per settled keystroke run, none answered for "zz"),
// the search bar's Cancel, token cells picked and removed with backspace, the composer's subject
// in its title, the fields it sends and the question on Cancel, then the text bar and the post
// popup.
#include <gtest/gtest.h>

#include <sstream>

#include "Foundation/NetworkWork.h"
#include "TranscriptTesting.h"
#include "support/services/RunningServices.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/ShellSession.h"
#include "ui/core/DZGlobalCore.h"

TEST(CatalogTextInput, SearchTokensComposerTextBarAndPostPopup) {
    registerCatalogApp();
    servicestest::services().reset();
    auto here = shellTestFolder();
    ShellOptions options;
    options.scriptPath = (here / "catalog-text-input.script").string();
    options.delegateClassName = kCatalogDelegateClassName;
    std::istringstream in;
    std::ostringstream out;
    ShellSession session(options, out, in);
    EXPECT_EQ(session.run(), 0);
    expectTranscript(here / "catalog-text-input.transcript", out.str());
    EXPECT_EQ(DZNetworkActivityCount(), 0);
    EXPECT_EQ(NetworkWork::inFlight(), 0);
    // Each typed run asks once, with its whole text.
    auto log = servicestest::takeLog();
    int asked = 0;
    bool sawWhole = false;
    for (auto& line : log) {
        if (line.find("/names.json?q=") == std::string::npos) continue;
        ++asked;
        if (line.find("q=ada") != std::string::npos) sawWhole = true;
        EXPECT_EQ(line.find("q=a "), std::string::npos);
    }
    EXPECT_TRUE(sawWhole);
    EXPECT_GE(asked, 5);
}
