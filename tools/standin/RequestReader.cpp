#include "tools/standin/RequestReader.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <charconv>

namespace standin {

namespace {

// What the log keeps of a request line that could not be read.
constexpr std::size_t kMaxLoggedLine = 1024;

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Decimal digits only, without overflow; nullopt for anything else.
std::optional<std::size_t> digitsValue(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::size_t number = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || text.front() == '-' ||
        text.front() == '+')
        return std::nullopt;
    return number;
}

// A Content-Length value: digits, or a list of equal numbers (a field repeated by a proxy).
std::optional<std::size_t> lengthValue(std::string_view value) {
    std::optional<std::size_t> length;
    std::size_t at = 0;
    for (;;) {
        std::size_t comma = value.find(',', at);
        std::string_view item = trimmed(value.substr(
            at, comma == std::string_view::npos ? std::string_view::npos : comma - at));
        std::optional<std::size_t> number = digitsValue(item);
        if (!number) return std::nullopt;
        if (length && *length != *number) return std::nullopt;
        length = number;
        if (comma == std::string_view::npos) return length;
        at = comma + 1;
    }
}

// What follows a chunk's size (RFC 9112 section 7.1.1): *( BWS ";" BWS name [ BWS "=" BWS
// value ] ), a name a token, a value a token or a quoted string (in which a backslash escapes
// the next byte); no control byte anywhere.
bool isChunkExtensions(std::string_view rest) {
    auto skipSpace = [&] {
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
            rest.remove_prefix(1);
    };
    auto takeToken = [&] {
        std::size_t end = 0;
        while (end < rest.size() && isToken(rest.substr(end, 1)))
            ++end;
        rest.remove_prefix(end);
        return end > 0;
    };
    auto takeQuoted = [&] {
        for (std::size_t i = 1; i < rest.size(); ++i) {
            if (rest[i] == '"') {
                rest.remove_prefix(i + 1);
                return true;
            }
            if (rest[i] == '\\' && ++i == rest.size()) return false;
            auto c = static_cast<unsigned char>(rest[i]);
            if ((c < 0x20 && c != '\t') || c == 0x7f) return false;
        }
        return false;
    };
    skipSpace();
    while (!rest.empty()) {
        if (rest.front() != ';') return false;
        rest.remove_prefix(1);
        skipSpace();
        if (!takeToken()) return false;
        skipSpace();
        if (rest.empty() || rest.front() != '=') continue;
        rest.remove_prefix(1);
        skipSpace();
        if (!(rest.empty() || rest.front() != '"' ? takeToken() : takeQuoted())) return false;
        skipSpace();
    }
    return true;
}

// A chunk-size line: hexadecimal digits, then optionally extensions.
std::optional<std::size_t> chunkSize(std::string_view line) {
    std::size_t digits = 0;
    std::size_t size = 0;
    while (digits < line.size() && std::isxdigit(static_cast<unsigned char>(line[digits]))) {
        char c = line[digits];
        size = size * 16 + static_cast<std::size_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
        if (++digits > 15) return std::nullopt;  // far beyond any body we take
    }
    if (digits == 0) return std::nullopt;
    if (!isChunkExtensions(line.substr(digits))) return std::nullopt;
    return size;
}

// A byte a request target may hold (RFC 3986's unreserved and reserved characters and the
// percent of an escape; a fragment is never sent): no control byte, space or byte above 0x7e
// that could make the target mean something else to the next reader of it.
bool isTargetByte(unsigned char c) {
    if (std::isalnum(c)) return true;
    return std::string_view("-._~!$&'()*+,;=:@/?%[]").find(static_cast<char>(c)) !=
           std::string_view::npos;
}

// host [":" port] as a Host field or an authority-form target carries it (RFC 9112 section 3.2):
// a name of URI characters or a bracketed address, and a port of 1 to 5 digits up to 65535.
bool isAuthority(std::string_view text, bool portRequired) {
    std::string_view host = text, port;
    bool hasPort = false;
    if (!text.empty() && text.front() == '[') {
        std::size_t close = text.find(']');
        if (close == std::string_view::npos || close < 2) return false;
        for (char c : text.substr(1, close - 1)) {
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
        }
        host = text.substr(0, close + 1);
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return false;
            hasPort = true;
            port = rest.substr(1);
        }
    } else {
        std::size_t colon = text.rfind(':');
        if (colon != std::string_view::npos) {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
            hasPort = true;
        }
        if (host.empty()) return false;
        for (char c : host) {
            if (!std::isalnum(static_cast<unsigned char>(c)) &&
                std::string_view("-._~!$&'()*+,;=%").find(c) == std::string_view::npos)
                return false;
        }
    }
    if (!hasPort) return !portRequired;
    if (port.empty() || port.size() > 5) return false;
    std::optional<std::size_t> number = digitsValue(port);
    return number && *number <= 65535;
}

