#include "Foundation/NSKeyedArchiver.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "Foundation/FileSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDecimalNumber.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSValue.h"

NSString* const NSInvalidArchiveOperationException = NS("NSInvalidArchiveOperationException");
NSString* const NSInvalidUnarchiveOperationException = NS("NSInvalidUnarchiveOperationException");
NSString* const NSKeyedArchiveRootObjectKey = NS("root");

// ---- the format ------------------------------------------------------------------------------
//
//   magic "BNKA", version byte
//   names:   varint count, then each: varint byte length, UTF-8 bytes (keys and class names)
//   records: varint count, then each record (object number n is record n-1; 0 is nil)
//   top:     the top-level keyed values (a field list)
//
// A field list is a varint count of fields, each: varint name index, kind byte, payload.
// Integers are varints (signed ones zigzag-mapped); floats and doubles are little-endian IEEE.

namespace {

constexpr char kMagic[4] = {'B', 'N', 'K', 'A'};
constexpr uint8_t kFormatVersion = 1;
// Guards the stack against archives (hostile or corrupt) that nest objects without end. The
// archiver refuses the same depth: what it wrote could not be read back, and a deeper walk would
// exhaust the stack there instead.
constexpr int kMaxDecodeDepth = 1000;
constexpr int kMaxEncodeDepth = kMaxDecodeDepth;

enum RecordKind : uint8_t {
    kCoded = 1,       // class name index, field list
    kString = 2,      // flags, varint unit count, units (bytes when narrow, UTF-16LE when wide)
    kNumber = 3,      // type byte ('B' for booleans, else the objCType), value
    kDecimal = 4,     // varint length, ASCII decimal text
    kData = 5,        // flags, varint length, bytes
    kDate = 6,        // double: seconds since the reference date
    kArray = 7,       // flags, varint count, object numbers
    kDictionary = 8,  // flags, varint count, (key, value) object number pairs
    kSet = 9,         // flags, varint count, object numbers
    kNull = 10,       // nothing
    kURL = 11,        // object number of the relative string, of the base URL (0: none)
    kValue = 12,      // varint length, type code, varint length, the struct's bytes
};

enum FieldKind : uint8_t {
    kFieldObject = 1,  // varint object number
    kFieldBool = 2,    // byte
    kFieldInt = 3,     // zigzag varint
    kFieldFloat = 4,   // 4 bytes
    kFieldDouble = 5,  // 8 bytes
    kFieldBytes = 6,   // varint length, bytes
};

constexpr uint8_t kFlagMutable = 1;
constexpr uint8_t kFlagWide = 2;

constexpr const char* kNumberTypes = "BcCsSiIqQfd";

uint64_t zigzag(int64_t v) {
    return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63);
}
int64_t unzigzag(uint64_t v) {
    return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1);
}

struct Writer {
    std::string out;
    void u8(uint8_t v) { out.push_back(static_cast<char>(v)); }
    void varint(uint64_t v) {
        while (v >= 0x80) {
            u8(static_cast<uint8_t>(v | 0x80));
            v >>= 7;
        }
        u8(static_cast<uint8_t>(v));
    }
    void fixed(uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            u8(static_cast<uint8_t>(v >> (8 * i)));
    }
    void f32(float v) {
        uint32_t b;
        std::memcpy(&b, &v, 4);
        fixed(b, 4);
    }
    void f64(double v) {
        uint64_t b;
        std::memcpy(&b, &v, 8);
        fixed(b, 8);
    }
    void raw(const void* p, size_t n) {
        if (n) out.append(static_cast<const char*>(p), n);
    }
};

// Thrown while reading bytes; turned into the platform's exception at the edge.
struct Malformed {};

struct Reader {
    const uint8_t* p;
    size_t size;
    size_t pos = 0;
    size_t left() const { return size - pos; }
    uint8_t u8() {
        if (pos >= size) throw Malformed{};
        return p[pos++];
    }
    uint64_t varint() {
        uint64_t v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            uint8_t b = u8();
            if (shift == 63 && b > 1) throw Malformed{};
            v |= static_cast<uint64_t>(b & 0x7f) << shift;
            if (!(b & 0x80)) return v;
        }
        throw Malformed{};
    }
    uint32_t u32() {
        uint64_t v = varint();
        if (v > UINT32_MAX) throw Malformed{};
        return static_cast<uint32_t>(v);
    }
    // A count of items that each take at least `unit` bytes, so it can never exceed the rest.
    uint32_t count(size_t unit) {
        uint32_t n = u32();
        if (unit && n > left() / unit) throw Malformed{};
        return n;
    }
    uint64_t fixed(int bytes) {
        if (left() < static_cast<size_t>(bytes)) throw Malformed{};
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= static_cast<uint64_t>(p[pos++]) << (8 * i);
        return v;
    }
    float f32() {
        uint32_t b = static_cast<uint32_t>(fixed(4));
        float v;
        std::memcpy(&v, &b, 4);
        return v;
    }
    double f64() {
        uint64_t b = fixed(8);
        double v;
        std::memcpy(&v, &b, 8);
        return v;
    }
    // Skips n bytes and answers where they start.
    uint32_t span(size_t n) {
        if (n > left()) throw Malformed{};
        uint32_t at = static_cast<uint32_t>(pos);
        pos += n;
        return at;
    }
};

// Struct type codes that can travel as plain bytes: scalars and structs of them, nothing that
// holds an address.
bool checkTypeCode(std::string_view code, size_t& i, int depth) {
    if (i >= code.size() || depth > 8) return false;
    char c = code[i];
    if (std::strchr("BcCsSiIlLqQfd", c)) {
        ++i;
        return true;
    }
    if (c != '{') return false;
    ++i;
    while (i < code.size() && (std::isalnum(static_cast<unsigned char>(code[i])) || code[i] == '_'))
        ++i;
    if (i >= code.size() || code[i] != '=') return false;
    ++i;
    while (i < code.size() && code[i] != '}') {
        if (!checkTypeCode(code, i, depth + 1)) return false;
    }
    if (i >= code.size()) return false;
    ++i;
    return true;
}
bool isPlainTypeCode(std::string_view code) {
    if (code.empty() || code.size() > 256) return false;
    size_t i = 0;
    return checkTypeCode(code, i, 0) && i == code.size();
}

