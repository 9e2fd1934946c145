#include "ui/core/DZRecursiveProgress.h"

Ref<DZRecursiveProgress> DZRecursiveProgress::progressWithDelegate(
    DZRecursiveProgressDelegate* delegate) {
    auto p = make<DZRecursiveProgress>(&DZRecursiveProgress::initWithDelegate, delegate);
    p->autorelease();
    return p;
}

Ref<DZRecursiveProgress> DZRecursiveProgress::progressWithParent(DZRecursiveProgress* parent,
                                                                 float firstPercent,
                                                                 float lastPercent) {
    auto p = make<DZRecursiveProgress>(&DZRecursiveProgress::initWithParent, parent, firstPercent,
                                       lastPercent);
    p->autorelease();
    return p;
}

bool DZRecursiveProgress::initWithDelegate(DZRecursiveProgressDelegate* delegate) {
    delegate_ = delegate;
    parent_ = nullptr;
    firstPercent_ = 0;
    lastPercent_ = 1;
    return true;
}

bool DZRecursiveProgress::initWithParent(DZRecursiveProgress* parent, float firstPercent,
                                         float lastPercent) {
    delegate_ = nullptr;
    parent_ = parent;
    firstPercent_ = firstPercent;
    lastPercent_ = lastPercent;
    return true;
}

void DZRecursiveProgress::setPercent(float p) {
    float value = firstPercent_ + p * (lastPercent_ - firstPercent_);
    if (auto parent = parent_.lock()) {
        parent->setPercent(value);
    } else if (auto delegate = delegate_.lock()) {
        delegate->didSetProgress(value);
    }
}
