#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UISearchBar.h"
#include "UIKit/UIWindow.h"

namespace {
class SearchRecorder : public NSObject, public UISearchBarDelegate {
    NS_OBJECT(SearchRecorder, NSObject)
    std::vector<std::string> log;
    void searchBarTextDidBeginEditing(UISearchBar*) override { log.push_back("begin"); }
    void searchBarTextDidEndEditing(UISearchBar*) override { log.push_back("end"); }
    void searchBarTextDidChange(UISearchBar*, NSString* text) override {
        log.push_back("text " + text->utf8());
    }
    void searchBarSearchButtonClicked(UISearchBar*) override { log.push_back("search"); }
    void searchBarCancelButtonClicked(UISearchBar* bar) override {
        log.push_back("cancel");
        bar->resignFirstResponder();
    }
    void searchBarSelectedScopeButtonIndexDidChange(UISearchBar*, NSInteger i) override {
        log.push_back("scope " + std::to_string(i));
    }
};
}  // namespace

TEST(UISearchBar, ReportsTypingSearchAndCancelToItsDelegate) {
    auto window = make<UIWindow>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto bar = make<UISearchBar>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 44));
    auto recorder = make<SearchRecorder>();
    bar->setDelegate(recorder);
    bar->setShowsCancelButton(true);
    bar->setScopeButtonTitles(NSArray::arrayWithObjects({NS("All"), NS("Title")}));
    bar->setShowsScopeBar(true);
    bar->sizeToFit();
    EXPECT_FLOAT_EQ(bar->frame().size.height, 88);
    window->addSubview(bar);
    ASSERT_TRUE(bar->becomeFirstResponder());
    auto field = as<UIKeyInput>(UIResponder::currentFirstResponder());
    ASSERT_TRUE(field);
    field->insertText(NS("sofa"));
    bar->tapSearchButton();
    EXPECT_TRUE(bar->isFirstResponder());  // the search key keeps the keyboard
    bar->tapScopeButton(1);
    bar->tapCancelButton();
    EXPECT_FALSE(bar->isEditing());
    EXPECT_EQ(recorder->log, (std::vector<std::string>{"begin", "text sofa", "search", "scope 1",
                                                       "cancel", "end"}));
    EXPECT_EQ(bar->text()->utf8(), "sofa");
    EXPECT_EQ(bar->selectedScopeButtonIndex(), 1);
}
