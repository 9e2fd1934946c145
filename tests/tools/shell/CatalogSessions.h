// Catalog sessions for the shell's tests: the catalog's app delegate replaying a script to its
// end, with what it printed kept for the transcript.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <istream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tools/catalog/CatalogApp.h"
#include "tools/shell/ShellSession.h"
#include "tools/standin/Faults.h"

// A catalog session reading its script from the stream it is given.
inline ShellOptions catalogOptions() {
    ShellOptions options;
    options.scriptPath = "-";
    options.delegateClassName = kCatalogDelegateClassName;
    return options;
}

// Replays the lines `script` gives, expects the session to end cleanly, and gives its printout.
inline std::string runCatalogScript(std::istream& script, ShellOptions options = catalogOptions()) {
    std::ostringstream out;
    ShellSession session(std::move(options), out, script);
    EXPECT_EQ(session.run(), 0);
    return out.str();
}

// The same for a script file.
inline std::string runCatalogScript(const std::filesystem::path& file) {
    auto options = catalogOptions();
    options.scriptPath = file.string();
    std::istringstream none;
    return runCatalogScript(none, std::move(options));
}

// What a stand-in holds at a closed gate: everything in flight is one of the requests named
// ("GET http://host/path", whatever its query), so that a session's wait for the network ends at
// once, whatever a loaded machine makes of a real-time bound.
inline auto heldAt(std::shared_ptr<standin::Gate> gate, std::vector<std::string> requests) {
    return [gate = std::move(gate),
            requests = std::move(requests)](const std::vector<std::string>& pending) {
        auto named = [&](const std::string& p) {
            return std::any_of(requests.begin(), requests.end(), [&](const std::string& r) {
                return p.compare(0, r.size(), r) == 0 &&
                       (p.size() == r.size() || p[r.size()] == '?');
            });
        };
        return gate && !gate->isOpen() && std::all_of(pending.begin(), pending.end(), named);
    };
}
