#include <gtest/gtest.h>

#include <zlib.h>

#include <string>

#include "ServicesTesting.h"
#include "tools/catalog/CatalogHosts.h"
#include "tools/services/CatalogModule.h"

using servicestest::get;

namespace {

const std::string kHost = catalog_hosts::kCatalogServicesHost;

int countOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

}  // namespace

TEST(CatalogModule, PagesOfTwentyOutOfFortyFive) {
    auto first = get(kHost, "/items.json?page=1");
    ASSERT_EQ(first.status, 200);
    EXPECT_NE(first.head.find("application/json"), std::string::npos);
    EXPECT_EQ(countOf(first.body, "\"title\""), 20);
    EXPECT_NE(first.body.find("\"Item 1\""), std::string::npos);
    EXPECT_NE(first.body.find("\"total\": 45"), std::string::npos);
    auto last = get(kHost, "/items.json?page=3");
    EXPECT_EQ(countOf(last.body, "\"title\""), 5);
    EXPECT_NE(last.body.find("\"Item 45\""), std::string::npos);
    EXPECT_NE(last.body.find("http://" + kHost + "/thumbs/45.png"), std::string::npos);
    EXPECT_EQ(countOf(get(kHost, "/items.json?page=4").body, "\"title\""), 0);
    auto empty = get(kHost, "/items.json?page=1&set=empty");
    EXPECT_EQ(countOf(empty.body, "\"title\""), 0);
    EXPECT_NE(empty.body.find("\"total\": 0"), std::string::npos);
}

TEST(CatalogModule, ThumbnailsAreValidPngsAndFaultsComeOnDemand) {
    auto thumb = get(kHost, "/thumbs/7.png");
    ASSERT_EQ(thumb.status, 200);
    ASSERT_GT(thumb.body.size(), 33u);
    EXPECT_EQ(thumb.body.substr(0, 8), "\x89PNG\r\n\x1a\n");
    // The image data inflates to 40 rows of a filter byte and 40 RGB pixels.
    auto idat = thumb.body.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    auto len = static_cast<unsigned>(static_cast<unsigned char>(thumb.body[idat - 4])) << 24 |
               static_cast<unsigned>(static_cast<unsigned char>(thumb.body[idat - 3])) << 16 |
               static_cast<unsigned>(static_cast<unsigned char>(thumb.body[idat - 2])) << 8 |
               static_cast<unsigned>(static_cast<unsigned char>(thumb.body[idat - 1]));
    std::string raw(40 * (1 + 40 * 3), '\0');
    uLongf rawLength = raw.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawLength,
                         reinterpret_cast<const Bytef*>(thumb.body.data() + idat + 4), len),
              Z_OK);
    EXPECT_EQ(rawLength, raw.size());
    EXPECT_EQ(get(kHost, "/thumbs/46.png").status, 404);
    EXPECT_EQ(get(kHost, "/items.json?page=1&fault=503").status, 503);
    auto garbage = get(kHost, "/items.json?fault=garbage");
    EXPECT_EQ(garbage.status, 200);
    EXPECT_EQ(garbage.body.find("]"), std::string::npos);
}

TEST(CatalogModule, NamesCompleteByFirstOrLastNameInAnyCase) {
    auto ada = get(kHost, "/names.json?q=ada");
    ASSERT_EQ(ada.status, 200);
    EXPECT_NE(ada.head.find("application/json"), std::string::npos);
    // "Ada" is one first name of 25, so 20 people; ten come back.
    EXPECT_EQ(countOf(ada.body, "\"Ada "), 10);
    EXPECT_NE(ada.body.find("\"Ada Abbott\""), std::string::npos);
    // By last name: the 25 Tanakas, ten of them.
    auto tanaka = get(kHost, "/names.json?q=TAN");
    EXPECT_EQ(countOf(tanaka.body, " Tanaka\""), 10);
    EXPECT_NE(tanaka.body.find("\"Ada Tanaka\""), std::string::npos);
    // A whole name, with its space.
    auto one = get(kHost, "/names.json?q=Yara%20Tanaka");
    EXPECT_EQ(countOf(one.body, "Tanaka"), 1);
    EXPECT_EQ(countOf(get(kHost, "/names.json?q=zz").body, "\""), 2);  // only "names"
    EXPECT_EQ(countOf(get(kHost, "/names.json?q=").body, "\""), 2);
    EXPECT_EQ(bnservices::CatalogModule::name(499), "Yara Tanaka");
}

TEST(CatalogModule, PhotoSetsOfOneTenAndTwentyFiveTenAPage) {
    auto one = get(kHost, "/photos.json?set=one&page=1");
    ASSERT_EQ(one.status, 200);
    EXPECT_EQ(countOf(one.body, "\"caption\""), 1);
    EXPECT_NE(one.body.find("\"total\": 1"), std::string::npos);
    EXPECT_EQ(countOf(get(kHost, "/photos.json?set=ten&page=1").body, "\"caption\""), 10);
    EXPECT_EQ(countOf(get(kHost, "/photos.json?set=ten&page=2").body, "\"caption\""), 0);
    auto third = get(kHost, "/photos.json?set=many&page=3");
    EXPECT_EQ(countOf(third.body, "\"caption\""), 5);
    EXPECT_NE(third.body.find("\"total\": 25"), std::string::npos);
    EXPECT_NE(third.body.find("http://" + kHost + "/photos/many/25-4.png"), std::string::npos);
    // Every fourth photo leaves its size to be learnt from the image.
    EXPECT_EQ(countOf(third.body, "\"width\": 0"), 1);  // photo 24
    auto unknown = get(kHost, "/photos.json?set=unknown&page=1");
    EXPECT_NE(unknown.body.find("\"total\": -1"), std::string::npos);

    // Versions: full, half-size preview, 30-point thumbnail; none past the set.
    auto full = get(kHost, "/photos/many/2-1.png");
    ASSERT_EQ(full.status, 200);
    EXPECT_NE(full.head.find("image/png"), std::string::npos);
    EXPECT_GT(full.body.size(), get(kHost, "/photos/many/2-4.png").body.size());
    EXPECT_EQ(get(kHost, "/photos/many/26-1.png").status, 404);
    EXPECT_EQ(get(kHost, "/photos/many/2-2.png").status, 404);
    EXPECT_EQ(get(kHost, "/photos.json?set=many&fault=503").status, 503);
}