// The process-wide class-name mappings of both directions.
struct ClassMaps {
    std::mutex lock;
    std::unordered_map<Class, std::string> namesForClasses;  // archiving
    std::unordered_map<std::string, Class> classesForNames;  // unarchiving
};
ClassMaps& classMaps() {
    static ClassMaps* maps = new ClassMaps();  // never destroyed: used by other static teardown
    return *maps;
}

[[noreturn]] void raiseIncomprehensible() {
    NSException::raise(NSInvalidArgumentException,
                       NS("*** -[NSKeyedUnarchiver initForReadingWithData:]: incomprehensible "
                          "archive"));
}

}  // namespace

// ---- archiving -------------------------------------------------------------------------------

struct NSKeyedArchiver::State {
    struct Field {
        uint32_t name;
        Writer bytes;  // kind and payload
    };
    struct FieldList {
        std::vector<Field> fields;
        std::unordered_map<uint32_t, size_t> byName;
    };

    Ref<NSMutableData> target;
    Ref<NSData> result;
    bool finished = false;

    std::vector<std::string> names;
    std::unordered_map<std::string, uint32_t> nameIndex;
    std::vector<std::string> records;                 // object number n at n-1
    std::unordered_map<NSObject*, uint32_t> numbers;  // by identity
    std::vector<Ref<NSObject>> kept;  // holds what was encoded, so no address is reused
    FieldList top;
    std::vector<FieldList*> stack{&top};
    int depth = 0;  // objects being written, one inside the other
    std::unordered_map<Class, std::string> classNames;

    uint32_t name(const std::string& s) {
        auto it = nameIndex.find(s);
        if (it != nameIndex.end()) return it->second;
        uint32_t n = static_cast<uint32_t>(names.size());
        names.push_back(s);
        nameIndex.emplace(s, n);
        return n;
    }

    // A field of the current object; encoding a key again replaces the earlier value.
    Writer& field(NSString* key) {
        FieldList& list = *stack.back();
        uint32_t n = name(key->utf8());
        auto it = list.byName.find(n);
        if (it != list.byName.end()) {
            list.fields[it->second].bytes.out.clear();
            return list.fields[it->second].bytes;
        }
        list.byName.emplace(n, list.fields.size());
        list.fields.push_back(Field{n, Writer{}});
        return list.fields.back().bytes;
    }

    std::string className(Class cls) {
        if (auto it = classNames.find(cls); it != classNames.end()) return it->second;
        {
            ClassMaps& m = classMaps();
            std::lock_guard<std::mutex> g(m.lock);
            if (auto it = m.namesForClasses.find(cls); it != m.namesForClasses.end())
                return it->second;
        }
        return cls->name();
    }

    static void writeFields(Writer& w, const FieldList& list) {
        w.varint(list.fields.size());
        for (const Field& f : list.fields) {
            w.varint(f.name);
            w.raw(f.bytes.out.data(), f.bytes.out.size());
        }
    }

    // The object's number, encoding it on first sight.
    uint32_t encode(NSKeyedArchiver* self, NSObject* obj) {
        if (!obj) return 0;
        if (auto it = numbers.find(obj); it != numbers.end()) return it->second;
        if (depth >= kMaxEncodeDepth) {
            NSException::raise(NSInvalidArchiveOperationException,
                               NS("*** -[NSKeyedArchiver encodeObject:forKey:]: objects nested "
                                  "too deeply"));
        }
        ++depth;
        struct Leave {
            int& depth;
            ~Leave() { --depth; }
        } leave{depth};
        // Numbered before its contents, so that references back to it find it.
        uint32_t number = static_cast<uint32_t>(records.size() + 1);
        records.emplace_back();
        numbers.emplace(obj, number);
        kept.emplace_back(obj);
        Writer w;
        write(self, obj, w);
        records[number - 1] = std::move(w.out);
        return number;
    }

    void writeElements(NSKeyedArchiver* self, Writer& w, bool isMutable,
                       const std::vector<NSObject*>& elements) {
        w.u8(isMutable ? kFlagMutable : 0);
        std::vector<uint32_t> refs;
        refs.reserve(elements.size());
        for (NSObject* e : elements)
            refs.push_back(encode(self, e));
        w.varint(elements.size());
        for (uint32_t r : refs)
            w.varint(r);
    }

