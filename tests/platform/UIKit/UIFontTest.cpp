#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "UIKit/FontSupport.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIStringDrawing.h"
#include "support/FoundationTesting.h"

namespace {
class RealFonts : public ::testing::Test {
protected:
    UITextMeasurerScope scope{UIFontTextMeasurer::shared()};
};

CGFloat width(const char* text, UIFont* font) {
    return UITextMeasurerCurrent()->widthOfText(NSString::fromUTF8(text)->u16(), font);
}

UIFontSupport::FaceDescription face(const char* name) {
    auto f = UIFont::fontWithName(NSString::fromUTF8(name), 12);
    auto d = UIFontSupport::faceForFont(f);
    EXPECT_TRUE(d.has_value()) << name;
    return d.value_or(UIFontSupport::FaceDescription{});
}
}  // namespace

TEST_F(RealFonts, MetricsComeFromTheFace) {
    auto f = UIFont::systemFontOfSize(20);
    EXPECT_GT(f->ascender(), 0);
    EXPECT_LT(f->descender(), 0);
    EXPECT_GT(f->capHeight(), f->xHeight());
    EXPECT_GT(f->ascender(), f->capHeight());
    EXPECT_GT(f->xHeight(), 0);
    // Whole points, holding the ascender and descender.
    EXPECT_FLOAT_EQ(f->lineHeight(), std::round(f->lineHeight()));
    EXPECT_GE(f->lineHeight(), f->ascender() - f->descender());
    // Not the test font's model.
    EXPECT_NE(f->ascender(), 16);
    // Measures scale with the size.
    EXPECT_NEAR(UIFont::systemFontOfSize(40)->ascender(), 2 * f->ascender(), 0.01);
}

TEST_F(RealFonts, WidthsFollowFaceAndSize) {
    auto regular = UIFont::systemFontOfSize(12);
    auto bold = UIFont::boldSystemFontOfSize(12);
    EXPECT_GT(width("Bazaarnest Mobile", bold), width("Bazaarnest Mobile", regular));
    CGFloat w12 = width("Bazaarnest", regular);
    CGFloat w24 = width("Bazaarnest", UIFont::systemFontOfSize(24));
    EXPECT_GT(w24, w12);
    EXPECT_NEAR(w24, 2 * w12, 0.01);
    // Proportional: an i is narrower than an M; widths of parts add up.
    EXPECT_LT(width("i", regular), width("M", regular));
    EXPECT_NEAR(width("iM", regular), width("i", regular) + width("M", regular), 0.001);
    // The monospaced face gives every letter one advance.
    auto courier = UIFont::fontWithName(NS("Courier"), 12);
    EXPECT_NEAR(width("iiii", courier), width("MMMM", courier), 0.001);
    // Sizes come out in whole points.
    CGSize s = sizeWithFont(NS("Bazaarnest"), regular);
    EXPECT_FLOAT_EQ(s.width, std::ceil(w12));
    EXPECT_FLOAT_EQ(s.height, regular->lineHeight());
    EXPECT_FLOAT_EQ(width("", regular), 0);
}

TEST_F(RealFonts, ShrinkingFitsTheWidth) {
    auto f = UIFont::boldSystemFontOfSize(20);
    NSString* text = NS("Bikes for sale in the city");
    CGFloat full = width("Bikes for sale in the city", f);
    CGFloat actual = 0;
    sizeWithFont(text, f, 6, &actual, full * 0.6f, UILineBreakModeTailTruncation);
    EXPECT_LT(actual, 20);
    EXPECT_LE(width("Bikes for sale in the city", f->fontWithSize(actual)), full * 0.6f + 0.01f);
    // A point more would not fit.
    EXPECT_GT(width("Bikes for sale in the city", f->fontWithSize(actual + 1)), full * 0.6f);
}

