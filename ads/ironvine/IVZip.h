// Unpacks the zip packages that ad scripts download. Every entry stays inside the destination:
// names that climb out of it or are absolute are refused, as are names too long for the entry
// buffer; only names ending in "/" are folders; contents are copied in pieces, whatever size an
// entry declares.
#pragma once

#include "Foundation/NSObject.h"

class NSString;

class IVZip : public NSObject {
    NS_OBJECT(IVZip, NSObject)
    static constexpr unsigned kMaxNameLength = 255;
    // False when the archive cannot be read or an entry's contents are damaged; refused entries
    // are skipped. Whatever could be unpacked stays.
    static bool unzipPackage(NSString* zipPath, NSString* destination);
};
