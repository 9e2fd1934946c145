#include "tools/standin/HttpMessage.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

namespace standin {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A parameter of a header value such as `multipart/form-data; boundary="x"`.
std::string headerParameter(std::string_view value, std::string_view name) {
    size_t at = 0;
    while ((at = value.find(';', at)) != std::string_view::npos) {
        ++at;
        std::string_view rest = trim(value.substr(at));
        size_t eq = rest.find('=');
        if (eq == std::string_view::npos) continue;
        if (!equalsIgnoringCase(trim(rest.substr(0, eq)), name)) continue;
        std::string_view v = rest.substr(eq + 1);
        size_t end = v.find(';');
        v = trim(v.substr(0, end));
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        return std::string(v);
    }
    return {};
}

std::optional<FormFields> parseMultipart(std::string_view body, const std::string& boundary) {
    if (boundary.empty() || boundary.size() > kMaxBoundary) return std::nullopt;
    FormFields fields;
    const std::string delimiter = "--" + boundary;
    const std::string nextDelimiter = "\r\n" + delimiter;
    size_t at = body.find(delimiter);
    if (at == std::string_view::npos) return std::nullopt;
    // The parts are counted before any is made: a delimiter ends each, the closing one the last.
    size_t parts = 0;
    for (size_t next = at; (next = body.find(nextDelimiter, next + 1)) != std::string_view::npos;) {
        if (++parts > kMaxFormFields) return std::nullopt;
    }
    for (;;) {
        at += delimiter.size();
        if (body.substr(at, 2) == "--") return fields;  // the closing delimiter
        if (body.substr(at, 2) != "\r\n") return std::nullopt;
        at += 2;
        size_t headEnd = body.find("\r\n\r\n", at);
        if (headEnd == std::string_view::npos) return std::nullopt;
        FormField field;
        std::string_view head = body.substr(at, headEnd - at);
        size_t lineStart = 0;
        bool named = false;
        while (lineStart <= head.size()) {
            size_t lineEnd = head.find("\r\n", lineStart);
            std::string_view line =
                head.substr(lineStart, lineEnd == std::string_view::npos ? std::string_view::npos
                                                                         : lineEnd - lineStart);
            size_t colon = line.find(':');
            if (colon != std::string_view::npos) {
                std::string_view name = trim(line.substr(0, colon));
                std::string_view value = trim(line.substr(colon + 1));
                if (equalsIgnoringCase(name, "Content-Disposition")) {
                    field.name = headerParameter(value, "name");
                    named = value.find("name=") != std::string_view::npos;
                    std::string file = headerParameter(value, "filename");
                    if (value.find("filename=") != std::string_view::npos) {
                        field.isFile = true;
                        field.fileName = file;
                    }
                } else if (equalsIgnoringCase(name, "Content-Type")) {
                    field.contentType = std::string(value);
                }
            }
            if (lineEnd == std::string_view::npos) break;
            lineStart = lineEnd + 2;
        }
        if (!named) return std::nullopt;
        size_t dataStart = headEnd + 4;
        size_t next = body.find(nextDelimiter, dataStart);
        if (next == std::string_view::npos) return std::nullopt;
        field.value = std::string(body.substr(dataStart, next - dataStart));
        fields.push_back(std::move(field));
        at = next + 2;
    }
}

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string lowercase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool containsIgnoringCase(std::string_view text, std::string_view part) {
    return lowercase(text).find(lowercase(part)) != std::string::npos;
}

// ---- requests and responses -------------------------------------------------------------------

std::string HttpRequest::header(std::string_view name) const {
    for (const auto& f : headers) {
        if (equalsIgnoringCase(f.name, name)) return f.value;
    }
    return {};
}

bool HttpRequest::hasHeader(std::string_view name) const {
    for (const auto& f : headers) {
        if (equalsIgnoringCase(f.name, name)) return true;
    }
    return false;
}

std::optional<std::string> HttpRequest::cookie(std::string_view name) const {
    for (const auto& f : headers) {
        if (!equalsIgnoringCase(f.name, "Cookie")) continue;
        std::string_view list = f.value;
        size_t at = 0;
        while (at <= list.size()) {
            size_t semi = list.find(';', at);
            std::string_view pair = trim(list.substr(
                at, semi == std::string_view::npos ? std::string_view::npos : semi - at));
            size_t eq = pair.find('=');
            if (eq != std::string_view::npos && trim(pair.substr(0, eq)) == name)
                return std::string(trim(pair.substr(eq + 1)));
            if (semi == std::string_view::npos) break;
            at = semi + 1;
        }
    }
    return std::nullopt;
}

std::string HttpRequest::url() const {
    // An absolute-form target (a proxy's request) is the URL already.
    std::size_t scheme = target.find("://");
    if (scheme != std::string::npos && scheme > 0 && target.find_first_of("/?", 0) == scheme + 1)
        return target;
    std::string out = tls ? "https://" : "http://";
    out += host;
    if (target.empty() || target[0] != '/') out += "/";
    out += target;
    return out;
}

HttpResponse HttpResponse::html(std::string body, int status) {
    HttpResponse r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

HttpResponse HttpResponse::plain(std::string body, int status) {
    HttpResponse r;
    r.status = status;
    r.contentType = "text/plain; charset=utf-8";
    r.body = std::move(body);
    return r;
}

HttpResponse HttpResponse::binary(std::string body, std::string contentType) {
    HttpResponse r;
    r.contentType = std::move(contentType);
    r.body = std::move(body);
    return r;
}

HttpResponse HttpResponse::redirect(std::string location, int status) {
    HttpResponse r;
    r.status = status;
    r.header("Location", location);
    std::string shown = escapeHtml(location);
    r.body = "<html><body>Moved to <a href=\"" + shown + "\"><span>" + shown +
             "</span></a></body></html>\n";
    return r;
}

std::string reasonPhrase(int status) {
    switch (status) {
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
        case 308:
            return "Permanent Redirect";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 407:
            return "Proxy Authentication Required";
        case 408:
            return "Request Timeout";
        case 410:
            return "Gone";
        case 411:
            return "Length Required";
        case 413:
            return "Payload Too Large";
        case 416:
            return "Range Not Satisfiable";
        case 421:
            return "Misdirected Request";
        case 429:
            return "Too Many Requests";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        case 504:
            return "Gateway Timeout";
        default:
            return "Status";
    }
}

bool isToken(std::string_view text) {
    // strchr would match the terminator for NUL.
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u != 0 && (std::isalnum(u) || std::strchr("!#$%&'*+-.^_`|~", u) != nullptr);
    });
}

