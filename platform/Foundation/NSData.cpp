#include "Foundation/NSData.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Foundation/FileSupport.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"

namespace {

// A range within a data of the given length, or NSRangeException naming the method.
void checkRange(const char* method, NSRange r, NSUInteger length) {
    if (r.location > length || r.length > length - r.location) {
        NSException::raise(NSRangeException,
                           NS("-[NSData %s]: range {%u, %u} exceeds data length %u"), method,
                           r.location, r.length, length);
    }
}

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(char16_t c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool isBase64Space(char16_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

// ---- creation ------------------------------------------------------------------------------

NSData::~NSData() {
    if (freeWhenDone_) std::free(bytes_);
}

void NSData::assignBytes(const void* bytes, NSUInteger length) {
    unsigned char* copy = nullptr;
    if (length > 0) {
        copy = static_cast<unsigned char*>(std::malloc(length));
        if (!copy) NSException::raise(NSMallocException, NS("out of memory for %u bytes"), length);
        if (bytes) {
            std::memcpy(copy, bytes, length);
        } else {
            std::memset(copy, 0, length);
        }
    }
    if (freeWhenDone_) std::free(bytes_);
    bytes_ = copy;
    length_ = length;
    capacity_ = length;
    freeWhenDone_ = true;
}

Ref<NSData> NSData::data() {
    return make<NSData>();
}

Ref<NSData> NSData::dataWithBytes(const void* bytes, NSUInteger length) {
    return make<NSData>(&NSData::initWithBytes, bytes, length);
}

Ref<NSData> NSData::dataWithBytesNoCopy(void* bytes, NSUInteger length, bool freeWhenDone) {
    return make<NSData>(&NSData::initWithBytesNoCopy, bytes, length, freeWhenDone);
}

Ref<NSData> NSData::dataWithData(NSData* data) {
    return make<NSData>(&NSData::initWithData, data);
}

Ref<NSData> NSData::dataWithContentsOfFile(NSString* path) {
    return make<NSData>(&NSData::initWithContentsOfFile, path);
}

bool NSData::initWithBytes(const void* bytes, NSUInteger length) {
    assignBytes(bytes, length);
    return true;
}

bool NSData::initWithBytesNoCopy(void* bytes, NSUInteger length, bool freeWhenDone) {
    if (freeWhenDone_) std::free(bytes_);
    bytes_ = static_cast<unsigned char*>(bytes);
    length_ = bytes ? length : 0;
    capacity_ = freeWhenDone ? length_ : 0;
    freeWhenDone_ = freeWhenDone;
    return true;
}

bool NSData::initWithData(NSData* data) {
    if (data) {
        assignBytes(data->bytes_, data->length_);
    } else {
        assignBytes(nullptr, 0);
    }
    return true;
}

bool NSData::initWithContentsOfFile(NSString* path) {
    if (!path) return false;
    int fd = ::open(path->utf8().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string buf;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        buf.reserve(static_cast<size_t>(st.st_size));
    }
    char chunk[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (n == 0) break;
        buf.append(chunk, static_cast<size_t>(n));
        if (buf.size() > NSUIntegerMax) {
            ok = false;
            break;
        }
    }
    ::close(fd);
    if (!ok) return false;
    assignBytes(buf.data(), static_cast<NSUInteger>(buf.size()));
    return true;
}

bool NSData::initWithBase64EncodedString(NSString* base64) {
    return initWithBase64EncodedString(base64, 0);
}

bool NSData::initWithBase64EncodedString(NSString* base64, NSDataBase64DecodingOptions options) {
    if (!base64) return false;
    std::u16string text = base64->u16();
    std::string out;
    out.reserve(text.size() / 4 * 3);
    unsigned acc = 0;
    int bits = 0;
    size_t symbols = 0;  // alphabet characters and padding, which must come in fours
    size_t padding = 0;
    for (char16_t c : text) {
        if (c == '=') {
            ++padding;
            ++symbols;
            continue;
        }
        int v = base64Value(c);
        if (v < 0) {
            if (isBase64Space(c) || (options & NSDataBase64DecodingIgnoreUnknownCharacters))
                continue;
            return false;
        }
        if (padding > 0) return false;  // data after the padding
        ++symbols;
        acc = (acc << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xFF));
        }
    }
    if (symbols % 4 != 0 || padding > 2) return false;
    // One leftover symbol in a group of four (xxx= is fine, x=== is not) cannot be decoded.
    if ((symbols - padding) % 4 == 1) return false;
    assignBytes(out.data(), static_cast<NSUInteger>(out.size()));
    return true;
}

// ---- files ---------------------------------------------------------------------------------

bool file_detail::writeDataAtomically(NSData* data, NSString* path, Target kind) {
    if (!data || !path) return false;
    std::string target = path->utf8();
    if (target.empty()) return false;
    return writeFileAtomically(target, data->bytes(), data->length(), 0644, true, kind);
}

bool NSData::writeToFile(NSString* path, bool atomically) {
    if (atomically)
        return file_detail::writeDataAtomically(this, path, file_detail::Target::AnyFile);
    if (!path) return false;
    std::string target = path->utf8();
    if (target.empty()) return false;
    int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = file_detail::writeAll(fd, bytes_, length_);
    ok = (::close(fd) == 0) && ok;
    return ok;
}

// ---- access --------------------------------------------------------------------------------

void NSData::getBytes(void* buffer, NSUInteger length) {
    NSUInteger n = std::min(length, length_);
    if (n > 0) std::memcpy(buffer, bytes_, n);
}

void NSData::getBytes(void* buffer, NSRange range) {
    checkRange("getBytes:range:", range, length_);
    if (range.length > 0) std::memcpy(buffer, bytes_ + range.location, range.length);
}

Ref<NSData> NSData::subdataWithRange(NSRange range) {
    checkRange("subdataWithRange:", range, length_);
    return dataWithBytes(bytes_ + range.location, range.length);
}

NSRange NSData::rangeOfData(NSData* dataToFind, NSDataSearchOptions options, NSRange searchRange) {
    if (!dataToFind) {
        NSException::raise(NSInvalidArgumentException,
                           NS("-[NSData rangeOfData:options:range:]: nil data argument"));
    }
    checkRange("rangeOfData:options:range:", searchRange, length_);
    const NSRange notFound{static_cast<NSUInteger>(NSNotFound), 0};
    NSUInteger n = dataToFind->length_;
    if (n == 0 || n > searchRange.length) return notFound;
    const unsigned char* base = bytes_ + searchRange.location;
    const unsigned char* needle = dataToFind->bytes_;
    NSUInteger last = searchRange.length - n;  // the last start that fits
    bool backwards = options & NSDataSearchBackwards;
    bool anchored = options & NSDataSearchAnchored;
    auto matchAt = [&](NSUInteger i) { return std::memcmp(base + i, needle, n) == 0; };
    if (anchored) {
        NSUInteger at = backwards ? last : 0;
        return matchAt(at) ? NSRange{searchRange.location + at, n} : notFound;
    }
    if (backwards) {
        for (NSUInteger i = last + 1; i-- > 0;) {
            if (matchAt(i)) return NSRange{searchRange.location + i, n};
        }
        return notFound;
    }
    const unsigned char* end = base + searchRange.length;
    const unsigned char* hit = std::search(base, end, needle, needle + n);
    if (hit == end) return notFound;
    return NSRange{searchRange.location + static_cast<NSUInteger>(hit - base), n};
}

// ---- comparison and text -------------------------------------------------------------------

bool NSData::isEqualToData(NSData* other) {
    if (!other) return false;
    if (other == this) return true;
    return other->length_ == length_ &&
           (length_ == 0 || std::memcmp(bytes_, other->bytes_, length_) == 0);
}

bool NSData::isEqual(NSObject* other) {
    auto* d = dynamic_cast<NSData*>(other);
    return d && isEqualToData(d);
}

// Only the first 80 bytes take part, as on the platform: hashing a large blob stays cheap.
NSUInteger NSData::hash() {
    uint32_t h = 2166136261u ^ length_;
    NSUInteger n = std::min<NSUInteger>(length_, 80);
    for (NSUInteger i = 0; i < n; ++i)
        h = (h ^ bytes_[i]) * 16777619u;
    return h;
}

Ref<NSString> NSData::description() {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(2 + length_ * 2 + length_ / 4);
    s += '<';
    for (NSUInteger i = 0; i < length_; ++i) {
        if (i && i % 4 == 0) s += ' ';
        s += digits[bytes_[i] >> 4];
        s += digits[bytes_[i] & 15];
    }
    s += '>';
    return NSString::fromUTF8(s);
}

Ref<NSString> NSData::base64EncodedString() {
    return base64EncodedStringWithOptions(0);
}

Ref<NSString> NSData::base64EncodedStringWithOptions(NSDataBase64EncodingOptions options) {
    size_t lineLength = 0;
    if (options & NSDataBase64Encoding64CharacterLineLength) lineLength = 64;
    if (options & NSDataBase64Encoding76CharacterLineLength) lineLength = 76;
    std::string eol;
    if (options & NSDataBase64EncodingEndLineWithCarriageReturn) eol += '\r';
    if (options & NSDataBase64EncodingEndLineWithLineFeed) eol += '\n';
    if (eol.empty()) eol = "\r\n";

    std::string out;
    out.reserve((length_ + 2) / 3 * 4);
    size_t column = 0;
    auto put = [&](char c) {
        if (lineLength && column == lineLength) {
            out += eol;
            column = 0;
        }
        out += c;
        ++column;
    };
    NSUInteger i = 0;
    for (; i + 2 < length_; i += 3) {
        unsigned v = (bytes_[i] << 16) | (bytes_[i + 1] << 8) | bytes_[i + 2];
        put(kBase64[v >> 18]);
        put(kBase64[(v >> 12) & 63]);
        put(kBase64[(v >> 6) & 63]);
        put(kBase64[v & 63]);
    }
    if (i < length_) {
        unsigned v = bytes_[i] << 16;
        if (i + 1 < length_) v |= bytes_[i + 1] << 8;
        put(kBase64[v >> 18]);
        put(kBase64[(v >> 12) & 63]);
        put(i + 1 < length_ ? kBase64[(v >> 6) & 63] : '=');
        put('=');
    }
    return NSString::fromUTF8(out);
}

// ---- copying -------------------------------------------------------------------------------

Ref<NSObject> NSData::copyWithZone() {
    return Ref<NSObject>(this);
}

Ref<NSObject> NSData::mutableCopyWithZone() {
    return Ref<NSObject>(NSMutableData::dataWithData(this));
}

Ref<NSData> NSData::copy() {
    return cast<NSData>(copyWithZone());
}

Ref<NSMutableData> NSData::mutableCopy() {
    return cast<NSMutableData>(mutableCopyWithZone());
}

// ---- NSMutableData -------------------------------------------------------------------------

Ref<NSMutableData> NSMutableData::data() {
    return make<NSMutableData>();
}

Ref<NSMutableData> NSMutableData::dataWithLength(NSUInteger length) {
    return make<NSMutableData>(&NSMutableData::initWithLength, length);
}

Ref<NSMutableData> NSMutableData::dataWithCapacity(NSUInteger capacity) {
    return make<NSMutableData>(&NSMutableData::initWithCapacity, capacity);
}

Ref<NSMutableData> NSMutableData::dataWithBytes(const void* bytes, NSUInteger length) {
    return make<NSMutableData>(&NSData::initWithBytes, bytes, length);
}

Ref<NSMutableData> NSMutableData::dataWithData(NSData* data) {
    return make<NSMutableData>(&NSData::initWithData, data);
}

Ref<NSMutableData> NSMutableData::dataWithContentsOfFile(NSString* path) {
    return make<NSMutableData>(&NSData::initWithContentsOfFile, path);
}

bool NSMutableData::initWithLength(NSUInteger length) {
    setLength(length);
    return true;
}

bool NSMutableData::initWithCapacity(NSUInteger capacity) {
    reserve(capacity);
    return true;
}

void NSMutableData::reserve(NSUInteger capacity) {
    if (freeWhenDone_ && capacity_ >= capacity && (bytes_ || capacity == 0)) return;
    size_t want = capacity;
    if (freeWhenDone_ && capacity > capacity_) {
        // Grow geometrically so that repeated appends stay linear.
        want = std::max<size_t>(capacity, static_cast<size_t>(capacity_) * 3 / 2);
        want = std::min<size_t>(want, NSUIntegerMax);
    }
    if (want == 0) want = 1;
    unsigned char* p;
    if (freeWhenDone_) {
        p = static_cast<unsigned char*>(std::realloc(bytes_, want));
    } else {
        // A buffer the data does not own is never written: take a private copy first.
        p = static_cast<unsigned char*>(std::malloc(want));
        if (p && length_) std::memcpy(p, bytes_, length_);
    }
    if (!p) NSException::raise(NSMallocException, NS("out of memory for %u bytes"), capacity);
    bytes_ = p;
    capacity_ = static_cast<NSUInteger>(want);
    freeWhenDone_ = true;
}

void* NSMutableData::mutableBytes() {
    if (!freeWhenDone_ && bytes_) reserve(length_);
    return bytes_;
}

void NSMutableData::appendBytes(const void* bytes, NSUInteger length) {
    if (length == 0) return;
    // Writers append many small fields: bytes from elsewhere that fit the room already owned go
    // straight in.
    const auto* src = static_cast<const unsigned char*>(bytes);
    if (src && freeWhenDone_ && bytes_ && length <= capacity_ - length_ &&
        (src + length <= bytes_ || src >= bytes_ + capacity_)) {
        std::memcpy(bytes_ + length_, src, length);
        length_ += length;
        return;
    }
    replaceBytesInRange(NSRange{length_, 0}, bytes, length);
}

void NSMutableData::appendData(NSData* data) {
    if (data) appendBytes(data->bytes(), data->length());
}

void NSMutableData::setLength(NSUInteger length) {
    if (length > length_) {
        reserve(length);
        std::memset(bytes_ + length_, 0, length - length_);
    }
    length_ = length;
}

void NSMutableData::increaseLengthBy(NSUInteger extraLength) {
    if (extraLength > NSUIntegerMax - length_) {
        NSException::raise(NSMallocException,
                           NS("-[NSMutableData increaseLengthBy:]: length overflow"));
    }
    setLength(length_ + extraLength);
}

void NSMutableData::replaceBytesInRange(NSRange range, const void* bytes) {
    replaceBytesInRange(range, bytes, range.length);
}

void NSMutableData::replaceBytesInRange(NSRange range, const void* bytes,
                                        NSUInteger replacementLength) {
    if (range.location > length_) {
        NSException::raise(NSRangeException,
                           NS("-[NSMutableData replaceBytesInRange:withBytes:length:]: range {%u, "
                              "%u} exceeds data length %u"),
                           range.location, range.length, length_);
    }
    // A range running past the end replaces the tail; the data grows to fit.
    NSUInteger replaced = std::min(range.length, length_ - range.location);
    NSUInteger newLength = length_ - replaced + replacementLength;
    if (replacementLength > replaced && newLength < length_) {
        NSException::raise(NSMallocException,
                           NS("-[NSMutableData replaceBytesInRange:]: length overflow"));
    }
    // The source may lie inside this buffer (appending a data to itself): keep it by offset
    // across a reallocation, or take it aside when the move would overwrite it.
    const unsigned char* src = static_cast<const unsigned char*>(bytes);
    std::string aside;
    if (src && bytes_ && src >= bytes_ && src < bytes_ + std::max(capacity_, length_)) {
        aside.assign(reinterpret_cast<const char*>(src), replacementLength);
        src = reinterpret_cast<const unsigned char*>(aside.data());
    }
    reserve(newLength);
    NSUInteger tail = length_ - range.location - replaced;
    if (tail > 0 && replacementLength != replaced) {
        std::memmove(bytes_ + range.location + replacementLength,
                     bytes_ + range.location + replaced, tail);
    }
    if (replacementLength > 0) {
        // Null bytes mean zeroes.
        if (src) {
            std::memcpy(bytes_ + range.location, src, replacementLength);
        } else {
            std::memset(bytes_ + range.location, 0, replacementLength);
        }
    }
    length_ = newLength;
}

void NSMutableData::resetBytesInRange(NSRange range) {
    replaceBytesInRange(range, nullptr, range.length);
}

void NSMutableData::setData(NSData* data) {
    if (data == this) return;
    if (!data) {
        setLength(0);
        return;
    }
    replaceBytesInRange(NSRange{0, length_}, data->bytes(), data->length());
}

Ref<NSObject> NSMutableData::copyWithZone() {
    return Ref<NSObject>(NSData::dataWithData(this));
}
