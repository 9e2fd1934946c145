// The app's style sheet, installed at launch: the bar tints follow the current theme, and four
// button styles: blue, grey and red tool-bar buttons and the embossed button of the Search
// screen's large location and category buttons.
#pragma once

#include "ui/style/DZDefaultStyleSheet.h"

class MyStyleSheet : public DZDefaultStyleSheet {
    NS_OBJECT(MyStyleSheet, DZDefaultStyleSheet)
    static void describeClass(RuntimeClass& c);

    // Makes a sheet and installs it as the global one.
    static void initTTStyleSheet();

    Ref<UIColor> toolbarTintColor() override;
    Ref<UIColor> navigationBarTintColor() override;

    Ref<DZStyle> blueToolbarButton(UIControlState state);  // "blueToolbarButton:"
    Ref<DZStyle> greyToolbarButton(UIControlState state);  // "greyToolbarButton:"
    Ref<DZStyle> redToolbarButton(UIControlState state);   // "redToolbarButton:"
    // The normal and highlighted states only; nil for the others.
    Ref<DZStyle> embossedButton(UIControlState state);  // "embossedButton:"
};
