#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSKeyedArchiver.h"
#include "Foundation/NSString.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UIView.h"
#include "ui/table/DZTableItem.h"

namespace {

// Writes down the keys an item encodes, in order.
class KeyRecorder : public NSCoder {
    NS_OBJECT(KeyRecorder, NSCoder)

public:
    std::vector<std::string> keys;
    bool allowsKeyedCoding() override { return true; }
    void encodeObject(NSObject*, NSString* key) override { keys.push_back(key->utf8()); }
};

std::vector<std::string> keysOf(NSObject* item) {
    auto coder = make<KeyRecorder>();
    dynamic_cast<NSCoding*>(item)->encodeWithCoder(coder.get());
    return coder->keys;
}

template <class T>
Ref<T> roundTrip(NSObject* item) {
    T::staticClass();
    auto data = NSKeyedArchiver::archivedDataWithRootObject(item);
    return as<T>(NSKeyedUnarchiver::unarchiveObjectWithData(data.get()));
}

using Keys = std::vector<std::string>;

}  // namespace

TEST(DZTableItems, EachClassWritesItsOwnKeysAfterItsBaseSkippingNil) {
    EXPECT_EQ(keysOf(DZTableTextItem::itemWithText(NS("t")).get()), Keys{"text"});
    EXPECT_EQ(keysOf(DZTableTextItem::itemWithText(NS("t"), NS("a://1"), NS("a://2")).get()),
              (Keys{"URL", "accessoryURL", "text"}));
    EXPECT_EQ(keysOf(DZTableCaptionItem::itemWithTextCaption(NS("t"), NS("c"), NS("a://1")).get()),
              (Keys{"URL", "text", "caption"}));
    EXPECT_EQ(keysOf(DZTableSubtitleItem::itemWithTextSubtitleImageURL(NS("t"), NS("s"),
                                                                       NS("a://i"), NS("a://u"))
                         .get()),
              (Keys{"URL", "text", "subtitle", "imageURL"}));
    auto message = DZTableMessageItem::itemWithTitle(NS("T"), NS("C"), NS("x"),
                                                     NSDate::dateWithTimeIntervalSince1970(5),
                                                     NS("a://i"), NS("a://u"));
    EXPECT_EQ(keysOf(message.get()),
              (Keys{"URL", "text", "title", "caption", "timestamp", "imageURL"}));
    EXPECT_EQ(keysOf(DZTableImageItem::itemWithTextImageURL(NS("t"), NS("a://i")).get()),
              (Keys{"text", "imageURL"}));
    auto view = make<UIView>();
    EXPECT_EQ(keysOf(DZTableViewItem::itemWithCaption(NS("c"), view.get()).get()),
              (Keys{"caption", "view"}));
    EXPECT_EQ(keysOf(DZTableControlItem::itemWithCaption(nullptr, nullptr).get()), Keys{});
    // Delegate, selector, user info, default images and the more button's state stay out.
    auto more = DZTableMoreButton::itemWithTextSubtitle(NS("More"), NS("20 of 45"));
    more->setIsLoading(true);
    more->setUserInfo(NS("info"));
    EXPECT_EQ(keysOf(more.get()), (Keys{"text", "subtitle"}));
}

TEST(DZTableItems, RoundTripsKeepArchivedFieldsAndDropTheRest) {
    auto plain = roundTrip<DZTableTextItem>(DZTableTextItem::itemWithText(NS("only")).get());
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->text()->utf8(), "only");
    EXPECT_FALSE(plain->URL());
    EXPECT_FALSE(plain->accessoryURL());

    auto target = make<NSObject>();
    auto message = DZTableMessageItem::itemWithTitle(NS("T"), NS("C"), NS("body"),
                                                     NSDate::dateWithTimeIntervalSince1970(42),
                                                     NS("a://img"), NS("a://url"));
    message->setDelegate(target.get());
    message->setSelector(Selector::named("description"));
    auto back = roundTrip<DZTableMessageItem>(message.get());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->title()->utf8(), "T");
    EXPECT_EQ(back->caption()->utf8(), "C");
    EXPECT_EQ(back->text()->utf8(), "body");
    EXPECT_DOUBLE_EQ(back->timestamp()->timeIntervalSince1970(), 42);
    EXPECT_EQ(back->imageURL()->utf8(), "a://img");
    EXPECT_EQ(back->URL()->utf8(), "a://url");
    EXPECT_FALSE(back->delegate());
    EXPECT_EQ(back->selector(), nullptr);

    auto subtitle = roundTrip<DZTableMoreButton>(
        DZTableMoreButton::itemWithTextSubtitle(NS("More"), NS("sub"), NS("a://m")).get());
    ASSERT_TRUE(subtitle);
    EXPECT_EQ(subtitle->subtitle()->utf8(), "sub");
    EXPECT_FALSE(subtitle->isLoading());
}

TEST(DZTableItems, ViewAndControlItemsArchiveTheirViews) {
    auto view = make<UIView>(&UIView::initWithFrame, CGRectMake(1, 2, 30, 40));
    view->setHidden(true);
    view->addSubview(make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 5, 6)).get());
    auto back =
        roundTrip<DZTableViewItem>(DZTableViewItem::itemWithCaption(NS("cap"), view.get()).get());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->caption()->utf8(), "cap");
    ASSERT_TRUE(back->view());
    EXPECT_NE(back->view(), view);
    EXPECT_TRUE(CGRectEqualToRect(back->view()->frame(), CGRectMake(1, 2, 30, 40)));
    EXPECT_TRUE(back->view()->isHidden());
    EXPECT_EQ(back->view()->subviews()->count(), 1u);

    auto toggle = make<UISwitch>();
    toggle->setOn(true);
    auto control = roundTrip<DZTableControlItem>(
        DZTableControlItem::itemWithCaption(NS("Wi-Fi"), toggle.get()).get());
    ASSERT_TRUE(control);
    auto decoded = as<UISwitch>(control->control());
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->isOn());
}

TEST(DZTableItems, FactoriesBuildTheReceivingClassAndCopyStrings) {
    auto button = DZTableButton::itemWithText(NS("Go"));
    EXPECT_TRUE(is<DZTableButton>(button.get()));
    EXPECT_TRUE(is<DZTableRightCaptionItem>(
        DZTableRightCaptionItem::itemWithTextCaption(NS("t"), NS("c")).get()));
    EXPECT_TRUE(is<DZTableMoreButton>(DZTableMoreButton::itemWithText(NS("m")).get()));
    EXPECT_TRUE(is<DZTableRightImageItem>(
        DZTableRightImageItem::itemWithTextImageURL(NS("t"), NS("a://i")).get()));

    auto owned = NSMutableString::stringWithString(NS("before"));
    auto item = DZTableTextItem::itemWithText(owned.get(), owned.get());
    owned->appendString(NS(" after"));
    EXPECT_EQ(item->text()->utf8(), "before");
    EXPECT_EQ(item->URL()->utf8(), "before");

    auto target = make<NSObject>();
    auto linked = DZTableLink::itemWithText(NS("x"), target.get(), Selector::named("hash"));
    EXPECT_EQ(linked->delegate(), target);
    EXPECT_EQ(linked->selector(), Selector::named("hash"));
    target = nullptr;
    EXPECT_FALSE(linked->delegate());  // not owned
}
