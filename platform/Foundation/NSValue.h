// Boxes for plain values: structs by their bytes and type code, pointers, non-retained objects
// and ranges. Geometry types are boxed through the same form once their framework gives them a
// type code (ObjCTypeEncoding).
#pragma once

#include <string>
#include <vector>

#include "Foundation/Runtime.h"

class NSValue : public NSObject {
    NS_OBJECT(NSValue, NSObject)
    static Ref<NSValue> valueWithBytes(const void* bytes, const char* type);
    static Ref<NSValue> valueWithPointer(const void* pointer);
    // Holds the object without retaining it (the platform's non-retained box).
    static Ref<NSValue> valueWithNonretainedObject(NSObject* object);
    static Ref<NSValue> valueWithRange(NSRange range);
    template <class T>
    static Ref<NSValue> valueWith(const T& v) {
        return valueWithBytes(&v, typeCodeOf<T>().c_str());
    }

    virtual const char* objCType();
    // Copies the bytes out; the caller's buffer must be large enough for the type.
    virtual void getValue(void* out);
    void* pointerValue();
    NSObject* nonretainedObjectValue();
    NSRange rangeValue();
    template <class T>
    T get() {
        T out{};
        if (typeCodeOf<T>() == objCType()) getValue(&out);
        return out;
    }
    size_t byteSize() const { return bytes_.size(); }

    bool isEqualToValue(NSValue* other);
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }

protected:
    std::string type_;
    std::vector<unsigned char> bytes_;
};

template <>
struct ObjCTypeEncoding<NSRange> {
    static constexpr const char* value = "{_NSRange=II}";
};
