#include "ads/ironvine/IVBase64.h"

#include <gtest/gtest.h>

#include "Foundation/NSData.h"
#include "Foundation/NSString.h"
#include "UIKit/UIImage.h"
#include "ads/ironvine/IVResources.h"
#include "support/FoundationTesting.h"

namespace {

std::string bytes(NSData* d) {
    return std::string(static_cast<const char*>(d->bytes()), d->length());
}
Ref<NSData> dataOf(std::string_view s) {
    return NSData::dataWithBytes(s.data(), s.size());
}

TEST(IVBase64Test, EncodesWithPadding) {
    EXPECT_EQ(IVBase64::base64StringWithData(dataOf("f").get())->utf8(), "Zg==");
    EXPECT_EQ(IVBase64::base64StringWithData(dataOf("foo").get())->utf8(), "Zm9v");
    EXPECT_EQ(IVBase64::base64StringWithData(dataOf("fooba").get())->utf8(), "Zm9vYmE=");
    EXPECT_EQ(IVBase64::base64StringWithString(str("\xC3\xA9t\xC3\xA9").get())->utf8(), "w6l0w6k=");
    EXPECT_EQ(IVBase64::base64StringWithData(dataOf("").get())->utf8(), "");
}

TEST(IVBase64Test, DecodesAndRoundTripsEveryByte) {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    for (size_t n = 0; n <= all.size(); n += 37) {
        auto encoded = IVBase64::base64StringWithData(dataOf(all.substr(0, n)).get());
        EXPECT_EQ(bytes(IVBase64::dataWithBase64String(encoded.get()).get()), all.substr(0, n));
        EXPECT_EQ(bytes(IVBase64::dataWithBase64Data(
                            encoded->dataUsingEncoding(NSUTF8StringEncoding).get())
                            .get()),
                  all.substr(0, n));
    }
    EXPECT_EQ(IVBase64::stringWithBase64String(NS("w6l0w6k="))->utf8(), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(IVBase64::dataWithBase64String(NS(""))->length(), 0u);
}

TEST(IVBase64Test, SkippedCharactersAndMissingPadAddNoBytes) {
    // Line breaks inside the text are skipped and leave no zero bytes at the end.
    EXPECT_EQ(bytes(IVBase64::dataWithBase64String(NS("Zm9v\nYmFy\r\n")).get()), "foobar");
    EXPECT_EQ(bytes(IVBase64::dataWithBase64String(NS("Zm9vYg")).get()), "foob");
    EXPECT_EQ(bytes(IVBase64::dataWithBase64String(NS("Zg")).get()), "f");
    EXPECT_EQ(bytes(IVBase64::dataWithBase64String(NS("Z m 9 v")).get()), "foo");
    EXPECT_EQ(bytes(IVBase64::dataWithBase64String(str("Zm9v\xC3\xA9").get()).get()), "foo");
}

TEST(IVResourcesTest, ArrowImagesAreSmallPalettePNGs) {
    for (auto image : {IVResources::backButton(), IVResources::backButtonDisabled(),
                       IVResources::forwardButton(), IVResources::forwardButtonDisabled()}) {
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size().width, 12.0f);
        EXPECT_EQ(image->size().height, 16.0f);
    }
    EXPECT_NE(IVResources::backButton().get(), IVResources::backButton().get());
    auto page = NSString::stringWithFormat(IVResources::youtubeTemplateHTML().get(), 320,
                                           NS("http://video.test/v"), 300.0, 200.4);
    EXPECT_NE(page->utf8().find("content=\"width=320\""), std::string::npos);
    EXPECT_NE(page->utf8().find("width: 100%;"), std::string::npos);
    EXPECT_NE(page->utf8().find("src=\"http://video.test/v\""), std::string::npos);
    EXPECT_NE(page->utf8().find("width=\"300\" height=\"200\""), std::string::npos);
}

}  // namespace
