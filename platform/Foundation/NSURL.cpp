#include "Foundation/NSURL.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string_view>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"

NSString* const NSURLFileScheme = NS("file");

namespace {

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHex(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

// Printable ASCII minus what RFC 2396 calls "unwise" or delimiters; "[" and "]" are allowed
// only around an IPv6 host, which the authority check handles.
bool isURLCharacter(char c) {
    if (c <= 0x20 || c >= 0x7F) return false;
    switch (c) {
        case '"':
        case '<':
        case '>':
        case '\\':
        case '^':
        case '`':
        case '{':
        case '|':
        case '}':
        case '[':
        case ']':
            return false;
        default:
            return true;
    }
}

bool isSchemeText(std::string_view s) {
    if (s.empty() || !isAlpha(s[0])) return false;
    for (char c : s) {
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

// The pieces of an authority "user:password@host:port", as views into its text.
struct Authority {
    bool hasUserInfo = false, hasPassword = false, hasPort = false;
    std::string_view user, password, host, port;
};

// Splits an authority; false when its host or port is malformed.
bool splitAuthority(std::string_view a, Authority& out) {
    size_t at = a.rfind('@');
    std::string_view hostPort = a;
    if (at != std::string_view::npos) {
        out.hasUserInfo = true;
        std::string_view info = a.substr(0, at);
        hostPort = a.substr(at + 1);
        size_t colon = info.find(':');
        out.user = info.substr(0, colon);
        if (colon != std::string_view::npos) {
            out.hasPassword = true;
            out.password = info.substr(colon + 1);
        }
        if (info.find_first_of("[]") != std::string_view::npos) return false;
    }
    std::string_view rest;
    if (!hostPort.empty() && hostPort[0] == '[') {
        size_t close = hostPort.find(']');
        if (close == std::string_view::npos) return false;
        out.host = hostPort.substr(1, close - 1);
        for (char c : out.host) {
            if (!isHex(c) && c != ':' && c != '.') return false;
        }
        rest = hostPort.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') return false;
    } else {
        size_t colon = hostPort.find(':');
        out.host = hostPort.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : hostPort.substr(colon);
        if (out.host.find_first_of("[]") != std::string_view::npos) return false;
    }
    if (!rest.empty()) {
        out.hasPort = true;
        out.port = rest.substr(1);
        long long value = 0;
        for (char c : out.port) {
            if (!isDigit(c)) return false;
            value = value * 10 + (c - '0');
            if (value > NSIntegerMax) return false;
        }
    }
    return true;
}

// Checks the characters and escapes of one component (brackets are the authority's business).
bool validComponent(std::string_view s, bool allowBrackets) {
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '%') {
            if (i + 2 >= s.size() || !isHex(s[i + 1]) || !isHex(s[i + 2])) return false;
            i += 2;
        } else if (c == '#') {
            return false;  // only one "#" may appear, and it ends the text before the fragment
        } else if (!isURLCharacter(c) && !(allowBrackets && (c == '[' || c == ']'))) {
            return false;
        }
    }
    return true;
}

bool validUTF8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int extra;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        static const uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// Percent escapes replaced by their bytes, read as UTF-8; nil when they do not decode.
Ref<NSString> unescaped(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && isHex(s[i + 1]) && isHex(s[i + 2])) {
            out.push_back(static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2])));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    if (!validUTF8(out)) return nullptr;
    return NSString::fromUTF8(out);
}

// Escapes the UTF-8 of unescaped path text. Kept: unreserved characters, sub-delimiters other
// than ";" (which would start parameters) and ":", "@"; "/" only when `keepSlash`.
std::string escapedPath(std::string_view s, bool keepSlash) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size());
    for (char ch : s) {
        unsigned char c = static_cast<unsigned char>(ch);
        bool keep =
            isAlpha(ch) || isDigit(ch) ||
            (c < 0x80 && std::string_view("-._~!$&'()*+,=:@").find(ch) != std::string_view::npos);
        if (ch == '/' && keepSlash) keep = true;
        if (keep) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 15]);
        }
    }
    return out;
}

