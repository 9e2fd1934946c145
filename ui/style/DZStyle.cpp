#include "ui/style/DZStyle.h"

bool DZStyle::initWithNext(DZStyle* next) {
    next_ = next;
    return true;
}

void DZStyle::draw(DZStyleContext* context) {
    if (next_) next_->draw(context);
}

CGSize DZStyle::addToSize(CGSize size, DZStyleContext* context) {
    return next_ ? next_->addToSize(size, context) : size;
}