// A Host field's value: empty (a target without an authority) or an authority.
bool isHostValue(std::string_view value) {
    return value.empty() || isAuthority(value, false);
}

// What is wrong with a request target, "" for nothing: it must be origin-form ("/..."),
// absolute-form (an http or https URL, the scheme in any case), "*" for OPTIONS or host:port for
// CONNECT (RFC 9112 section 3.2), made of URI characters only.
std::string targetFault(std::string_view method, std::string_view target) {
    for (unsigned char c : target) {
        if (!isTargetByte(c)) return "malformed request target";
    }
    if (method == "CONNECT")
        return isAuthority(target, true) ? "" : "CONNECT takes host:port as its target";
    if (target == "*") return method == "OPTIONS" ? "" : "\"*\" is a target for OPTIONS only";
    if (target.front() == '/') return "";
    std::size_t scheme = target.find("://");
    if (scheme == std::string_view::npos ||
        (!equalsIgnoringCase(target.substr(0, scheme), "http") &&
         !equalsIgnoringCase(target.substr(0, scheme), "https")))
        return "malformed request target";
    std::string_view rest = target.substr(scheme + 3);
    if (!isAuthority(rest.substr(0, rest.find_first_of("/?")), false))
        return "malformed request target";
    return "";
}

std::optional<std::string> gunzip(std::string_view data) {
    z_stream z{};
    if (inflateInit2(&z, 47) != Z_OK) return std::nullopt;
    std::string out;
    char buffer[16384];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    int r;
    do {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        r = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - z.avail_out);
        if (out.size() > kMaxRequestBody) r = Z_DATA_ERROR;
    } while (r == Z_OK);
    inflateEnd(&z);
    if (r != Z_STREAM_END) return std::nullopt;
    return out;
}

}  // namespace

RequestReader::Result RequestReader::readHead(HttpRequest& request, std::string* problem) {
    request.method.clear();  // until a request line has been read
    chunked_ = false;
    length_.reset();
    head_.clear();
    part_ = BodyPart::Done;
    // The deadline runs from the head's first byte; a kept connection waits for that under the
    // idle time-out only.
    bool watching = !buffer_.empty();
    if (watching) source_.startDeadline();
    std::size_t end;
    std::size_t searched = 0;
    for (;;) {
        end = buffer_.find("\r\n\r\n", searched);
        // The cap holds for the head through its blank line, to the byte: it is checked after
        // every read, not before the next one.
        bool tooLarge = end == std::string::npos ? buffer_.size() >= kMaxRequestHead
                                                 : end + 4 > kMaxRequestHead;
        if (tooLarge) {
            if (watching) source_.endDeadline();
            noteRequestLine(request);
            *problem = "request head too large";
            return Result::Bad;
        }
        if (end != std::string::npos) break;
        searched = buffer_.size() < 3 ? 0 : buffer_.size() - 3;
        if (!fill()) {
            noteRequestLine(request);
            if (watching && source_.endDeadline()) {
                *problem = "request head not complete in time";
                return Result::Late;
            }
            return buffer_.empty() ? Result::Closed : Result::Bad;
        }
        if (!watching) {
            watching = true;
            source_.startDeadline();
        }
    }
    if (watching && source_.endDeadline()) {
        noteRequestLine(request);
        *problem = "request head not complete in time";
        return Result::Late;
    }
    head_ = buffer_.substr(0, end + 4);
    buffer_.erase(0, end + 4);
    Result result = parseHead(head_.substr(0, end), request, problem);
    if (result == Result::Ok) {
        left_ = length_.value_or(0);
        part_ = chunked_ ? BodyPart::ChunkSize : left_ > 0 ? BodyPart::Data : BodyPart::Done;
    }
    return result;
}

