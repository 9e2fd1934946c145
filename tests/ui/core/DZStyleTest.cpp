#include <gtest/gtest.h>

#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIView.h"
#include "support/FoundationTesting.h"
#include "ui/core/DZLayout.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZStyleContext.h"
#include "ui/core/DZStyleDelegate.h"
#include "ui/core/DZStyleSheet.h"

namespace {

class CountingStyle : public DZStyle {
    NS_OBJECT(CountingStyle, DZStyle)
    void draw(DZStyleContext* context) override {
        ++draws;
        DZStyle::draw(context);
    }
    int draws = 0;
};

TEST(DZStyle, TheBasePassesAlongTheChain) {
    auto last = make<CountingStyle>();
    auto middle = make<DZStyle>(&DZStyle::initWithNext, last.get());
    auto first = make<CountingStyle>(&DZStyle::initWithNext, middle.get());
    auto context = make<DZStyleContext>();
    first->draw(context);
    EXPECT_EQ(first->draws, 1);
    EXPECT_EQ(last->draws, 1);
    CGSize size = first->addToSize(CGSizeMake(3, 4), context);
    EXPECT_EQ(size.width, 3);
    EXPECT_EQ(size.height, 4);
    EXPECT_EQ(first->next().get(), middle.get());
    EXPECT_EQ(make<DZStyle>()->next().get(), nullptr);
}

TEST(DZStyleContext, StartsEmptyAndHoldsWhatItIsGiven) {
    auto context = make<DZStyleContext>();
    EXPECT_TRUE(CGRectEqualToRect(context->frame(), CGRectZero));
    EXPECT_TRUE(CGRectEqualToRect(context->contentFrame(), CGRectZero));
    EXPECT_FALSE(context->didDrawContent());
    EXPECT_EQ(context->font().get(), nullptr);
    EXPECT_EQ(context->delegate().get(), nullptr);
    auto font = UIFont::systemFontOfSize(12);
    context->setFont(font);
    EXPECT_EQ(context->font().get(), font.get());
    context->setFont(nullptr);
    EXPECT_EQ(context->font().get(), nullptr);
}

class Drawn : public NSObject, public DZStyleDelegate {
    NS_OBJECT(Drawn, NSObject)
};

TEST(DZStyleContext, TheDelegateIsNotKept) {
    auto context = make<DZStyleContext>();
    {
        auto drawn = make<Drawn>();
        context->setDelegate(drawn);
        EXPECT_EQ(context->delegate().get(), static_cast<DZStyleDelegate*>(drawn.get()));
        // The optional questions answer nothing by default.
        EXPECT_EQ(drawn->textForLayerWithStyle(nullptr).get(), nullptr);
        EXPECT_EQ(drawn->imageForLayerWithStyle(nullptr).get(), nullptr);
    }
    EXPECT_EQ(context->delegate().get(), nullptr);
}

TEST(DZLayout, TheBasePlacesNothing) {
    auto view = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 10, 10));
    auto sub = make<UIView>(&UIView::initWithFrame, CGRectMake(1, 2, 3, 4));
    view->addSubview(sub);
    CGSize size = make<DZLayout>()->layoutSubviews(view->subviews(), view);
    EXPECT_EQ(size.width, 0);
    EXPECT_EQ(size.height, 0);
    EXPECT_TRUE(CGRectEqualToRect(sub->frame(), CGRectMake(1, 2, 3, 4)));
}

}  // namespace