    void write(NSKeyedArchiver* self, NSObject* obj, Writer& w) {
        // A class of our own that adopts the protocol codes itself, even when it derives from
        // a value class.
        if (auto* coding = dynamic_cast<NSCoding*>(obj)) {
            uint32_t cls = name(className(obj->getClass()));
            FieldList list;
            stack.push_back(&list);
            struct Pop {
                std::vector<FieldList*>& s;
                ~Pop() { s.pop_back(); }
            } pop{stack};
            coding->encodeWithCoder(self);
            w.u8(kCoded);
            w.varint(cls);
            writeFields(w, list);
            return;
        }
        if (auto* s = dynamic_cast<NSString*>(obj)) {
            std::u16string units = s->u16();
            bool wide = false;
            for (char16_t u : units)
                wide = wide || u >= 0x80;
            w.u8(kString);
            w.u8(static_cast<uint8_t>((is<NSMutableString>(obj) ? kFlagMutable : 0) |
                                      (wide ? kFlagWide : 0)));
            w.varint(units.size());
            for (char16_t u : units)
                w.fixed(u, wide ? 2 : 1);
            return;
        }
        if (auto* d = dynamic_cast<NSDecimalNumber*>(obj)) {
            std::string text = d->description()->utf8();
            w.u8(kDecimal);
            w.varint(text.size());
            w.raw(text.data(), text.size());
            return;
        }
        if (auto* n = dynamic_cast<NSNumber*>(obj)) {
            char type = n->isBoolean() ? 'B' : n->objCType()[0];
            if (!std::strchr(kNumberTypes, type)) type = 'q';
            w.u8(kNumber);
            w.u8(static_cast<uint8_t>(type));
            switch (type) {
                case 'f':
                    w.f32(n->floatValue());
                    break;
                case 'd':
                    w.f64(n->doubleValue());
                    break;
                case 'C':
                case 'S':
                case 'I':
                case 'Q':
                    w.varint(n->unsignedLongLongValue());
                    break;
                default:
                    w.varint(zigzag(n->longLongValue()));
                    break;
            }
            return;
        }
        if (auto* v = dynamic_cast<NSValue*>(obj)) {
            std::string type = v->objCType();
            if (!isPlainTypeCode(type) || sizeOfTypeCode(type) != v->byteSize()) {
                NSException::raise(NSInvalidArgumentException,
                                   NS("*** -[NSKeyedArchiver encodeValueOfObjCType:at:]: this "
                                      "archiver cannot encode values of type %s"),
                                   type.c_str());
            }
            std::vector<unsigned char> bytes(v->byteSize());
            if (!bytes.empty()) v->getValue(bytes.data());
            w.u8(kValue);
            w.varint(type.size());
            w.raw(type.data(), type.size());
            w.varint(bytes.size());
            w.raw(bytes.data(), bytes.size());
            return;
        }
        if (auto* d = dynamic_cast<NSData*>(obj)) {
            w.u8(kData);
            w.u8(is<NSMutableData>(obj) ? kFlagMutable : 0);
            w.varint(d->length());
            w.raw(d->bytes(), d->length());
            return;
        }
        if (auto* date = dynamic_cast<NSDate*>(obj)) {
            w.u8(kDate);
            w.f64(date->timeIntervalSinceReferenceDate());
            return;
        }
        if (auto* a = dynamic_cast<NSArray*>(obj)) {
            std::vector<NSObject*> elements;
            for (NSObject* e : *a)
                elements.push_back(e);
            w.u8(kArray);
            writeElements(self, w, is<NSMutableArray>(obj), elements);
            return;
        }
        if (auto* dict = dynamic_cast<NSDictionary*>(obj)) {
            // Keys and values are held for the walk: encoding may run code of the values.
            std::vector<Ref<NSObject>> keys, values;
            for (NSObject* k : *dict) {
                keys.emplace_back(k);
                values.push_back(dict->objectForKey(k));
            }
            std::vector<uint32_t> refs;
            for (size_t i = 0; i < keys.size(); ++i) {
                refs.push_back(encode(self, keys[i]));
                refs.push_back(encode(self, values[i]));
            }
            w.u8(kDictionary);
            w.u8(is<NSMutableDictionary>(obj) ? kFlagMutable : 0);
            w.varint(keys.size());
            for (uint32_t r : refs)
                w.varint(r);
            return;
        }
        if (auto* set = dynamic_cast<NSSet*>(obj)) {
            std::vector<Ref<NSObject>> held;
            for (NSObject* e : *set)
                held.emplace_back(e);
            std::vector<NSObject*> elements;
            for (auto& e : held)
                elements.push_back(e.get());
            w.u8(kSet);
            writeElements(self, w, is<NSMutableSet>(obj), elements);
            return;
        }
        if (is<NSNull>(obj)) {
            w.u8(kNull);
            return;
        }
        if (auto* url = dynamic_cast<NSURL*>(obj)) {
            Ref<NSString> relative = url->relativeString();
            Ref<NSURL> base = url->baseURL();
            uint32_t r = encode(self, relative);
            uint32_t b = encode(self, base);
            w.u8(kURL);
            w.varint(r);
            w.varint(b);
            return;
        }
        NSException::raise(NSInvalidArgumentException,
                           NS("-[%@ encodeWithCoder:]: unrecognized selector sent to instance %p"),
                           obj->className(), static_cast<void*>(obj));
    }

    Ref<NSData> finish() {
        Writer w;
        w.raw(kMagic, 4);
        w.u8(kFormatVersion);
        w.varint(names.size());
        for (const std::string& n : names) {
            w.varint(n.size());
            w.raw(n.data(), n.size());
        }
        w.varint(records.size());
        for (const std::string& r : records)
            w.raw(r.data(), r.size());
        writeFields(w, top);
        return NSData::dataWithBytes(w.out.data(), static_cast<NSUInteger>(w.out.size()));
    }
};

NSKeyedArchiver::NSKeyedArchiver() = default;
NSKeyedArchiver::~NSKeyedArchiver() = default;

NSKeyedArchiver::State& NSKeyedArchiver::state() {
    if (!s_) s_ = std::make_unique<State>();
    return *s_;
}

Ref<NSData> NSKeyedArchiver::archivedDataWithRootObject(NSObject* root) {
    Ref<NSKeyedArchiver> archiver = make<NSKeyedArchiver>();
    archiver->encodeRootObject(root);
    return archiver->encodedData();
}

bool NSKeyedArchiver::archiveRootObject(NSObject* root, NSString* path) {
    Ref<NSData> data = archivedDataWithRootObject(root);
    // An archive is one of the app's stores (see the property lists' writeFile).
    std::string target = path ? path->utf8() : std::string();
    return !target.empty() &&
           file_detail::writeFileAtomically(target, data->bytes(), data->length(), 0644, true,
                                            file_detail::Target::OwnStore);
}

bool NSKeyedArchiver::init() {
    s_ = std::make_unique<State>();
    return true;
}

