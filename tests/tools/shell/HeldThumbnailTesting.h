// Catalog scripts replayed against the stand-in site with one thumbnail held at a gate of the
// site until the script reaches the line "# The site lets the last thumbnail through.".
#pragma once

#include <cstddef>
#include <filesystem>
#include <sstream>
#include <string>

#include "TranscriptTesting.h"
#include "support/site/RunningSite.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/CatalogSessions.h"
#include "tools/shell/ShellSession.h"
#include "ui/core/DZURLCache.h"

struct HeldReplay {
    std::string transcript;
    int status = -1;
    std::size_t passes = 0;  // loads the gate let through during the replay
};

// `thumbnail` is the held path on the image host ("/thumb/<id>_1.jpg"). The URL cache starts
// empty; the gate opens and the faults go when the session ends.
inline HeldReplay replayWithHeldThumbnail(const std::string& scriptName,
                                          const std::string& thumbnail,
                                          const std::string& gateName) {
    bnsite::Site& site = sitetest::site();
    DZURLCache::sharedCache()->removeAll(true);
    bnsite::Fault held;
    held.host = "images.bazaarnest.test";
    held.path = thumbnail;
    held.gate = gateName;
    site.addFault(held);
    auto gate = site.gate(gateName);
    gate->close();
    std::size_t passedBefore = gate->passed();

    registerCatalogApp();
    HookedLines lines(readFile(shellTestFolder() / scriptName),
                      "# The site lets the last thumbnail through.", [&] { gate->open(); });
    std::istream in(&lines);
    std::ostringstream out;
    auto options = catalogOptions();
    options.heldBack = heldAt(gate, {"GET http://images.bazaarnest.test" + thumbnail});
    HeldReplay replay;
    {
        ShellSession session(options, out, in);
        replay.status = session.run();
    }
    gate->open();
    site.clearFaults();
    replay.transcript = out.str();
    replay.passes = gate->passed() - passedBefore;
    return replay;
}
