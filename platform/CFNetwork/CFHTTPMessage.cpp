#include "CFNetwork/CFHTTPMessage.h"

#include <algorithm>
#include <cctype>
#include <cstring>
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

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
        --e;
    return std::string(s.substr(b, e - b));
}

std::string utf8Of(NSString* s) {
    return s ? s->utf8() : std::string();
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
        unsigned char u = static_cast<unsigned char>(c);
        c = static_cast<char>(start ? std::toupper(u) : std::tolower(u));
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

void CFHTTPMessage::setField(const std::string& name, const std::string& value) {
    for (auto& f : fields) {
        if (f.name == name) {
            f.value = value;
            return;
        }
    }
    fields.push_back(Field{name, value});
}

void CFHTTPMessage::addParsedField(const std::string& rawName, const std::string& value) {
    std::string name = canonicalNames ? CFHTTPCanonicalHeaderName(rawName) : rawName;
    for (auto& f : fields) {
        if (equalsIgnoringCase(f.name, name)) {
            f.value += ", ";
            f.value += value;
            return;
        }
    }
    fields.push_back(Field{name, value});
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
        const char* nl = static_cast<const char*>(std::memchr(bytes + used, '\n', length - used));
        size_t take = nl ? static_cast<size_t>(nl - (bytes + used)) + 1 : length - used;
        pending.append(bytes + used, take);
        used += take;
        if (!nl) {
            if (pending.size() > kMaxHeadLine) failed = true;
            break;
        }
        std::string line = pending.substr(0, pending.size() - 1);
        pending.clear();
        if (!line.empty() && line.back() == '\r') line.pop_back();
        bool firstLine = isRequest ? method.empty() : statusLine.empty();
        if (firstLine) {
            if (line.empty()) continue;  // stray blank lines before a message are allowed
            if (isRequest) {
                size_t a = line.find(' ');
                size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
                if (b == std::string::npos) {
                    failed = true;
                    break;
                }
                method = line.substr(0, a);
                url = NSURL::URLWithString(NSString::fromUTF8(line.substr(a + 1, b - a - 1)));
                version = line.substr(b + 1);
            } else {
                // "HTTP/1.1 200 OK": the version, a three-digit code, an optional phrase.
                if (line.compare(0, 5, "HTTP/") != 0) {
                    failed = true;
                    break;
                }
                size_t a = line.find(' ');
                if (a == std::string::npos || a + 4 > line.size() ||
                    !std::isdigit(static_cast<unsigned char>(line[a + 1])) ||
                    !std::isdigit(static_cast<unsigned char>(line[a + 2])) ||
                    !std::isdigit(static_cast<unsigned char>(line[a + 3])) ||
                    (a + 4 < line.size() && line[a + 4] != ' ')) {
                    failed = true;
                    break;
                }
                version = line.substr(0, a);
                statusCode = std::stoi(line.substr(a + 1, 3));
                statusLine = line;
            }
            continue;
        }
        if (line.empty()) {
            headerComplete = true;
            break;
        }
        if ((line[0] == ' ' || line[0] == '\t') && !fields.empty()) {
            fields.back().value += " " + trim(line);  // an obsolete folded continuation
            continue;
        }
        size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0 || fields.size() >= kMaxFields) {
            failed = true;
            break;
        }
        addParsedField(trim(std::string_view(line).substr(0, colon)),
                       trim(std::string_view(line).substr(colon + 1)));
    }
    return failed ? -1 : static_cast<long>(used);
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
    return message ? NSString::fromUTF8(message->version) : nullptr;
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

Ref<NSDictionary> CFHTTPMessageCopyAllHeaderFields(CFHTTPMessageRef message) {
    if (!message) return nullptr;
    auto d = NSMutableDictionary::dictionaryWithCapacity(
        static_cast<NSUInteger>(message->fields.size()));
    for (const auto& f : message->fields)
        d->setObject(NSString::fromUTF8(f.value), NSString::fromUTF8(f.name));
    return d->copy();
}

void CFHTTPMessageSetHeaderFieldValue(CFHTTPMessageRef message, NSString* headerField,
                                      NSString* value) {
    if (!message || !headerField) return;
    std::string name = headerField->utf8();
    // Line breaks inside a field would let a caller's text forge further fields.
    std::string v = utf8Of(value);
    std::replace(v.begin(), v.end(), '\r', ' ');
    std::replace(v.begin(), v.end(), '\n', ' ');
    std::replace(name.begin(), name.end(), '\r', ' ');
    std::replace(name.begin(), name.end(), '\n', ' ');
    if (!value) {
        message->removeField(name);
    } else {
        message->setField(name, v);
    }
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
    return NSString::fromUTF8(response->statusLine);
}
