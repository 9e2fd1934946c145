// The Ironvine ad server: its files and zip bundles by path, 404 for anything else, faults by
// host and path, and the list of what it received.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/services/RunningServices.h"
#include "tools/services/IronvineBundles.h"
#include "tools/services/ServicesTesting.h"

namespace servicestest {

namespace {

const std::string kHost = "ads.ironvine.test";

TEST(IronvineModuleTest, FilesAndBundlesByPath) {
    services().reset();
    auto quotes = get(kHost, "/AdBridgeServer/files/quotes.txt");
    EXPECT_EQ(quotes.status, 200);
    EXPECT_EQ(quotes.body, *bnservices::ironvineFile("quotes.txt"));
    EXPECT_NE(quotes.body.find("\xE2\x80\xA8"), std::string::npos);
    auto wav = get(kHost, "/AdBridgeServer/files/tone.wav");
    EXPECT_EQ(wav.status, 200);
    EXPECT_EQ(wav.body.substr(0, 4), "RIFF");
    EXPECT_NE(wav.head.find("audio/wav"), std::string::npos);
    for (const char* name : {"nested", "hostile", "understated"}) {
        auto zip = get(kHost, std::string("/AdBridgeServer/bundles/") + name + ".zip");
        EXPECT_EQ(zip.status, 200) << name;
        EXPECT_EQ(zip.body.substr(0, 2), "PK") << name;
        EXPECT_TRUE(zip.complete) << name;
    }
    auto truncated = get(kHost, "/AdBridgeServer/bundles/truncated.zip");
    EXPECT_EQ(truncated.body.size(), bnservices::ironvineBundle("nested")->size() / 2);
    EXPECT_EQ(get(kHost, "/AdBridgeServer/files/none.txt").status, 404);
    EXPECT_EQ(get(kHost, "/AdBridgeServer/bundles/none.zip").status, 404);
    EXPECT_EQ(get(kHost, "/elsewhere").status, 404);
    auto received = services().received("ironvine");
    ASSERT_EQ(received.size(), 9u);
    EXPECT_EQ(received[0].target, "/AdBridgeServer/files/quotes.txt");
}

TEST(IronvineModuleTest, HostileBundlesHoldWhatTheyPromise) {
    auto hostile = *bnservices::ironvineBundleEntries("hostile");
    bool climbs = false, absolute = false, longName = false;
    for (const auto& e : hostile) {
        climbs = climbs || e.name.rfind("../", 0) == 0;
        absolute = absolute || e.name[0] == '/';
        longName = longName || e.name.size() == 300;
    }
    EXPECT_TRUE(climbs && absolute && longName);
    std::string bytes = *bnservices::ironvineBundle("hostile");
    EXPECT_NE(bytes.find(std::string(300, 'n')), std::string::npos);
    EXPECT_NE(bytes.find("../x"), std::string::npos);
}

TEST(IronvineModuleTest, BundlesAreBuiltWithoutAFileToLeaveBehind) {
    // A child that may open no descriptor at all builds a bundle and hands it back: the same
    // bytes as built here.
    auto entries = *bnservices::ironvineBundleEntries("nested");
    std::string expected = bnservices::ironvineZip(entries);
    ASSERT_EQ(expected.substr(0, 2), "PK");
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(out[0]);
        rlimit none{0, 0};
        setrlimit(RLIMIT_NOFILE, &none);
        std::string bytes = bnservices::ironvineZip(entries);
        bool whole =
            write(out[1], bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
        _exit(whole ? 0 : 1);
    }
    close(out[1]);
    std::string built;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        built.append(buffer, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(built, expected);
}

TEST(IronvineModuleTest, FaultsApplyByHostAndPath) {
    services().reset();
    bnservices::Fault fault;
    fault.host = kHost;
    fault.path = "/AdBridgeServer/bundles/";
    fault.status = 500;
    services().addFault(fault);
    EXPECT_EQ(get(kHost, "/AdBridgeServer/bundles/nested.zip").status, 500);
    EXPECT_EQ(get(kHost, "/AdBridgeServer/files/tone.wav").status, 200);
    services().clearFaults();
    EXPECT_EQ(get(kHost, "/AdBridgeServer/bundles/nested.zip").status, 200);
}

}  // namespace

}  // namespace servicestest
