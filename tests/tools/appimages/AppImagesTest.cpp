// The bundle's images as the build draws them: every name the app asks for, and what each shows.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "UIKit/UIImage.h"
#include "platform/UIKit/DrawingTesting.h"
#include "tools/appimages/AppImages.h"

namespace {
std::map<std::string, Ref<UIImage>> images() {
    std::map<std::string, Ref<UIImage>> out;
    for (auto& [name, image] : drawAppImages())
        out[name] = image;
    return out;
}
}  // namespace

TEST(AppImages, EveryImageTheAppNamesIsDrawn) {
    auto all = images();
    for (const char* name :
         {"document_sans_edit_32.png", "supermarket.png", "workoffice.png", "smallcity.png",
          "home.png", "findajob.png", "rental.png", "triangelup.png", "triangeldown.png",
          "staron32.png", "staroff32.png", "background.png", "transparent.png", "pricetag.png",
          "toolbar_reply.png", "toolbar_web.png", "toolbar_share.png"}) {
        ASSERT_TRUE(all.count(name)) << name;
        auto image = all[name];
        ASSERT_TRUE(image->CGImage()) << name;
        EXPECT_GT(image->size().width, 0) << name;
        all.erase(name);
    }
    EXPECT_TRUE(all.empty());
}

TEST(AppImages, StarsTrianglesAndTheTransparentImageShowWhatTheyAreFor) {
    auto all = images();
    auto on = all["staron32.png"];
    EXPECT_EQ(on->pixelSize().width, 32);
    RGBA gold = pixelAt(on, 16, 16);
    EXPECT_GT(gold.r, 200) << gold;
    EXPECT_LT(gold.b, 120) << gold;
    EXPECT_EQ(pixelAt(on, 1, 1).a, 0);
    RGBA off = pixelAt(all["staroff32.png"], 16, 16);
    EXPECT_LT(off.a, 128) << off;

    auto up = all["triangelup.png"];
    auto down = all["triangeldown.png"];
    // The point of the one is where the other is widest.
    EXPECT_EQ(pixelAt(up, 3, 10).a, 255);
    EXPECT_EQ(pixelAt(up, 3, 2).a, 0);
    EXPECT_EQ(pixelAt(down, 3, 2).a, 255);
    EXPECT_EQ(pixelAt(down, 3, 10).a, 0);

    auto clear = all["transparent.png"];
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(pixelAt(clear, x, y).a, 0);

    // The price tag points left: transparent at its left corners and in the margin before its
    // point, green in its body, white in the string hole just before the body.
    auto tag = all["pricetag.png"];
    EXPECT_EQ(pixelAt(tag, 1, 1).a, 0);
    EXPECT_EQ(pixelAt(tag, 3, 11).a, 0);
    RGBA body = pixelAt(tag, 14, 12);
    EXPECT_GT(body.g, body.r + 40) << body;
    RGBA hole = pixelAt(tag, 9, 11);
    EXPECT_GT(hole.r, 200) << hole;
}

TEST(AppImages, TheyAreWrittenAsPngFilesThatReadBack) {
    // In the program's own sandbox, so that runs side by side do not share it.
    std::filesystem::path folder = NSTemporaryDirectory()->utf8() + "images";
    std::filesystem::remove_all(folder);
    size_t written = 0;
    ASSERT_TRUE(writeAppImages(folder.string(), &written));
    EXPECT_EQ(written, drawAppImages().size());
    auto star =
        UIImage::imageWithContentsOfFile(NSString::fromUTF8((folder / "staron32.png").string()));
    ASSERT_TRUE(star);
    EXPECT_EQ(star->format()->utf8(), "png");
    EXPECT_EQ(star->pixelSize().width, 32);
    std::filesystem::remove_all(folder);
}
