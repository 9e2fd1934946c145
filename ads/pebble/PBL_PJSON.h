// The ad client's own JSON class: parses JSON text into dictionaries, arrays, strings, decimal
// numbers, booleans and null, and writes such values (other objects as their string value or
// description). One instance per call.
#pragma once

#include "Foundation/NSObject.h"

class NSError;
class NSString;

class PBL_PJSONParser;
class PBL_PJSONWriter;

// The JSON library's parser and writer under the client's own name, with the client's single
// error: an error that reports the failure of an inner step holds that failure as its
// underlying error, any other replaces it. Unlike the library's writer it writes an object of
// no JSON kind as the string of its stringValue or description.
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
    bool humanReadable_ = false;
    bool sortKeys_ = false;
    unsigned maxDepth_ = 512;
    Ref<PBL_PJSONParser> parser_;
    Ref<PBL_PJSONWriter> writer_;
};

// Small helpers of the request parameters.
class PBLMacros : public NSObject {
    NS_OBJECT(PBLMacros, NSObject)
    // nil for nil; the JSON text of the object, or "" when it cannot be written.
    static Ref<NSString> jsonify(NSObject* object);
};
