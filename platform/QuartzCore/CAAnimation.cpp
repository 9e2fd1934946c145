#include "QuartzCore/CAAnimation.h"

#include <algorithm>
#include <vector>

#include "Foundation/NSString.h"

NSString* const kCAMediaTimingFunctionLinear = NS("linear");
NSString* const kCAMediaTimingFunctionEaseIn = NS("easeIn");
NSString* const kCAMediaTimingFunctionEaseOut = NS("easeOut");
NSString* const kCAMediaTimingFunctionEaseInEaseOut = NS("easeInEaseOut");
NSString* const kCAMediaTimingFunctionDefault = NS("default");

NSString* const kCAFillModeRemoved = NS("removed");
NSString* const kCAFillModeForwards = NS("forwards");
NSString* const kCAFillModeBackwards = NS("backwards");
NSString* const kCAFillModeBoth = NS("both");

NSString* const kCATransitionFade = NS("fade");
NSString* const kCATransitionMoveIn = NS("moveIn");
NSString* const kCATransitionPush = NS("push");
NSString* const kCATransitionReveal = NS("reveal");
NSString* const kCATransitionFromRight = NS("fromRight");
NSString* const kCATransitionFromLeft = NS("fromLeft");
NSString* const kCATransitionFromTop = NS("fromTop");
NSString* const kCATransitionFromBottom = NS("fromBottom");

// ---- CAMediaTimingFunction
// ------------------------------------------------------------------------

Ref<CAMediaTimingFunction> CAMediaTimingFunction::functionWithName(NSString* name) {
    struct Named {
        NSString* name;
        float c[4];
    };
    const Named table[] = {
        {kCAMediaTimingFunctionLinear, {0, 0, 1, 1}},
        {kCAMediaTimingFunctionEaseIn, {0.42f, 0, 1, 1}},
        {kCAMediaTimingFunctionEaseOut, {0, 0, 0.58f, 1}},
        {kCAMediaTimingFunctionEaseInEaseOut, {0.42f, 0, 0.58f, 1}},
        {kCAMediaTimingFunctionDefault, {0.25f, 0.1f, 0.25f, 1}},
    };
    for (const auto& n : table) {
        if (name && name->isEqualToString(n.name)) {
            auto f = functionWithControlPoints(n.c[0], n.c[1], n.c[2], n.c[3]);
            f->name_ = n.name;
            return f;
        }
    }
    return nullptr;
}

Ref<CAMediaTimingFunction> CAMediaTimingFunction::functionWithControlPoints(float c1x, float c1y,
                                                                            float c2x, float c2y) {
    Ref<CAMediaTimingFunction> f = alloc<CAMediaTimingFunction>();
    f->c_[0] = c1x;
    f->c_[1] = c1y;
    f->c_[2] = c2x;
    f->c_[3] = c2y;
    return f;
}

void CAMediaTimingFunction::getControlPointAtIndex(size_t index, float values[2]) {
    switch (index) {
        case 0:
            values[0] = values[1] = 0;
            break;
        case 1:
            values[0] = c_[0], values[1] = c_[1];
            break;
        case 2:
            values[0] = c_[2], values[1] = c_[3];
            break;
        default:
            values[0] = values[1] = 1;
            break;
    }
}

// ---- CAAnimation
// ------------------------------------------------------------------------------------

Ref<CAAnimation> CAAnimation::animation() {
    return make<CAAnimation>();
}

void CAAnimation::copyInto(CAAnimation* c) {
    c->duration_ = duration_;
    c->beginTime_ = beginTime_;
    c->repeatCount_ = repeatCount_;
    c->autoreverses_ = autoreverses_;
    c->speed_ = speed_;
    c->removedOnCompletion_ = removedOnCompletion_;
    c->timing_ = timing_;
    c->fillMode_ = fillMode_;
    c->delegate_ = delegate_;
}

Ref<NSObject> CAAnimation::copyWithZone() {
    Ref<CAAnimation> c = alloc<CAAnimation>();
    copyInto(c);
    return c;
}

void CAAnimation::setFillMode(NSString* mode) {
    fillMode_ = mode ? cast<NSString>(mode->copy()) : nullptr;
}

NSTimeInterval CAAnimation::activeDuration() {
    NSTimeInterval once = duration_ > 0 ? duration_ : 0.25;
    NSTimeInterval repeats = repeatCount_ > 0 ? repeatCount_ : 1;
    NSTimeInterval total = once * repeats * (autoreverses_ ? 2 : 1);
    if (speed_ > 0) total /= speed_;
    return std::max(0.0, beginTime_) + total;
}

