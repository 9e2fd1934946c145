#include "json/ZJSONScanner.h"

#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"

NSString* const ZJSONScannerErrorDomain = NS("ZJSONScannerErrorDomain");

namespace {

NSString* errorText(NSInteger code) {
    switch (code) {
        case -1:
            return NS(
                "Could not scan dictionary. Dictionary that does not start with '{' "
                "character.");
        case -2:
            return NS("Could not scan dictionary. Failed to scan a key.");
        case -3:
            return NS("Could not scan dictionary. Key was not terminated with a ':' character.");
        case -4:
            return NS("Could not scan dictionary. Failed to scan a value.");
        case -5:
            return NS(
                "Could not scan dictionary. Key value pairs not delimited with a ',' "
                "character.");
        case -6:
            return NS("Could not scan dictionary. Dictionary not terminated by a '}' character.");
        case -7:
            return NS("Could not scan array. Array that does not start with '[' character.");
        case -8:
            return NS("Could not scan array. Could not scan a value.");
        case -9:
        case -10:
            return NS("Could not scan array. Array not terminated by a ']' character.");
        case -11:
            return NS("Could not scan string constant. String not started by a '\"' character.");
        case -12:
            return NS("Could not scan string constant. Unicode character could not be decoded.");
        case -13:
            return NS("Could not scan string constant. Unknown escape code.");
        default:
            return NS("Could not scan number constant.");
    }
}

void setError(Ref<NSError>* error, NSInteger code) {
    if (!error) return;
    auto info = NSDictionary::dictionaryWithObject(errorText(code), NSLocalizedDescriptionKey);
    *error = NSError::errorWithDomain(ZJSONScannerErrorDomain, code, info);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The data as UTF-8. The encoding shows in a byte order mark or, as JSON text starts with two
// ASCII characters, in the pattern of zero bytes among the first four. nil when the data does
// not decode in the encoding it shows.
Ref<NSData> utf8Data(NSData* data) {
    if (!data) return nullptr;
    const auto* b = static_cast<const uint8_t*>(data->bytes());
    NSUInteger n = data->length();
    NSStringEncoding encoding = 0;
    NSUInteger skip = 0;
    if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        return data->subdataWithRange(NSMakeRange(3, n - 3));
    } else if (n >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) {
        encoding = NSUTF32LittleEndianStringEncoding;
        skip = 4;
    } else if (n >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF) {
        encoding = NSUTF32BigEndianStringEncoding;
        skip = 4;
    } else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        encoding = NSUTF16LittleEndianStringEncoding;
        skip = 2;
    } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        encoding = NSUTF16BigEndianStringEncoding;
        skip = 2;
    } else if (n >= 4) {
        if (b[0] != 0 && b[1] == 0 && b[3] == 0) {
            encoding = b[2] ? NSUTF16LittleEndianStringEncoding : NSUTF32LittleEndianStringEncoding;
        } else if (b[0] == 0 && b[2] == 0 && b[3] != 0) {
            encoding = b[1] ? NSUTF16BigEndianStringEncoding : NSUTF32BigEndianStringEncoding;
        }
    }
    if (!encoding) return data;
    auto text = make<NSString>(&NSString::initWithBytes, static_cast<const void*>(b + skip),
                               n - skip, encoding);
    return text ? text->dataUsingEncoding(NSUTF8StringEncoding) : nullptr;
}

// Counts one level of nesting for as long as a dictionary or array is being scanned.
class DepthGuard {
public:
    explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& depth_;
};

}  // namespace

Ref<ZJSONScanner> ZJSONScanner::scannerWithData(NSData* data) {
    auto scanner = make<ZJSONScanner>();
    scanner->setData(data);
    return scanner;
}

void ZJSONScanner::setData(NSData* data) {
    ZDataScanner::setData(utf8Data(data));
}

bool ZJSONScanner::scanJSONObject(Ref<NSObject>* object, Ref<NSError>* error) {
    skipWhitespace();
    Ref<NSObject> value;
    bool ok = true;
    switch (currentCharacter()) {
        case '{': {
            Ref<NSDictionary> d;
            ok = scanJSONDictionary(&d, error);
            value = d;
            break;
        }
        case '[': {
            Ref<NSArray> a;
            ok = scanJSONArray(&a, error);
            value = a;
            break;
        }
        case '"':
        case '\'': {
            Ref<NSString> s;
            ok = scanJSONStringConstant(&s, error);
            value = s;
            break;
        }
        case '-':
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9': {
            Ref<NSNumber> n;
            ok = scanJSONNumberConstant(&n, error);
            value = n;
            break;
        }
        case 't':
            if (scanUTF8String("true", nullptr)) value = NSNumber::numberWithBool(true);
            break;
        case 'f':
            if (scanUTF8String("false", nullptr)) value = NSNumber::numberWithBool(false);
            break;
        case 'n':
            if (scanUTF8String("null", nullptr)) value = NSNull::null();
            break;
        default:
            break;  // no value starts here: nothing, and no error
    }
    if (object) *object = ok ? value : nullptr;
    return ok;
}

