#include "ads/pjson/PJsonBase.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

NSString* const PJSONErrorDomain = NS("test.pebbleads.json");

namespace {
NSString* errorTraceKey() {
    return NS("errorTrace");
}
}  // namespace

void PJsonBase::describeClass(RuntimeClass& c) {
    c.property("errorTrace", &PJsonBase::errorTrace);
}

bool PJsonBase::init() {
    if (!NSObject::init()) return false;
    maxDepth_ = 512;
    return true;
}

Ref<NSArray> PJsonBase::errorTrace() {
    return errorTrace_ ? NSArray::arrayWithArray(errorTrace_) : nullptr;
}

void PJsonBase::clearErrorTrace() {
    willChangeValueForKey(errorTraceKey());
    errorTrace_ = nullptr;
    didChangeValueForKey(errorTraceKey());
}

void PJsonBase::setErrorTrace(NSArray* trace) {
    willChangeValueForKey(errorTraceKey());
    errorTrace_ = trace ? NSMutableArray::arrayWithArray(trace) : nullptr;
    didChangeValueForKey(errorTraceKey());
}

void PJsonBase::addErrorWithCode(unsigned code, NSString* description) {
    recordError(code, description, true);
}

void PJsonBase::recordError(unsigned code, NSString* description, bool) {
    auto info = NSMutableDictionary::dictionaryWithCapacity(2);
    info->setObject(description, NSLocalizedDescriptionKey);
    if (errorTrace_ && errorTrace_->count() > 0)
        info->setObject(errorTrace_->lastObject(), NSUnderlyingErrorKey);
    auto error = NSError::errorWithDomain(PJSONErrorDomain, static_cast<NSInteger>(code), info);
    willChangeValueForKey(errorTraceKey());
    if (!errorTrace_) errorTrace_ = NSMutableArray::arrayWithCapacity(4);
    errorTrace_->addObject(error.get());
    didChangeValueForKey(errorTraceKey());
}

bool PJsonBase::enterContainer() {
    ++depth_;
    if (maxDepth_ && depth_ > maxDepth_) return fail(PJsonNestedTooDeep, NS("Nested too deep"));
    return true;
}
