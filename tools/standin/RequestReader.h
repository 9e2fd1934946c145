// Reads HTTP/1.1 requests off a byte stream: the head (request line and fields, held to what RFC
// 9112 allows), then the body as its framing says (Content-Length or chunked, gzip undone). The
// server reads from its sockets through it; the fuzz target reads from memory.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "tools/standin/HttpMessage.h"

namespace standin {

// A request head through its blank line, and a chunk-size line or the trailer section.
inline constexpr std::size_t kMaxRequestHead = 64 * 1024;
inline constexpr std::size_t kMaxRequestBody = 32 * 1024 * 1024;

// Where a request's bytes come from, and the deadline a request is held to.
class RequestSource {
public:
    virtual ~RequestSource() = default;
    // Bytes read, 0 at the end of the stream, a time-out, an error or a deadline reached.
    virtual std::size_t read(char* buffer, std::size_t size) = 0;
    // Starts the deadline for the part of a request now arriving (its head, then its body).
    virtual void startDeadline() {}
    // Ends it; true when the deadline was reached first.
    virtual bool endDeadline() { return false; }
};

class RequestReader {
public:
    // hostRequired: an HTTP/1.1 request without a Host field is refused (RFC 9112 section 3.2);
    // test servers that stand in for any server may take one without.
    explicit RequestReader(RequestSource& source, bool hostRequired = true)
        : source_(source), hostRequired_(hostRequired) {}

    enum class Result {
        Ok,
        Closed,    // the client ended the stream between requests
        Bad,       // 400: unreadable, or a stream that ended inside a request
        Late,      // 408: the deadline came first
        TooLarge,  // 413: a body over the limit
    };

    // The next request's head. With Ok the body's framing is known and acceptable, so that a
    // 100 Continue may then be sent.
    Result readHead(HttpRequest& request, std::string* problem);
    // Whether a body follows the head just read.
    bool expectsBody() const { return chunked_ || (length_ && *length_ > 0); }
    Result readBody(HttpRequest& request, std::string* problem);

    // The head just read as it came: request line and fields through the blank line.
    const std::string& head() const { return head_; }
    bool chunked() const { return chunked_; }

    // For servers that take a body piece by piece instead (a test reading an upload slowly):
    // appends the next bytes of the body after the head, at most `max`, chunk framing removed and
    // content coding kept; Ok with nothing appended once the body is complete.
    Result readBodySome(std::string* into, std::size_t max, std::string* problem);
    bool bodyComplete() const { return part_ == BodyPart::Done; }

    // Whether bytes past the last request were read off the stream already (a pipelined one).
    bool hasBuffered() const { return !buffer_.empty(); }
    // Hands over what was read off the stream past the request (a tunnel's first bytes).
    std::string takeBuffered();

private:
    void noteRequestLine(HttpRequest& request) const;
    Result parseHead(const std::string& head, HttpRequest& request, std::string* problem);
    Result readBodyBytes(HttpRequest& request, std::string* problem);
    bool fill(std::size_t limit = 16384);
    enum class Line { Ok, Ended, TooLong };
    Line readLine(std::string* line);
    Result chunkLine(std::string* line, const char* what, std::string* problem);
    Result trailers(std::string* problem);
    bool readExactly(std::size_t size, std::string* into);

    RequestSource& source_;
    bool hostRequired_;
    std::string buffer_;
    bool chunked_ = false;
    std::optional<std::size_t> length_;
    std::string head_;
    enum class BodyPart { ChunkSize, ChunkData, Data, Done } part_ = BodyPart::Done;
    std::size_t left_ = 0;  // of a Content-Length body, or of the current chunk
};

// A "bytes=" Range value against a body of `size` bytes (one range; RFC 9110): Partial with the
// first byte and one past the last (an end past the body is cut to it, "-N" is the last N bytes);
// Unsatisfiable (416) when it starts at or past the end or asks for the last 0 bytes; Whole
// (ignored: 200 with the whole body) when absent or unreadable, for several ranges, or for one
// that ends before it starts.
struct ByteRange {
    enum class Kind { Whole, Partial, Unsatisfiable } kind = Kind::Whole;
    std::size_t first = 0;
    std::size_t end = 0;  // one past the last byte
};
ByteRange byteRange(std::string_view value, std::size_t size);
// The range a request asks for by its Range field, as long as its If-Range field (RFC 9110
// section 13.1.5), when it has one, names `entityTag`: the body's strong entity tag, "" for a body
// that has none. An If-Range that names anything else, a date included, asks for the whole body.
ByteRange requestedRange(const HttpRequest& request, std::size_t size,
                         std::string_view entityTag = {});

}  // namespace standin
