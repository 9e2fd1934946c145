// Whether a screen has a request out. Every control of the screen that sends one (its buttons,
// its rows, the captcha answer it posts) asks this one place, so that a second tap while the
// first request is out sends nothing: the site would take the same form twice, and the answer
// that came second would move the screen on again (a second captcha screen over the first).
#pragma once

#include <functional>

#include "Foundation/NSObject.h"

class NSIndexPath;

class RequestInFlight {
public:
    // A control's request: sent through `send` unless one is out already, in which case the
    // tap does nothing and the answer is false. A send that raises leaves nothing out.
    bool send(const std::function<void()>& send);
    // A request the screen starts by itself, in place of any it had out (a page loaded again).
    void began() { out_ = true; }
    // Its answer or its failure came: the controls take taps again.
    void ended() { out_ = false; }
    bool isOut() const { return out_; }
    // A table's will-select answer: no row while a request is out.
    Ref<NSIndexPath> rowToSelect(NSIndexPath* path) const;

private:
    bool out_ = false;
};