bool NSKeyedArchiver::initForWritingWithMutableData(NSMutableData* data) {
    if (!data) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[NSKeyedArchiver initForWritingWithMutableData:]: data is "
                              "NULL"));
    }
    s_ = std::make_unique<State>();
    s_->target = data;
    return true;
}

void NSKeyedArchiver::encodeRootObject(NSObject* root) {
    encodeObject(root, NSKeyedArchiveRootObjectKey);
}

void NSKeyedArchiver::finishEncoding() {
    State& s = state();
    if (s.finished) return;
    s.finished = true;
    s.result = s.finish();
    if (s.target) s.target->appendData(s.result);
    // The graph is no longer needed once written.
    s.numbers.clear();
    s.kept.clear();
    s.records.clear();
}

Ref<NSData> NSKeyedArchiver::encodedData() {
    finishEncoding();
    return state().result;
}

void NSKeyedArchiver::setClassName(NSString* codedName, Class cls) {
    if (!cls) return;
    if (codedName)
        state().classNames[cls] = codedName->utf8();
    else
        state().classNames.erase(cls);
}

Ref<NSString> NSKeyedArchiver::classNameForClass(Class cls) {
    auto it = state().classNames.find(cls);
    return it == state().classNames.end() ? nullptr : NSString::fromUTF8(it->second);
}

void NSKeyedArchiver::setClassNameForClass(NSString* codedName, Class cls) {
    if (!cls) return;
    ClassMaps& m = classMaps();
    std::lock_guard<std::mutex> g(m.lock);
    if (codedName)
        m.namesForClasses[cls] = codedName->utf8();
    else
        m.namesForClasses.erase(cls);
}

namespace {
// The checks every encode makes.
void checkEncode(NSKeyedArchiver* self, NSKeyedArchiver::State& s, NSString* key,
                 const char* selector) {
    if (s.finished) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[%@ %s]: illegal to encode after finishEncoding"),
                           self->className(), selector);
    }
    if (!key) {
        NSException::raise(NSInvalidArgumentException, NS("*** -[%@ %s]: key is nil"),
                           self->className(), selector);
    }
}

// The field to write a keyed value into.
Writer& fieldFor(NSKeyedArchiver* self, NSKeyedArchiver::State& s, NSString* key,
                 const char* selector) {
    checkEncode(self, s, key, selector);
    return s.field(key);
}
}  // namespace

void NSKeyedArchiver::encodeObject(NSObject* object, NSString* key) {
    State& s = state();
    checkEncode(this, s, key, "encodeObject:forKey:");
    // The object is encoded before its field is made: a failure leaves no half-written field.
    uint32_t number = s.encode(this, object);
    Writer& w = s.field(key);
    w.u8(kFieldObject);
    w.varint(number);
}

void NSKeyedArchiver::encodeBool(bool value, NSString* key) {
    Writer& w = fieldFor(this, state(), key, "encodeBool:forKey:");
    w.u8(kFieldBool);
    w.u8(value ? 1 : 0);
}

void NSKeyedArchiver::encodeInt(int value, NSString* key) {
    encodeInt64(value, key);
}

void NSKeyedArchiver::encodeInt32(int32_t value, NSString* key) {
    encodeInt64(value, key);
}

void NSKeyedArchiver::encodeInt64(int64_t value, NSString* key) {
    Writer& w = fieldFor(this, state(), key, "encodeInt64:forKey:");
    w.u8(kFieldInt);
    w.varint(zigzag(value));
}

void NSKeyedArchiver::encodeInteger(NSInteger value, NSString* key) {
    encodeInt64(value, key);
}

void NSKeyedArchiver::encodeFloat(float value, NSString* key) {
    Writer& w = fieldFor(this, state(), key, "encodeFloat:forKey:");
    w.u8(kFieldFloat);
    w.f32(value);
}

void NSKeyedArchiver::encodeDouble(double value, NSString* key) {
    Writer& w = fieldFor(this, state(), key, "encodeDouble:forKey:");
    w.u8(kFieldDouble);
    w.f64(value);
}

void NSKeyedArchiver::encodeBytes(const uint8_t* bytes, NSUInteger length, NSString* key) {
    Writer& w = fieldFor(this, state(), key, "encodeBytes:length:forKey:");
    if (!bytes) length = 0;
    w.u8(kFieldBytes);
    w.varint(length);
    w.raw(bytes, length);
}

// ---- unarchiving -----------------------------------------------------------------------------

struct NSKeyedUnarchiver::State {
    struct Field {
        uint32_t name = 0;
        uint8_t kind = 0;
        int64_t i = 0;                // object number, boolean or integer
        double d = 0;                 // float or double
        uint32_t at = 0, length = 0;  // bytes in the buffer
    };
    using FieldList = std::vector<Field>;
    struct Record {
        uint8_t kind = 0;
        uint8_t flags = 0;
        char type = 0;                        // numbers
        uint32_t name = 0;                    // coded: class name
        FieldList fields;                     // coded
        std::vector<uint32_t> refs;           // containers; URL: relative, base
        uint32_t at = 0, length = 0;          // strings, data, decimals, struct bytes
        uint32_t typeAt = 0, typeLength = 0;  // struct type code
        int64_t i = 0;
        uint64_t u = 0;
        double d = 0;
    };
    enum Progress : uint8_t { kWaiting, kDecoding, kDone };

    Ref<NSData> data;  // a private copy: decoded bytes point into it
    const uint8_t* bytes = nullptr;
    std::vector<std::string> names;
    std::unordered_map<std::string, uint32_t> nameIndex;
    std::vector<Record> records;
    FieldList top;

    std::vector<Ref<NSObject>> objects;  // by object number - 1
    std::vector<uint8_t> progress;
    std::vector<const FieldList*> stack;
    int depth = 0;
    bool finished = false;
    std::unordered_map<std::string, Class> classes;

    // ---- reading the bytes ---------------------------------------------------------------

