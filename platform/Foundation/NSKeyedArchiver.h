// Keyed archiving: NSKeyedArchiver turns an object graph into bytes and NSKeyedUnarchiver turns
// them back into objects.
//
// The platform's value classes (strings, numbers with booleans and decimal numbers, data, dates,
// arrays, dictionaries, sets and their mutable forms, NSNull, URLs and plain NSValue structs such
// as ranges) are archived natively; any other object must adopt NSCoding and is re-created by
// class name through the runtime registry, so its class must have been made (staticClass()) in
// the reading process before it is decoded.
//
// Object identity is kept: an object reached twice is stored once and decodes as one instance.
// A cycle is allowed through NSCoding objects: an object that refers back to an object still
// being decoded receives that very instance, before its initWithCoder has finished (so it must
// not read that object's state during its own initWithCoder). A cycle made only of value classes
// (a mutable array that holds itself) cannot be rebuilt and raises when decoded, as does a graph
// nested more than a thousand objects deep (NSInvalidUnarchiveOperationException both).
//
// The bytes form a compact, versioned, little-endian binary format of our own: a magic header,
// a table of key and class names, a flat table of object records referring to each other by
// number, and the top-level keyed values. Anything that does not read as such an archive raises
// NSInvalidArgumentException ("incomprehensible archive") before any object is made.
#pragma once

#include <memory>

#include "Foundation/NSCoder.h"

class NSData;
class NSMutableData;

extern NSString* const NSInvalidArchiveOperationException;
extern NSString* const NSInvalidUnarchiveOperationException;
// "root": the key under which the class methods store and find the root object.
extern NSString* const NSKeyedArchiveRootObjectKey;

class NSKeyedArchiver : public NSCoder {
    NS_OBJECT(NSKeyedArchiver, NSCoder)

    // The archive of a graph, with the root under NSKeyedArchiveRootObjectKey.
    static Ref<NSData> archivedDataWithRootObject(NSObject* root);
    // Writes that archive to the file atomically; false when it cannot be written. An object
    // that cannot be archived raises as with archivedDataWithRootObject.
    static bool archiveRootObject(NSObject* root, NSString* path);

    // An archiver that keeps its bytes itself (see encodedData).
    bool init() override;
    // An archiver that appends the archive to `data` when encoding finishes.
    bool initForWritingWithMutableData(NSMutableData* data);

    bool allowsKeyedCoding() override { return true; }
    // The root object, under NSKeyedArchiveRootObjectKey.
    void encodeRootObject(NSObject* root);
    // Writes the archive out; encoding afterwards raises NSInvalidArgumentException. A second
    // call does nothing.
    void finishEncoding();
    // The archive made so far, finishing the encoding first.
    Ref<NSData> encodedData();

    // The class name written for instances of a class: this archiver's own mapping, else the
    // process-wide one, else the class's name. A nil name removes the mapping.
    void setClassName(NSString* codedName, Class cls);
    Ref<NSString> classNameForClass(Class cls);  // nil when this archiver has no mapping
    static void setClassNameForClass(NSString* codedName, Class cls);

    void encodeObject(NSObject* object, NSString* key) override;
    void encodeBool(bool value, NSString* key) override;
    void encodeInt(int value, NSString* key) override;
    void encodeInt32(int32_t value, NSString* key) override;
    void encodeInt64(int64_t value, NSString* key) override;
    void encodeInteger(NSInteger value, NSString* key) override;
    void encodeFloat(float value, NSString* key) override;
    void encodeDouble(double value, NSString* key) override;
    void encodeBytes(const uint8_t* bytes, NSUInteger length, NSString* key) override;

    NSKeyedArchiver();
    ~NSKeyedArchiver() override;

    struct State;  // internal: the graph written so far

private:
    State& state();
    std::unique_ptr<State> s_;
};

class NSKeyedUnarchiver : public NSCoder {
    NS_OBJECT(NSKeyedUnarchiver, NSCoder)

    // The root object of an archive (nil when the archive holds none). Raises for nil data,
    // for bytes that are not an archive, and for classes that cannot be decoded.
    static Ref<NSObject> unarchiveObjectWithData(NSData* data);
    // nil when the file cannot be read; otherwise as unarchiveObjectWithData.
    static Ref<NSObject> unarchiveObjectWithFile(NSString* path);

    // Reads and checks the whole archive; raises NSInvalidArgumentException when the data is
    // nil or not a well-formed archive. Objects are made only when decoded.
    bool initForReadingWithData(NSData* data);
    void finishDecoding();

    bool allowsKeyedCoding() override { return true; }

    // The class made for a coded class name: this unarchiver's own mapping, else the
    // process-wide one, else the class registered under that name. A nil class removes the
    // mapping.
    void setClass(Class cls, NSString* codedName);
    Class classForClassName(NSString* codedName);  // nil when this unarchiver has no mapping
    static void setClassForClassName(Class cls, NSString* codedName);

    bool containsValueForKey(NSString* key) override;
    Ref<NSObject> decodeObjectForKey(NSString* key) override;
    bool decodeBoolForKey(NSString* key) override;
    int decodeIntForKey(NSString* key) override;
    int32_t decodeInt32ForKey(NSString* key) override;
    int64_t decodeInt64ForKey(NSString* key) override;
    NSInteger decodeIntegerForKey(NSString* key) override;
    float decodeFloatForKey(NSString* key) override;
    double decodeDoubleForKey(NSString* key) override;
    const uint8_t* decodeBytesForKey(NSString* key, NSUInteger* length) override;

    NSKeyedUnarchiver();
    ~NSKeyedUnarchiver() override;

    struct State;  // internal: the checked archive and the objects made from it

private:
    std::unique_ptr<State> s_;
};
