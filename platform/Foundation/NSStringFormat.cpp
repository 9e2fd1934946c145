// The format engine behind stringWithFormat: printf directives plus %@ (an object's
// description), read from a list of typed arguments. Integers follow the platform's 32-bit ABI:
// %d and %ld take 32 bits, %lld and %qi 64.
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"

namespace {

enum class Len { None, HH, H, L, LL, Z, J };

struct Directive {
    bool minus = false, plus = false, space = false, zero = false, alt = false;
    int width = -1;
    int precision = -1;
    Len len = Len::None;
    char conv = 0;
};

// No directive may ask for more than this much padding or precision.
constexpr int kMaxField = 1 << 16;

class Args {
public:
    Args(const FormatArg* args, size_t count) : args_(args), count_(count) {}
    // The argument at a 1-based position, or the next one in order for position 0. Missing
    // arguments read as nil / 0.
    const FormatArg* take(int position) {
        size_t i = position > 0 ? size_t(position - 1) : next_++;
        return i < count_ ? &args_[i] : nullptr;
    }

private:
    const FormatArg* args_;
    size_t count_;
    size_t next_ = 0;
};

NSNumber* numberIn(const FormatArg* a) {
    return a && a->kind == FormatArg::Object ? dynamic_cast<NSNumber*>(a->object) : nullptr;
}

long long clampToLongLong(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9.2233720368547758e18) return INT64_MAX;
    if (d <= -9.2233720368547758e18) return INT64_MIN;
    return static_cast<long long>(d);
}

// The argument's bits as an integer (the directive then truncates them to its width).
unsigned long long intBits(const FormatArg* a) {
    if (!a) return 0;
    switch (a->kind) {
        case FormatArg::Signed:
            return static_cast<unsigned long long>(a->i);
        case FormatArg::Unsigned:
            return a->u;
        case FormatArg::Double:
            if (a->d >= 0 && a->d >= 9.2233720368547758e18) {
                return a->d >= 1.8446744073709552e19 ? UINT64_MAX
                                                     : static_cast<unsigned long long>(a->d);
            }
            return static_cast<unsigned long long>(clampToLongLong(a->d));
        case FormatArg::Object:
            if (NSNumber* n = numberIn(a)) {
                const char* t = n->objCType();
                if (t && (*t == 'Q' || *t == 'I' || *t == 'S' || *t == 'C')) {
                    return n->unsignedLongLongValue();
                }
                return static_cast<unsigned long long>(n->longLongValue());
            }
            return 0;
        case FormatArg::CString:
        case FormatArg::Pointer:
        case FormatArg::UTF16CString:
            return reinterpret_cast<uintptr_t>(a->p);
    }
    return 0;
}

double doubleOf(const FormatArg* a) {
    if (!a) return 0;
    switch (a->kind) {
        case FormatArg::Signed:
            return static_cast<double>(a->i);
        case FormatArg::Unsigned:
            return static_cast<double>(a->u);
        case FormatArg::Double:
            return a->d;
        case FormatArg::Object:
            if (NSNumber* n = numberIn(a)) return n->doubleValue();
            return 0;
        default:
            return 0;
    }
}

const void* pointerOf(const FormatArg* a) {
    if (!a) return nullptr;
    switch (a->kind) {
        case FormatArg::Object:
            return a->object;
        case FormatArg::CString:
        case FormatArg::Pointer:
        case FormatArg::UTF16CString:
            return a->p;
        default:
            return reinterpret_cast<const void*>(static_cast<uintptr_t>(intBits(a)));
    }
}

void appendASCII(std::u16string& out, const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i)
        out.push_back(static_cast<unsigned char>(s[i]));
}

void appendUTF8(std::u16string& out, const char* s) {
    Ref<NSString> str = NSString::fromUTF8(s);
    out += str->u16();
}

std::u16string utf16CString(const char16_t* s) {
    size_t n = 0;
    while (s[n])
        ++n;
    return std::u16string(s, n);
}