TEST_F(RealFonts, MeasuresFromSeveralThreadsAlike) {
    const char* names[] = {"Helvetica", "Georgia-Bold", "Courier", "TrebuchetMS-Bold"};
    std::vector<CGFloat> expected;
    for (auto* n : names)
        expected.push_back(width("Used bikes, 120 $", UIFont::fontWithName(str(n), 15)));
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                int k = (t + i) % 4;
                auto f = UIFont::fontWithName(str(names[k]), 15);
                if (std::abs(width("Used bikes, 120 $", f) - expected[k]) > 0.001f ||
                    !(f->ascender() > 0))
                    ++mismatches[t];
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

TEST(UIFontNames, MapToTheNearestInstalledFace) {
    // The system font and its family are drawn with a face of Helvetica's metrics.
    auto system = face("Helvetica");
    EXPECT_EQ(system.family, "Liberation Sans");
    EXPECT_FALSE(system.bold);
    EXPECT_TRUE(face("Helvetica-Bold").bold);
    EXPECT_FALSE(face("Helvetica-Bold").syntheticBold);
    EXPECT_EQ(face("Helvetica-Bold").family, "Liberation Sans");
    EXPECT_TRUE(face("Helvetica-Oblique").italic);
    EXPECT_FALSE(face("Helvetica-Oblique").syntheticItalic);
    EXPECT_TRUE(face("Helvetica-BoldOblique").bold && face("Helvetica-BoldOblique").italic);
    EXPECT_EQ(face("HelveticaNeue").file, system.file);
    EXPECT_EQ(face("MarkerFelt-Thin").file, system.file);
    auto trebuchet = face("TrebuchetMS-Bold");
    EXPECT_EQ(trebuchet.family, "Liberation Sans");
    EXPECT_TRUE(trebuchet.bold || trebuchet.syntheticBold);
    EXPECT_EQ(face("Arial").file, system.file);
    EXPECT_EQ(face("Georgia").family, "Liberation Serif");
    EXPECT_EQ(face("TimesNewRomanPS-BoldMT").family, "Liberation Serif");
    EXPECT_EQ(face("Courier").family, "Liberation Mono");
    // Unknown names fall back to the system face; an installed family is taken by its name.
    EXPECT_EQ(face("NoSuchFont").file, system.file);
    EXPECT_EQ(face("no such font at all").file, system.file);
    EXPECT_EQ(face("DejaVu Serif").family, "DejaVu Serif");
}

TEST_F(RealFonts, TheSystemFaceHasHelveticasAdvances) {
    // Helvetica's advances in thousandths of the em, regular and bold: the screens were laid
    // out for these.
    struct Advance {
        const char* text;
        CGFloat regular, bold;
    };
    const Advance advances[] = {{"M", 833, 833}, {"i", 222, 278}, {"a", 556, 556},
                                {"W", 944, 944}, {" ", 278, 278}, {"P", 667, 667}};
    for (auto& a : advances) {
        EXPECT_NEAR(width(a.text, UIFont::systemFontOfSize(100)), a.regular / 10, 0.1) << a.text;
        EXPECT_NEAR(width(a.text, UIFont::boldSystemFontOfSize(100)), a.bold / 10, 0.1) << a.text;
        EXPECT_NEAR(width(a.text, UIFont::italicSystemFontOfSize(100)), a.regular / 10, 0.1)
            << a.text;
    }
}

TEST(UIFontNames, FamiliesAndTraitsFollowThePlatformNames) {
    EXPECT_EQ(UIFont::fontWithName(NS("MarkerFelt-Thin"), 14)->familyName()->utf8(), "Marker Felt");
    auto trebuchet = UIFont::fontWithName(NS("TrebuchetMS-Bold"), 13);
    EXPECT_EQ(trebuchet->familyName()->utf8(), "Trebuchet MS");
    EXPECT_TRUE(trebuchet->isBold());
    EXPECT_FALSE(trebuchet->isItalic());
    EXPECT_TRUE(UIFont::italicSystemFontOfSize(12)->isItalic());
    EXPECT_EQ(UIFont::fontWithName(NS("NoSuchFont-BoldItalic"), 12)->familyName()->utf8(),
              "NoSuchFont");
    EXPECT_TRUE(UIFont::fontWithName(NS("NoSuchFont-BoldItalic"), 12)->isItalic());
    auto names = UIFont::fontNamesForFamilyName(NS("Helvetica"));
    EXPECT_TRUE(names->containsObject(NS("Helvetica-Bold")));
    EXPECT_EQ(UIFont::fontNamesForFamilyName(NS("No Such Family"))->count(), 0u);
    EXPECT_TRUE(UIFont::familyNames()->containsObject(NS("Marker Felt")));
    // Sizes of zero or less ask for the default size.
    EXPECT_FLOAT_EQ(UIFont::fontWithName(NS("Georgia"), 0)->pointSize(), 12);
    EXPECT_FALSE(UIFont::fontWithName(nullptr, 12));
}