RequestReader::Result RequestReader::parseHead(const std::string& head, HttpRequest& request,
                                               std::string* problem) {
    std::size_t lineEnd = head.find("\r\n");
    std::string line = head.substr(0, lineEnd);
    request.requestLine = line;
    // method SP request-target SP version, and nothing else: a space more is no method and
    // target of ours to guess.
    std::size_t sp1 = line.find(' ');
    std::size_t sp2 = sp1 == std::string::npos ? sp1 : line.find(' ', sp1 + 1);
    bool shaped = sp1 != std::string::npos && sp2 != std::string::npos && sp2 > sp1 + 1 &&
                  line.find(' ', sp2 + 1) == std::string::npos &&
                  isToken(std::string_view(line).substr(0, sp1));
    if (!shaped) {
        *problem = "malformed request line";
        return Result::Bad;
    }
    std::string version = line.substr(sp2 + 1);
    // The two versions this server speaks, exactly: anything else has no rules of ours to read
    // the rest by (and "HTTP/1.1x" would pass for a version without the Host rule).
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        *problem = "unsupported protocol version";
        return Result::Bad;
    }
    request.method = line.substr(0, sp1);
    request.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    request.version = version;
    request.headers.clear();
    std::size_t at = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (at < head.size()) {
        std::size_t next = head.find("\r\n", at);
        std::string_view field = std::string_view(head).substr(
            at, next == std::string::npos ? std::string::npos : next - at);
        // name ":" value, the name a token (no space before the colon, no folded line).
        std::size_t colon = field.find(':');
        if (colon == std::string_view::npos || !isToken(field.substr(0, colon))) {
            *problem = "malformed header field";
            return Result::Bad;
        }
        std::string_view value = trimmed(field.substr(colon + 1));
        if (!isFieldValue(value)) {
            *problem = "control byte in a header value";
            return Result::Bad;
        }
        request.headers.push_back({std::string(field.substr(0, colon)), std::string(value)});
        if (next == std::string::npos) break;
        at = next + 2;
    }

    if (std::string fault = targetFault(request.method, request.target); !fault.empty()) {
        *problem = fault;
        return Result::Bad;
    }
    const HeaderField* hostField = nullptr;
    for (const auto& field : request.headers) {
        if (!equalsIgnoringCase(field.name, "Host")) continue;
        if (hostField) {
            *problem = "more than one Host field";
            return Result::Bad;
        }
        hostField = &field;
    }
    if (!hostField && hostRequired_ && request.version == "HTTP/1.1") {
        *problem = "no Host field";
        return Result::Bad;
    }
    if (hostField && !isHostValue(hostField->value)) {
        *problem = "malformed Host field";
        return Result::Bad;
    }

    std::string target = request.target;
    if (auto parts = splitUrl(target)) {
        // An absolute target names the host itself, over any Host field.
        request.host = parts->host;
        target = parts->path + (parts->query.empty() ? "" : "?" + parts->query);
    }
    if (hostField && !hostField->value.empty() && request.host.empty()) {
        std::string host = hostField->value;
        std::size_t colon = host.rfind(':');
        if (colon != std::string::npos && host.back() != ']') host = host.substr(0, colon);
        request.host = lowercase(host);
    }
    std::size_t question = target.find('?');
    request.path = target.substr(0, question);
    request.query = question == std::string::npos ? std::string() : target.substr(question + 1);
    if (request.path.empty()) request.path = "/";

    // The body's framing, checked before anything (a 100 Continue) invites the body.
    bool transferCoded = false;
    std::string codings;
    for (const auto& field : request.headers) {
        if (!equalsIgnoringCase(field.name, "Transfer-Encoding")) continue;
        // Repeated fields are one list (RFC 9110 section 5.3), read as a whole.
        codings += (transferCoded ? ", " : "") + field.value;
        transferCoded = true;
    }
    if (transferCoded) {
        // Only chunked, once: any other coding leaves the body's end unknown.
        if (!equalsIgnoringCase(trimmed(codings), "chunked")) {
            *problem = "unsupported Transfer-Encoding";
            return Result::Bad;
        }
        chunked_ = true;
    }
    for (const auto& field : request.headers) {
        if (!equalsIgnoringCase(field.name, "Content-Length")) continue;
        // Both framings at once is how a request is smuggled past a proxy in another's body.
        if (transferCoded) {
            *problem = "both Content-Length and Transfer-Encoding";
            return Result::Bad;
        }
        std::optional<std::size_t> length = lengthValue(field.value);
        if (!length) {
            *problem = "malformed Content-Length";
            return Result::Bad;
        }
        if (length_ && *length_ != *length) {
            *problem = "conflicting Content-Length fields";
            return Result::Bad;
        }
        length_ = length;
    }
    if (length_ && *length_ > kMaxRequestBody) {
        *problem = "request body too large";
        return Result::TooLarge;
    }
    return Result::Ok;
}