// The text an argument stands for under %@, %s and %S: an object's description, a C string's
// characters, a number in its usual form.
std::u16string textOf(const FormatArg* a) {
    if (!a) return u"(null)";
    switch (a->kind) {
        case FormatArg::Object: {
            if (!a->object) return u"(null)";
            Ref<NSString> d = a->object->description();
            return d ? d->u16() : u"(null)";
        }
        case FormatArg::CString: {
            if (!a->s) return u"(null)";
            std::u16string out;
            appendUTF8(out, a->s);
            return out;
        }
        case FormatArg::UTF16CString:
            return a->s16 ? utf16CString(a->s16) : u"(null)";
        case FormatArg::Pointer: {
            if (!a->p) return u"(null)";
            char buf[32];
            int n = snprintf(buf, sizeof buf, "0x%llx",
                             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(a->p)));
            std::u16string out;
            appendASCII(out, buf, size_t(n));
            return out;
        }
        case FormatArg::Signed:
        case FormatArg::Unsigned:
        case FormatArg::Double: {
            char buf[64];
            int n = a->kind == FormatArg::Signed     ? snprintf(buf, sizeof buf, "%lld", a->i)
                    : a->kind == FormatArg::Unsigned ? snprintf(buf, sizeof buf, "%llu", a->u)
                                                     : snprintf(buf, sizeof buf, "%g", a->d);
            std::u16string out;
            appendASCII(out, buf, size_t(n));
            return out;
        }
    }
    return u"(null)";
}

// Pads text to the field width (spaces, or zeros after a sign/prefix for numbers done here).
void appendField(std::u16string& out, std::u16string_view text, const Directive& s) {
    size_t pad = s.width > 0 && size_t(s.width) > text.size() ? size_t(s.width) - text.size() : 0;
    if (!s.minus) out.append(pad, u' ');
    out.append(text);
    if (s.minus) out.append(pad, u' ');
}

// At most `precision` units, without splitting a surrogate pair.
std::u16string_view truncated(std::u16string_view t, int precision) {
    if (precision < 0 || size_t(precision) >= t.size()) return t;
    size_t n = size_t(precision);
    if (n > 0 && (t[n - 1] & 0xFC00) == 0xD800 && (t[n] & 0xFC00) == 0xDC00) --n;
    return t.substr(0, n);
}

std::string printfDirective(const Directive& s, const char* length, char conv) {
    std::string f = "%";
    if (s.minus) f += '-';
    if (s.plus) f += '+';
    if (s.space) f += ' ';
    if (s.zero) f += '0';
    if (s.alt) f += '#';
    if (s.width >= 0) f += std::to_string(s.width);
    if (s.precision >= 0) {
        f += '.';
        f += std::to_string(s.precision);
    }
    f += length;
    f += conv;
    return f;
}

template <class T>
void appendPrintf(std::u16string& out, const std::string& fmt, T value) {
    char small[128];
    int n = snprintf(small, sizeof small, fmt.c_str(), value);
    if (n < 0) return;
    if (size_t(n) < sizeof small) {
        appendASCII(out, small, size_t(n));
        return;
    }
    std::string big(size_t(n) + 1, '\0');
    snprintf(big.data(), big.size(), fmt.c_str(), value);
    appendASCII(out, big.data(), size_t(n));
}

void formatSigned(std::u16string& out, const Directive& s, unsigned long long bits) {
    long long v;
    switch (s.len) {
        case Len::HH:
            v = static_cast<signed char>(bits);
            break;
        case Len::H:
            v = static_cast<short>(bits);
            break;
        case Len::LL:
        case Len::J:
            v = static_cast<long long>(bits);
            break;
        default:
            v = static_cast<int32_t>(bits);
            break;
    }
    appendPrintf(out, printfDirective(s, "ll", 'd'), v);
}

