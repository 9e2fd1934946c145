// The two colour themes ("default" and "night"), made once for the life of the process; the
// current one follows Settings' theme.
#pragma once

#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"
#include "UIKit/UIColor.h"

class NSIndexPath;

class Theme : public NSObject {
    NS_OBJECT(Theme, NSObject)
    static void describeClass(RuntimeClass& c);

    // Makes both themes; later calls do nothing.
    static void themeInit();
    // The current theme: "night" when Settings' theme is 1, else "default".
    static Ref<Theme> sys();
    // The current theme's alternating cell colour: tableCellBackground2 on odd rows,
    // tableCellBackground1 on even rows (a nil index path is row 0).
    static Ref<UIColor> getCellBackgroundColor(NSIndexPath* indexPath);

    Ref<NSString> name() { return name_; }
    void setName(NSString* v) { name_ = v; }
    Ref<UIColor> toolBarColor() { return toolBarColor_; }
    void setToolBarColor(UIColor* v) { toolBarColor_ = v; }
    // The platform's bar style: 0 default, 1 black.
    int32_t toolBarStyle() { return toolBarStyle_; }
    void setToolBarStyle(int32_t v) { toolBarStyle_ = v; }
    Ref<UIColor> tableBackground() { return tableBackground_; }
    void setTableBackground(UIColor* v) { tableBackground_ = v; }
    Ref<UIColor> tableTitle() { return tableTitle_; }
    void setTableTitle(UIColor* v) { tableTitle_ = v; }
    Ref<UIColor> tableSubTitle1() { return tableSubTitle1_; }
    void setTableSubTitle1(UIColor* v) { tableSubTitle1_ = v; }
    Ref<UIColor> tableSubTitle2() { return tableSubTitle2_; }
    void setTableSubTitle2(UIColor* v) { tableSubTitle2_ = v; }
    Ref<UIColor> tableSeperator() { return tableSeperator_; }
    void setTableSeperator(UIColor* v) { tableSeperator_ = v; }
    Ref<UIColor> tableCellBackground1() { return tableCellBackground1_; }
    void setTableCellBackground1(UIColor* v) { tableCellBackground1_ = v; }
    Ref<UIColor> tableCellBackground2() { return tableCellBackground2_; }
    void setTableCellBackground2(UIColor* v) { tableCellBackground2_ = v; }
    Ref<UIColor> viewBackground() { return viewBackground_; }
    void setViewBackground(UIColor* v) { viewBackground_ = v; }

private:
    Ref<NSString> name_;
    Ref<UIColor> toolBarColor_;
    int32_t toolBarStyle_ = 0;
    Ref<UIColor> tableBackground_;
    Ref<UIColor> tableTitle_;
    Ref<UIColor> tableSubTitle1_;
    Ref<UIColor> tableSubTitle2_;
    Ref<UIColor> tableSeperator_;
    Ref<UIColor> tableCellBackground1_;
    Ref<UIColor> tableCellBackground2_;
    Ref<UIColor> viewBackground_;
};