RequestReader::Result RequestReader::readBody(HttpRequest& request, std::string* problem) {
    request.body.clear();
    if (!expectsBody()) return Result::Ok;
    // A body has a deadline of its own, so that one that trickles in cannot hold the
    // connection for ever; one that came with its head needs none.
    bool watching = chunked_ || buffer_.size() < *length_;
    if (watching) source_.startDeadline();
    Result result = readBodyBytes(request, problem);
    if (watching && source_.endDeadline() && result != Result::Ok) {
        *problem = "request body not complete in time";
        return Result::Late;
    }
    if (result != Result::Ok) return result;
    if (equalsIgnoringCase(request.header("Content-Encoding"), "gzip")) {
        auto plain = gunzip(request.body);
        if (!plain) {
            *problem = "damaged gzip body";
            return Result::Bad;
        }
        request.body = std::move(*plain);
    }
    return Result::Ok;
}

RequestReader::Result RequestReader::readBodyBytes(HttpRequest& request, std::string* problem) {
    if (!chunked_) {
        if (!readExactly(*length_, &request.body)) return Result::Bad;
        return Result::Ok;
    }
    for (;;) {
        std::string line;
        if (Result r = chunkLine(&line, "chunk size line", problem); r != Result::Ok) return r;
        std::optional<std::size_t> chunk = chunkSize(line);
        if (!chunk) {
            *problem = "malformed chunk size";
            return Result::Bad;
        }
        std::size_t size = *chunk;
        if (size == 0) return trailers(problem);
        if (request.body.size() + size > kMaxRequestBody) {
            *problem = "request body too large";
            return Result::TooLarge;
        }
        if (!readExactly(size, &request.body)) return Result::Bad;
        if (Result r = chunkLine(&line, "chunk end", problem); r != Result::Ok) return r;
        if (!line.empty()) {
            *problem = "chunk longer than its size";
            return Result::Bad;
        }
    }
}

RequestReader::Result RequestReader::readBodySome(std::string* into, std::size_t max,
                                                  std::string* problem) {
    std::size_t before = into->size();
    while (into->size() == before && part_ != BodyPart::Done && max > 0) {
        if (part_ == BodyPart::ChunkSize) {
            std::string line;
            if (Result r = chunkLine(&line, "chunk size line", problem); r != Result::Ok) return r;
            std::optional<std::size_t> size = chunkSize(line);
            if (!size) {
                *problem = "malformed chunk size";
                return Result::Bad;
            }
            if (*size == 0) {
                if (Result r = trailers(problem); r != Result::Ok) return r;
                part_ = BodyPart::Done;
                break;
            }
            left_ = *size;
            part_ = BodyPart::ChunkData;
            continue;
        }
        std::size_t want = std::min(left_, max);
        // No more off the stream than is asked for, so that a slow reader stalls its sender.
        if (buffer_.empty() && !fill(want)) return Result::Bad;
        std::size_t take = std::min(want, buffer_.size());
        into->append(buffer_, 0, take);
        buffer_.erase(0, take);
        left_ -= take;
        if (left_ > 0) continue;
        if (part_ == BodyPart::Data) {
            part_ = BodyPart::Done;
            continue;
        }
        std::string end;
        if (Result r = chunkLine(&end, "chunk end", problem); r != Result::Ok) return r;
        if (!end.empty()) {
            *problem = "chunk longer than its size";
            return Result::Bad;
        }
        part_ = BodyPart::ChunkSize;
    }
    return Result::Ok;
}

std::string RequestReader::takeBuffered() {
    std::string out;
    out.swap(buffer_);
    return out;
}

