#include "CFNetwork/CFHTTPMessage.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <string_view>

#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"

NSString* const kCFHTTPVersion1_0 = NS("HTTP/1.0");
NSString* const kCFHTTPVersion1_1 = NS("HTTP/1.1");

namespace {

// A head line longer than this, or a head with more fields, is not HTTP we will parse.
constexpr size_t kMaxHeadLine = 64 * 1024;
constexpr size_t kMaxFields = 1000;

// Field names are ASCII tokens: folded without the locale's help (and without a call a byte).
char lowerASCII(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

char upperASCII(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && lowerASCII(a[i]) != lowerASCII(b[i])) return false;
    }
    return true;
}

std::string_view trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
        --e;
    return s.substr(b, e - b);
}

const char* reasonPhrase(int code) {
    switch (code) {
        case 100:
            return "Continue";
        case 101:
            return "Switching Protocols";
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 202:
            return "Accepted";
        case 204:
            return "No Content";
        case 206:
            return "Partial Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 304:
            return "Not Modified";
        case 307:
            return "Temporary Redirect";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 407:
            return "Proxy Authentication Required";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        default:
            return "";
    }
}

}  // namespace

std::string CFHTTPCanonicalHeaderName(std::string_view name) {
    if (equalsIgnoringCase(name, "www-authenticate")) return "WWW-Authenticate";
    if (equalsIgnoringCase(name, "content-md5")) return "Content-MD5";
    std::string out(name);
    bool start = true;
    for (char& c : out) {
        c = start ? upperASCII(c) : lowerASCII(c);
        start = c == '-';
    }
    return out;
}

// ---- the message -----------------------------------------------------------------------------

const std::string* CFHTTPMessage::field(std::string_view name) const {
    for (const auto& f : fields) {
        if (equalsIgnoringCase(f.name, name)) return &f.value;
    }
    return nullptr;
}

void CFHTTPMessage::setField(std::string name, std::string value) {
    for (auto& f : fields) {
        if (f.name == name) {
            f.value = std::move(value);
            return;
        }
    }
    if (fields.empty()) fields.reserve(8);  // room for the usual few without growing
    fields.push_back(Field{std::move(name), std::move(value)});
}

void CFHTTPMessage::addParsedField(std::string_view rawName, std::string_view value) {
    std::string name = canonicalNames ? CFHTTPCanonicalHeaderName(rawName) : std::string(rawName);
    for (auto& f : fields) {
        if (equalsIgnoringCase(f.name, name)) {
            f.value += ", ";
            f.value += value;
            return;
        }
    }
    if (fields.empty()) fields.reserve(8);  // room for the usual few without growing
    fields.push_back(Field{std::move(name), std::string(value)});
}

void CFHTTPMessage::removeField(const std::string& name) {
    fields.erase(std::remove_if(fields.begin(), fields.end(),
                                [&](const Field& f) { return f.name == name; }),
                 fields.end());
}

long CFHTTPMessage::parseHead(const char* bytes, size_t length) {
    if (failed) return -1;
    size_t used = 0;
    while (!headerComplete && used < length) {
        const char* start = bytes + used;
        const char* nl = static_cast<const char*>(std::memchr(start, '\n', length - used));
        size_t take = nl ? static_cast<size_t>(nl - start) + 1 : length - used;
        used += take;
        if (!nl) {
            pending.append(start, take);
            if (pending.size() > kMaxHeadLine) failed = true;
            break;
        }
        // A line wholly inside these bytes is read where it lies; one begun in earlier bytes
        // is completed in `pending` first.
        std::string_view line(start, take - 1);
        if (!pending.empty()) {
            pending.append(line);
            line = pending;
        }
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        bool ended = false;
        if (!parseLine(line, ended)) failed = true;
        pending.clear();
        if (failed || ended) break;
    }
    return failed ? -1 : static_cast<long>(used);
}