bool ZJSONScanner::scanJSONDictionary(Ref<NSDictionary>* dictionary, Ref<NSError>* error) {
    const uint8_t* begin = current_;
    auto fail = [&](NSInteger code) {
        current_ = begin;
        setError(error, code);
        return false;
    };
    if (!scanCharacter('{')) return fail(-1);
    if (depth_ >= kMaximumDepth) return fail(-4);  // too deep: a value that cannot be scanned
    DepthGuard guard(depth_);

    auto result = NSMutableDictionary::dictionary();
    while (currentCharacter() != '}') {
        skipWhitespace();
        if (currentCharacter() == '}') break;
        Ref<NSString> key;
        if (!scanJSONStringConstant(&key, nullptr)) return fail(-2);
        skipWhitespace();
        if (!scanCharacter(':')) return fail(-3);
        Ref<NSObject> value;
        if (!scanJSONObject(&value, nullptr)) return fail(-4);
        // As key-value setting: a later equal key replaces, a missing value removes.
        if (value) {
            result->setObject(value, key);
        } else {
            result->removeObjectForKey(key);
        }
        skipWhitespace();
        if (scanCharacter(',')) {
            skipWhitespace();
        } else if (currentCharacter() == '}') {
            break;
        } else {
            return fail(-5);
        }
    }
    if (!scanCharacter('}')) return fail(-6);
    if (dictionary) *dictionary = result->copy();
    return true;
}

bool ZJSONScanner::scanJSONArray(Ref<NSArray>* array, Ref<NSError>* error) {
    const uint8_t* begin = current_;
    auto fail = [&](NSInteger code) {
        current_ = begin;
        setError(error, code);
        return false;
    };
    if (!scanCharacter('[')) return fail(-7);
    if (depth_ >= kMaximumDepth) return fail(-8);  // too deep: a value that cannot be scanned
    DepthGuard guard(depth_);

    auto result = NSMutableArray::array();
    skipWhitespace();
    while (currentCharacter() != ']') {
        Ref<NSObject> value;
        // An element that starts no value (a stray comma, an unknown word, the end of the
        // data) is an error: dropping it would shift every later element.
        if (!scanJSONObject(&value, nullptr) || !value) return fail(-8);
        result->addObject(value);
        skipWhitespace();
        bool comma = scanCharacter(',');
        skipWhitespace();
        if (!comma) {
            if (currentCharacter() == ']') break;
            return fail(-9);
        }
    }
    skipWhitespace();
    if (!scanCharacter(']')) return fail(-10);
    if (array) *array = result->copy();
    return true;
}

bool ZJSONScanner::scanJSONStringConstant(Ref<NSString>* string, Ref<NSError>* error) {
    const uint8_t* begin = current_;
    auto fail = [&](NSInteger code) {
        current_ = begin;
        setError(error, code);
        return false;
    };
    skipWhitespace();
    if (!scanCharacter('"')) return fail(-11);

    // Most strings are one run of plain bytes: that run's string is the result as it is.
    Ref<NSString> first;
    std::u16string units;
    bool joined = false;
    auto join = [&] {
        if (!joined) {
            if (first) units = first->u16();
            first = nullptr;
            joined = true;
        }
    };
    while (!scanCharacter('"')) {
        if (current_ >= end_) return fail(-11);  // the data ends inside the string
        if (currentCharacter() != '\\') {
            Ref<NSString> run;
            // Bytes that are not UTF-8 fail the string rather than vanish from it.
            if (!scanNotQuoteCharactersIntoString(&run)) return fail(-11);
            if (!joined && !first) {
                first = run;
            } else {
                join();
                units.append(run->u16());
            }
            continue;
        }
        ++current_;
        char16_t unit;
        switch (scanCharacter()) {
            case '"':
                unit = u'"';
                break;
            case '/':
                unit = u'/';
                break;
            case '\\':
                unit = u'\\';
                break;
            case 'b':
                unit = 0x08;
                break;
            case 'f':
                unit = 0x0C;
                break;
            case 'n':
                unit = 0x0A;
                break;
            case 'r':
                unit = 0x0D;
                break;
            case 't':
                unit = 0x09;
                break;
            case 'u': {
                unsigned value = 0;
                for (int i = 0; i < 4; ++i) {
                    int digit = hexDigit(currentCharacter());
                    if (digit < 0) return fail(-12);  // 0 at the end is no digit either
                    ++current_;
                    value = (value << 4) | static_cast<unsigned>(digit);
                }
                unit = static_cast<char16_t>(value);
                break;
            }
            default:
                return fail(-13);
        }
        join();
        units.push_back(unit);
    }
    if (string) {
        if (joined) {
            *string = NSString::adoptUnits(std::move(units));
        } else {
            *string = first ? first : NSString::string();
        }
    }
    return true;
}

bool ZJSONScanner::scanJSONNumberConstant(Ref<NSNumber>* number, Ref<NSError>* error) {
    if (scanNumber(number)) return true;
    setError(error, -14);
    return false;
}

bool ZJSONScanner::scanNotQuoteCharactersIntoString(Ref<NSString>* string) {
    const uint8_t* p = current_;
    while (p < end_ && *p != '"' && *p != '\\')
        ++p;
    return p != current_ && takeText(p, string);
}