    void readFields(Reader& r, FieldList& list, uint32_t recordCount) {
        uint32_t n = r.count(3);
        list.reserve(n);
        for (uint32_t k = 0; k < n; ++k) {
            Field f;
            f.name = r.u32();
            if (f.name >= names.size()) throw Malformed{};
            f.kind = r.u8();
            switch (f.kind) {
                case kFieldObject: {
                    uint64_t number = r.varint();
                    if (number > recordCount) throw Malformed{};
                    f.i = static_cast<int64_t>(number);
                    break;
                }
                case kFieldBool:
                    f.i = r.u8();
                    if (f.i > 1) throw Malformed{};
                    break;
                case kFieldInt:
                    f.i = unzigzag(r.varint());
                    break;
                case kFieldFloat:
                    f.d = r.f32();
                    break;
                case kFieldDouble:
                    f.d = r.f64();
                    break;
                case kFieldBytes:
                    f.length = r.u32();
                    f.at = r.span(f.length);
                    break;
                default:
                    throw Malformed{};
            }
            list.push_back(f);
        }
    }

    void readRefs(Reader& r, Record& rec, uint32_t n, uint32_t recordCount) {
        rec.refs.reserve(n);
        for (uint32_t k = 0; k < n; ++k) {
            uint32_t number = r.u32();
            if (number == 0 || number > recordCount) throw Malformed{};
            rec.refs.push_back(number);
        }
    }

    void readRecord(Reader& r, Record& rec, uint32_t recordCount) {
        rec.kind = r.u8();
        switch (rec.kind) {
            case kCoded:
                rec.name = r.u32();
                if (rec.name >= names.size()) throw Malformed{};
                readFields(r, rec.fields, recordCount);
                break;
            case kString: {
                rec.flags = r.u8();
                if (rec.flags & ~(kFlagMutable | kFlagWide)) throw Malformed{};
                rec.length = r.u32();
                size_t unit = (rec.flags & kFlagWide) ? 2 : 1;
                if (rec.length > r.left() / unit) throw Malformed{};
                rec.at = r.span(rec.length * unit);
                break;
            }
            case kNumber:
                rec.type = static_cast<char>(r.u8());
                if (!rec.type || !std::strchr(kNumberTypes, rec.type)) throw Malformed{};
                if (rec.type == 'f')
                    rec.d = r.f32();
                else if (rec.type == 'd')
                    rec.d = r.f64();
                else if (std::strchr("CSIQ", rec.type))
                    rec.u = r.varint();
                else
                    rec.i = unzigzag(r.varint());
                if (rec.type == 'B' && rec.i != 0 && rec.i != 1) throw Malformed{};
                break;
            case kDecimal:
                rec.length = r.u32();
                rec.at = r.span(rec.length);
                break;
            case kData:
                rec.flags = r.u8();
                if (rec.flags & ~kFlagMutable) throw Malformed{};
                rec.length = r.u32();
                rec.at = r.span(rec.length);
                break;
            case kDate:
                rec.d = r.f64();
                break;
            case kArray:
            case kSet:
                rec.flags = r.u8();
                if (rec.flags & ~kFlagMutable) throw Malformed{};
                readRefs(r, rec, r.count(1), recordCount);
                break;
            case kDictionary: {
                rec.flags = r.u8();
                if (rec.flags & ~kFlagMutable) throw Malformed{};
                uint32_t pairs = r.count(2);
                readRefs(r, rec, pairs * 2, recordCount);
                break;
            }
            case kNull:
                break;
            case kURL: {
                uint32_t relative = r.u32();
                uint32_t base = r.u32();
                if (relative == 0 || relative > recordCount || base > recordCount)
                    throw Malformed{};
                rec.refs = {relative, base};
                break;
            }
            case kValue: {
                rec.typeLength = r.u32();
                rec.typeAt = r.span(rec.typeLength);
                std::string_view type(reinterpret_cast<const char*>(bytes + rec.typeAt),
                                      rec.typeLength);
                if (!isPlainTypeCode(type)) throw Malformed{};
                rec.length = r.u32();
                rec.at = r.span(rec.length);
                if (sizeOfTypeCode(type) != rec.length) throw Malformed{};
                break;
            }
            default:
                throw Malformed{};
        }
    }

    void read() {
        Reader r{bytes, data->length()};
        if (r.left() < 5 || std::memcmp(bytes, kMagic, 4) != 0) throw Malformed{};
        r.pos = 4;
        if (r.u8() != kFormatVersion) throw Malformed{};
        uint32_t nameCount = r.count(1);
        names.reserve(nameCount);
        for (uint32_t k = 0; k < nameCount; ++k) {
            uint32_t length = r.u32();
            uint32_t at = r.span(length);
            names.emplace_back(reinterpret_cast<const char*>(bytes + at), length);
            nameIndex.emplace(names.back(), k);  // the first of duplicate names wins
        }
        uint32_t recordCount = r.count(1);
        records.resize(recordCount);
        for (Record& rec : records)
            readRecord(r, rec, recordCount);
        readFields(r, top, recordCount);
        if (r.left() != 0) throw Malformed{};
        // The references of URLs must be of the kinds a URL is made of.
        for (const Record& rec : records) {
            if (rec.kind != kURL) continue;
            if (records[rec.refs[0] - 1].kind != kString) throw Malformed{};
            if (rec.refs[1] && records[rec.refs[1] - 1].kind != kURL) throw Malformed{};
        }
        objects.resize(recordCount);
        progress.assign(recordCount, kWaiting);
        stack.push_back(&top);
    }

    // ---- decoding ------------------------------------------------------------------------

    const Field* find(NSString* key) {
        if (!key || stack.empty()) return nullptr;
        auto it = nameIndex.find(key->utf8());
        if (it == nameIndex.end()) return nullptr;
        const FieldList& list = *stack.back();
        // The last value written under a key is the one that counts.
        for (auto f = list.rbegin(); f != list.rend(); ++f) {
            if (f->name == it->second) return &*f;
        }
        return nullptr;
    }

