#include "ads/pjson/PJSON.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"

bool PJSON::init() {
    if (!PJsonBase::init()) return false;
    jsonParser_ = make<PJsonParser>();
    jsonWriter_ = make<PJsonWriter>();
    setMaxDepth(512);
    return true;
}

void PJSON::takeTrace(PJsonBase* from, Ref<NSError>* error) {
    auto trace = from->errorTrace();
    setErrorTrace(trace);
    if (error && trace) *error = cast<NSError>(trace->lastObject());
}

Ref<NSObject> PJSON::objectWithString(NSString* text) {
    auto value = jsonParser_->objectWithString(text);
    if (!value) takeTrace(jsonParser_, nullptr);
    return value;
}

Ref<NSObject> PJSON::objectWithString(NSString* text, Ref<NSError>* error) {
    return objectWithString(text, false, error);
}

Ref<NSObject> PJSON::fragmentWithString(NSString* text, Ref<NSError>* error) {
    return objectWithString(text, true, error);
}

Ref<NSObject> PJSON::objectWithString(NSString* text, bool allowScalar, Ref<NSError>* error) {
    auto value =
        allowScalar ? jsonParser_->fragmentWithString(text) : jsonParser_->objectWithString(text);
    if (!value) takeTrace(jsonParser_, error);
    return value;
}

Ref<NSString> PJSON::stringWithObject(NSObject* value) {
    auto text = jsonWriter_->stringWithObject(value);
    if (!text) takeTrace(jsonWriter_, nullptr);
    return text;
}

Ref<NSString> PJSON::stringWithObject(NSObject* value, Ref<NSError>* error) {
    return stringWithObject(value, false, error);
}

Ref<NSString> PJSON::stringWithFragment(NSObject* value, Ref<NSError>* error) {
    return stringWithObject(value, true, error);
}

Ref<NSString> PJSON::stringWithObject(NSObject* value, bool allowScalar, Ref<NSError>* error) {
    auto text =
        allowScalar ? jsonWriter_->stringWithFragment(value) : jsonWriter_->stringWithObject(value);
    if (!text) takeTrace(jsonWriter_, error);
    return text;
}

unsigned PJSON::maxDepth() {
    return jsonParser_->maxDepth();
}

void PJSON::setMaxDepth(unsigned maxDepth) {
    PJsonBase::setMaxDepth(maxDepth);
    jsonParser_->setMaxDepth(maxDepth);
    jsonWriter_->setMaxDepth(maxDepth);
}

bool PJSON::humanReadable() {
    return jsonWriter_->humanReadable();
}

void PJSON::setHumanReadable(bool humanReadable) {
    jsonWriter_->setHumanReadable(humanReadable);
}

bool PJSON::sortKeys() {
    return jsonWriter_->sortKeys();
}

void PJSON::setSortKeys(bool sortKeys) {
    jsonWriter_->setSortKeys(sortKeys);
}

Ref<NSString> JSONRepresentation(NSObject* object) {
    return make<PJsonWriter>()->stringWithObject(object);
}

Ref<NSString> JSONFragment(NSObject* object) {
    return make<PJsonWriter>()->stringWithFragment(object);
}

Ref<NSObject> JSONValue(NSString* text) {
    return make<PJsonParser>()->objectWithString(text);
}

Ref<NSObject> JSONFragmentValue(NSString* text) {
    return make<PJsonParser>()->fragmentWithString(text);
}
