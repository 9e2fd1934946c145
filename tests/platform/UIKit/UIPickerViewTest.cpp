#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSString.h"
#include "UIKit/UIPickerView.h"

namespace {
class Areas : public NSObject, public UIPickerViewDataSource, public UIPickerViewDelegate {
    NS_OBJECT(Areas, NSObject)
    std::vector<std::vector<std::string>> columns{{"north", "south", "east"}, {"any", "new"}};
    std::vector<std::string> chosen;
    NSInteger numberOfComponentsInPickerView(UIPickerView*) override {
        return static_cast<NSInteger>(columns.size());
    }
    NSInteger pickerViewNumberOfRowsInComponent(UIPickerView*, NSInteger c) override {
        return static_cast<NSInteger>(columns[static_cast<size_t>(c)].size());
    }
    Ref<NSString> pickerViewTitleForRowForComponent(UIPickerView*, NSInteger r,
                                                    NSInteger c) override {
        return NSString::fromUTF8(columns[static_cast<size_t>(c)][static_cast<size_t>(r)]);
    }
    void pickerViewDidSelectRowInComponent(UIPickerView*, NSInteger r, NSInteger c) override {
        chosen.push_back(columns[static_cast<size_t>(c)][static_cast<size_t>(r)]);
    }
};
}  // namespace

TEST(UIPickerView, AsksTheDataSourceAndTellsTheDelegateOfUserChoicesOnly) {
    auto areas = make<Areas>();
    auto picker = make<UIPickerView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 100));
    EXPECT_FLOAT_EQ(picker->frame().size.height, 216);
    picker->setDataSource(areas);
    picker->setDelegate(areas);
    EXPECT_EQ(picker->numberOfComponents(), 2);
    EXPECT_EQ(picker->numberOfRowsInComponent(0), 3);
    EXPECT_EQ(picker->titleForRow(2, 0)->utf8(), "east");
    EXPECT_FALSE(picker->titleForRow(3, 0));
    picker->selectRow(2, 0, true);
    picker->selectRow(7, 1, false);  // out of range: ignored
    EXPECT_EQ(picker->selectedRowInComponent(0), 2);
    EXPECT_EQ(picker->selectedRowInComponent(1), 0);
    EXPECT_TRUE(areas->chosen.empty());
    picker->userSelectRow(1, 1);
    EXPECT_EQ(areas->chosen, (std::vector<std::string>{"new"}));
    // Rows that shrink away pull the selection back to the last row.
    areas->columns[0] = {"only"};
    EXPECT_EQ(picker->numberOfRowsInComponent(0), 3);  // not reloaded yet
    picker->reloadComponent(0);
    EXPECT_EQ(picker->numberOfRowsInComponent(0), 1);
    EXPECT_EQ(picker->selectedRowInComponent(0), 0);
    EXPECT_EQ(picker->selectedRowInComponent(1), 1);
    areas->columns[1].clear();
    picker->reloadAllComponents();
    EXPECT_EQ(picker->selectedRowInComponent(1), -1);
    EXPECT_EQ(picker->selectedRowInComponent(5), -1);
}
