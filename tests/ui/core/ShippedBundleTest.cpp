#include <gtest/gtest.h>

#include <filesystem>

#include "Foundation/NSDate.h"
#include "Foundation/NSDateFormatter.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSTimeZone.h"
#include "UIKit/UIImage.h"
#include "support/FoundationTesting.h"

namespace {

const std::string kBundle = std::string(BN_SOURCE_DIR) + "/resources/Bazaarnest.app/Dodiz20.bundle";

TEST(ShippedBundle, TheStringTableHasEveryTextOfTheFramework) {
    auto table =
        NSDictionary::dictionaryWithContentsOfFile(str(kBundle + "/en.lproj/Localizable.strings"));
    ASSERT_TRUE(table);
    const char* keys[] = {"Connection Timed Out",
                          "No Internet Connection",
                          "Connection Error",
                          "Error",
                          "h:mm a",
                          "EEEE, LLLL d, YYYY",
                          "EEEE",
                          "M/d/yy",
                          "EEE h:mm a",
                          "MMM d h:mm a",
                          "MMMM d",
                          "MMMM",
                          "yyyy",
                          "just a moment ago",
                          "%d seconds ago",
                          "about a minute ago",
                          "%d minutes ago",
                          "about an hour ago",
                          "%d hours ago",
                          "<1m",
                          "%dm",
                          "%dh",
                          "%dd",
                          "Today",
                          "Yesterday",
                          "Loading...",
                          "Cancel",
                          "Open in Safari"};
    for (const char* key : keys) {
        auto value = as<NSString>(table->objectForKey(str(key)));
        ASSERT_TRUE(value) << key;
        if (std::string(key) != "EEEE, LLLL d, YYYY") {
            EXPECT_EQ(text(value), key);
        }
    }
    EXPECT_EQ(table->count(), std::size(keys));
}

TEST(ShippedBundle, TheLongDateShowsTheCalendarYear) {
    auto table =
        NSDictionary::dictionaryWithContentsOfFile(str(kBundle + "/en.lproj/Localizable.strings"));
    auto format = as<NSString>(table->objectForKey(NS("EEEE, LLLL d, YYYY")));
    ASSERT_TRUE(format);
    auto formatter = make<NSDateFormatter>();
    formatter->setDateFormat(format);
    formatter->setLocale(NSLocale::localeWithLocaleIdentifier(NS("en_US")));
    formatter->setTimeZone(NSTimeZone::timeZoneWithName(NS("UTC")));
    // 2012-12-31 belongs to the first week of 2013; the text must still say 2012.
    auto newYearsEve = NSDate::dateWithTimeIntervalSince1970(1356955200);
    EXPECT_EQ(text(formatter->stringFromDate(newYearsEve)), "Monday, December 31, 2012");
}

TEST(ShippedBundle, ToolbarIconsAreImages) {
    for (const char* name :
         {"backIcon.png", "forwardIcon.png", "nextIcon.png", "previousIcon.png"}) {
        auto image = UIImage::imageWithContentsOfFile(str(kBundle + "/images/" + name));
        ASSERT_TRUE(image) << name;
        EXPECT_EQ(image->size().width, 20);
        EXPECT_EQ(image->size().height, 20);
    }
}

TEST(ShippedBundle, PhotoAndLauncherImagesAreImages) {
    auto placeholder = UIImage::imageWithContentsOfFile(str(kBundle + "/images/photoDefault.png"));
    ASSERT_TRUE(placeholder);
    EXPECT_GT(placeholder->size().width, placeholder->size().height);
    auto close = UIImage::imageWithContentsOfFile(str(kBundle + "/images/closeButton.png"));
    ASSERT_TRUE(close);
    EXPECT_EQ(close->size().width, close->size().height);
}

}  // namespace
