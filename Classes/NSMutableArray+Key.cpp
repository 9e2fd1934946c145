#include "Classes/NSMutableArray+Key.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"

void setObjectForKey(NSMutableArray* array, NSObject* object, NSObject* key) {
    // Check both first, so a rejected pair never leaves a lone name behind to shift every later
    // pair by one.
    if (!key || !object)
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[NSMutableArray insertObject:atIndex:]: object cannot be nil"));
    array->addObject(key);
    array->addObject(object);
}
