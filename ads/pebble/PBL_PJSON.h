// The ad client's own JSON class: parses JSON text into dictionaries, arrays, strings, decimal
// numbers, booleans and null, and writes such values (other objects as their description).
// One instance per call; it keeps a cursor and a depth while it works.
#pragma once

#include <string>

#include "Foundation/NSObject.h"

class NSArray;
class NSDictionary;
class NSError;
class NSMutableString;
class NSString;

// The JSON error domain.
extern NSString* const PJSONErrorDomain;

class PBL_PJSON : public NSObject {
    NS_OBJECT(PBL_PJSON, NSObject)
    bool init() override;

    Ref<NSObject> objectWithString(NSString* text, Ref<NSError>* error);
    Ref<NSObject> fragmentWithString(NSString* text, Ref<NSError>* error);
    Ref<NSObject> objectWithString(NSString* text, bool allowScalar, Ref<NSError>* error);
    Ref<NSString> stringWithObject(NSObject* value, Ref<NSError>* error);
    Ref<NSString> stringWithFragment(NSObject* value, Ref<NSError>* error);
    Ref<NSString> stringWithObject(NSObject* value, bool allowScalar, Ref<NSError>* error);

    bool humanReadable() { return humanReadable_; }
    void setHumanReadable(bool v) { humanReadable_ = v; }
    bool sortKeys() { return sortKeys_; }
    void setSortKeys(bool v) { sortKeys_ = v; }
    // Nesting limit of both parsing and writing (0: none); writing a deeper or cyclic value
    // fails instead of recursing without end.
    unsigned maxDepth() { return maxDepth_; }
    void setMaxDepth(unsigned v) { maxDepth_ = v; }

private:
    bool scanValue(Ref<NSObject>* out, Ref<NSError>* error);
    bool scanRestOfDictionary(Ref<NSObject>* out, Ref<NSError>* error);
    bool scanRestOfArray(Ref<NSObject>* out, Ref<NSError>* error);
    bool scanRestOfString(Ref<NSString>* out, Ref<NSError>* error);
    bool scanNumber(Ref<NSObject>* out, Ref<NSError>* error);
    bool scanUnicodeChar(std::u16string* out, Ref<NSError>* error);
    bool scanHexQuad(unsigned* out, Ref<NSError>* error);
    void skipWhitespace();
    bool scanIsAtEnd();

    bool appendValue(NSObject* value, std::u16string& into, Ref<NSError>* error);
    bool appendDictionary(NSDictionary* value, std::u16string& into, Ref<NSError>* error);
    bool appendArray(NSArray* value, std::u16string& into, Ref<NSError>* error);
    void appendString(NSString* value, std::u16string& into);
    void indent(std::u16string& into);

    bool humanReadable_ = false;
    bool sortKeys_ = false;
    unsigned maxDepth_ = 512;
    unsigned depth_ = 0;
    const char* c_ = nullptr;
};

// Small helpers of the request parameters.
class PBLMacros : public NSObject {
    NS_OBJECT(PBLMacros, NSObject)
    // nil for nil; the JSON text of the object, or "" when it cannot be written.
    static Ref<NSString> jsonify(NSObject* object);
};
