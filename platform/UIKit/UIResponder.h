// The responder chain: first responder, touches and motion events passed up through
// nextResponder until someone handles them.
#pragma once

#include "Foundation/NSObject.h"
#include "UIKit/UIEvent.h"

class NSSet;

class UIResponder : public NSObject {
    NS_OBJECT(UIResponder, NSObject)
    static void describeClass(RuntimeClass& c);

    // The next link of the chain: a view's superview (or its controller), a window's
    // application. The base has none.
    virtual Ref<UIResponder> nextResponder() { return nullptr; }

    virtual bool canBecomeFirstResponder() { return false; }
    virtual bool canResignFirstResponder() { return true; }
    // Asks the current first responder to resign first; NO when this one cannot become first
    // responder or the current one refuses to resign.
    virtual bool becomeFirstResponder();
    virtual bool resignFirstResponder();
    virtual bool isFirstResponder();
    // The responder that holds the focus now (nil when none): the shell types into it.
    static Ref<UIResponder> currentFirstResponder();

    // Touches: the base passes them to the next responder.
    virtual void touchesBegan(NSSet* touches, UIEvent* event);
    virtual void touchesMoved(NSSet* touches, UIEvent* event);
    virtual void touchesEnded(NSSet* touches, UIEvent* event);
    virtual void touchesCancelled(NSSet* touches, UIEvent* event);
    // Motion (shake): the base passes it to the next responder.
    virtual void motionBegan(UIEventSubtype motion, UIEvent* event);
    virtual void motionEnded(UIEventSubtype motion, UIEvent* event);
    virtual void motionCancelled(UIEventSubtype motion, UIEvent* event);

    // Whether the responder can perform an edit action or a method by name (the base: whether
    // it responds to the selector).
    virtual bool canPerformAction(SEL action, NSObject* sender);

    // Views that appear when this responder becomes first responder (text input).
    virtual Ref<NSObject> inputView() { return nullptr; }
    virtual Ref<NSObject> inputAccessoryView() { return nullptr; }

    void dealloc() override;

protected:
    // Hooks for subclasses around a change of the focus.
    virtual void didBecomeFirstResponder() {}
    virtual void didResignFirstResponder() {}
};
