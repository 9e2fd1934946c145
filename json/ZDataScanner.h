// A forward-only scanner over the bytes of an NSData: the base of the JSON grammar, and a small
// byte-level counterpart of NSScanner. Nothing here ever reads past the last byte.
#pragma once

#include "Foundation/NSObject.h"

class NSCharacterSet;
class NSData;
class NSNumber;
class NSString;

class ZDataScanner : public NSObject {
    NS_OBJECT(ZDataScanner, NSObject)
    // A new scanner over the data (setData applied).
    static Ref<ZDataScanner> scannerWithData(NSData* data);

    bool init() override;
    void dealloc() override;

    Ref<NSData> data() { return data_; }
    // Retains the data and puts the scan location at its first byte.
    virtual void setData(NSData* data);

    NSUInteger length() { return length_; }
    NSUInteger scanLocation() { return static_cast<NSUInteger>(current_ - start_); }
    // Raises NSRangeException for a location past the end.
    void setScanLocation(NSUInteger location);
    bool isAtEnd() { return scanLocation() >= length_; }
    // The bytes that may form a number ("0123456789eE-." unless changed).
    Ref<NSCharacterSet> doubleCharacters() { return doubleCharacters_; }
    void setDoubleCharacters(NSCharacterSet* set);

    // The byte at the location, or 0 at the end.
    char currentCharacter() { return current_ < end_ ? static_cast<char>(*current_) : 0; }
    // The byte at the location, advancing over it; 0 (not advancing) at the end.
    char scanCharacter() { return current_ < end_ ? static_cast<char>(*current_++) : 0; }
    // YES and advances when the byte at the location is c.
    bool scanCharacter(char c) {
        if (current_ < end_ && static_cast<char>(*current_) == c) {
            ++current_;
            return true;
        }
        return false;
    }

    // Out-pointers may be null throughout.
    // YES when the remaining bytes begin with the whole C string; gives it as a string.
    bool scanUTF8String(const char* string, Ref<NSString>* into);
    // YES when the remaining bytes begin with the string's UTF-8 bytes; gives the same object.
    bool scanString(NSString* string, Ref<NSString>* into);
    // The longest run of bytes whose values are members of the set (at least one).
    bool scanCharactersFromSet(NSCharacterSet* set, Ref<NSString>* into);
    // The bytes before the string's first occurrence; NO, consuming nothing, without one.
    bool scanUpToString(NSString* string, Ref<NSString>* into);
    // The run of bytes (at least one) before the first member of the set or the end.
    bool scanUpToCharactersFromSet(NSCharacterSet* set, Ref<NSString>* into);
    // The longest run of doubleCharacters (at least one), read as a double. A plus sign right
    // after an exponent mark ("1e+21", as servers write large numbers) belongs to the run.
    bool scanNumber(Ref<NSNumber>* into);
    // Skips space, tab, line feed, vertical tab, form feed and carriage return.
    void skipWhitespace() {
        if (current_<end_&& * current_> ' ') return;  // most calls stand at a token already
        while (current_ < end_ && (*current_ == ' ' || (*current_ >= '\t' && *current_ <= '\r')))
            ++current_;
    }
    // The bytes from the location to the end as UTF-8; nil when they are not valid UTF-8.
    Ref<NSString> remainingString();

    // "/* ... */": NO when no comment starts here. Raises NSGenericException for a comment that
    // is not closed or that opens another inside.
    bool scanCStyleComment(Ref<NSString>* into);
    // "// ..." up to a line break, taking the run of line breaks after it.
    bool scanCPlusPlusStyleComment(Ref<NSString>* into);

protected:
    // Bytes as text; nil when they are not valid UTF-8. Runs that the scanner hands out only
    // count as scanned when they decode.
    static Ref<NSString> decodeUTF8(const uint8_t* bytes, size_t length);
    // Where the bytes of `needle` first occur at or after the location, or nullptr.
    const uint8_t* find(const uint8_t* needle, size_t length);
    // Hands out the bytes from the location up to `upTo` as text and advances to it; false,
    // not advancing, when they are not UTF-8.
    bool takeText(const uint8_t* upTo, Ref<NSString>* into);
    // Where the run of a number's bytes that starts at the location ends.
    const uint8_t* numberEnd();
    // Reads the run from the location up to `upTo` (its numberEnd) as scanNumber does.
    void takeNumber(const uint8_t* upTo, Ref<NSNumber>* into);
    // The value of the number run at the location when it is one to three digits without a
    // leading zero, read with the scanner's own number bytes (`upTo` gets its end); -1 otherwise.
    int smallInteger(const uint8_t** upTo);

    Ref<NSData> data_;
    const uint8_t* start_ = nullptr;
    const uint8_t* end_ = nullptr;
    const uint8_t* current_ = nullptr;
    NSUInteger length_ = 0;
    Ref<NSCharacterSet> doubleCharacters_;

private:
    // Advances over the bytes when the remaining ones begin with them.
    bool skipBytes(const void* bytes, size_t length);
    // Where the run of bytes that are (or are not) members of the set ends.
    const uint8_t* runEnd(NSCharacterSet* set, bool members);
    // Whether doubleCharacters is still the scanner's own set, whose bytes are known.
    bool defaultDoubleCharacters_ = false;
};
