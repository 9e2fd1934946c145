#include "ads/pebble/PBL_PJSON.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "ads/pjson/PJsonParser.h"
#include "ads/pjson/PJsonWriter.h"

namespace {

// The single error of a call: an error that reports an inner step's failure keeps that failure
// beneath it, any other replaces it.
void fold(Ref<NSError>& error, unsigned code, NSString* description, bool keepsCause) {
    auto info = NSMutableDictionary::dictionaryWithCapacity(2);
    info->setObject(description, NSLocalizedDescriptionKey);
    if (keepsCause && error) info->setObject(error, NSUnderlyingErrorKey);
    error = NSError::errorWithDomain(PJSONErrorDomain, static_cast<NSInteger>(code), info);
}

}  // namespace

class PBL_PJSONParser : public PJsonParser {
    NS_OBJECT(PBL_PJSONParser, PJsonParser)
    Ref<NSError> error;

protected:
    void recordError(unsigned code, NSString* description, bool keepsCause) override {
        fold(error, code, description, keepsCause);
    }
};

class PBL_PJSONWriter : public PJsonWriter {
    NS_OBJECT(PBL_PJSONWriter, PJsonWriter)
    Ref<NSError> error;

protected:
    void recordError(unsigned code, NSString* description, bool keepsCause) override {
        fold(error, code, description, keepsCause);
    }
    // Any other object is written as the string of its stringValue, else its description.
    bool appendOther(NSObject* value, std::u16string& into) override {
        static SEL stringValue = Selector::named("stringValue");
        Ref<NSString> text;
        if (value && value->respondsToSelector(stringValue))
            text = as<NSString>(value->performSelector(stringValue));
        if (!text && value) text = value->description();
        if (!text)
            return fail(
                PJsonUnsupportedValue,
                NSString::stringWithFormat(NS("JSON serialisation not supported for %@"),
                                           value ? value->className() : Ref<NSString>(NS("nil"))));
        appendString(text, into);
        return true;
    }
};

bool PBL_PJSON::init() {
    if (!NSObject::init()) return false;
    maxDepth_ = 512;
    return true;
}

Ref<NSObject> PBL_PJSON::objectWithString(NSString* text, Ref<NSError>* error) {
    return objectWithString(text, false, error);
}

Ref<NSObject> PBL_PJSON::fragmentWithString(NSString* text, Ref<NSError>* error) {
    return objectWithString(text, true, error);
}

Ref<NSObject> PBL_PJSON::objectWithString(NSString* text, bool allowScalar, Ref<NSError>* error) {
    if (!parser_) parser_ = make<PBL_PJSONParser>();
    parser_->error = nullptr;
    parser_->setMaxDepth(maxDepth_);
    auto value = allowScalar ? parser_->fragmentWithString(text) : parser_->objectWithString(text);
    if (!value && error) *error = parser_->error;
    parser_->error = nullptr;
    return value;
}

Ref<NSString> PBL_PJSON::stringWithObject(NSObject* value, Ref<NSError>* error) {
    return stringWithObject(value, false, error);
}

Ref<NSString> PBL_PJSON::stringWithFragment(NSObject* value, Ref<NSError>* error) {
    return stringWithObject(value, true, error);
}

Ref<NSString> PBL_PJSON::stringWithObject(NSObject* value, bool allowScalar, Ref<NSError>* error) {
    if (!allowScalar && !is<NSDictionary>(value) && !is<NSArray>(value)) {
        if (error) {
            Ref<NSError> single;
            fold(single, PJsonNotAContainer, NS("Not valid type for JSON"), false);
            *error = single;
        }
        return nullptr;
    }
    if (!writer_) writer_ = make<PBL_PJSONWriter>();
    writer_->error = nullptr;
    writer_->setMaxDepth(maxDepth_);
    writer_->setHumanReadable(humanReadable_);
    writer_->setSortKeys(sortKeys_);
    auto text = writer_->stringWithFragment(value);
    if (!text && error) *error = writer_->error;
    writer_->error = nullptr;
    return text;
}

Ref<NSString> PBLMacros::jsonify(NSObject* object) {
    if (!object) return nullptr;
    Ref<NSError> error;
    auto text = make<PBL_PJSON>()->stringWithObject(object, &error);
    if (error || !text) return NS("");
    return text;
}
