// The general pasteboard and accessibility elements that are not views.
#include <gtest/gtest.h>

#include "Foundation/NSArray.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "UIKit/UIAccessibilityElement.h"
#include "UIKit/UIPasteboard.h"
#include "UIKit/UIView.h"

namespace {

TEST(UIPasteboard, TheGeneralPasteboardHoldsOneValueByType) {
    auto board = UIPasteboard::generalPasteboard();
    EXPECT_EQ(board.get(), UIPasteboard::generalPasteboard().get());
    NSInteger changes = board->changeCount();
    auto text = NSMutableString::stringWithString(NS("copied"));
    board->setValueForPasteboardType(text, NS("public.utf8-plain-text"));
    text->appendString(NS(" later"));
    EXPECT_EQ(board->string()->utf8(), "copied");
    EXPECT_EQ(board->changeCount(), changes + 1);
    EXPECT_FALSE(board->valueForPasteboardType(NS("public.png")));
    // A new value replaces what was there, of any type.
    board->setValueForPasteboardType(NSNumber::numberWithInt(7), NS("com.example.number"));
    EXPECT_FALSE(board->string());
    EXPECT_EQ(board->pasteboardTypes()->count(), 1u);
    board->setString(NS("again"));
    EXPECT_EQ(as<NSString>(board->valueForPasteboardType(UIPasteboardTypeUTF8PlainText))->utf8(),
              "again");
    board->setString(nullptr);
    EXPECT_EQ(board->pasteboardTypes()->count(), 0u);
}

TEST(UIAccessibilityElement, AnElementHasALabelTraitsAndAScreenFrame) {
    auto container = make<UIView>();
    auto element = make<UIAccessibilityElement>(
        &UIAccessibilityElement::initWithAccessibilityContainer, container.get());
    EXPECT_EQ(element->accessibilityContainer().get(), container.get());
    EXPECT_TRUE(element->isAccessibilityElement());
    auto label = NSMutableString::stringWithString(NS("Go"));
    element->setAccessibilityLabel(label);
    label->appendString(NS("ne"));
    EXPECT_EQ(element->accessibilityLabel()->utf8(), "Go");
    element->setAccessibilityTraits(UIAccessibilityTraitLink | UIAccessibilityTraitStaticText);
    EXPECT_EQ(element->accessibilityTraits(),
              UIAccessibilityTraitLink | UIAccessibilityTraitStaticText);
    element->setAccessibilityFrame(CGRectMake(1, 2, 3, 4));
    EXPECT_TRUE(CGRectEqualToRect(element->accessibilityFrame(), CGRectMake(1, 2, 3, 4)));
    // The container is not kept alive by its elements.
    container = nullptr;
    EXPECT_FALSE(element->accessibilityContainer());
    // A plain view lists no elements of its own.
    auto view = make<UIView>();
    EXPECT_EQ(view->accessibilityElementCount(), 0);
    EXPECT_FALSE(view->accessibilityElementAtIndex(0));
    EXPECT_EQ(view->indexOfAccessibilityElement(element), NSNotFound);
}

}  // namespace
