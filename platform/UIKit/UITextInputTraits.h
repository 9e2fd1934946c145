// Keyboard settings of text input views, and the keyboard the model shows while one of them is
// first responder (its notifications carry the keyboard's frame).
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

enum UITextAutocapitalizationType : NSInteger {
    UITextAutocapitalizationTypeNone = 0,
    UITextAutocapitalizationTypeWords,
    UITextAutocapitalizationTypeSentences,
    UITextAutocapitalizationTypeAllCharacters,
};

enum UITextAutocorrectionType : NSInteger {
    UITextAutocorrectionTypeDefault = 0,
    UITextAutocorrectionTypeNo,
    UITextAutocorrectionTypeYes,
};

enum UIKeyboardType : NSInteger {
    UIKeyboardTypeDefault = 0,
    UIKeyboardTypeASCIICapable,
    UIKeyboardTypeNumbersAndPunctuation,
    UIKeyboardTypeURL,
    UIKeyboardTypeNumberPad,
    UIKeyboardTypePhonePad,
    UIKeyboardTypeNamePhonePad,
    UIKeyboardTypeEmailAddress,
    UIKeyboardTypeDecimalPad,
};

enum UIKeyboardAppearance : NSInteger {
    UIKeyboardAppearanceDefault = 0,
    UIKeyboardAppearanceAlert,
};

enum UIReturnKeyType : NSInteger {
    UIReturnKeyDefault = 0,
    UIReturnKeyGo,
    UIReturnKeyWebSearch,  // a web search: titled "Search"
    UIReturnKeyJoin,
    UIReturnKeyNext,
    UIReturnKeyRoute,
    UIReturnKeySearch,
    UIReturnKeySend,
    UIReturnKeyPortalSearch,  // a portal's search: titled "Search"
    UIReturnKeyDone,
    UIReturnKeyEmergencyCall,
};

// The settings, shared by text fields, text views and search bars (which inherit this beside
// their view class).
class UITextInputTraits {
public:
    virtual ~UITextInputTraits() = default;
    UITextAutocapitalizationType autocapitalizationType() { return autocapitalization_; }
    void setAutocapitalizationType(UITextAutocapitalizationType t) { autocapitalization_ = t; }
    UITextAutocorrectionType autocorrectionType() { return autocorrection_; }
    void setAutocorrectionType(UITextAutocorrectionType t) { autocorrection_ = t; }
    UIKeyboardType keyboardType() { return keyboardType_; }
    void setKeyboardType(UIKeyboardType t) { keyboardType_ = t; }
    UIKeyboardAppearance keyboardAppearance() { return keyboardAppearance_; }
    void setKeyboardAppearance(UIKeyboardAppearance a) { keyboardAppearance_ = a; }
    UIReturnKeyType returnKeyType() { return returnKeyType_; }
    void setReturnKeyType(UIReturnKeyType t) { returnKeyType_ = t; }
    bool enablesReturnKeyAutomatically() { return enablesReturnKey_; }
    void setEnablesReturnKeyAutomatically(bool v) { enablesReturnKey_ = v; }
    bool isSecureTextEntry() { return secure_; }
    void setSecureTextEntry(bool v) { secure_ = v; }

private:
    UITextAutocapitalizationType autocapitalization_ = UITextAutocapitalizationTypeSentences;
    UITextAutocorrectionType autocorrection_ = UITextAutocorrectionTypeDefault;
    UIKeyboardType keyboardType_ = UIKeyboardTypeDefault;
    UIKeyboardAppearance keyboardAppearance_ = UIKeyboardAppearanceDefault;
    UIReturnKeyType returnKeyType_ = UIReturnKeyDefault;
    bool enablesReturnKey_ = false;
    bool secure_ = false;
};

// The on-screen keyboard: 216 points high at the bottom of the interface in portrait, 162 in
// landscape (its frames in the screen's portrait coordinates, at the edge the interface's
// bottom is turned to). Text inputs show
// it when they become first responder and hide it when the focus leaves text input; each change
// posts the will- and did- notifications with the begin and end frames, the duration (0.25) and
// the curve.
class UIKeyboard {
public:
    static bool isVisible();
    static CGRect frame();  // the frame while shown, in screen coordinates
    // The frame while shown in interface coordinates: the bottom of the turned interface.
    static CGRect interfaceFrame();
    static void show();
    static void hide();
};

// Keeps the keyboard up while the focus is handed from one text input to another in steps (the
// focused input hidden first, the next one focused after): inside the scope a resigning input
// does not hide the keyboard; when the outermost scope ends the keyboard goes only if no text
// input holds the focus then. Nothing is posted when the focus lands on a text input.
class UIKeyboardFocusHandover {
public:
    UIKeyboardFocusHandover();
    ~UIKeyboardFocusHandover();
    UIKeyboardFocusHandover(const UIKeyboardFocusHandover&) = delete;
    UIKeyboardFocusHandover& operator=(const UIKeyboardFocusHandover&) = delete;
    // Whether a handover is under way.
    static bool active();
};

// Typing into the focused input (the shell's "type", "delete" and "return"): text views and
// fields adopt it.
class UIKeyInput {
public:
    virtual ~UIKeyInput() = default;
    virtual bool hasText() = 0;
    // "\n" is the return key.
    virtual void insertText(NSString* text) = 0;
    virtual void deleteBackward() = 0;
};
