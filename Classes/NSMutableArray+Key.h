// The ordered name/value list that form posts are built from: setObjectForKey appends the key,
// then the value, so an array built this way holds names at even indexes and each value right
// after its name (what WebPage::postDataArray sends, in that order).
#pragma once

#include "Foundation/NSObject.h"

class NSMutableArray;

// Appends `key`, then `object`. A nil key or object raises the array's exception for inserting
// nil (and nothing is appended).
void setObjectForKey(NSMutableArray* array, NSObject* object, NSObject* key);
