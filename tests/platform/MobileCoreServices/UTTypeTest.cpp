#include <gtest/gtest.h>

#include "Foundation/NSString.h"
#include "MobileCoreServices/MobileCoreServices.h"
#include "support/FoundationTesting.h"

namespace {

std::string mimeForExtension(const char* ext) {
    auto uti = UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension,
                                                     NSString::fromUTF8(ext), nullptr);
    return text(UTTypeCopyPreferredTagWithClass(uti, kUTTagClassMIMEType));
}

TEST(UTType, ExtensionToMIMEType) {
    EXPECT_EQ(mimeForExtension("jpg"), "image/jpeg");
    EXPECT_EQ(mimeForExtension("JPEG"), "image/jpeg");  // tags ignore case
    EXPECT_EQ(mimeForExtension("png"), "image/png");
    EXPECT_EQ(mimeForExtension("html"), "text/html");
    EXPECT_EQ(mimeForExtension("txt"), "text/plain");
    EXPECT_EQ(mimeForExtension("pdf"), "application/pdf");
    EXPECT_EQ(mimeForExtension("gz"), "application/x-gzip");
    EXPECT_EQ(text(UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, NS("jpe"),
                                                         nullptr)),
              "public.jpeg");
}

TEST(UTType, UnknownTagsGiveDynamicTypesWithoutTags) {
    auto uti =
        UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, NS("zzq"), nullptr);
    ASSERT_TRUE(uti);
    EXPECT_TRUE(UTTypeIsDynamic(uti));
    EXPECT_FALSE(UTTypeCopyPreferredTagWithClass(uti, kUTTagClassMIMEType));
    // The same tag gives the same identifier; another tag another one.
    EXPECT_TRUE(UTTypeEqual(uti, UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension,
                                                                       NS("zzq"), nullptr)));
    EXPECT_FALSE(UTTypeEqual(uti, UTTypeCreatePreferredIdentifierForTag(
                                      kUTTagClassFilenameExtension, NS("zzr"), nullptr)));
    // An abstract type has no MIME type of its own.
    EXPECT_FALSE(UTTypeCopyPreferredTagWithClass(NS("public.image"), kUTTagClassMIMEType));
}

TEST(UTType, MIMETypeBackAndConformance) {
    auto uti = UTTypeCreatePreferredIdentifierForTag(kUTTagClassMIMEType, NS("image/JPG"), nullptr);
    EXPECT_EQ(text(uti), "public.jpeg");
    EXPECT_EQ(text(UTTypeCopyPreferredTagWithClass(uti, kUTTagClassFilenameExtension)), "jpeg");
    EXPECT_TRUE(UTTypeConformsTo(uti, NS("public.image")));
    EXPECT_TRUE(UTTypeConformsTo(uti, NS("public.data")));
    EXPECT_FALSE(UTTypeConformsTo(uti, NS("public.text")));
    // Restricting to a parent type filters the answer.
    EXPECT_TRUE(UTTypeIsDynamic(UTTypeCreatePreferredIdentifierForTag(
        kUTTagClassFilenameExtension, NS("png"), NS("public.text"))));
}

}  // namespace
