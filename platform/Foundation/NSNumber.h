// Numbers: a box that keeps the kind it was made from (bool, char, int, long long, float,
// double and their unsigned forms) and converts on every read as the platform does.
#pragma once

#include "Foundation/NSValue.h"

class NSNumber : public NSValue {
    NS_OBJECT(NSNumber, NSValue)
    static void describeClass(RuntimeClass& c);
    static Ref<NSNumber> numberWithBool(bool v);
    static Ref<NSNumber> numberWithChar(char v);
    static Ref<NSNumber> numberWithUnsignedChar(unsigned char v);
    static Ref<NSNumber> numberWithShort(short v);
    static Ref<NSNumber> numberWithUnsignedShort(unsigned short v);
    static Ref<NSNumber> numberWithInt(int v);
    static Ref<NSNumber> numberWithUnsignedInt(unsigned v);
    static Ref<NSNumber> numberWithLong(long v);
    static Ref<NSNumber> numberWithUnsignedLong(unsigned long v);
    static Ref<NSNumber> numberWithLongLong(long long v);
    static Ref<NSNumber> numberWithUnsignedLongLong(unsigned long long v);
    static Ref<NSNumber> numberWithFloat(float v);
    static Ref<NSNumber> numberWithDouble(double v);
    static Ref<NSNumber> numberWithInteger(NSInteger v);
    static Ref<NSNumber> numberWithUnsignedInteger(NSUInteger v);

    bool boolValue();
    char charValue();
    unsigned char unsignedCharValue();
    short shortValue();
    unsigned short unsignedShortValue();
    int intValue();
    unsigned unsignedIntValue();
    long longValue();
    unsigned long unsignedLongValue();
    long long longLongValue();
    unsigned long long unsignedLongLongValue();
    float floatValue();
    double doubleValue();
    NSInteger integerValue();
    NSUInteger unsignedIntegerValue();

    // The runtime type code of the kind it holds: "B" is never used, a bool is "c" as on the
    // platform; "c", "C", "s", "S", "i", "I", "q", "Q", "f", "d".
    const char* objCType() override;
    void getValue(void* out) override;
    // true when made with numberWithBool (a platform boolean prints as 1 or 0 but serialises
    // as true or false).
    bool isBoolean();

    // The description: integers as integers, floats with 7 and doubles with 16 significant
    // digits ("0.1", "1e+20", "3"), booleans as 1 or 0.
    Ref<NSString> stringValue() { return description(); }
    Ref<NSString> description() override;
    virtual NSComparisonResult compare(NSNumber* other);
    bool isEqualToNumber(NSNumber* other);
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;

protected:
    enum class Kind : unsigned char {
        Bool,
        Char,
        UChar,
        Short,
        UShort,
        Int,
        UInt,
        LongLong,
        ULongLong,
        Float,
        Double
    };
    Kind kind_ = Kind::Int;
    union {
        long long i;
        unsigned long long u;
        double d;
    } v_{0};

    bool isFloating() const { return kind_ == Kind::Float || kind_ == Kind::Double; }
    bool isUnsignedKind() const {
        return kind_ == Kind::UChar || kind_ == Kind::UShort || kind_ == Kind::UInt ||
               kind_ == Kind::ULongLong;
    }

private:
    // The value converted as a C cast would (kept defined for out-of-range doubles).
    template <class T>
    T read();
};
