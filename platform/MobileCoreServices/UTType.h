// Uniform type identifiers: the platform's table of file types, looked up by filename extension
// or MIME type. CFStringRef is NSString* (see CFNetwork/CFStream.h for the mapping).
#pragma once

#include "Foundation/NSObject.h"

class NSString;

extern NSString* const kUTTagClassFilenameExtension;  // "public.filename-extension"
extern NSString* const kUTTagClassMIMEType;           // "public.mime-type"

// The identifier for a tag of the class, e.g. ("jpg", kUTTagClassFilenameExtension) ->
// "public.jpeg". Tags are matched without regard to case. An unknown tag gives a dynamic
// identifier ("dyn." followed by the tag class and tag), which has no preferred tags.
// `conformingToUTI` restricts the answer to types that conform to it (nil: any).
Ref<NSString> UTTypeCreatePreferredIdentifierForTag(NSString* inTagClass, NSString* inTag,
                                                    NSString* inConformingToUTI);
// The preferred tag of the class for the identifier, e.g. ("public.jpeg", kUTTagClassMIMEType)
// -> "image/jpeg"; nil when the type has none (dynamic identifiers included).
Ref<NSString> UTTypeCopyPreferredTagWithClass(NSString* inUTI, NSString* inTagClass);
// Whether the type is the other or one of its ancestors (public.jpeg conforms to public.image
// and public.data).
bool UTTypeConformsTo(NSString* inUTI, NSString* inConformsToUTI);
bool UTTypeEqual(NSString* inUTI1, NSString* inUTI2);
bool UTTypeIsDynamic(NSString* inUTI);
