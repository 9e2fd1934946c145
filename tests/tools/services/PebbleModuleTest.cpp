// The Pebble ad service over HTTP: the support script and its revalidation, ad requests checked
// parameter by parameter (the reasons kept for the admin host), the ad slots, the click redirect
// and the advertiser's shop.
#include <gtest/gtest.h>

#include "support/services/RunningServices.h"
#include "tools/services/PebbleModule.h"
#include "tools/services/ServicesTesting.h"

namespace servicestest {

namespace {

const std::string kAds = "ads.pebbleads.test";
const std::string kShop = "shop.advertiser.test";
const std::string kSound =
    "js=pbma-sdk-i-v1&preqs=4&app_name=bn&format=320x50_mb&u_audio=1&u_sd=2&u_w=320&u_h=480&"
    "u_so=p";

bnservices::PebbleModule& pebble() {
    auto* m = services().module<bnservices::PebbleModule>("pebble");
    EXPECT_NE(m, nullptr);
    return *m;
}

std::string headerValue(const Reply& reply, const std::string& name) {
    size_t at = reply.head.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "";
    at += name.size() + 4;
    return reply.head.substr(at, reply.head.find("\r\n", at) - at);
}

class PebbleModuleTest : public ::testing::Test {
protected:
    void SetUp() override { services().reset(); }
};

TEST_F(PebbleModuleTest, TheScriptIsServedAndRevalidated) {
    Reply script = get("static.pebbleads.test", "/pbma/sdk-core-v40.js");
    EXPECT_EQ(script.status, 200);
    EXPECT_NE(script.body.find("function PBMA_buildAdURL"), std::string::npos);
    std::string modified = headerValue(script, "Last-Modified");
    ASSERT_FALSE(modified.empty());
    Reply again = request("GET", "static.pebbleads.test", "/pbma/sdk-core-v40.js", {},
                          {{"If-Modified-Since", modified}});
    EXPECT_EQ(again.status, 304);
    EXPECT_EQ(pebble().scriptFetches(), 2);
    EXPECT_EQ(get("static.pebbleads.test", "/other.js").status, 404);
}

TEST_F(PebbleModuleTest, AnAdRequestIsCheckedParameterByParameter) {
    Reply banner = get(kAds, "/pbma/ad?" + kSound + "&slotname=banner");
    EXPECT_EQ(banner.status, 200);
    EXPECT_NE(banner.body.find("Pebble ad 4: Garden tools"), std::string::npos);
    EXPECT_EQ(headerValue(banner, "X-Pbma-Tracking-Urls"),
              "http://ads.pebbleads.test/imp?n=4&i=1 http://ads.pebbleads.test/imp?n=4&i=2");
    EXPECT_EQ(headerValue(banner, "X-Pbma-Refresh-Rate"), "30");

    struct Case {
        std::string query;
        const char* reason;
    } refused[] = {
        {"js=other&preqs=1", "js"},
        {"js=pbma-sdk-i-v1&preqs=0", "preqs"},
        {"js=pbma-sdk-i-v1&preqs=99999999999", "preqs"},
        {"js=pbma-sdk-i-v1&preqs=1", "app_name"},
        {"js=pbma-sdk-i-v1&preqs=1&app_name=bn", "ad_frame or format"},
        // An empty value where a JSON text is due.
        {"js=pbma-sdk-i-v1&preqs=1&app_name=bn&ad_frame=", "ad_frame"},
        {kSound + "&kw=", "kw"},
        {kSound + "&extras=", "extras"},
        {kSound.substr(0, kSound.size() - 1) + "x", "u_so"},
        {kSound + "&uule=48.85", "uule: neither \"e1+\" nor \"a+\""},
        {kSound + "&ms=" + webSafeBase64("v1;loads=0;touches=0;acc=1,2,3;reach=1"),
         "ms: no load noted"},
    };
    std::vector<std::string> reasons;
    for (const auto& c : refused) {
        Reply r = get(kAds, "/pbma/ad?" + c.query + "&slotname=banner");
        EXPECT_EQ(r.status, 400) << c.query;
        EXPECT_EQ(r.body, std::string("bad parameter: ") + c.reason) << c.query;
        reasons.push_back(c.reason);
    }
    EXPECT_EQ(pebble().rejections(), reasons);
    EXPECT_EQ(admin("/pebble/rejections").body.find("preqs\npreqs\napp_name\n"),
              std::string("js\n").size());

    // What the location and signal values decode to is kept per accepted request.
    std::string record =
        "role: 6 producer: 24 historical_role: 1 historical_producer: 12 "
        "timestamp: 5 loc: \"Lille\"";
    std::string signals = "v1;loads=2;touches=1;acc=-5,0,98;reach=3";
    Reply located = get(kAds, "/pbma/ad?" + kSound + "&slotname=banner&uule=a%2B" +
                                  webSafeBase64(record) + "&ms=" + webSafeBase64(signals));
    EXPECT_EQ(located.status, 200) << located.body;
    auto decoded = pebble().decoded();
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(decoded[0].location, "");
    EXPECT_EQ(decoded[1].location, record);
    EXPECT_EQ(decoded[1].signals, signals);
}

TEST_F(PebbleModuleTest, EachSlotAnswersItsWay) {
    EXPECT_EQ(get(kAds, "/pbma/ad?" + kSound + "&slotname=noad").body, "  \n\t \n");
    EXPECT_EQ(get(kAds, "/pbma/ad?" + kSound + "&slotname=error").status, 503);
    EXPECT_EQ(get(kAds, "/pbma/ad?" + kSound + "&slotname=rejected").status, 400);
    // The interstitial wants its own format.
    EXPECT_EQ(get(kAds, "/pbma/ad?" + kSound + "&slotname=interstitial").status, 400);
    std::string fullScreen =
        "js=pbma-sdk-i-v1&preqs=2&app_name=bn&format=interstitial_mb&u_audio=1&u_sd=2&u_w=320&"
        "u_h=480&u_so=p&slotname=interstitial";
    Reply interstitial = get(kAds, "/pbma/ad?" + fullScreen);
    EXPECT_EQ(interstitial.status, 200);
    EXPECT_NE(interstitial.body.find("Pebble interstitial 2"), std::string::npos);
    EXPECT_EQ(headerValue(interstitial, "X-Pbma-Orientation"), "portrait");

    Reply moved = get(kAds, "/pbma/ad?" + kSound + "&slotname=moved");
    EXPECT_EQ(moved.status, 302);
    EXPECT_EQ(headerValue(moved, "Location"),
              "http://ads.pebbleads.test/pbma/ad?" + kSound + "&slotname=moved&moved=1");
    EXPECT_EQ(headerValue(moved, "X-Pbma-Tracking-Urls"), "http://ads.pebbleads.test/imp?moved=1");

    Reply webapp = get(kAds, "/pbma/ad?" + kSound + "&slotname=webapp");
    EXPECT_EQ(headerValue(webapp, "X-Pbma-Click-Tracking-Urls"),
              "http://ads.pebbleads.test/pit4 http://ads.pebbleads.test/pit-store");
    EXPECT_EQ(
        headerValue(get(kAds, "/pbma/ad?" + kSound + "&slotname=refresh-5"), "X-Pbma-Refresh-Rate"),
        "-5");
    EXPECT_EQ(get(kAds, "/imp?n=1").body, "GIF89a");
    EXPECT_EQ(headerValue(get(kAds, "/pit-store"), "Location"), "itms-apps://store.test/app/1");
}

TEST_F(PebbleModuleTest, TheClickRedirectStaysOnTheAdvertisersShop) {
    EXPECT_EQ(
        headerValue(get(kAds, "/aclk?ai=1&adurl=http://shop.advertiser.test/offer"), "Location"),
        "http://shop.advertiser.test/offer");
    for (const char* elsewhere : {"http://evil.test/", "http://shop.advertiser.test.evil.test/",
                                  "http://shop.advertiser.test@evil.test/",
                                  "http://shop.advertiser.test/a%20b", "javascript:alert(1)"}) {
        Reply r = get(kAds, std::string("/aclk?adurl=") + elsewhere);
        EXPECT_EQ(r.status, 302) << elsewhere;
        EXPECT_EQ(headerValue(r, "Location"), "http://shop.advertiser.test/") << elsewhere;
    }

    Reply offers = get(kShop, "/offer");
    EXPECT_NE(offers.body.find("<title>Offers</title>"), std::string::npos);
    Reply found = get(kShop, "/search?q=rakes+%26+hoes");
    EXPECT_NE(found.body.find("<title>Results for rakes &amp; hoes</title>"), std::string::npos)
        << found.body;
    EXPECT_EQ(headerValue(get(kShop, "/store"), "Location"), "itms-apps://store.test/app/1");
}

}  // namespace

}  // namespace servicestest
