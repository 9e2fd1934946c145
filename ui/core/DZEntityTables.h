// The named entities that XML itself does not define, as the bytes the markup stripper hands
// the XML parser for them: the Latin-1 names of HTML as UTF-8, plus the five XML names and
// "nbsp" as a plain space.
#pragma once

#include "Foundation/NSObject.h"

class NSDictionary;

class DZEntityTables : public NSObject {
    NS_OBJECT(DZEntityTables, NSObject)
    // The one shared instance, made on first use.
    static Ref<DZEntityTables> sharedInstance();
    // Forgets the shared instance (it is freed once nobody holds it); the next sharedInstance()
    // builds a new one.
    static void releaseSharedInstance();

    // Entity name (without "&" and ";") → NSData, built on first read: 100 names.
    Ref<NSDictionary> iso88591();

    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }

private:
    Ref<NSDictionary> iso88591_;
};