// A relative path whose first segment holds ":" would read as a scheme; escape those colons.
std::string guardFirstSegment(std::string path) {
    size_t end = path.find('/');
    if (end == std::string::npos) end = path.size();
    for (size_t i = 0; i < end; ++i) {
        if (path[i] == ':') {
            path.replace(i, 1, "%3A");
            end += 2;
            i += 2;
        }
    }
    return path;
}

// The path without the parameters of its last segment, and those parameters.
std::string_view pathWithoutParameters(std::string_view path) {
    size_t lastSlash = path.rfind('/');
    size_t start = lastSlash == std::string_view::npos ? 0 : lastSlash + 1;
    size_t semi = path.find(';', start);
    return semi == std::string_view::npos ? path : path.substr(0, semi);
}

// The platform's path: unescaped, no parameters, one trailing slash dropped unless it is "/".
Ref<NSString> pathOf(const std::string& raw) {
    std::string_view p = pathWithoutParameters(raw);
    if (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
    return unescaped(p);
}

// The segments of a raw path (without parameters), empty ones skipped.
std::vector<std::string_view> segmentsOf(std::string_view p) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i <= p.size()) {
        size_t slash = p.find('/', i);
        if (slash == std::string_view::npos) slash = p.size();
        if (slash > i) out.push_back(p.substr(i, slash - i));
        i = slash + 1;
    }
    return out;
}

// Where the last segment of a path starts and ends, ignoring one trailing slash.
struct LastSegment {
    size_t start = 0, end = 0;
    bool empty() const { return start == end; }
};
LastSegment lastSegmentOf(const std::string& path) {
    size_t end = path.size();
    if (end > 0 && path[end - 1] == '/') --end;
    size_t slash = end == 0 ? std::string::npos : path.rfind('/', end - 1);
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    return LastSegment{start, end};
}

// The position of the extension's dot in a segment, or npos. A leading dot names a hidden
// file, not an extension.
size_t extensionDot(std::string_view segment) {
    size_t dot = segment.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == segment.size()) {
        return std::string_view::npos;
    }
    return dot;
}

// Dot segments removed from a relative path, keeping the ".." that climb above its start.
std::string standardizeRelativePath(const std::string& path) {
    std::vector<std::string> out;
    size_t i = 0;
    bool trailingSlash = !path.empty() && path.back() == '/';
    while (i <= path.size()) {
        size_t slash = path.find('/', i);
        if (slash == std::string::npos) slash = path.size();
        std::string seg = path.substr(i, slash - i);
        bool last = slash == path.size();
        if (seg == ".") {
            if (last) trailingSlash = true;
        } else if (seg == "..") {
            if (!out.empty() && out.back() != "..") {
                out.pop_back();
            } else {
                out.push_back(seg);
            }
            if (last) trailingSlash = true;
        } else if (!seg.empty()) {
            out.push_back(seg);
        }
        i = slash + 1;
    }
    std::string result;
    for (size_t k = 0; k < out.size(); ++k) {
        if (k) result += '/';
        result += out[k];
    }
    if (trailingSlash && !result.empty()) result += '/';
    return result;
}

bool isDirectoryOnDisk(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Ref<NSString> stringOrNil(bool present, const std::string& s) {
    return present ? NSString::fromUTF8(s) : nullptr;
}

}  // namespace

// ---- parsing ---------------------------------------------------------------------------------

std::string NSURL::Parts::text() const {
    std::string out;
    if (hasScheme) out += scheme + ":";
    if (hasAuthority) out += "//" + authority;
    out += path;
    if (hasQuery) out += "?" + query;
    if (hasFragment) out += "#" + fragment;
    return out;
}

