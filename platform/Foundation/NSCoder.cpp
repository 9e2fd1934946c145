#include "Foundation/NSCoder.h"

#include "Foundation/NSException.h"

void NSCoder::raiseAbstract(const char* selector) {
    NSException::raise(NSInvalidArgumentException,
                       NS("*** -[%@ %s]: cannot be sent to an abstract object of class %@: Create "
                          "a concrete instance!"),
                       className(), selector, className());
}

void NSCoder::encodeObject(NSObject*, NSString*) {
    raiseAbstract("encodeObject:forKey:");
}
void NSCoder::encodeBool(bool, NSString*) {
    raiseAbstract("encodeBool:forKey:");
}
void NSCoder::encodeInt(int, NSString*) {
    raiseAbstract("encodeInt:forKey:");
}
void NSCoder::encodeInt32(int32_t, NSString*) {
    raiseAbstract("encodeInt32:forKey:");
}
void NSCoder::encodeInt64(int64_t, NSString*) {
    raiseAbstract("encodeInt64:forKey:");
}
void NSCoder::encodeInteger(NSInteger, NSString*) {
    raiseAbstract("encodeInteger:forKey:");
}
void NSCoder::encodeFloat(float, NSString*) {
    raiseAbstract("encodeFloat:forKey:");
}
void NSCoder::encodeDouble(double, NSString*) {
    raiseAbstract("encodeDouble:forKey:");
}
void NSCoder::encodeBytes(const uint8_t*, NSUInteger, NSString*) {
    raiseAbstract("encodeBytes:length:forKey:");
}

bool NSCoder::containsValueForKey(NSString*) {
    raiseAbstract("containsValueForKey:");
}
Ref<NSObject> NSCoder::decodeObjectForKey(NSString*) {
    raiseAbstract("decodeObjectForKey:");
}
bool NSCoder::decodeBoolForKey(NSString*) {
    raiseAbstract("decodeBoolForKey:");
}
int NSCoder::decodeIntForKey(NSString*) {
    raiseAbstract("decodeIntForKey:");
}
int32_t NSCoder::decodeInt32ForKey(NSString*) {
    raiseAbstract("decodeInt32ForKey:");
}
int64_t NSCoder::decodeInt64ForKey(NSString*) {
    raiseAbstract("decodeInt64ForKey:");
}
NSInteger NSCoder::decodeIntegerForKey(NSString*) {
    raiseAbstract("decodeIntegerForKey:");
}
float NSCoder::decodeFloatForKey(NSString*) {
    raiseAbstract("decodeFloatForKey:");
}
double NSCoder::decodeDoubleForKey(NSString*) {
    raiseAbstract("decodeDoubleForKey:");
}
const uint8_t* NSCoder::decodeBytesForKey(NSString*, NSUInteger*) {
    raiseAbstract("decodeBytesForKey:returnedLength:");
}
