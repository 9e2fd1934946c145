#include "AdLoom/internal/AdLoomError.h"

#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"

NSString* const AdLoomErrorDomain = NS("test.adloom.mediation");

Ref<AdLoomError> AdLoomError::errorWithCode(NSInteger code, NSDictionary* userInfo) {
    auto e = alloc<AdLoomError>();
    return e->initWithCode(code, userInfo) ? e : nullptr;
}

Ref<AdLoomError> AdLoomError::errorWithCode(NSInteger code, NSString* description) {
    return errorWithCode(code, description, nullptr);
}

Ref<AdLoomError> AdLoomError::errorWithCode(NSInteger code, NSString* description,
                                            NSError* underlyingError) {
    auto e = alloc<AdLoomError>();
    return e->initWithCode(code, description, underlyingError) ? e : nullptr;
}

bool AdLoomError::initWithCode(NSInteger code, NSDictionary* userInfo) {
    return initWithDomain(AdLoomErrorDomain, code, userInfo);
}

bool AdLoomError::initWithCode(NSInteger code, NSString* description) {
    return initWithCode(code, description, nullptr);
}

bool AdLoomError::initWithCode(NSInteger code, NSString* description, NSError* underlyingError) {
    auto info = NSMutableDictionary::dictionary();
    if (description) info->setObject(description, NSLocalizedDescriptionKey);
    if (underlyingError) info->setObject(underlyingError, NSUnderlyingErrorKey);
    return initWithCode(code, info.get());
}
