// Colours and fonts in keyed archives.
#include <gtest/gtest.h>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSKeyedArchiver.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "support/FoundationTesting.h"

namespace {

template <class T>
Ref<T> roundTrip(NSObject* root) {
    auto data = NSKeyedArchiver::archivedDataWithRootObject(root);
    EXPECT_TRUE(data);
    return as<T>(NSKeyedUnarchiver::unarchiveObjectWithData(data));
}

TEST(UIKitArchiving, ColoursKeepTheirComponents) {
    auto orange = UIColor::colorWithRed(1, 0.5f, 0, 0.75f);
    auto back = roundTrip<UIColor>(orange);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(orange));
    EXPECT_FLOAT_EQ(back->alpha(), 0.75f);
    auto grey = roundTrip<UIColor>(UIColor::colorWithWhite(0.25f, 1));
    ASSERT_TRUE(grey);
    CGFloat w = 0, a = 0;
    EXPECT_TRUE(grey->getWhite(&w, &a));
    EXPECT_FLOAT_EQ(w, 0.25f);
    EXPECT_EQ(text(grey), text(UIColor::colorWithWhite(0.25f, 1)));
    // Named colours come back as equal colours, inside containers too.
    auto list = roundTrip<NSArray>(
        NSArray::arrayWithObjects({UIColor::blackColor(), UIColor::clearColor()}));
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->objectAtIndex(0)->isEqual(UIColor::blackColor()));
    EXPECT_TRUE(list->objectAtIndex(1)->isEqual(UIColor::clearColor()));
}

TEST(UIKitArchiving, PatternColoursKeepTheirImage) {
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(4, 2), true, 1);
    UIColor::redColor()->setFill();
    UIRectFill(CGRectMake(0, 0, 4, 2));
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    auto back = roundTrip<UIColor>(UIColor::colorWithPatternImage(image));
    ASSERT_TRUE(back);
    ASSERT_TRUE(back->patternImage());
    EXPECT_EQ(back->patternImage()->size().width, 4);
    EXPECT_EQ(back->patternImage()->size().height, 2);
}

TEST(UIKitArchiving, FontsKeepNameAndSize) {
    auto font = UIFont::fontWithName(NS("TrebuchetMS-Bold"), 13);
    auto back = roundTrip<UIFont>(font);
    ASSERT_TRUE(back);
    EXPECT_EQ(text(back->fontName()), "TrebuchetMS-Bold");
    EXPECT_FLOAT_EQ(back->pointSize(), 13);
    EXPECT_TRUE(back->isEqual(font));
    auto dict = roundTrip<NSDictionary>(
        NSDictionary::dictionaryWithPairs({{NS("buttonFont"), UIFont::systemFontOfSize(10)},
                                           {NS("buttonColor"), UIColor::blackColor()}}));
    ASSERT_TRUE(dict);
    EXPECT_TRUE(dict->objectForKey(NS("buttonFont"))->isEqual(UIFont::systemFontOfSize(10)));
    EXPECT_TRUE(dict->objectForKey(NS("buttonColor"))->isEqual(UIColor::blackColor()));
}

}  // namespace
