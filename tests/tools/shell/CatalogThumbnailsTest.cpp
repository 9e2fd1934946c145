// The catalog's thumbnail screen replayed against the stand-in site: the loading under way with
// the network activity shown (the last thumbnail held at the site), then done, then a second
// visit answered from the cache.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "Foundation/NetworkWork.h"
#include "TranscriptTesting.h"
#include "support/RunLoopTesting.h"
#include "support/site/RunningSite.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/ShellSession.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZURLCache.h"

namespace fs = std::filesystem;

namespace {

// Script lines handed out one at a time; a hook runs just before its line is read, that is after
// the screen of the command before it has been printed.
class HookedLines : public std::streambuf {
public:
    HookedLines(const std::string& text, std::string marker, std::function<void()> hook)
        : marker_(std::move(marker)), hook_(std::move(hook)) {
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            lines_.push_back(line);
    }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        if (next_ >= lines_.size()) return traits_type::eof();
        if (hook_ && lines_[next_] == marker_) hook_();
        current_ = lines_[next_++] + "\n";
        setg(current_.data(), current_.data(), current_.data() + current_.size());
        return traits_type::to_int_type(*gptr());
    }

private:
    std::vector<std::string> lines_;
    size_t next_ = 0;
    std::string current_;
    std::string marker_;
    std::function<void()> hook_;
};

}  // namespace

TEST(CatalogThumbnails, TheScreenLoadsThroughTheQueueAndComesBackFromTheCache) {
    bnsite::Site& site = sitetest::site();
    DZURLCache::sharedCache()->removeAll(true);
    bnsite::Fault held;
    held.host = "images.bazaarnest.test";
    held.path = "/thumb/1007722008_1.jpg";  // the eighth row's
    held.gate = "catalog-thumbnail";
    site.addFault(held);
    auto gate = site.gate("catalog-thumbnail");
    gate->close();
    size_t passedBefore = gate->passed();
    sitetest::takeLog();

    registerCatalogApp();
    fs::path here = shellTestFolder();
    HookedLines lines(readFile(here / "catalog-thumbnails.script"),
                      "# The site lets the last thumbnail through.", [&] { gate->open(); });
    std::istream in(&lines);
    std::ostringstream out;
    ShellOptions options;
    options.scriptPath = "-";
    options.delegateClassName = kCatalogDelegateClassName;
    // Long enough for the seven others, short enough not to hold the test up.
    options.networkWaitSeconds = 2;
    ShellSession session(options, out, in);
    EXPECT_EQ(session.run(), 0);
    gate->open();
    site.clearFaults();

    expectTranscript(here / "catalog-thumbnails.transcript", out.str());
    EXPECT_EQ(gate->passed() - passedBefore, 1u);
    EXPECT_EQ(DZNetworkActivityCount(), 0);
    EXPECT_EQ(NetworkWork::inFlight(), 0);
    // Each thumbnail was fetched once: the second visit read nothing from the site. (The site
    // writes its log line after the answer, from its own thread.)
    std::set<std::string> fetched;
    size_t fetches = 0;
    runLoopUntil([&] {
        for (const std::string& line : sitetest::takeLog()) {
            size_t at = line.find("/thumb/");
            if (at == std::string::npos) continue;
            ++fetches;
            fetched.insert(line.substr(at, line.find(' ', at) - at));
        }
        return fetches >= 8;
    });
    EXPECT_EQ(fetches, 8u);
    EXPECT_EQ(fetched.size(), 8u);
}
