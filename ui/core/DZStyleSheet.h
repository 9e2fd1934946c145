// The style sheet: the named styles and colours that views of the framework draw with. One
// sheet is shared by the whole app; the app may install its own subclass at launch. Main
// thread.
#pragma once

#include "Foundation/NSObject.h"
#include "UIKit/UIControl.h"

class DZStyle;
class NSMutableDictionary;
class NSNotification;
class NSString;
class UIColor;

class DZStyleSheet : public NSObject {
    NS_OBJECT(DZStyleSheet, NSObject)
    static void describeClass(RuntimeClass& c);

    // The shared sheet; the framework's default sheet (the class "DZDefaultStyleSheet" of the
    // styles library) made on first use when none was installed.
    static Ref<DZStyleSheet> globalStyleSheet();
    // Replaces the shared sheet (nil forgets it); the new one is kept before the old one goes,
    // so installing the current sheet again keeps it.
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

    // Style-sheet variables that the core reads; the base sheet answers nil, the default sheet
    // the framework's colours.
    virtual Ref<UIColor> navigationBarTintColor() { return nullptr; }
    virtual Ref<UIColor> toolbarTintColor() { return nullptr; }
    virtual Ref<UIColor> backgroundColor() { return nullptr; }
    virtual Ref<UIColor> linkTextColor() { return nullptr; }

private:
    void didReceiveMemoryWarning(NSNotification* notification);

    Ref<NSMutableDictionary> styles_;
};
