// The mediation module over the wire: configurations by key and the keys it insists on, house
// ads with real images and advertiser pages, the pings it keeps, the admin views that set a
// key's answer and weight the app's configuration, and the program's start option.
#include <gtest/gtest.h>

#include <png.h>

#include "support/StandInTesting.h"
#include "support/services/RunningServices.h"
#include "tools/services/MediationModule.h"
#include "tools/services/Services.h"
#include "tools/services/ServicesTesting.h"

namespace servicestest {

namespace {

using bnservices::MediationModule;

class MediationModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        services().reset();
        services().clearFaults();
        mediation = services().module<MediationModule>("mediation");
        ASSERT_NE(mediation, nullptr);
    }
    static std::string config(const std::string& appid) {
        return "/getInfo.php?appid=" + appid + "&appver=300&client=1";
    }
    // The width and height a PNG file's header gives.
    static std::pair<int, int> pngSize(const std::string& bytes) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return {0, 0};
        png_image_free(&image);
        return {static_cast<int>(image.width), static_cast<int>(image.height)};
    }
    MediationModule* mediation = nullptr;
};

TEST_F(MediationModuleTest, ConfigurationsByKeyAndTheKeysItNeeds) {
    Reply app = get("mediation.adloom.test", config(MediationModule::kAppKey));
    EXPECT_EQ(app.status, 200);
    EXPECT_NE(app.head.find("application/json"), std::string::npos);
    EXPECT_NE(app.body.find(R"("type": 9)"), std::string::npos) << app.body;
    EXPECT_NE(app.body.find(R"("weight": 60)"), std::string::npos);
    EXPECT_NE(app.body.find(R"("type": 19)"), std::string::npos);
    EXPECT_EQ(get("mediation.adloom.test", config(MediationModule::kLegacyKey)).body.front(), '[');
    EXPECT_NE(get("mediation.adloom.test", config(MediationModule::kAdsOffKey))
                  .body.find(R"("rations":[])"),
              std::string::npos);
    EXPECT_EQ(get("mediation.adloom.test", config("unknown")).status, 404);
    EXPECT_EQ(get("mediation.adloom.test", "/getInfo.php?appid=x&client=1").status, 400);
    EXPECT_EQ(get("www.probe.test", "/").status, 404);  // mapped, not served

    // The admin host weights the app's key to one network, or sets any answer.
    EXPECT_EQ(admin("/mediation/weight?network=meridian").status, 200);
    app = get("mediation.adloom.test", config(MediationModule::kAppKey));
    EXPECT_NE(app.body.find(R"("type": 6)"), std::string::npos);
    EXPECT_NE(app.body.find(R"("weight": 100)"), std::string::npos);
    EXPECT_EQ(app.body.find(R"("type": 9)"), std::string::npos);
    EXPECT_EQ(admin("/mediation/weight?network=nobody").status, 400);
    EXPECT_EQ(admin("/mediation/config?appid=k1&status=503&body=down").status, 200);
    Reply set = get("mediation.adloom.test", config("k1"));
    EXPECT_EQ(set.status, 503);
    EXPECT_EQ(set.body, "down");
    EXPECT_EQ(admin("/mediation/config?appid=k1&status=42").status, 400);
    EXPECT_NE(admin("/mediation/configs").body.find("\"k1\""), std::string::npos);

    // A reset brings the seeded answers back.
    services().reset();
    EXPECT_EQ(get("mediation.adloom.test", config("k1")).status, 404);
}

TEST_F(MediationModuleTest, HouseAdsTheirImagesAndAdvertiserPages) {
    const std::string query = "&appver=300&country_code=en_US&appid=k&client=1";
    Reply first = get("mediation.adloom.test", "/custom.php?nid=house" + query);
    Reply second = get("mediation.adloom.test", "/custom.php?nid=house" + query);
    EXPECT_NE(first.body.find(R"("ad_type":1)"), std::string::npos);   // the rotation: image,
    EXPECT_NE(second.body.find(R"("ad_type":2)"), std::string::npos);  // then icon
    EXPECT_EQ(get("mediation.adloom.test", "/custom.php?nid=house").status, 400);
    EXPECT_EQ(get("mediation.adloom.test", "/custom.php?nid=none" + query).status, 404);
    EXPECT_EQ(mediation->houseAdRequests(), (std::vector<std::string>{"house", "house", "none"}));

    EXPECT_EQ(pngSize(get("mediation.adloom.test", "/img/banner-320x50.png").body),
              (std::pair<int, int>{320, 50}));
    EXPECT_EQ(pngSize(get("mediation.adloom.test", "/img/banner-640x100.png").body),
              (std::pair<int, int>{640, 100}));
    EXPECT_EQ(pngSize(get("mediation.adloom.test", "/img/icon-39.png").body),
              (std::pair<int, int>{39, 39}));
    EXPECT_EQ(pngSize(get("mediation.adloom.test", "/img/broken.png").body),
              (std::pair<int, int>{0, 0}));
    Reply page = get("mediation.adloom.test", "/advertiser/1");
    EXPECT_NE(page.body.find("mailto:sales@advertiser.test"), std::string::npos);
}

TEST_F(MediationModuleTest, PingsAreKeptAndShownOnTheAdminHost) {
    EXPECT_EQ(get("metrics.adloom.test",
                  "/exmet.php?appid=k&nid=a%26b&type=9&country_code=de_CH&appver=300&client=1")
                  .status,
              200);
    EXPECT_EQ(get("metrics.adloom.test",
                  "/exclick.php?appid=k&nid=n&type=19&country_code=de_CH&appver=300&client=1")
                  .status,
              200);
    EXPECT_EQ(get("metrics.adloom.test", "/exclick.php?appid=k").status, 400);
    EXPECT_EQ(get("mediation.adloom.test", "/click.php?ad=icon").status, 200);
    auto pings = mediation->pings();
    ASSERT_EQ(pings.size(), 3u);
    EXPECT_EQ(pings[0].kind, "impression");
    EXPECT_EQ(pings[0].nid, "a&b");
    EXPECT_EQ(pings[1].kind, "click");
    EXPECT_EQ(pings[1].type, "19");
    EXPECT_EQ(pings[2].kind, "house click");
    EXPECT_EQ(pings[2].nid, "icon");
    Reply shown = admin("/mediation/pings");
    EXPECT_NE(shown.body.find(R"("country_code": "de_CH")"), std::string::npos) << shown.body;
}

TEST(MediationProgramTest, TheStartOptionWeightsTheAppsConfiguration) {
    standintest::StartedProgram program(
        {BN_SERVICES_PROGRAM, "--port", "0", "--mediation-network", "ironvine", "--quiet"});
    ASSERT_GT(program.port, 0) << program.firstLine;
    Reply app =
        get("mediation.adloom.test",
            "/getInfo.php?appid=" + std::string(MediationModule::kAppKey) + "&appver=300&client=1",
            program.port);
    EXPECT_NE(app.body.find(R"("type": 7)"), std::string::npos) << app.body;
    EXPECT_EQ(app.body.find(R"("type": 9)"), std::string::npos);
    EXPECT_TRUE(program.stop());
}

}  // namespace

}  // namespace servicestest
