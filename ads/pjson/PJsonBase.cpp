#include "ads/pjson/PJsonBase.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"

NSString* const PJSONErrorDomain = NS("test.pebbleads.json");

bool PJsonBase::init() {
    if (!NSObject::init()) return false;
    maxDepth_ = 512;
    return true;
}

Ref<NSArray> PJsonBase::errorTrace() {
    return errorTrace_ ? NSArray::arrayWithArray(errorTrace_) : nullptr;
}

void PJsonBase::clearErrorTrace() {
    errorTrace_ = nullptr;
}

void PJsonBase::setErrorTrace(NSArray* trace) {
    errorTrace_ = trace ? NSMutableArray::arrayWithArray(trace) : nullptr;
}

void PJsonBase::addErrorWithCode(unsigned code, NSString* description) {
    recordError(code, description, true);
}

void PJsonBase::recordError(unsigned code, NSString* description, bool) {
    auto info = NSMutableDictionary::dictionaryWithCapacity(2);
    info->setObject(description, NSLocalizedDescriptionKey);
    if (errorTrace_ && errorTrace_->count() > 0)
        info->setObject(errorTrace_->lastObject(), NSUnderlyingErrorKey);
    if (!errorTrace_) errorTrace_ = NSMutableArray::arrayWithCapacity(4);
    errorTrace_->addObject(
        NSError::errorWithDomain(PJSONErrorDomain, static_cast<NSInteger>(code), info));
}

bool PJsonBase::enterContainer() {
    ++depth_;
    if (maxDepth_ && depth_ > maxDepth_) return fail(PJsonNestedTooDeep, NS("Nested too deep"));
    return true;
}
