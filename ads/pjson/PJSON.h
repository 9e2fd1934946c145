// The wrapper that holds one parser and one writer, and the one-call helpers on objects and
// strings (each uses a fresh parser or writer with default settings and drops its errors).
#pragma once

#include "ads/pjson/PJsonParser.h"
#include "ads/pjson/PJsonWriter.h"

class NSError;

class PJSON : public PJsonBase, public PJsonParserProtocol, public PJsonWriterProtocol {
    NS_OBJECT(PJSON, PJsonBase)
    bool init() override;

    // Parsing. On failure the parser's trace becomes this object's and its last error (the
    // outermost) is handed out.
    Ref<NSObject> objectWithString(NSString* text) override;
    Ref<NSObject> objectWithString(NSString* text, Ref<NSError>* error);
    Ref<NSObject> fragmentWithString(NSString* text, Ref<NSError>* error);
    Ref<NSObject> objectWithString(NSString* text, bool allowScalar, Ref<NSError>* error);

    // Writing, in the same four shapes.
    Ref<NSString> stringWithObject(NSObject* value) override;
    Ref<NSString> stringWithObject(NSObject* value, Ref<NSError>* error);
    Ref<NSString> stringWithFragment(NSObject* value, Ref<NSError>* error);
    Ref<NSString> stringWithObject(NSObject* value, bool allowScalar, Ref<NSError>* error);

    // The parser's limit; setting it sets both.
    unsigned maxDepth();
    void setMaxDepth(unsigned maxDepth) override;
    bool humanReadable() override;
    void setHumanReadable(bool humanReadable) override;
    bool sortKeys() override;
    void setSortKeys(bool sortKeys) override;

private:
    void takeTrace(PJsonBase* from, Ref<NSError>* error);

    Ref<PJsonParser> jsonParser_;
    Ref<PJsonWriter> jsonWriter_;
};

// NSObject (PJSON): the receiver as JSON text, or nil.
Ref<NSString> JSONRepresentation(NSObject* object);
Ref<NSString> JSONFragment(NSObject* object);
// NSString (PJSON): the value the text holds, or nil.
Ref<NSObject> JSONValue(NSString* text);
Ref<NSObject> JSONFragmentValue(NSString* text);