void formatUnsigned(std::u16string& out, const Directive& s, unsigned long long bits) {
    unsigned long long v;
    switch (s.len) {
        case Len::HH:
            v = static_cast<unsigned char>(bits);
            break;
        case Len::H:
            v = static_cast<unsigned short>(bits);
            break;
        case Len::LL:
        case Len::J:
            v = bits;
            break;
        default:
            v = static_cast<uint32_t>(bits);
            break;
    }
    appendPrintf(out, printfDirective(s, "ll", s.conv), v);
}

void formatPointer(std::u16string& out, const Directive& s, const void* p) {
    char buf[32];
    int n = snprintf(buf, sizeof buf, "%llx",
                     static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
    std::u16string digits;
    appendASCII(digits, buf, size_t(n));
    if (s.precision > int(digits.size()))
        digits.insert(0, size_t(s.precision) - digits.size(), '0');
    std::u16string text = u"0x";
    if (s.zero && !s.minus && s.width > int(digits.size() + 2)) {
        text.append(size_t(s.width) - digits.size() - 2, u'0');
    }
    text += digits;
    appendField(out, text, s);
}

struct LocaleScope {
    LocaleScope() {
        static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        saved = c ? uselocale(c) : static_cast<locale_t>(nullptr);
    }
    ~LocaleScope() {
        if (saved) uselocale(saved);
    }
    locale_t saved;
};

// Reads a decimal number at i; -1 when there is none.
int readNumber(std::u16string_view f, size_t& i) {
    if (i >= f.size() || f[i] < '0' || f[i] > '9') return -1;
    long long v = 0;
    while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
        v = std::min<long long>(v * 10 + (f[i] - '0'), kMaxField);
        ++i;
    }
    return int(v);
}

// A "*" or "*n$" field value.
int starValue(std::u16string_view f, size_t& i, Args& args) {
    size_t j = i;
    int pos = readNumber(f, j);
    if (pos > 0 && j < f.size() && f[j] == '$') {
        i = j + 1;
    } else {
        pos = 0;
    }
    long long v = static_cast<int32_t>(intBits(args.take(pos)));
    return int(std::max<long long>(std::min<long long>(v, kMaxField), -kMaxField));
}

// Reads a directive's position ("n$"), flags, width, precision and length, from j just after
// its '%' up to its conversion character. Star fields take their values from the arguments as
// they are read, before the conversion's own. False when the format ends first.
bool readDirective(std::u16string_view f, size_t& j, Args& list, Directive& s, int& position) {
    // Positional argument "%n$".
    position = 0;
    {
        size_t k = j;
        int n = readNumber(f, k);
        if (n > 0 && k < f.size() && f[k] == '$') {
            position = n;
            j = k + 1;
        }
    }
    for (; j < f.size(); ++j) {
        char16_t c = f[j];
        if (c == '-')
            s.minus = true;
        else if (c == '+')
            s.plus = true;
        else if (c == ' ')
            s.space = true;
        else if (c == '0')
            s.zero = true;
        else if (c == '#')
            s.alt = true;
        else if (c == '\'')
            continue;
        else
            break;
    }
    if (j < f.size() && f[j] == '*') {
        ++j;
        int w = starValue(f, j, list);
        if (w < 0) {
            s.minus = true;
            w = -w;
        }
        s.width = w;
    } else {
        s.width = readNumber(f, j);
    }
    if (j < f.size() && f[j] == '.') {
        ++j;
        if (j < f.size() && f[j] == '*') {
            ++j;
            int p = starValue(f, j, list);
            s.precision = p < 0 ? -1 : p;
        } else {
            int p = readNumber(f, j);
            s.precision = p < 0 ? 0 : p;
        }
    }
    while (j < f.size()) {
        char16_t c = f[j];
        if (c == 'h') {
            s.len = s.len == Len::H ? Len::HH : Len::H;
        } else if (c == 'l') {
            s.len = s.len == Len::L ? Len::LL : Len::L;
        } else if (c == 'q' || c == 'j') {
            s.len = Len::LL;
        } else if (c == 'L') {
            s.len = Len::LL;
        } else if (c == 'z' || c == 't') {
            s.len = Len::Z;
        } else {
            break;
        }
        ++j;
    }
    return j < f.size();
}

