// A scanner over a string: reads strings, runs of characters and numbers from a scan location
// forward, skipping a set of characters (white space and newlines by default) before each read.
// A read that fails leaves the location where it was.
#pragma once

#include <string>

#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSObject.h"

class NSCharacterSet;
class NSString;

class NSScanner : public NSObject {
    NS_OBJECT(NSScanner, NSObject)
    static Ref<NSScanner> scannerWithString(NSString* string);
    // A scanner whose numbers use the current locale's decimal separator.
    static Ref<NSScanner> localizedScannerWithString(NSString* string);
    bool initWithString(NSString* string);

    Ref<NSString> string() { return string_; }
    NSUInteger scanLocation() { return location_; }
    // Raises NSRangeException past the end of the string.
    void setScanLocation(NSUInteger location);
    // nil skips nothing.
    Ref<NSCharacterSet> charactersToBeSkipped() { return skip_; }
    void setCharactersToBeSkipped(NSCharacterSet* set) { skip_ = set; }
    // Default NO: scanString and scanUpToString ignore case.
    bool caseSensitive() { return caseSensitive_; }
    void setCaseSensitive(bool b) { caseSensitive_ = b; }
    // The locale whose decimal separator numbers use; nil means ".".
    Ref<NSObject> locale() { return locale_; }
    void setLocale(NSObject* locale);
    // True when only skippable characters remain.
    bool isAtEnd();

    // Out-pointers may be null throughout.
    bool scanString(NSString* string, Ref<NSString>* into);
    // Reads up to the string (or the end); NO when nothing precedes it.
    bool scanUpToString(NSString* stop, Ref<NSString>* into);
    bool scanCharactersFromSet(NSCharacterSet* set, Ref<NSString>* into);
    bool scanUpToCharactersFromSet(NSCharacterSet* set, Ref<NSString>* into);
    // Decimal integers with an optional sign; values beyond the type's range read as its
    // limit and the scan still succeeds.
    bool scanInt(int* value);
    bool scanInteger(NSInteger* value);
    bool scanLongLong(long long* value);
    bool scanUnsignedLongLong(unsigned long long* value);
    // [sign] digits [separator digits] [e [sign] digits].
    bool scanFloat(float* value);
    bool scanDouble(double* value);
    // Hexadecimal digits after an optional "0x"/"0X"; beyond the range reads as the maximum.
    bool scanHexInt(unsigned* value);
    bool scanHexLongLong(unsigned long long* value);

    Ref<NSObject> copyWithZone() override;

private:
    // The location after skipping from the current one.
    size_t skipped();
    bool scanSigned(long long min, long long max, long long* out);
    bool scanHex(unsigned long long max, unsigned long long* out);
    bool matchesAt(size_t at, const std::u16string& s);

    Ref<NSString> string_;
    std::u16string text_;
    NSUInteger location_ = 0;
    Ref<NSCharacterSet> skip_;
    Ref<NSObject> locale_;
    char16_t decimal_ = u'.';
    bool caseSensitive_ = false;
};
