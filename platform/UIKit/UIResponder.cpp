#include "UIKit/UIResponder.h"

#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UITextInputTraits.h"

namespace {
// The one focus of the process: the toolkit runs on the main thread only. A reset (between
// tests) forgets it, so that a responder kept alive past one test holds no focus in the next.
struct FocusState {
    Weak<UIResponder> focus;
    // The focus's address, to recognise it in its dealloc (when the weak reference reads nil).
    UIResponder* address = nullptr;
    // Set while one responder takes the focus from another, so that the keyboard stays up when
    // the focus moves between text inputs.
    bool switching = false;
    // Focus handovers under way.
    int handovers = 0;
};

ProcessWide<FocusState>& focusSlot() {
    static ProcessWide<FocusState> slot;
    return slot;
}
FocusState& focusState() {
    return *focusSlot().get();
}
Weak<UIResponder>& focus() {
    return focusState().focus;
}

bool isTextInput(UIResponder* r) {
    return dynamic_cast<UIKeyInput*>(r) != nullptr;
}
}  // namespace

void UIResponder::describeClass(RuntimeClass& c) {
    c.implements({"touchesBegan:withEvent:", "touchesMoved:withEvent:", "touchesEnded:withEvent:",
                  "touchesCancelled:withEvent:", "motionBegan:withEvent:", "motionEnded:withEvent:",
                  "motionCancelled:withEvent:"});
    c.method("becomeFirstResponder", &UIResponder::becomeFirstResponder);
    c.method("resignFirstResponder", &UIResponder::resignFirstResponder);
    c.method("isFirstResponder", &UIResponder::isFirstResponder);
    c.method("canBecomeFirstResponder", &UIResponder::canBecomeFirstResponder);
}

Ref<UIResponder> UIResponder::currentFirstResponder() {
    return focus().lock();
}

bool UIResponder::isFirstResponder() {
    return focus().is(this);
}

bool UIResponder::becomeFirstResponder() {
    if (isFirstResponder()) return true;
    if (!canBecomeFirstResponder()) return false;
    Ref<UIResponder> self(this);
    if (auto current = focus().lock()) {
        auto& state = focusState();
        bool wasSwitching = state.switching;
        state.switching = isTextInput(this);
        bool resigned = current->resignFirstResponder();
        state.switching = wasSwitching;
        if (!resigned) return false;
        // The old responder may have handed the focus elsewhere while resigning.
        if (focus().lock()) return false;
    }
    focus() = this;
    focusState().address = this;
    if (isTextInput(this)) UIKeyboard::show();
    didBecomeFirstResponder();
    return true;
}

bool UIResponder::resignFirstResponder() {
    if (!isFirstResponder()) return true;
    if (!canResignFirstResponder()) return false;
    Ref<UIResponder> self(this);
    focus().reset();
    focusState().address = nullptr;
    didResignFirstResponder();
    if (!focusState().switching && !UIKeyboardFocusHandover::active() && !focus().lock())
        UIKeyboard::hide();
    return true;
}

// ---- focus handover -----------------------------------------------------------------------------

UIKeyboardFocusHandover::UIKeyboardFocusHandover() {
    ++focusState().handovers;
}

UIKeyboardFocusHandover::~UIKeyboardFocusHandover() {
    if (--focusState().handovers > 0) return;
    auto current = focus().lock();
    if (!current || !isTextInput(current.get())) UIKeyboard::hide();
}

bool UIKeyboardFocusHandover::active() {
    return focusState().handovers > 0;
}

void UIResponder::touchesBegan(NSSet* touches, UIEvent* event) {
    if (auto next = nextResponder()) next->touchesBegan(touches, event);
}
void UIResponder::touchesMoved(NSSet* touches, UIEvent* event) {
    if (auto next = nextResponder()) next->touchesMoved(touches, event);
}
void UIResponder::touchesEnded(NSSet* touches, UIEvent* event) {
    if (auto next = nextResponder()) next->touchesEnded(touches, event);
}
void UIResponder::touchesCancelled(NSSet* touches, UIEvent* event) {
    if (auto next = nextResponder()) next->touchesCancelled(touches, event);
}
void UIResponder::motionBegan(UIEventSubtype motion, UIEvent* event) {
    if (auto next = nextResponder()) next->motionBegan(motion, event);
}
void UIResponder::motionEnded(UIEventSubtype motion, UIEvent* event) {
    if (auto next = nextResponder()) next->motionEnded(motion, event);
}
void UIResponder::motionCancelled(UIEventSubtype motion, UIEvent* event) {
    if (auto next = nextResponder()) next->motionCancelled(motion, event);
}

bool UIResponder::canPerformAction(SEL action, NSObject*) {
    return respondsToSelector(action);
}

void UIResponder::dealloc() {
    // A dying responder cannot keep the focus (the weak reference already reads nil); the
    // keyboard it brought up goes with it.
    // Read without making a state: a reset may have dropped it, and with it this focus.
    auto state = focusSlot().peek();
    if (state && state->address == this) {
        state->address = nullptr;
        UIKeyboard::hide();
    }
    super::dealloc();
}