bool CFHTTPMessage::parseLine(std::string_view line, bool& ended) {
    bool firstLine = isRequest ? method.empty() : statusLine.empty();
    if (firstLine) {
        if (line.empty()) return true;  // stray blank lines before a message are allowed
        if (isRequest) {
            size_t a = line.find(' ');
            size_t b = a == std::string_view::npos ? a : line.find(' ', a + 1);
            if (b == std::string_view::npos) return false;
            method = std::string(line.substr(0, a));
            url = NSURL::URLWithString(NSString::fromUTF8(line.substr(a + 1, b - a - 1)));
            version = std::string(line.substr(b + 1));
        } else {
            // "HTTP/1.1 200 OK": the version, a three-digit code, an optional phrase.
            if (line.substr(0, 5) != "HTTP/") return false;
            size_t a = line.find(' ');
            auto digit = [&](size_t i) { return line[i] >= '0' && line[i] <= '9'; };
            if (a == std::string_view::npos || a + 4 > line.size() || !digit(a + 1) ||
                !digit(a + 2) || !digit(a + 3) || (a + 4 < line.size() && line[a + 4] != ' ')) {
                return false;
            }
            version = std::string(line.substr(0, a));
            statusCode = (line[a + 1] - '0') * 100 + (line[a + 2] - '0') * 10 + (line[a + 3] - '0');
            statusLine = std::string(line);
        }
        return true;
    }
    if (line.empty()) {
        headerComplete = true;
        ended = true;
        return true;
    }
    if ((line[0] == ' ' || line[0] == '\t') && !fields.empty()) {
        std::string& value = fields.back().value;  // an obsolete folded continuation
        value += ' ';
        value += trim(line);
        return true;
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0 || fields.size() >= kMaxFields) return false;
    addParsedField(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
    return true;
}

Ref<NSString> CFHTTPMessage::description() {
    auto data = CFHTTPMessageCopySerializedMessage(this);
    return NSString::stringWithFormat(NS("<CFHTTPMessage %p>{%@}"), static_cast<void*>(this),
                                      NSString::fromUTF8(data ? data->view() : ""));
}

// ---- the functions ---------------------------------------------------------------------------

Ref<CFHTTPMessage> CFHTTPMessageCreateRequest(CFAllocatorRef, NSString* requestMethod, NSURL* url,
                                              NSString* httpVersion) {
    if (!requestMethod || requestMethod->length() == 0 || !url) return nullptr;
    Ref<NSURL> absolute = url->absoluteURL();
    if (!absolute->scheme() || !absolute->host() || absolute->host()->length() == 0) return nullptr;
    auto m = make<CFHTTPMessage>();
    m->isRequest = true;
    m->method = requestMethod->utf8();
    m->url = absolute;
    m->version = httpVersion ? httpVersion->utf8() : "HTTP/1.1";
    m->headerComplete = true;
    return m;
}

Ref<CFHTTPMessage> CFHTTPMessageCreateResponse(CFAllocatorRef, CFIndex statusCode,
                                               NSString* statusDescription, NSString* httpVersion) {
    auto m = make<CFHTTPMessage>();
    m->isRequest = false;
    m->version = httpVersion ? httpVersion->utf8() : "HTTP/1.1";
    m->statusCode = static_cast<int>(statusCode);
    std::string phrase =
        statusDescription ? statusDescription->utf8() : std::string(reasonPhrase(m->statusCode));
    m->statusLine =
        m->version + " " + std::to_string(statusCode) + (phrase.empty() ? "" : " ") + phrase;
    m->headerComplete = true;
    return m;
}

Ref<CFHTTPMessage> CFHTTPMessageCreateEmpty(CFAllocatorRef, bool isRequest) {
    auto m = make<CFHTTPMessage>();
    m->isRequest = isRequest;
    m->canonicalNames = !isRequest;
    return m;
}

Ref<CFHTTPMessage> CFHTTPMessageCreateCopy(CFAllocatorRef, CFHTTPMessageRef message) {
    if (!message) return nullptr;
    auto m = make<CFHTTPMessage>();
    m->isRequest = message->isRequest;
    m->method = message->method;
    m->url = message->url;
    m->version = message->version;
    m->statusCode = message->statusCode;
    m->statusLine = message->statusLine;
    m->fields = message->fields;
    m->body = message->body;
    m->headerComplete = message->headerComplete;
    m->canonicalNames = message->canonicalNames;
    m->pending = message->pending;
    m->failed = message->failed;
    return m;
}

bool CFHTTPMessageIsRequest(CFHTTPMessageRef message) {
    return message && message->isRequest;
}

Ref<NSString> CFHTTPMessageCopyVersion(CFHTTPMessageRef message) {
    if (!message) return nullptr;
    // The two versions every message has are shared strings.
    if (message->version == "HTTP/1.1") return kCFHTTPVersion1_1;
    if (message->version == "HTTP/1.0") return kCFHTTPVersion1_0;
    return NSString::fromUTF8(message->version);
}

Ref<NSData> CFHTTPMessageCopyBody(CFHTTPMessageRef message) {
    return message ? message->body : nullptr;
}

void CFHTTPMessageSetBody(CFHTTPMessageRef message, NSData* bodyData) {
    if (message) message->body = bodyData ? bodyData->copy() : nullptr;
}

Ref<NSString> CFHTTPMessageCopyHeaderFieldValue(CFHTTPMessageRef message, NSString* headerField) {
    if (!message || !headerField) return nullptr;
    const std::string* v = message->field(headerField->utf8());
    return v ? NSString::fromUTF8(*v) : nullptr;
}

namespace {

// The names most responses carry, as shared strings: no string to make, hash or free for them.
NSString* wellKnownName(std::string_view name) {
    static NSString* const names[] = {
        NS("Content-Type"),     NS("Content-Length"),    NS("Date"),          NS("Server"),
        NS("Connection"),       NS("Keep-Alive"),        NS("Set-Cookie"),    NS("Location"),
        NS("Cache-Control"),    NS("Expires"),           NS("Last-Modified"), NS("Etag"),
        NS("Content-Encoding"), NS("Transfer-Encoding"), NS("Vary"),
    };
    static const std::string_view spelled[] = {
        "Content-Type",     "Content-Length",    "Date",          "Server",
        "Connection",       "Keep-Alive",        "Set-Cookie",    "Location",
        "Cache-Control",    "Expires",           "Last-Modified", "Etag",
        "Content-Encoding", "Transfer-Encoding", "Vary",
    };
    static_assert(std::size(names) == std::size(spelled));
    for (size_t i = 0; i < std::size(spelled); ++i) {
        if (spelled[i] == name) return names[i];
    }
    return nullptr;
}

// Text made from bytes read off the network (invalid UTF-8 replaced), in one allocation.
Ref<NSString> fieldText(std::string_view bytes) {
    if (Ref<NSString> s = NSString::compactStringWithUTF8(bytes)) return s;
    return NSString::fromUTF8(bytes);
}

}  // namespace

Ref<NSDictionary> CFHTTPMessageCopyAllHeaderFields(CFHTTPMessageRef message) {
    if (!message) return nullptr;
    // Handed over whole: a later name equal to an earlier one gives that one its value, as
    // setting them one by one would.
    std::vector<collection_detail::HashTable::Entry> entries;
    entries.reserve(message->fields.size());
    for (const auto& f : message->fields) {
        NSString* known = wellKnownName(f.name);
        entries.push_back({known ? Ref<NSObject>(known) : Ref<NSObject>(fieldText(f.name)),
                           fieldText(f.value), 0});
    }
    return NSDictionary::dictionaryWithEntries(std::move(entries));
}

void CFHTTPMessageSetHeaderFieldValue(CFHTTPMessageRef message, NSString* headerField,
                                      NSString* value) {
    if (!message || !headerField) return;
    // Line breaks inside a field would let a caller's text forge further fields.
    auto unbroken = [](std::string& s) {
        // Looked for first (a fast scan each): nearly every field has none.
        if (!std::memchr(s.data(), '\r', s.size()) && !std::memchr(s.data(), '\n', s.size()))
            return;
        for (char& c : s) {
            if (c == '\r' || c == '\n') c = ' ';
        }
    };
    std::string name = headerField->utf8();
    unbroken(name);
    if (!value) {
        message->removeField(name);
        return;
    }
    std::string v = value->utf8();
    unbroken(v);
    message->setField(std::move(name), std::move(v));
}

bool CFHTTPMessageAppendBytes(CFHTTPMessageRef message, const uint8_t* newBytes, CFIndex numBytes) {
    if (!message || numBytes < 0 || (!newBytes && numBytes > 0)) return false;
    const char* p = reinterpret_cast<const char*>(newBytes);
    size_t n = static_cast<size_t>(numBytes);
    size_t used = 0;
    if (!message->headerComplete) {
        long r = message->parseHead(p, n);
        if (r < 0) return false;
        used = static_cast<size_t>(r);
    }
    if (used < n) {
        auto body = NSMutableData::data();
        if (message->body) body->appendData(message->body);
        body->appendBytes(p + used, static_cast<NSUInteger>(n - used));
        message->body = body;
    }
    return true;
}

bool CFHTTPMessageIsHeaderComplete(CFHTTPMessageRef message) {
    return message && message->headerComplete;
}

namespace {
// The request target: the path and query as written in the URL ("/" for none).
std::string requestTarget(NSURL* url) {
    NSURL::Parts parts = NSURL::parse(url->absoluteString()->utf8());
    std::string target = parts.path.empty() ? "/" : parts.path;
    if (parts.hasQuery) target += "?" + parts.query;
    return target;
}
}  // namespace

Ref<NSData> CFHTTPMessageCopySerializedMessage(CFHTTPMessageRef message) {
    if (!message) return nullptr;
    std::string out;
    if (message->isRequest) {
        out = message->method + " " + (message->url ? requestTarget(message->url) : "/") + " " +
              message->version + "\r\n";
    } else {
        out = message->statusLine + "\r\n";
    }
    for (const auto& f : message->fields)
        out += f.name + ": " + f.value + "\r\n";
    out += "\r\n";
    auto data = NSMutableData::dataWithBytes(out.data(), static_cast<NSUInteger>(out.size()));
    if (message->body) data->appendData(message->body);
    return data;
}

Ref<NSURL> CFHTTPMessageCopyRequestURL(CFHTTPMessageRef request) {
    return request ? request->url : nullptr;
}

Ref<NSString> CFHTTPMessageCopyRequestMethod(CFHTTPMessageRef request) {
    return request && request->isRequest ? NSString::fromUTF8(request->method) : nullptr;
}

CFIndex CFHTTPMessageGetResponseStatusCode(CFHTTPMessageRef response) {
    return response && !response->isRequest ? response->statusCode : 0;
}

Ref<NSString> CFHTTPMessageCopyResponseStatusLine(CFHTTPMessageRef response) {
    if (!response || response->isRequest || response->statusLine.empty()) return nullptr;
    return fieldText(response->statusLine);
}
