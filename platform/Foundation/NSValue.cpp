#include "Foundation/NSValue.h"

#include <cstring>
#include <functional>
#include <string_view>

#include "Foundation/NSString.h"

Ref<NSValue> NSValue::valueWithBytes(const void* bytes, const char* type) {
    auto v = make<NSValue>();
    v->type_ = type ? type : "";
    v->bytes_.resize(sizeOfTypeCode(v->type_));
    if (bytes && !v->bytes_.empty()) std::memcpy(v->bytes_.data(), bytes, v->bytes_.size());
    return v;
}

Ref<NSValue> NSValue::valueWithPointer(const void* pointer) {
    return valueWithBytes(&pointer, "^v");
}

Ref<NSValue> NSValue::valueWithNonretainedObject(NSObject* object) {
    // The object travels as a bare address; the box never retains it.
    return valueWithBytes(&object, "@");
}

Ref<NSValue> NSValue::valueWithRange(NSRange range) {
    return valueWith(range);
}

const char* NSValue::objCType() {
    return type_.c_str();
}

void NSValue::getValue(void* out) {
    if (!bytes_.empty()) std::memcpy(out, bytes_.data(), bytes_.size());
}

void* NSValue::pointerValue() {
    void* p = nullptr;
    if (bytes_.size() == sizeof(p)) std::memcpy(&p, bytes_.data(), sizeof(p));
    return p;
}

NSObject* NSValue::nonretainedObjectValue() {
    return static_cast<NSObject*>(pointerValue());
}

NSRange NSValue::rangeValue() {
    return get<NSRange>();
}

bool NSValue::isEqualToValue(NSValue* other) {
    if (!other) return false;
    if (other == this) return true;
    return std::strcmp(objCType(), other->objCType()) == 0 && bytes_ == other->bytes_;
}

bool NSValue::isEqual(NSObject* other) {
    auto* v = dynamic_cast<NSValue*>(other);
    return v && isEqualToValue(v);
}

NSUInteger NSValue::hash() {
    std::string_view b(reinterpret_cast<const char*>(bytes_.data()), bytes_.size());
    return static_cast<NSUInteger>(std::hash<std::string_view>()(b));
}

Ref<NSString> NSValue::description() {
    if (type_ == ObjCTypeEncoding<NSRange>::value) {
        NSRange r = rangeValue();
        return NSString::stringWithFormat(NS("NSRange: {%u, %u}"), r.location, r.length);
    }
    // Other boxes print their bytes in hex groups of four, as the platform does.
    std::string hex = "<";
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < bytes_.size(); ++i) {
        if (i && i % 4 == 0) hex += ' ';
        hex += digits[bytes_[i] >> 4];
        hex += digits[bytes_[i] & 15];
    }
    hex += '>';
    return NSString::fromUTF8(hex);
}
