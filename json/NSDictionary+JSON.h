// The one-call JSON reader that comes with the dictionary class.
#pragma once

#include "Foundation/NSObject.h"

class NSData;
class NSError;

// The deserializer's result for the data; it need not be a dictionary.
Ref<NSObject> dictionaryWithJSONData(NSData* data, Ref<NSError>* error);