bool isFieldValue(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u == '\t' || (u >= 0x20 && u != 0x7f);
    });
}

// ---- URLs -------------------------------------------------------------------------------------

std::string percentDecode(std::string_view text, bool plusAsSpace) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else if (c == '+' && plusAsSpace) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

std::string percentEncode(std::string_view text, std::string_view keep) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' ||
            keep.find(static_cast<char>(c)) != std::string_view::npos) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool isUrlText(std::string_view url) {
    return !url.empty() && std::all_of(url.begin(), url.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7f;
    });
}

std::optional<UrlParts> splitUrl(std::string_view url) {
    size_t colon = url.find("://");
    if (colon == std::string_view::npos) return std::nullopt;
    UrlParts parts;
    parts.scheme = lowercase(url.substr(0, colon));
    if (parts.scheme != "http" && parts.scheme != "https") return std::nullopt;
    std::string_view rest = url.substr(colon + 3);
    size_t slash = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority = authority.substr(at + 1);
    size_t portColon = authority.rfind(':');
    if (portColon != std::string_view::npos && authority.find(']') == std::string_view::npos) {
        parts.port = std::atoi(std::string(authority.substr(portColon + 1)).c_str());
        authority = authority.substr(0, portColon);
    }
    if (authority.empty()) return std::nullopt;
    parts.host = lowercase(authority);
    size_t hash = rest.find('#');
    if (hash != std::string_view::npos) rest = rest.substr(0, hash);
    size_t question = rest.find('?');
    parts.path = std::string(rest.substr(0, question));
    if (parts.path.empty()) parts.path = "/";
    if (question != std::string_view::npos) parts.query = std::string(rest.substr(question + 1));
    return parts;
}

std::optional<long long> integerIn(std::string_view text, long long min, long long max) {
    if (text.empty() || text.front() == '+') return std::nullopt;
    long long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < min || value > max) return std::nullopt;
    return value;
}

std::optional<double> numberIn(std::string_view text, double min, double max) {
    if (text.empty() || text.front() == '+') return std::nullopt;
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(value) || value < min || value > max) return std::nullopt;
    return value;
}

// ---- forms ------------------------------------------------------------------------------------

FormFields parseQuery(std::string_view query) {
    FormFields fields;
    size_t at = 0;
    while (at < query.size()) {
        size_t amp = query.find('&', at);
        std::string_view pair =
            query.substr(at, amp == std::string_view::npos ? std::string_view::npos : amp - at);
        if (!pair.empty()) {
            size_t eq = pair.find('=');
            FormField f;
            f.name = percentDecode(pair.substr(0, eq), true);
            if (eq != std::string_view::npos) f.value = percentDecode(pair.substr(eq + 1), true);
            fields.push_back(std::move(f));
        }
        if (amp == std::string_view::npos) break;
        at = amp + 1;
    }
    return fields;
}

std::optional<FormFields> parseForm(const HttpRequest& request) {
    std::string type = request.header("Content-Type");
    std::string media = lowercase(trim(std::string_view(type).substr(0, type.find(';'))));
    if (media == "application/x-www-form-urlencoded" || (media.empty() && !request.body.empty())) {
        std::string_view body = request.body;
        size_t fields = 0;
        for (size_t at = 0; at < body.size();) {
            size_t amp = std::min(body.find('&', at), body.size());
            fields += amp > at ? 1 : 0;
            if (fields > kMaxFormFields) return std::nullopt;
            at = amp + 1;
        }
        return parseQuery(body);
    }
    if (media == "multipart/form-data")
        return parseMultipart(request.body, headerParameter(type, "boundary"));
    if (request.body.empty()) return FormFields{};
    return std::nullopt;
}

const FormField* findField(const FormFields& fields, std::string_view name) {
    for (const auto& f : fields) {
        if (f.name == name) return &f;
    }
    return nullptr;
}

std::string fieldValue(const FormFields& fields, std::string_view name) {
    const FormField* f = findField(fields, name);
    return f ? f->value : std::string();
}

std::size_t countFields(const FormFields& fields, std::string_view name) {
    return static_cast<std::size_t>(std::count_if(
        fields.begin(), fields.end(), [&](const FormField& f) { return f.name == name; }));
}

void completeFromTarget(HttpRequest& request) {
    request.host = lowercase(request.host);
    size_t question = request.target.find('?');
    if (request.path == "/" && request.target != "/")
        request.path = request.target.substr(0, question);
    if (request.query.empty() && question != std::string::npos)
        request.query = request.target.substr(question + 1);
}

std::string escapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
                break;
        }
    }
    return out;
}

}  // namespace standin
