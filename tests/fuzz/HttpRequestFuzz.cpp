// The stand-in servers' request reader on arbitrary bytes, arriving in pieces of varying size:
// heads, fields, Content-Length and chunked bodies, several requests on one connection, and the
// Range value of each request read against bodies of several sizes, with its If-Range. Whatever it
// accepts must hold to what it promises (a token method, field values without control bytes, a body
// within the limit, ranges inside the body).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/standin/HttpMessage.h"
#include "tools/standin/RequestReader.h"

namespace {

// The input as a connection delivers it: the first byte sets the size of each read.
class Pieces : public standin::RequestSource {
public:
    Pieces(std::string_view bytes, size_t piece)
        : rest_(bytes), piece_(std::max<size_t>(1, piece)) {}
    size_t read(char* buffer, size_t size) override {
        size_t n = std::min({size, piece_, rest_.size()});
        std::copy_n(rest_.data(), n, buffer);
        rest_.remove_prefix(n);
        return n;
    }

private:
    std::string_view rest_;
    size_t piece_;
};

void checkRange(std::string_view value, size_t size) {
    standin::ByteRange r = standin::byteRange(value, size);
    if (r.kind == standin::ByteRange::Kind::Partial && !(r.first < r.end && r.end <= size)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    Pieces source(bytes, data[0]);
    standin::RequestReader reader(source);
    // Each request read consumes input, so the connection ends within as many rounds.
    for (size_t round = 0; round <= size; ++round) {
        standin::HttpRequest request;
        std::string problem;
        auto result = reader.readHead(request, &problem);
        if (result == standin::RequestReader::Result::Ok)
            result = reader.readBody(request, &problem);
        if (result != standin::RequestReader::Result::Ok) {
            // A body over the limit is always refused with its reason.
            if (result == standin::RequestReader::Result::TooLarge && problem.empty()) abort();
            break;
        }
        if (!standin::isToken(request.method)) abort();
        for (const auto& field : request.headers)
            if (!standin::isToken(field.name) || !standin::isFieldValue(field.value)) abort();
        if (request.body.size() > standin::kMaxRequestBody) abort();
        std::string range = request.header("Range");
        for (size_t length : {size_t{0}, size_t{1}, size_t{500}, request.body.size()}) {
            checkRange(range, length);
            // With its If-Range, against a body that has no entity tag and one that has.
            for (std::string_view tag : {std::string_view(), std::string_view("\"v1\"")}) {
                standin::ByteRange r = standin::requestedRange(request, length, tag);
                if (r.kind == standin::ByteRange::Kind::Partial &&
                    !(r.first < r.end && r.end <= length))
                    abort();
            }
        }
    }
    // Range values on their own, straight from the input.
    checkRange(bytes, bytes.size());
    return 0;
}