    std::string_view text(uint32_t at, uint32_t length) const {
        return {reinterpret_cast<const char*>(bytes + at), length};
    }

    Class classFor(const std::string& name) {
        if (auto it = classes.find(name); it != classes.end()) return it->second;
        {
            ClassMaps& m = classMaps();
            std::lock_guard<std::mutex> g(m.lock);
            if (auto it = m.classesForNames.find(name); it != m.classesForNames.end())
                return it->second;
        }
        return classNamed(name);
    }

    Ref<NSObject> decode(NSKeyedUnarchiver* self, uint32_t number) {
        if (number == 0) return nullptr;
        size_t k = number - 1;
        if (progress[k] == kDone) return objects[k];
        const Record& rec = records[k];
        if (progress[k] == kDecoding) {
            // A reference back into an object whose decoding is under way: an object of our
            // own is already made and is handed out as it is; a value object is not.
            if (rec.kind == kCoded) return objects[k];
            NSException::raise(NSInvalidUnarchiveOperationException,
                               NS("*** -[NSKeyedUnarchiver decodeObjectForKey:]: cannot decode "
                                  "a value object that contains itself"));
        }
        if (depth >= kMaxDecodeDepth) {
            NSException::raise(NSInvalidUnarchiveOperationException,
                               NS("*** -[NSKeyedUnarchiver decodeObjectForKey:]: objects nested "
                                  "too deeply"));
        }
        progress[k] = kDecoding;
        ++depth;
        // On a failure the object goes back to undecoded, so that a caller that catches the
        // exception and asks again sees the same failure rather than a half-made object.
        struct Leave {
            State& s;
            size_t k;
            ~Leave() {
                --s.depth;
                if (s.progress[k] != kDone) {
                    s.progress[k] = kWaiting;
                    s.objects[k] = nullptr;
                }
            }
        } leave{*this, k};
        Ref<NSObject> obj = rec.kind == kCoded ? decodeCoded(self, k) : decodeValue(self, rec);
        objects[k] = obj;
        progress[k] = kDone;
        return obj;
    }

    Ref<NSObject> decodeCoded(NSKeyedUnarchiver* self, size_t k) {
        const Record& rec = records[k];
        const std::string& name = names[rec.name];
        Class cls = classFor(name);
        Ref<NSObject> obj = cls ? cls->createInstance() : nullptr;
        NSCoding* coding = obj ? dynamic_cast<NSCoding*>(obj.get()) : nullptr;
        if (!coding) {
            NSException::raise(NSInvalidUnarchiveOperationException,
                               NS("*** -[NSKeyedUnarchiver decodeObjectForKey:]: cannot decode "
                                  "object of class (%s)"),
                               name.c_str());
        }
        objects[k] = obj;  // seen by references back to it while it decodes
        stack.push_back(&rec.fields);
        struct Pop {
            std::vector<const FieldList*>& s;
            ~Pop() { s.pop_back(); }
        } pop{stack};
        return coding->initWithCoder(self) ? obj : nullptr;
    }

    std::vector<Ref<NSObject>> elements(NSKeyedUnarchiver* self, const Record& rec,
                                        const char* className) {
        std::vector<Ref<NSObject>> out;
        out.reserve(rec.refs.size());
        for (uint32_t number : rec.refs) {
            Ref<NSObject> e = decode(self, number);
            if (!e) {
                NSException::raise(NSInvalidArgumentException,
                                   NS("*** -[%s initWithCoder:]: attempt to insert nil object"),
                                   className);
            }
            out.push_back(std::move(e));
        }
        return out;
    }

    Ref<NSObject> decodeValue(NSKeyedUnarchiver* self, const Record& rec) {
        bool isMutable = rec.flags & kFlagMutable;
        switch (rec.kind) {
            case kString: {
                std::u16string units(rec.length, u'\0');
                const uint8_t* p = bytes + rec.at;
                for (uint32_t k = 0; k < rec.length; ++k) {
                    units[k] = (rec.flags & kFlagWide)
                                   ? static_cast<char16_t>(p[2 * k] | (p[2 * k + 1] << 8))
                                   : static_cast<char16_t>(p[k]);
                }
                if (!isMutable) return NSString::adoptUnits(std::move(units));
                auto s = alloc<NSMutableString>();
                s->initWithCharacters(units.data(), static_cast<NSUInteger>(units.size()));
                return s;
            }
            case kNumber:
                return number(rec);
            case kDecimal:
                return NSDecimalNumber::decimalNumberWithString(
                    NSString::fromUTF8(text(rec.at, rec.length)));
            case kData:
                if (isMutable) return NSMutableData::dataWithBytes(bytes + rec.at, rec.length);
                return NSData::dataWithBytes(bytes + rec.at, rec.length);
            case kDate:
                return NSDate::dateWithTimeIntervalSinceReferenceDate(rec.d);
            case kArray: {
                auto items = elements(self, rec, isMutable ? "NSMutableArray" : "NSArray");
                if (isMutable) return NSMutableArray::arrayWithVector(std::move(items));
                return NSArray::arrayWithVector(std::move(items));
            }
            case kSet: {
                auto items = elements(self, rec, isMutable ? "NSMutableSet" : "NSSet");
                auto set = NSMutableSet::set();
                for (auto& e : items)
                    set->addObject(e);
                if (isMutable) return set;
                return NSSet::setWithSet(set);
            }
            case kDictionary: {
                const char* name = isMutable ? "NSMutableDictionary" : "NSDictionary";
                auto items = elements(self, rec, name);
                auto dict = NSMutableDictionary::dictionary();
                for (size_t k = 0; k + 1 < items.size(); k += 2)
                    dict->setObject(items[k + 1], items[k]);
                if (isMutable) return dict;
                return NSDictionary::dictionaryWithDictionary(dict);
            }
            case kNull:
                return NSNull::null();
            case kURL: {
                Ref<NSObject> relative = decode(self, rec.refs[0]);
                Ref<NSObject> base = decode(self, rec.refs[1]);
                return NSURL::URLWithString(cast<NSString>(relative), cast<NSURL>(base));
            }
            case kValue: {
                std::string type(text(rec.typeAt, rec.typeLength));
                return NSValue::valueWithBytes(bytes + rec.at, type.c_str());
            }
        }
        return nullptr;
    }

