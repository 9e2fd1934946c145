#include "Classes/Theme.h"

#include "Classes/Settings.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"

namespace {
struct Themes {
    Ref<Theme> standard;
    Ref<Theme> night;
};

// Its themes can be changed through their setters, so they are made afresh after a reset.
Themes& themes() {
    static ProcessWide<Themes> slot;
    return *slot.get();
}

Ref<UIColor> rgb(int red, int green, int blue) {
    return UIColor::colorWithRed(red / 255.0f, green / 255.0f, blue / 255.0f, 1.0f);
}
}  // namespace

void Theme::describeClass(RuntimeClass& c) {
    c.property("name", &Theme::name, &Theme::setName);
    c.property("toolBarColor", &Theme::toolBarColor, &Theme::setToolBarColor);
    c.property("toolBarStyle", &Theme::toolBarStyle, &Theme::setToolBarStyle);
    c.property("tableBackground", &Theme::tableBackground, &Theme::setTableBackground);
    c.property("tableTitle", &Theme::tableTitle, &Theme::setTableTitle);
    c.property("tableSubTitle1", &Theme::tableSubTitle1, &Theme::setTableSubTitle1);
    c.property("tableSubTitle2", &Theme::tableSubTitle2, &Theme::setTableSubTitle2);
    c.property("tableSeperator", &Theme::tableSeperator, &Theme::setTableSeperator);
    c.property("tableCellBackground1", &Theme::tableCellBackground1,
               &Theme::setTableCellBackground1);
    c.property("tableCellBackground2", &Theme::tableCellBackground2,
               &Theme::setTableCellBackground2);
    c.property("viewBackground", &Theme::viewBackground, &Theme::setViewBackground);
    c.classMethod("sys", &Theme::sys);
    c.classMethod("getCellBackgroundColor:", &Theme::getCellBackgroundColor);
}

void Theme::themeInit() {
    auto& t = themes();
    if (t.standard) return;

    auto standard = make<Theme>();
    standard->setName(NS("default"));
    standard->setToolBarColor(rgb(87, 119, 156));
    standard->setToolBarStyle(0);
    standard->setTableBackground(rgb(238, 238, 238));
    standard->setTableTitle(UIColor::blackColor());
    standard->setTableSubTitle1(rgb(122, 140, 160));
    standard->setTableSubTitle2(rgb(22, 126, 204));
    standard->setTableCellBackground1(rgb(239, 240, 244));
    standard->setTableCellBackground2(rgb(226, 228, 236));
    standard->setViewBackground(standard->tableCellBackground1());

    // The night theme leaves the tool bar, cell and view colours unset.
    auto night = make<Theme>();
    night->setName(NS("night"));
    night->setToolBarStyle(1);
    night->setTableBackground(UIColor::blackColor());
    night->setTableTitle(rgb(220, 220, 220));
    night->setTableSubTitle1(rgb(180, 180, 180));
    night->setTableSubTitle2(rgb(180, 180, 180));
    night->setTableSeperator(rgb(50, 50, 50));

    t.standard = standard;
    t.night = night;
}

Ref<Theme> Theme::sys() {
    themeInit();
    // Any stored value other than 1 (night) falls back to the default theme.
    return Settings::sys()->theme() == 1 ? themes().night : themes().standard;
}

Ref<UIColor> Theme::getCellBackgroundColor(NSIndexPath* indexPath) {
    auto theme = sys();
    NSInteger row = indexPath ? indexPath->row() : 0;
    return row % 2 != 0 ? theme->tableCellBackground2() : theme->tableCellBackground1();
}
