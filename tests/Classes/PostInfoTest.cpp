// The posting form records: the page holder, the choice record and the ordered pair list.
#include <gtest/gtest.h>

#include "Classes/NSMutableArray+Key.h"
#include "Classes/PostInfo.h"
#include "Classes/PostPage.h"
#include "Classes/PostSection.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "support/FoundationTesting.h"

TEST(PostInfo, HandsTheSamePageOn) {
    auto info = make<PostInfo>();
    EXPECT_FALSE(info->postPage());
    auto page = make<PostPage>();
    info->setPostPage(page);
    EXPECT_EQ(info->postPage().get(), page.get());
}

TEST(PostSection, KeepsCopiesOfItsTexts) {
    auto name = NSMutableString::stringWithString(NS("For Sale"));
    auto section = make<PostSection>();
    section->setName(name);
    section->setKey(NS("id"));
    section->setValue(NS("fso"));
    name->appendString(NS(" (changed)"));
    EXPECT_EQ(text(section->name()), "For Sale");
    EXPECT_EQ(text(section->key()), "id");
    EXPECT_EQ(text(section->value()), "fso");
}

TEST(PairList, NamesAndValuesAlternateInTheOrderSet) {
    auto pairs = NSMutableArray::arrayWithCapacity(4);
    auto photo = NSData::dataWithBytes("\xFF\xD8\xFF", 3);
    setObjectForKey(pairs, NS("Blue bike"), NS("PostingTitle"));
    setObjectForKey(pairs, photo, NS("file"));
    setObjectForKey(pairs, NS("Blue bike"), NS("PostingTitle"));  // a list, not a dictionary
    ASSERT_EQ(pairs->count(), 6u);
    EXPECT_EQ(text(pairs->objectAtIndex(0)), "PostingTitle");
    EXPECT_EQ(text(pairs->objectAtIndex(1)), "Blue bike");
    EXPECT_EQ(text(pairs->objectAtIndex(2)), "file");
    EXPECT_EQ(pairs->objectAtIndex(3).get(), photo.get());
    EXPECT_EQ(text(pairs->objectAtIndex(4)), "PostingTitle");
}

TEST(PairList, NilNameOrValueRaisesAndAddsNothing) {
    auto pairs = NSMutableArray::arrayWithCapacity(4);
    setObjectForKey(pairs, NS("v"), NS("k"));
    EXPECT_EQ(raisedName([&] { setObjectForKey(pairs, NS("v"), nullptr); }),
              "NSInvalidArgumentException");
    EXPECT_EQ(raisedName([&] { setObjectForKey(pairs, nullptr, NS("k")); }),
              "NSInvalidArgumentException");
    EXPECT_EQ(pairs->count(), 2u);  // no lone name shifts the later pairs
}