    static Ref<NSNumber> number(const Record& rec) {
        switch (rec.type) {
            case 'B':
                return NSNumber::numberWithBool(rec.i != 0);
            case 'c':
                return NSNumber::numberWithChar(static_cast<char>(rec.i));
            case 'C':
                return NSNumber::numberWithUnsignedChar(static_cast<unsigned char>(rec.u));
            case 's':
                return NSNumber::numberWithShort(static_cast<short>(rec.i));
            case 'S':
                return NSNumber::numberWithUnsignedShort(static_cast<unsigned short>(rec.u));
            case 'i':
                return NSNumber::numberWithInt(static_cast<int>(rec.i));
            case 'I':
                return NSNumber::numberWithUnsignedInt(static_cast<unsigned>(rec.u));
            case 'Q':
                return NSNumber::numberWithUnsignedLongLong(rec.u);
            case 'f':
                return NSNumber::numberWithFloat(static_cast<float>(rec.d));
            case 'd':
                return NSNumber::numberWithDouble(rec.d);
            default:
                return NSNumber::numberWithLongLong(rec.i);
        }
    }

    // ---- typed reads ---------------------------------------------------------------------

    // The number behind an object field; nil for a nil object, raises for anything else.
    Ref<NSNumber> numberField(NSKeyedUnarchiver* self, const Field& f, NSString* key,
                              const char* selector, const char* what) {
        Ref<NSObject> obj = decode(self, static_cast<uint32_t>(f.i));
        if (!obj) return nullptr;
        Ref<NSNumber> n = as<NSNumber>(obj);
        if (!n) {
            NSException::raise(NSInvalidUnarchiveOperationException,
                               NS("*** -[NSKeyedUnarchiver %s]: value for key (%@) is not %s"),
                               selector, key, what);
        }
        return n;
    }

    static int64_t doubleToInt64(double d, NSString* key, const char* selector) {
        // 2^63 is the first double past the range; NaN fails both comparisons.
        if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) {
            NSException::raise(NSRangeException,
                               NS("*** -[NSKeyedUnarchiver %s]: value (%g) for key (%@) too "
                                  "large to fit in 64-bit integer"),
                               selector, d, key);
        }
        return static_cast<int64_t>(d);
    }

    int64_t int64(NSKeyedUnarchiver* self, NSString* key, const char* selector) {
        const Field* f = find(key);
        if (!f) return 0;
        switch (f->kind) {
            case kFieldBool:
            case kFieldInt:
                return f->i;
            case kFieldFloat:
            case kFieldDouble:
                return doubleToInt64(f->d, key, selector);
            case kFieldObject: {
                Ref<NSNumber> n = numberField(self, *f, key, selector, "an integer number");
                if (!n) return 0;
                const char* type = n->objCType();
                if (is<NSDecimalNumber>(n) || *type == 'f' || *type == 'd')
                    return doubleToInt64(n->doubleValue(), key, selector);
                if (*type == 'Q' && n->unsignedLongLongValue() > INT64_MAX) {
                    NSException::raise(NSRangeException,
                                       NS("*** -[NSKeyedUnarchiver %s]: value (%llu) for key "
                                          "(%@) too large to fit in 64-bit integer"),
                                       selector, n->unsignedLongLongValue(), key);
                }
                return n->longLongValue();
            }
            default:
                NSException::raise(NSInvalidUnarchiveOperationException,
                                   NS("*** -[NSKeyedUnarchiver %s]: value for key (%@) is not "
                                      "an integer number"),
                                   selector, key);
        }
    }

    int32_t int32(NSKeyedUnarchiver* self, NSString* key, const char* selector) {
        int64_t v = int64(self, key, selector);
        if (v < INT32_MIN || v > INT32_MAX) {
            NSException::raise(NSRangeException,
                               NS("*** -[NSKeyedUnarchiver %s]: value (%lld) for key (%@) too "
                                  "large to fit in 32-bit integer"),
                               selector, static_cast<long long>(v), key);
        }
        return static_cast<int32_t>(v);
    }

    double real(NSKeyedUnarchiver* self, NSString* key, const char* selector) {
        const Field* f = find(key);
        if (!f) return 0;
        switch (f->kind) {
            case kFieldBool:
            case kFieldInt:
                return static_cast<double>(f->i);
            case kFieldFloat:
            case kFieldDouble:
                return f->d;
            case kFieldObject: {
                Ref<NSNumber> n = numberField(self, *f, key, selector, "a real number");
                return n ? n->doubleValue() : 0;
            }
            default:
                NSException::raise(NSInvalidUnarchiveOperationException,
                                   NS("*** -[NSKeyedUnarchiver %s]: value for key (%@) is not a "
                                      "real number"),
                                   selector, key);
        }
    }
};

NSKeyedUnarchiver::NSKeyedUnarchiver() = default;
NSKeyedUnarchiver::~NSKeyedUnarchiver() = default;

Ref<NSObject> NSKeyedUnarchiver::unarchiveObjectWithData(NSData* data) {
    Ref<NSKeyedUnarchiver> unarchiver =
        make<NSKeyedUnarchiver>(&NSKeyedUnarchiver::initForReadingWithData, data);
    Ref<NSObject> root = unarchiver->decodeObjectForKey(NSKeyedArchiveRootObjectKey);
    unarchiver->finishDecoding();
    return root;
}