NSURL::Parts NSURL::parse(const std::string& text) {
    Parts p;
    std::string_view s = text;
    size_t hash = s.find('#');
    if (hash != std::string_view::npos) {
        p.hasFragment = true;
        p.fragment = s.substr(hash + 1);
        s = s.substr(0, hash);
    }
    size_t delim = s.find_first_of(":/?");
    if (delim != std::string_view::npos && s[delim] == ':' && isSchemeText(s.substr(0, delim))) {
        p.hasScheme = true;
        p.scheme = s.substr(0, delim);
        s = s.substr(delim + 1);
    }
    if (s.starts_with("//")) {
        size_t end = s.find_first_of("/?", 2);
        if (end == std::string_view::npos) end = s.size();
        p.hasAuthority = true;
        p.authority = s.substr(2, end - 2);
        s = s.substr(end);
    }
    size_t question = s.find('?');
    if (question != std::string_view::npos) {
        p.hasQuery = true;
        p.query = s.substr(question + 1);
        s = s.substr(0, question);
    }
    p.path = s;

    Authority a;
    p.valid =
        validComponent(p.scheme, false) && validComponent(p.path, false) &&
        validComponent(p.query, false) && validComponent(p.fragment, false) &&
        (!p.hasAuthority || (validComponent(p.authority, true) && splitAuthority(p.authority, a)));
    return p;
}

std::string NSURL::removeDotSegments(const std::string& path) {
    std::string in = path;
    std::string out;
    size_t i = 0;
    auto dropLastOutputSegment = [&out] {
        size_t slash = out.rfind('/');
        out.erase(slash == std::string::npos ? 0 : slash);
    };
    while (i < in.size()) {
        std::string_view rest = std::string_view(in).substr(i);
        if (rest.starts_with("../")) {
            i += 3;
        } else if (rest.starts_with("./")) {
            i += 2;
        } else if (rest.starts_with("/./")) {
            i += 2;
        } else if (rest == "/.") {
            in.replace(i, 2, "/");
        } else if (rest.starts_with("/../")) {
            i += 3;
            dropLastOutputSegment();
        } else if (rest == "/..") {
            in.replace(i, 3, "/");
            dropLastOutputSegment();
        } else if (rest == "." || rest == "..") {
            i = in.size();
        } else {
            size_t next = in.find('/', i + 1);
            if (next == std::string::npos) next = in.size();
            out.append(in, i, next - i);
            i = next;
        }
    }
    return out;
}

NSURL::Parts NSURL::resolve(const Parts& base, const Parts& ref) {
    Parts t;
    t.valid = base.valid && ref.valid;
    if (ref.hasScheme) {
        t = ref;
        t.path = removeDotSegments(ref.path);
        return t;
    }
    if (ref.hasAuthority) {
        t.hasAuthority = true;
        t.authority = ref.authority;
        t.path = removeDotSegments(ref.path);
        t.hasQuery = ref.hasQuery;
        t.query = ref.query;
    } else {
        if (ref.path.empty()) {
            t.path = base.path;
            t.hasQuery = ref.hasQuery || base.hasQuery;
            t.query = ref.hasQuery ? ref.query : base.query;
        } else {
            if (ref.path[0] == '/') {
                t.path = removeDotSegments(ref.path);
            } else {
                // Merge (section 5.2.3): the base path up to its last "/", or "/" alone under
                // an authority with an empty path.
                std::string merged;
                if (base.hasAuthority && base.path.empty()) {
                    merged = "/" + ref.path;
                } else {
                    size_t slash = base.path.rfind('/');
                    merged = (slash == std::string::npos ? std::string()
                                                         : base.path.substr(0, slash + 1)) +
                             ref.path;
                }
                t.path = removeDotSegments(merged);
            }
            t.hasQuery = ref.hasQuery;
            t.query = ref.query;
        }
        t.hasAuthority = base.hasAuthority;
        t.authority = base.authority;
    }
    t.hasScheme = base.hasScheme;
    t.scheme = base.scheme;
    t.hasFragment = ref.hasFragment;
    t.fragment = ref.fragment;
    return t;
}

