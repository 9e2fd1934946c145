// The Meridian ad service: every key of the ad request and both agent headers checked, the
// scenarios by placement id, the handshake reply set on the admin host, the click tracker, the
// conversions and the pixels.
#include <gtest/gtest.h>

#include <string>

#include "support/services/RunningServices.h"
#include "tools/services/MeridianModule.h"
#include "tools/services/ServicesTesting.h"

namespace servicestest {

namespace {

const std::string kHost = "ads.meridian.test";
const std::vector<std::pair<std::string, std::string>> kAgents = {{"User-Agent", "MRSDK/4.2.2"},
                                                                  {"User_Agent", "MRSDK/4.2.2"}};

std::string adTarget(const std::string& apid, const std::string& tail = "") {
    return "/getAd.php5?medialets=false&sdkapid=" + apid +
           "&auid=abc&mrisdk=4.2.2-11.4.6.i&ua=iPhone%205.0&dv=5.0&dm=iPhone3%2C1&"
           "adtype=MRBannerAdTop&hswd=320&hsht=53&accelerometer=true" +
           tail + "&video=true&language=en&country=US&cachedvideo=true";
}

Reply ad(const std::string& target,
         const std::vector<std::pair<std::string, std::string>>& h = kAgents) {
    return request("GET", kHost, target, {}, h);
}

bnservices::MeridianModule* module() {
    return services().module<bnservices::MeridianModule>("meridian");
}

TEST(MeridianModuleTest, AdRequestsAreCheckedKeyByKeyAndByBothAgents) {
    services().reset();
    EXPECT_EQ(ad(adTarget("html")).status, 200);
    EXPECT_EQ(ad(adTarget("html", "&gender=female&zip=1")).status, 200);
    EXPECT_EQ(ad(adTarget("html", "&gender=M")).status, 400);
    EXPECT_EQ(ad(adTarget("html"), {{"User-Agent", "MRSDK/4.2.2"}}).status, 400);
    EXPECT_EQ(ad(adTarget("html"), {{"User-Agent", "Other"}, {"User_Agent", "MRSDK/4.2.2"}}).status,
              400);
    // Out of order, or a key missing.
    EXPECT_EQ(ad("/getAd.php5?sdkapid=html&medialets=false").status, 400);
    auto noCountry = adTarget("html");
    noCountry.erase(noCountry.find("&country=US"), 11);
    EXPECT_EQ(ad(noCountry).status, 400);
    auto badSize = adTarget("html");
    badSize.replace(badSize.find("hswd=320"), 8, "hswd=wide");
    EXPECT_EQ(ad(badSize).status, 400);
    EXPECT_EQ(module()->rejections(),
              (std::vector<std::string>{"gender", "User_Agent", "User-Agent", "order medialets",
                                        "country", "hswd"}));
}

TEST(MeridianModuleTest, ScenariosByPlacementId) {
    services().reset();
    auto html = ad(adTarget("html"));
    EXPECT_NE(html.body.find("Meridian ad 1: Fresh bread delivered"), std::string::npos);
    EXPECT_NE(html.body.find("/handleClick.php5?ad=1"), std::string::npos);
    EXPECT_EQ(ad(adTarget("empty")).body, "");
    EXPECT_EQ(ad(adTarget("500")).status, 500);
    EXPECT_NE(ad(adTarget("json")).head.find("Content-Type: application/json\r\n"),
              std::string::npos);
    EXPECT_NE(ad(adTarget("json-charset")).head.find("application/json; charset=utf-8"),
              std::string::npos);
    EXPECT_NE(ad(adTarget("refresh45")).head.find("X-MR-Refresh: 45"), std::string::npos);
    EXPECT_NE(ad(adTarget("open-in-browser")).head.find("X-Openinbrowser: true"),
              std::string::npos);
    EXPECT_NE(ad(adTarget("opens-itself")).body.find("function shouldOpen()"), std::string::npos);
    EXPECT_NE(ad(adTarget("modal")).body.find("function shouldShowModal()"), std::string::npos);

    auto click = get(kHost, "/handleClick.php5?ad=1&apid=html");
    EXPECT_EQ(click.status, 302);
    EXPECT_NE(click.head.find("Location: http://ads.meridian.test/landing?page=1"),
              std::string::npos);
    auto store = get(kHost, "/handleClick.php5?ad=1&apid=html&to=store");
    EXPECT_NE(store.head.find("Location: http://itunes.appstore.test/app/7"), std::string::npos);
    auto landing = get(kHost, "/landing?page=1");
    EXPECT_NE(landing.body.find("function shouldCloseOverlay() { return 'false'; }"),
              std::string::npos);
    EXPECT_NE(get(kHost, "/landing?page=3&close=1").body.find("return 'true'; }"),
              std::string::npos);
}

TEST(MeridianModuleTest, TheHandshakeAnswersWhatTheAdminHostSet) {
    services().reset();
    std::string query =
        "/appConfigServlet?apid=html&mrisdk=4.2.2-11.4.6.i&dv=5.0&dm=x&auid=a&"
        "language=en&country=US";
    auto plain = get(kHost, query);
    EXPECT_EQ(plain.status, 200);
    EXPECT_NE(plain.body.find("\"kill\":false"), std::string::npos);
    EXPECT_NE(plain.body.find("\"handshakecallback\":86400"), std::string::npos);
    EXPECT_EQ(get(kHost, "/appConfigServlet?apid=html").status, 400);

    auto set = admin(
        "/meridian/handshake?kill=1&callback=60&adtypes=%7B%22MRBannerAdTop%22%3A%7B"
        "%22adrefresh%22%3A45%7D%7D&error=Paused&errortype=log");
    EXPECT_EQ(set.status, 200);
    auto killed = get(kHost, query);
    EXPECT_NE(killed.body.find("\"kill\":true"), std::string::npos);
    EXPECT_NE(killed.body.find("\"handshakecallback\":60"), std::string::npos);
    EXPECT_NE(killed.body.find("{\"MRBannerAdTop\":{\"adrefresh\":45}}"), std::string::npos);
    EXPECT_NE(killed.body.find("\"errors\":[{\"message\":\"Paused\",\"type\":\"log\"}]"),
              std::string::npos);
    admin("/meridian/handshake?malformed=1");
    EXPECT_EQ(get(kHost, query).body, "{\"mmishake\": [oops");
    admin("/meridian/handshake?status=503");
    EXPECT_EQ(get(kHost, query).status, 503);
    services().reset();
    EXPECT_EQ(get(kHost, query).status, 200);
}

TEST(MeridianModuleTest, ConversionsAndPixels) {
    services().reset();
    EXPECT_EQ(get("cvt.meridian.test", "/handleConversion?goalid=g&auid=a&firstlaunch=1").status,
              200);
    EXPECT_EQ(get("cvt.meridian.test", "/handleConversion?goalid=g&auid=a").status, 400);
    auto pixel = get("demo.meridian.test",
                     "/productiton/common/pixel/image.php?activity=CALL&acid=99&campaign=x");
    EXPECT_EQ(pixel.status, 200);
    EXPECT_EQ(pixel.body.substr(0, 6), "GIF89a");
    EXPECT_EQ(
        get("log.meridian.test", "/custom/common/pixel/image.php?activity=CALL&acid=1").status,
        200);
    EXPECT_EQ(get("log.meridian.test", "/custom/common/pixel/image.php?acid=1").status, 400);
    EXPECT_EQ(get("demo.meridian.test", "/custom/common/pixel/image.php?activity=A&acid=1").status,
              404);
    auto received = services().received("meridian");
    ASSERT_EQ(received.size(), 6u);
    EXPECT_EQ(received[2].target,
              "/productiton/common/pixel/image.php?activity=CALL&acid=99&campaign=x");
}

}  // namespace

}  // namespace servicestest
