// Coding of object graphs: the NSCoding protocol that archivable classes adopt and the abstract
// NSCoder whose keyed interface the archiver (writing) and the unarchiver (reading) implement.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"

class NSCoder;

// Adopted by classes whose instances can be archived. initWithCoder is an initialiser: the
// unarchiver calls it on a freshly allocated instance (no other initialiser has run), and false
// makes the object decode as nil.
class NSCoding {
public:
    virtual ~NSCoding() = default;
    virtual void encodeWithCoder(NSCoder* coder) = 0;
    virtual bool initWithCoder(NSCoder* coder) = 0;
};

// The abstract coder. Every operation of the base raises NSInvalidArgumentException; a concrete
// coder overrides the half it supports (an archiver encodes, an unarchiver decodes).
class NSCoder : public NSObject {
    NS_OBJECT(NSCoder, NSObject)

    virtual bool allowsKeyedCoding() { return false; }

    // ---- encoding ------------------------------------------------------------------------
    // A nil object is recorded as such and decodes as nil. An object encoded twice (under any
    // keys, by any objects of one archive) is stored once and decodes as one instance.
    virtual void encodeObject(NSObject* object, NSString* key);
    virtual void encodeBool(bool value, NSString* key);
    virtual void encodeInt(int value, NSString* key);
    virtual void encodeInt32(int32_t value, NSString* key);
    virtual void encodeInt64(int64_t value, NSString* key);
    virtual void encodeInteger(NSInteger value, NSString* key);
    virtual void encodeFloat(float value, NSString* key);
    virtual void encodeDouble(double value, NSString* key);
    virtual void encodeBytes(const uint8_t* bytes, NSUInteger length, NSString* key);

    // ---- decoding ------------------------------------------------------------------------
    // A missing key reads as nil, NO, 0 or NULL. Numbers convert between kinds; a value that
    // does not fit the requested width raises NSRangeException.
    virtual bool containsValueForKey(NSString* key);
    virtual Ref<NSObject> decodeObjectForKey(NSString* key);
    virtual bool decodeBoolForKey(NSString* key);
    virtual int decodeIntForKey(NSString* key);
    virtual int32_t decodeInt32ForKey(NSString* key);
    virtual int64_t decodeInt64ForKey(NSString* key);
    virtual NSInteger decodeIntegerForKey(NSString* key);
    virtual float decodeFloatForKey(NSString* key);
    virtual double decodeDoubleForKey(NSString* key);
    // The bytes stay valid while the coder lives; *length receives their count (0 when the key
    // is missing, with a NULL result).
    virtual const uint8_t* decodeBytesForKey(NSString* key, NSUInteger* length);

protected:
    // Raises the platform's complaint about a message the abstract coder cannot answer.
    [[noreturn]] void raiseAbstract(const char* selector);
};
