// Byte buffers: immutable NSData and its growable subclass NSMutableData.
#pragma once

#include <string_view>

#include "Foundation/NSObject.h"

class NSMutableData;

using NSDataSearchOptions = NSUInteger;
enum : NSDataSearchOptions {
    NSDataSearchBackwards = 1 << 0,
    NSDataSearchAnchored = 1 << 1,
};

using NSDataBase64EncodingOptions = NSUInteger;
enum : NSDataBase64EncodingOptions {
    NSDataBase64Encoding64CharacterLineLength = 1 << 0,
    NSDataBase64Encoding76CharacterLineLength = 1 << 1,
    NSDataBase64EncodingEndLineWithCarriageReturn = 1 << 4,
    NSDataBase64EncodingEndLineWithLineFeed = 1 << 5,
};

using NSDataBase64DecodingOptions = NSUInteger;
enum : NSDataBase64DecodingOptions {
    NSDataBase64DecodingIgnoreUnknownCharacters = 1 << 0,
};

class NSData : public NSObject {
    NS_OBJECT(NSData, NSObject)
    static Ref<NSData> data();
    static Ref<NSData> dataWithBytes(const void* bytes, NSUInteger length);
    // Takes the buffer as it is. With freeWhenDone the data owns it and free()s it (it must come
    // from malloc); without, the caller keeps it alive and unchanged for the data's lifetime.
    static Ref<NSData> dataWithBytesNoCopy(void* bytes, NSUInteger length,
                                           bool freeWhenDone = true);
    static Ref<NSData> dataWithData(NSData* data);
    // nil when the file cannot be read.
    static Ref<NSData> dataWithContentsOfFile(NSString* path);

    bool initWithBytes(const void* bytes, NSUInteger length);
    bool initWithBytesNoCopy(void* bytes, NSUInteger length, bool freeWhenDone = true);
    bool initWithData(NSData* data);
    bool initWithContentsOfFile(NSString* path);
    // false (nil) for input that is not base64; whitespace is skipped.
    bool initWithBase64EncodedString(NSString* base64);
    bool initWithBase64EncodedString(NSString* base64, NSDataBase64DecodingOptions options);

    // With `atomically`, the bytes go to a temporary file in the same folder that then replaces
    // the target, so readers never see a partial file.
    bool writeToFile(NSString* path, bool atomically);

    const void* bytes() { return bytes_; }
    NSUInteger length() { return length_; }
    // C++ convenience: the bytes as a view (valid while the data is alive and unchanged).
    std::string_view view() { return {reinterpret_cast<const char*>(bytes_), length_}; }
    void getBytes(void* buffer, NSUInteger length);
    // Raises NSRangeException when the range goes past the end.
    void getBytes(void* buffer, NSRange range);
    Ref<NSData> subdataWithRange(NSRange range);
    // Options: NSDataSearchBackwards, NSDataSearchAnchored. {NSNotFound, 0} when absent.
    NSRange rangeOfData(NSData* dataToFind, NSDataSearchOptions options, NSRange searchRange);

    bool isEqualToData(NSData* other);
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    // "<48656c6c 6f>": lower-case hex, a space after every four bytes.
    Ref<NSString> description() override;

    Ref<NSString> base64EncodedString();
    Ref<NSString> base64EncodedStringWithOptions(NSDataBase64EncodingOptions options);

    Ref<NSObject> copyWithZone() override;
    Ref<NSObject> mutableCopyWithZone() override;
    Ref<NSData> copy();
    Ref<NSMutableData> mutableCopy();

    ~NSData() override;

protected:
    // Replaces the contents with a private copy of the bytes.
    void assignBytes(const void* bytes, NSUInteger length);

    unsigned char* bytes_ = nullptr;
    NSUInteger length_ = 0;
    NSUInteger capacity_ = 0;  // bytes allocated; 0 for a buffer the data does not own
    bool freeWhenDone_ = false;
};

class NSMutableData : public NSData {
    NS_OBJECT(NSMutableData, NSData)
    static Ref<NSMutableData> data();
    static Ref<NSMutableData> dataWithLength(NSUInteger length);
    static Ref<NSMutableData> dataWithCapacity(NSUInteger capacity);
    static Ref<NSMutableData> dataWithBytes(const void* bytes, NSUInteger length);
    static Ref<NSMutableData> dataWithData(NSData* data);
    static Ref<NSMutableData> dataWithContentsOfFile(NSString* path);

    bool initWithLength(NSUInteger length);
    bool initWithCapacity(NSUInteger capacity);

    void* mutableBytes();
    void appendBytes(const void* bytes, NSUInteger length);
    void appendData(NSData* data);
    // New bytes are zeroed.
    void setLength(NSUInteger length);
    void increaseLengthBy(NSUInteger extraLength);
    // Overwrites range.length bytes at range.location (growing the data when the range runs
    // past the end). Raises NSRangeException when the location is past the end.
    void replaceBytesInRange(NSRange range, const void* bytes);
    // Replaces the range with replacementLength bytes (nullptr: zeroes).
    void replaceBytesInRange(NSRange range, const void* bytes, NSUInteger replacementLength);
    void resetBytesInRange(NSRange range);
    void setData(NSData* data);

    Ref<NSObject> copyWithZone() override;

private:
    // Makes the buffer owned and able to hold `capacity` bytes.
    void reserve(NSUInteger capacity);
};