// The text of a %c directive's argument: a byte, or with %C or %lc a UTF-16 unit (unichar) or
// a whole code point when one is given. A zero character writes nothing.
std::u16string characterText(const Directive& s, unsigned long long bits) {
    std::u16string text;
    if (s.conv == 'C' || s.len == Len::L) {
        uint32_t c = static_cast<uint32_t>(bits);
        if (c > 0xFFFF && c <= 0x10FFFF) {
            text.push_back(static_cast<char16_t>(0xD7C0 + (c >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
        } else if (c & 0xFFFF) {
            text.push_back(static_cast<char16_t>(c));
        }
    } else if (unsigned char c = static_cast<unsigned char>(bits)) {
        text.push_back(c);
    }
    return text;
}

// Appends one directive's output, taking its argument from the list; `written` is the directive
// as the format has it, kept for a conversion this engine does not know.
void formatDirective(std::u16string& out, Directive& s, Args& list, int position,
                     std::u16string_view written) {
    switch (s.conv) {
        case '%':
            out.push_back('%');
            break;
        case 'd':
        case 'i':
            formatSigned(out, s, intBits(list.take(position)));
            break;
        case 'D':
            s.len = s.len == Len::None ? Len::L : s.len;
            formatSigned(out, s, intBits(list.take(position)));
            break;
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            formatUnsigned(out, s, intBits(list.take(position)));
            break;
        case 'U':
        case 'O':
            s.conv = s.conv == 'U' ? 'u' : 'o';
            formatUnsigned(out, s, intBits(list.take(position)));
            break;
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            appendPrintf(out, printfDirective(s, "", s.conv), doubleOf(list.take(position)));
            break;
        case 'c':
        case 'C':
            appendField(out, characterText(s, intBits(list.take(position))), s);
            break;
        case 's':
        case 'S':
        case '@': {
            std::u16string text = textOf(list.take(position));
            appendField(out, truncated(text, s.precision), s);
            break;
        }
        case 'p':
            formatPointer(out, s, pointerOf(list.take(position)));
            break;
        case 'n':
            list.take(position);  // never written through
            break;
        default:
            out.append(written);  // unknown: as written
            break;
    }
}

}  // namespace

Ref<NSString> NSString::stringWithFormatArgs(NSString* format, const FormatArg* args,
                                             size_t count) {
    if (!format) {
        NSException::raise(NSInvalidArgumentException,
                           NS("+[NSString stringWithFormat:]: nil argument"));
    }
    LocaleScope cNumbers;  // '.' as the decimal point whatever the process locale
    std::u16string fmtText = format->u16();
    std::u16string_view f = fmtText;
    Args list(args, count);
    std::u16string out;
    out.reserve(f.size() + 16 * count);

    size_t i = 0;
    while (i < f.size()) {
        size_t pct = f.find(u'%', i);
        if (pct == std::u16string_view::npos) {
            out.append(f.substr(i));
            break;
        }
        out.append(f.substr(i, pct - i));
        size_t j = pct + 1;
        if (j >= f.size()) {
            out.push_back('%');
            break;
        }
        Directive s;
        int position = 0;
        if (!readDirective(f, j, list, s, position)) {
            out.append(f.substr(pct));  // an unfinished directive stays as written
            break;
        }
        char16_t conv = f[j++];
        s.conv = conv < 0x80 ? static_cast<char>(conv) : 0;
        formatDirective(out, s, list, position, f.substr(pct, j - pct));
        i = j;
    }
    return adoptUnits(std::move(out));
}