// ---- property and basic animations
// ------------------------------------------------------------------

Ref<CAPropertyAnimation> CAPropertyAnimation::animationWithKeyPath(NSString* keyPath) {
    auto a = make<CAPropertyAnimation>();
    a->setKeyPath(keyPath);
    return a;
}

void CAPropertyAnimation::setKeyPath(NSString* keyPath) {
    keyPath_ = keyPath ? cast<NSString>(keyPath->copy()) : nullptr;
}

void CAPropertyAnimation::copyPropertyInto(CAPropertyAnimation* c) {
    copyInto(c);
    c->keyPath_ = keyPath_;
    c->additive_ = additive_;
    c->cumulative_ = cumulative_;
}

Ref<NSObject> CAPropertyAnimation::copyWithZone() {
    Ref<CAPropertyAnimation> c = alloc<CAPropertyAnimation>();
    copyPropertyInto(c);
    return c;
}

Ref<CABasicAnimation> CABasicAnimation::animationWithKeyPath(NSString* keyPath) {
    auto a = make<CABasicAnimation>();
    a->setKeyPath(keyPath);
    return a;
}

Ref<NSObject> CABasicAnimation::copyWithZone() {
    Ref<CABasicAnimation> c = alloc<CABasicAnimation>();
    copyPropertyInto(c);
    c->from_ = from_;
    c->to_ = to_;
    c->by_ = by_;
    return c;
}

// ---- CATransition
// -----------------------------------------------------------------------------------

Ref<CATransition> CATransition::animation() {
    return make<CATransition>();
}

bool CATransition::init() {
    if (!CAAnimation::init()) return false;
    type_ = kCATransitionFade;
    return true;
}

Ref<NSObject> CATransition::copyWithZone() {
    Ref<CATransition> c = alloc<CATransition>();
    copyInto(c);
    c->type_ = type_;
    c->subtype_ = subtype_;
    c->startProgress_ = startProgress_;
    c->endProgress_ = endProgress_;
    return c;
}

void CATransition::setType(NSString* type) {
    type_ = type ? cast<NSString>(type->copy()) : nullptr;
}

void CATransition::setSubtype(NSString* subtype) {
    subtype_ = subtype ? cast<NSString>(subtype->copy()) : nullptr;
}

// ---- CATransaction
// ----------------------------------------------------------------------------------

namespace {
struct TransactionLevel {
    bool disableActions = false;
    NSTimeInterval duration = 0.25;
    Ref<CAMediaTimingFunction> timing;
    std::function<void()> completion;
};

// Main-thread use only in practice; each thread keeps its own nesting.
std::vector<TransactionLevel>& transactions() {
    static thread_local std::vector<TransactionLevel> levels;
    return levels;
}

// Outside any begin/commit the settings are the defaults: the implicit transaction of a
// run-loop pass ends with the pass, so nothing set outside a transaction lasts.
TransactionLevel& currentLevel() {
    static thread_local TransactionLevel implicit;
    auto& t = transactions();
    if (t.empty()) {
        implicit = TransactionLevel{};
        return implicit;
    }
    return t.back();
}
}  // namespace

void CATransaction::begin() {
    auto& t = transactions();
    TransactionLevel next = t.empty() ? TransactionLevel{} : t.back();
    next.completion = nullptr;
    t.push_back(next);
}

void CATransaction::commit() {
    auto& t = transactions();
    if (t.empty()) return;
    auto completion = std::move(t.back().completion);
    t.pop_back();
    // Nothing animates implicitly, so the transaction's work is done when it commits.
    if (completion) completion();
}

bool CATransaction::disableActions() {
    return currentLevel().disableActions;
}

void CATransaction::setDisableActions(bool flag) {
    currentLevel().disableActions = flag;
}

NSTimeInterval CATransaction::animationDuration() {
    return currentLevel().duration;
}

void CATransaction::setAnimationDuration(NSTimeInterval duration) {
    currentLevel().duration = duration;
}

Ref<CAMediaTimingFunction> CATransaction::animationTimingFunction() {
    return currentLevel().timing;
}

void CATransaction::setAnimationTimingFunction(CAMediaTimingFunction* function) {
    currentLevel().timing = function;
}

void CATransaction::setCompletionBlock(std::function<void()> block) {
    if (transactions().empty()) {
        // No transaction to wait for: the work it would follow is already done.
        if (block) block();
        return;
    }
    currentLevel().completion = std::move(block);
}