// ---- creation --------------------------------------------------------------------------------

bool NSURL::setUp(const std::string& text, NSURL* base) {
    parts_ = parse(text);
    if (!parts_.valid) return false;
    text_ = text;
    // A URL with a scheme of its own is absolute: a base would change nothing and is dropped.
    base_ = parts_.hasScheme ? nullptr : Ref<NSURL>(base);
    resolved_ = base_ ? resolve(base_->resolved_, parts_) : parts_;
    return true;
}

bool NSURL::initWithString(NSString* string) {
    return initWithString(string, nullptr);
}

bool NSURL::initWithString(NSString* string, NSURL* baseURL) {
    if (!string) return false;
    return setUp(string->utf8(), baseURL);
}

Ref<NSURL> NSURL::URLWithString(NSString* string) {
    return make<NSURL>(static_cast<bool (NSURL::*)(NSString*)>(&NSURL::initWithString), string);
}

Ref<NSURL> NSURL::URLWithString(NSString* string, NSURL* baseURL) {
    return make<NSURL>(static_cast<bool (NSURL::*)(NSString*, NSURL*)>(&NSURL::initWithString),
                       string, baseURL);
}

bool NSURL::setUpFile(NSString* path, bool isDirectory) {
    std::string p = path->utf8();
    if (p.empty()) return false;
    std::string text = escapedPath(p, true);
    if (isDirectory && text.back() != '/') text += '/';
    if (p[0] == '/') return setUp("file://" + text, nullptr);
    // Relative paths hang off the current directory, as the platform's do.
    std::string cwd;
    if (char* dir = ::getcwd(nullptr, 0)) {
        cwd = dir;
        ::free(dir);
    }
    if (cwd.empty()) cwd = "/";
    std::string baseText = "file://" + escapedPath(cwd, true);
    if (baseText.back() != '/') baseText += '/';
    auto base = alloc<NSURL>();
    if (!base->setUp(baseText, nullptr)) return false;
    return setUp(guardFirstSegment(text), base);
}

bool NSURL::initFileURLWithPath(NSString* path) {
    if (!path) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[NSURL initFileURLWithPath:]: nil string parameter"));
    }
    return setUpFile(path, isDirectoryOnDisk(path->utf8()));
}

bool NSURL::initFileURLWithPath(NSString* path, bool isDirectory) {
    if (!path) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[NSURL initFileURLWithPath:isDirectory:]: nil string "
                              "parameter"));
    }
    return setUpFile(path, isDirectory);
}

Ref<NSURL> NSURL::fileURLWithPath(NSString* path) {
    return make<NSURL>(static_cast<bool (NSURL::*)(NSString*)>(&NSURL::initFileURLWithPath), path);
}

Ref<NSURL> NSURL::fileURLWithPath(NSString* path, bool isDirectory) {
    return make<NSURL>(static_cast<bool (NSURL::*)(NSString*, bool)>(&NSURL::initFileURLWithPath),
                       path, isDirectory);
}

Ref<NSURL> NSURL::withRelativeParts(const Parts& parts) {
    auto url = alloc<NSURL>();
    return url->setUp(parts.text(), base_) ? url : nullptr;
}

// ---- the whole URL ---------------------------------------------------------------------------

Ref<NSString> NSURL::absoluteString() {
    return NSString::fromUTF8(base_ ? resolved_.text() : text_);
}

Ref<NSString> NSURL::relativeString() {
    return NSString::fromUTF8(text_);
}

Ref<NSURL> NSURL::baseURL() {
    return base_;
}

Ref<NSURL> NSURL::absoluteURL() {
    if (!base_) return Ref<NSURL>(this);
    auto url = alloc<NSURL>();
    return url->setUp(resolved_.text(), nullptr) ? url : nullptr;
}