Ref<NSObject> NSKeyedUnarchiver::unarchiveObjectWithFile(NSString* path) {
    Ref<NSData> data = NSData::dataWithContentsOfFile(path);
    if (!data) return nullptr;
    return unarchiveObjectWithData(data);
}

bool NSKeyedUnarchiver::initForReadingWithData(NSData* data) {
    if (!data) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[NSKeyedUnarchiver initForReadingWithData:]: data is NULL"));
    }
    auto s = std::make_unique<State>();
    if (s_) s->classes = std::move(s_->classes);  // mappings set before the data came
    // A private copy: the caller may change a mutable data while we still point into it.
    s->data = NSData::dataWithBytes(data->bytes(), data->length());
    s->bytes = static_cast<const uint8_t*>(s->data->bytes());
    try {
        s->read();
    } catch (Malformed&) {
        raiseIncomprehensible();
    }
    s_ = std::move(s);
    return true;
}

void NSKeyedUnarchiver::finishDecoding() {
    if (s_) s_->finished = true;
}

void NSKeyedUnarchiver::setClass(Class cls, NSString* codedName) {
    if (!codedName) return;
    if (!s_) s_ = std::make_unique<State>();
    if (cls)
        s_->classes[codedName->utf8()] = cls;
    else
        s_->classes.erase(codedName->utf8());
}

Class NSKeyedUnarchiver::classForClassName(NSString* codedName) {
    if (!codedName || !s_) return nullptr;
    auto it = s_->classes.find(codedName->utf8());
    return it == s_->classes.end() ? nullptr : it->second;
}

void NSKeyedUnarchiver::setClassForClassName(Class cls, NSString* codedName) {
    if (!codedName) return;
    ClassMaps& m = classMaps();
    std::lock_guard<std::mutex> g(m.lock);
    if (cls)
        m.classesForNames[codedName->utf8()] = cls;
    else
        m.classesForNames.erase(codedName->utf8());
}

bool NSKeyedUnarchiver::containsValueForKey(NSString* key) {
    return s_ && s_->find(key) != nullptr;
}

Ref<NSObject> NSKeyedUnarchiver::decodeObjectForKey(NSString* key) {
    const State::Field* f = s_ ? s_->find(key) : nullptr;
    if (!f) return nullptr;
    switch (f->kind) {
        case kFieldObject:
            return s_->decode(this, static_cast<uint32_t>(f->i));
        case kFieldBool:
            return NSNumber::numberWithBool(f->i != 0);
        case kFieldInt:
            return NSNumber::numberWithLongLong(f->i);
        case kFieldFloat:
            return NSNumber::numberWithFloat(static_cast<float>(f->d));
        case kFieldDouble:
            return NSNumber::numberWithDouble(f->d);
        case kFieldBytes:
            return NSData::dataWithBytes(s_->bytes + f->at, f->length);
    }
    return nullptr;
}

bool NSKeyedUnarchiver::decodeBoolForKey(NSString* key) {
    const State::Field* f = s_ ? s_->find(key) : nullptr;
    if (!f) return false;
    switch (f->kind) {
        case kFieldBool:
        case kFieldInt:
            return f->i != 0;
        case kFieldFloat:
        case kFieldDouble:
            return f->d != 0;
        case kFieldObject: {
            Ref<NSNumber> n = s_->numberField(this, *f, key, "decodeBoolForKey:", "a boolean");
            return n && n->boolValue();
        }
        default:
            NSException::raise(NSInvalidUnarchiveOperationException,
                               NS("*** -[NSKeyedUnarchiver decodeBoolForKey:]: value for key "
                                  "(%@) is not a boolean"),
                               key);
    }
}

int NSKeyedUnarchiver::decodeIntForKey(NSString* key) {
    return s_ ? s_->int32(this, key, "decodeIntForKey:") : 0;
}

int32_t NSKeyedUnarchiver::decodeInt32ForKey(NSString* key) {
    return s_ ? s_->int32(this, key, "decodeInt32ForKey:") : 0;
}

int64_t NSKeyedUnarchiver::decodeInt64ForKey(NSString* key) {
    return s_ ? s_->int64(this, key, "decodeInt64ForKey:") : 0;
}

NSInteger NSKeyedUnarchiver::decodeIntegerForKey(NSString* key) {
    return s_ ? s_->int32(this, key, "decodeIntegerForKey:") : 0;
}

float NSKeyedUnarchiver::decodeFloatForKey(NSString* key) {
    if (!s_) return 0;
    double d = s_->real(this, key, "decodeFloatForKey:");
    if (std::isfinite(d) && std::fabs(d) > FLT_MAX) {
        NSException::raise(NSRangeException,
                           NS("*** -[NSKeyedUnarchiver decodeFloatForKey:]: value (%g) for key "
                              "(%@) too large to fit in float"),
                           d, key);
    }
    return static_cast<float>(d);
}

double NSKeyedUnarchiver::decodeDoubleForKey(NSString* key) {
    return s_ ? s_->real(this, key, "decodeDoubleForKey:") : 0;
}

const uint8_t* NSKeyedUnarchiver::decodeBytesForKey(NSString* key, NSUInteger* length) {
    if (length) *length = 0;
    const State::Field* f = s_ ? s_->find(key) : nullptr;
    if (!f) return nullptr;
    if (f->kind == kFieldBytes) {
        if (length) *length = f->length;
        return s_->bytes + f->at;
    }
    if (f->kind == kFieldObject) {
        Ref<NSObject> obj = s_->decode(this, static_cast<uint32_t>(f->i));
        if (!obj) return nullptr;
        // The data stays alive in the table of decoded objects as long as we do.
        if (auto d = as<NSData>(obj)) {
            if (length) *length = d->length();
            return static_cast<const uint8_t*>(d->bytes());
        }
    }
    NSException::raise(NSInvalidUnarchiveOperationException,
                       NS("*** -[NSKeyedUnarchiver decodeBytesForKey:returnedLength:]: value for "
                          "key (%@) is not a byte string"),
                       key);
}
