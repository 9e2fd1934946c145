// Catalog sessions for the shell's tests: the catalog's app delegate replaying a script to its
// end, with what it printed kept for the transcript.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <istream>
#include <sstream>
#include <string>
#include <utility>

#include "tools/catalog/CatalogApp.h"
#include "tools/shell/ShellSession.h"

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