Ref<NSURL> NSURL::standardizedURL() {
    Parts p = parts_;
    if (p.path.starts_with("/")) {
        p.path = removeDotSegments(p.path);
    } else if (!p.hasScheme && !p.hasAuthority) {
        p.path = guardFirstSegment(standardizeRelativePath(p.path));
    }
    return withRelativeParts(p);
}

// ---- parts -----------------------------------------------------------------------------------

const NSURL::Located& NSURL::located() {
    std::call_once(locatedOnce_, [this] {
        located_.scheme = stringOrNil(resolved_.hasScheme, resolved_.scheme);
        Authority a;
        if (resolved_.hasAuthority && splitAuthority(resolved_.authority, a)) {
            if (!a.host.empty()) located_.host = unescaped(a.host);
            if (!a.port.empty()) {
                NSInteger value = 0;
                for (char c : a.port)
                    value = value * 10 + (c - '0');
                located_.port = NSNumber::numberWithInteger(value);
            }
        }
    });
    return located_;
}

Ref<NSString> NSURL::scheme() {
    return located().scheme;
}

Ref<NSString> NSURL::resourceSpecifier() {
    if (!parts_.hasScheme) return NSString::fromUTF8(text_);
    return NSString::fromUTF8(std::string_view(text_).substr(parts_.scheme.size() + 1));
}

Ref<NSString> NSURL::host() {
    return located().host;
}

Ref<NSNumber> NSURL::port() {
    return located().port;
}

Ref<NSString> NSURL::user() {
    Authority a;
    if (!resolved_.hasAuthority || !splitAuthority(resolved_.authority, a) || !a.hasUserInfo) {
        return nullptr;
    }
    return unescaped(a.user);
}

Ref<NSString> NSURL::password() {
    Authority a;
    if (!resolved_.hasAuthority || !splitAuthority(resolved_.authority, a) || !a.hasPassword) {
        return nullptr;
    }
    return unescaped(a.password);
}

Ref<NSString> NSURL::path() {
    return pathOf(resolved_.path);
}

Ref<NSString> NSURL::relativePath() {
    return pathOf(parts_.path);
}

Ref<NSString> NSURL::query() {
    return stringOrNil(resolved_.hasQuery, resolved_.query);
}

Ref<NSString> NSURL::fragment() {
    return stringOrNil(resolved_.hasFragment, resolved_.fragment);
}

Ref<NSString> NSURL::parameterString() {
    std::string_view path = resolved_.path;
    std::string_view bare = pathWithoutParameters(path);
    if (bare.size() == path.size()) return nullptr;
    return NSString::fromUTF8(path.substr(bare.size() + 1));
}

// ---- path operations -------------------------------------------------------------------------

Ref<NSArray> NSURL::pathComponents() {
    std::string_view p = pathWithoutParameters(resolved_.path);
    auto out = NSMutableArray::array();
    if (p.starts_with("/")) out->addObject(NS("/"));
    for (std::string_view seg : segmentsOf(p)) {
        auto s = unescaped(seg);
        if (!s) return nullptr;
        out->addObject(s);
    }
    return out;
}

Ref<NSString> NSURL::lastPathComponent() {
    std::string_view p = pathWithoutParameters(resolved_.path);
    auto segments = segmentsOf(p);
    if (segments.empty()) return p.starts_with("/") ? Ref<NSString>(NS("/")) : NSString::string();
    return unescaped(segments.back());
}

Ref<NSString> NSURL::pathExtension() {
    auto segments = segmentsOf(pathWithoutParameters(resolved_.path));
    if (segments.empty()) return NSString::string();
    std::string_view last = segments.back();
    size_t dot = extensionDot(last);
    if (dot == std::string_view::npos) return NSString::string();
    return unescaped(last.substr(dot + 1));
}

