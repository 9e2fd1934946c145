// The style sheet: the named styles and colours that views of the framework draw with. One
// sheet is shared by the whole app; the app may install its own subclass at launch. Main
// thread.
#pragma once

#include <map>
#include <string>

#include "Foundation/NSObject.h"
#include "UIKit/UIControl.h"

class DZStyle;
class NSNotification;
class NSString;
class UIColor;

class DZStyleSheet : public NSObject {
    NS_OBJECT(DZStyleSheet, NSObject)
    static void describeClass(RuntimeClass& c);

    // The shared sheet; a DZDefaultStyleSheet made on first use when none was installed.
    static Ref<DZStyleSheet> globalStyleSheet();
    // Replaces the shared sheet (nil forgets it).
    static void setGlobalStyleSheet(DZStyleSheet* sheet);

    bool init() override;
    void dealloc() override;

    // The style the sheet's method of that name answers for the state (a name ending in ":"
    // takes the state as its argument); nil when the sheet has no such method or it answers
    // no style. Answers are kept per name and state until a memory warning.
    Ref<DZStyle> styleWithSelector(NSString* selector, UIControlState state);
    Ref<DZStyle> styleWithSelector(NSString* selector);  // the normal state
    // Forgets the kept styles.
    void freeMemory();

    // Style-sheet variables; the base sheet has none.
    virtual Ref<UIColor> navigationBarTintColor() { return nullptr; }
    virtual Ref<UIColor> toolbarTintColor() { return nullptr; }
    virtual Ref<UIColor> backgroundColor() { return nullptr; }
    virtual Ref<UIColor> linkTextColor() { return nullptr; }

private:
    void didReceiveMemoryWarning(NSNotification* notification);

    std::map<std::pair<std::string, UIControlState>, Ref<DZStyle>> styles_;
};

// The framework's own sheet.
class DZDefaultStyleSheet : public DZStyleSheet {
    NS_OBJECT(DZDefaultStyleSheet, DZStyleSheet)
    Ref<UIColor> navigationBarTintColor() override;  // 119, 140, 168
    Ref<UIColor> toolbarTintColor() override;        // 109, 132, 162
    Ref<UIColor> backgroundColor() override;         // white
    Ref<UIColor> linkTextColor() override;           // 87, 107, 149
};