void RequestReader::noteRequestLine(HttpRequest& request) const {
    request.requestLine = buffer_.substr(0, std::min(buffer_.find("\r\n"), kMaxLoggedLine));
}

bool RequestReader::fill(std::size_t limit) {
    char chunk[16384];
    std::size_t n = source_.read(chunk, std::min(limit, sizeof chunk));
    if (n == 0) return false;
    buffer_.append(chunk, n);
    return true;
}

RequestReader::Line RequestReader::readLine(std::string* line) {
    std::size_t end;
    std::size_t searched = 0;
    while ((end = buffer_.find("\r\n", searched)) == std::string::npos) {
        if (buffer_.size() > kMaxRequestHead) return Line::TooLong;
        searched = buffer_.empty() ? 0 : buffer_.size() - 1;
        if (!fill()) return Line::Ended;
    }
    if (end > kMaxRequestHead) return Line::TooLong;
    *line = buffer_.substr(0, end);
    buffer_.erase(0, end + 2);
    return Line::Ok;
}

// A line of the chunked framing: Bad with a reason when it runs past the cap, Bad without one
// when the stream ends (nobody is left to answer).
RequestReader::Result RequestReader::chunkLine(std::string* line, const char* what,
                                               std::string* problem) {
    switch (readLine(line)) {
        case Line::Ok:
            return Result::Ok;
        case Line::TooLong:
            *problem = std::string(what) + " too long";
            return Result::Bad;
        case Line::Ended:
            break;
    }
    return Result::Bad;
}

// The trailer fields after the last chunk, up to the blank line, dropped; held to the head's cap
// in all.
RequestReader::Result RequestReader::trailers(std::string* problem) {
    std::size_t total = 0;
    for (;;) {
        std::string line;
        if (Result r = chunkLine(&line, "trailer section", problem); r != Result::Ok) return r;
        if (line.empty()) return Result::Ok;
        total += line.size() + 2;
        if (total > kMaxRequestHead) {
            *problem = "trailer section too long";
            return Result::Bad;
        }
    }
}

bool RequestReader::readExactly(std::size_t size, std::string* into) {
    while (buffer_.size() < size) {
        if (!fill()) return false;
    }
    into->append(buffer_, 0, size);
    buffer_.erase(0, size);
    return true;
}

ByteRange byteRange(std::string_view value, std::size_t size) {
    ByteRange whole;
    whole.end = size;
    value = trimmed(value);
    if (value.substr(0, 6) != "bytes=") return whole;
    std::string_view spec = trimmed(value.substr(6));
    std::size_t dash = spec.find('-');
    if (dash == std::string_view::npos || spec.find(',') != std::string_view::npos) return whole;
    std::string_view from = trimmed(spec.substr(0, dash));
    std::string_view to = trimmed(spec.substr(dash + 1));
    ByteRange range;
    range.kind = ByteRange::Kind::Partial;
    if (from.empty()) {
        // "-N": the last N bytes.
        std::optional<std::size_t> suffix = digitsValue(to);
        if (!suffix) return whole;
        if (*suffix == 0 || size == 0) {
            range.kind = ByteRange::Kind::Unsatisfiable;
            return range;
        }
        range.first = size - std::min(*suffix, size);
        range.end = size;
        return range;
    }
    std::optional<std::size_t> first = digitsValue(from);
    if (!first) return whole;
    std::optional<std::size_t> last;
    if (!to.empty()) {
        last = digitsValue(to);
        if (!last || *last < *first) return whole;
    }
    if (*first >= size) {
        range.kind = ByteRange::Kind::Unsatisfiable;
        return range;
    }
    range.first = *first;
    range.end = last ? std::min(*last, size - 1) + 1 : size;
    return range;
}

ByteRange requestedRange(const HttpRequest& request, std::size_t size, std::string_view entityTag) {
    if (request.hasHeader("If-Range")) {
        std::string validator = request.header("If-Range");
        // A weak tag never matches: the range must come from the very bytes the client has.
        if (entityTag.empty() || validator != entityTag || validator.rfind("W/", 0) == 0) {
            ByteRange whole;
            whole.end = size;
            return whole;
        }
    }
    return byteRange(request.header("Range"), size);
}

}  // namespace standin
