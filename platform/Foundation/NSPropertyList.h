// Property lists: trees of NSString, NSNumber (booleans included), NSDate, NSData, NSArray and
// NSDictionary with string keys, written as the platform's XML document and read from it or
// from the old-style text form that string tables use.
#pragma once

#include "Foundation/NSObject.h"

class NSData;
class NSError;
class NSString;

using NSPropertyListFormat = NSUInteger;
enum : NSPropertyListFormat {
    NSPropertyListOpenStepFormat = 1,
    NSPropertyListXMLFormat_v1_0 = 100,
    NSPropertyListBinaryFormat_v1_0 = 200,
};

using NSPropertyListMutabilityOptions = NSUInteger;
using NSPropertyListReadOptions = NSPropertyListMutabilityOptions;
enum : NSPropertyListMutabilityOptions {
    NSPropertyListImmutable = 0,
    NSPropertyListMutableContainers = 1,
    NSPropertyListMutableContainersAndLeaves = 2,
};

using NSPropertyListWriteOptions = NSUInteger;

// Codes of NSCocoaErrorDomain (NSPropertyListReadCorruptError, 3840, is in NSError.h). A value
// that is not a property list is reported with 3851, as the platform's writer does.
enum : NSInteger {
    NSPropertyListReadUnknownVersionError = 3841,
    NSPropertyListReadStreamError = 3842,
    NSPropertyListWriteStreamError = 3851,
    NSPropertyListWriteInvalidError = 3852,
};

class NSPropertyListSerialization : public NSObject {
    NS_OBJECT(NSPropertyListSerialization, NSObject)
    // The document for the tree in the format (XML only; the others fail with an error).
    static Ref<NSData> dataWithPropertyList(NSObject* plist, NSPropertyListFormat format,
                                            NSPropertyListWriteOptions options,
                                            Ref<NSError>* error);
    // The tree read from XML or old-style text; nil with NSPropertyListReadCorruptError for
    // anything malformed. formatOut, when given, receives the format found.
    static Ref<NSObject> propertyListWithData(NSData* data, NSPropertyListReadOptions options,
                                              NSPropertyListFormat* formatOut, Ref<NSError>* error);
    static bool propertyList(NSObject* plist, NSPropertyListFormat isValidForFormat);

    // The older forms, reporting a text instead of an error.
    static Ref<NSData> dataFromPropertyList(NSObject* plist, NSPropertyListFormat format,
                                            Ref<NSString>* errorString);
    static Ref<NSObject> propertyListFromData(NSData* data, NSPropertyListMutabilityOptions option,
                                              NSPropertyListFormat* formatOut,
                                              Ref<NSString>* errorString);
};

namespace plist_detail {
// Reads a property list from a file (nil when missing or malformed), for the collections'
// ...WithContentsOfFile and the bundle's tables.
Ref<NSObject> readFile(NSString* path, NSPropertyListMutabilityOptions options);
// Writes the tree as an XML property list; false when it is not one or the file fails.
bool writeFile(NSObject* plist, NSString* path, bool atomically);
}  // namespace plist_detail