Ref<NSURL> NSURL::URLByAppendingPathComponent(NSString* component) {
    // For file URLs the platform looks at the disk to decide whether the result is a directory.
    bool directory = false;
    if (isFileURL() && component) {
        auto base = path();
        if (base) {
            std::string full = base->utf8();
            if (full.empty() || full.back() != '/') full += '/';
            directory = isDirectoryOnDisk(full + component->utf8());
        }
    }
    return URLByAppendingPathComponent(component, directory);
}

Ref<NSURL> NSURL::URLByAppendingPathComponent(NSString* component, bool isDirectory) {
    if (!component) return nullptr;
    Parts p = parts_;
    std::string add = escapedPath(component->utf8(), true);
    bool rooted = add.starts_with("/");
    add.erase(0, add.find_first_not_of('/'));
    if (p.path.empty()) {
        // Under an authority the path must start with "/"; without one, "//" would become one.
        if (p.hasAuthority || rooted) p.path = "/";
    } else if (p.path.back() != '/') {
        p.path += '/';
    }
    p.path += add;
    if (isDirectory && !p.path.empty() && p.path.back() != '/') p.path += '/';
    if (!p.hasScheme && !p.hasAuthority) p.path = guardFirstSegment(p.path);
    return withRelativeParts(p);
}

Ref<NSURL> NSURL::URLByDeletingLastPathComponent() {
    Parts p = parts_;
    if (p.path == "/" || (p.path.empty() && p.hasAuthority)) {
        // The platform climbs above the root rather than stopping there.
        p.path = "/../";
    } else if (p.path.empty()) {
        p.path = "../";
    } else {
        LastSegment seg = lastSegmentOf(p.path);
        std::string_view last(p.path.data() + seg.start, seg.end - seg.start);
        if (last == ".." || last == ".") {
            p.path = p.path.substr(0, seg.end) + "/../";
        } else if (seg.start == 0) {
            p.path = "./";
        } else {
            p.path.erase(seg.start);
        }
    }
    return withRelativeParts(p);
}

Ref<NSURL> NSURL::URLByAppendingPathExtension(NSString* extension) {
    if (!extension) return nullptr;
    Parts p = parts_;
    LastSegment seg = lastSegmentOf(p.path);
    if (seg.empty()) return Ref<NSURL>(this);
    p.path.insert(seg.end, "." + escapedPath(extension->utf8(), false));
    return withRelativeParts(p);
}

Ref<NSURL> NSURL::URLByDeletingPathExtension() {
    Parts p = parts_;
    LastSegment seg = lastSegmentOf(p.path);
    std::string_view last(p.path.data() + seg.start, seg.end - seg.start);
    size_t dot = extensionDot(last);
    if (dot == std::string_view::npos) return Ref<NSURL>(this);
    p.path.erase(seg.start + dot, seg.end - seg.start - dot);
    return withRelativeParts(p);
}

bool NSURL::isFileURL() {
    if (!resolved_.hasScheme || resolved_.scheme.size() != 4) return false;
    for (size_t i = 0; i < 4; ++i) {
        if ((resolved_.scheme[i] | 0x20) != "file"[i]) return false;
    }
    return true;
}

// ---- NSObject --------------------------------------------------------------------------------

bool NSURL::isEqual(NSObject* other) {
    if (other == this) return true;
    auto url = as<NSURL>(other);
    if (!url || url->text_ != text_) return false;
    return objectsEqual(base_, url->base_);
}

NSUInteger NSURL::hash() {
    // FNV-1a over the relative text: equal URLs have equal text.
    uint32_t h = 2166136261u;
    for (unsigned char c : text_)
        h = (h ^ c) * 16777619u;
    return h;
}

Ref<NSString> NSURL::description() {
    if (!base_) return NSString::fromUTF8(text_);
    auto baseDescription = base_->description();
    return NSString::fromUTF8(text_ + " -- " + baseDescription->utf8());
}
