// JSON for the ad engine: the writer that turns SQL rows and selector lists into script text
// (map keys go out bare and booleans as 1/0, which the downloaded scripts rely on), the escaping
// of texts placed between double quotes in script, and the parser for server replies.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;
class NSDictionary;
class NSMutableString;
class NSNumber;
class NSString;

class IVJSON : public NSObject {
    NS_OBJECT(IVJSON, NSObject)
    static Ref<NSString> stringWithObject(NSObject* value);
    // Parsed with the one shared parser, scalars allowed; nil when the text is no JSON.
    static Ref<NSObject> objectWithString(NSString* text);
    // The same text object when nothing needs escaping. Besides the control characters, the
    // double quote and the backslash, U+2028 and U+2029 are escaped: scripts end a string
    // literal at them.
    static Ref<NSString> stringByEscapingCharacters(NSString* text);

    bool init() override;
    // False when some value had no JSON form (written as null).
    bool addObject(NSObject* value);
    bool addArray(NSArray* array);
    bool addDictionary(NSDictionary* dictionary);
    void addString(NSString* string);
    void addNumber(NSNumber* number);
    void addNull();
    Ref<NSMutableString> string() { return string_; }
    NSUInteger position() { return position_; }

private:
    Ref<NSMutableString> string_;
    NSUInteger position_ = 0;
};

class IVJSONParserOptions {
public:
    virtual ~IVJSONParserOptions() = default;
    virtual NSUInteger maxDepth() = 0;
    virtual void setMaxDepth(NSUInteger depth) = 0;
};

class IVJSONParser : public NSObject, public IVJSONParserOptions {
    NS_OBJECT(IVJSONParser, NSObject)
    // Nesting never goes deeper than this, whatever maxDepth says: a deep reply would otherwise
    // exhaust the parsing thread's stack. maxDepth 0 means this limit.
    static constexpr NSUInteger kDepthLimit = 512;

    Ref<NSObject> objectWithString(NSString* text, bool allowScalar);
    NSUInteger maxDepth() override { return maxDepth_; }
    void setMaxDepth(NSUInteger depth) override { maxDepth_ = depth; }

private:
    bool scanValue(Ref<NSObject>* out);
    bool scanRestOfDictionary(Ref<NSObject>* out);
    bool scanRestOfArray(Ref<NSObject>* out);
    bool scanRestOfString(Ref<NSObject>* out);
    bool scanNumber(Ref<NSObject>* out);
    bool scanRestOfTrue(Ref<NSObject>* out);
    bool scanRestOfFalse(Ref<NSObject>* out);
    bool scanRestOfNull(Ref<NSObject>* out);
    bool scanUnicodeChar(std::u16string* out);
    bool scanHexQuad(unsigned* out);
    bool scanIsAtEnd();
    void skipWhitespace();
    bool enter();

    const char* c_ = nullptr;
    const char* end_ = nullptr;
    NSUInteger depth_ = 0;
    NSUInteger maxDepth_ = 0;
};
