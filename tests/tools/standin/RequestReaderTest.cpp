// The request reader without sockets: requests read from memory in pieces, what it refuses and
// with which answer, the deadline of a body, Range values and the numbers read from requests.
#include "tools/standin/RequestReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace {

using standin::ByteRange;
using standin::RequestReader;
using Result = standin::RequestReader::Result;

// Bytes delivered `piece` at a time; with `late`, every deadline after the first (the head's)
// counts as reached once they are all read.
class Memory : public standin::RequestSource {
public:
    Memory(std::string bytes, size_t piece, bool late = false)
        : bytes_(std::move(bytes)), piece_(piece), late_(late) {}
    size_t read(char* buffer, size_t size) override {
        size_t n = std::min({size, piece_, bytes_.size() - at_});
        std::copy_n(bytes_.data() + at_, n, buffer);
        at_ += n;
        return n;
    }
    void startDeadline() override { ++deadlines; }
    bool endDeadline() override { return late_ && deadlines > 1 && at_ == bytes_.size(); }
    int deadlines = 0;

private:
    std::string bytes_;
    size_t at_ = 0;
    size_t piece_;
    bool late_;
};

struct Read {
    Result result;
    std::string problem;
    standin::HttpRequest request;
};

Read readOne(RequestReader& reader) {
    Read r;
    r.result = reader.readHead(r.request, &r.problem);
    if (r.result == Result::Ok) r.result = reader.readBody(r.request, &r.problem);
    return r;
}

TEST(RequestReader, ReadsRequestsInAnyPiecesOneAfterAnother) {
    for (size_t piece : {1u, 7u, 4096u}) {
        Memory source(
            "POST /a?x=1 HTTP/1.1\r\nHost: Shop.Test:80\r\nContent-Length: 3\r\n\r\nabc"
            "PUT /b HTTP/1.1\r\nHost: shop.test\r\nTransfer-Encoding: chunked\r\n\r\n"
            "2;ext=1\r\nde\r\n1 ; a = \"q\\\"; \\x\" ;b;c=d\r\nf\r\n0\r\nTrailer: x\r\n\r\n"
            "GET /c HTTP/1.0\r\n\r\n",
            piece);
        RequestReader reader(source);
        Read first = readOne(reader);
        ASSERT_EQ(first.result, Result::Ok) << piece << first.problem;
        EXPECT_EQ(first.request.host, "shop.test");
        EXPECT_EQ(first.request.path, "/a");
        EXPECT_EQ(first.request.query, "x=1");
        EXPECT_EQ(first.request.body, "abc");
        Read second = readOne(reader);
        ASSERT_EQ(second.result, Result::Ok) << piece << second.problem;
        EXPECT_EQ(second.request.method, "PUT");
        EXPECT_EQ(second.request.body, "def");
        Read third = readOne(reader);
        ASSERT_EQ(third.result, Result::Ok) << piece << third.problem;
        EXPECT_EQ(third.request.version, "HTTP/1.0");
        EXPECT_EQ(readOne(reader).result, Result::Closed);
    }
}

// The URL the log writes: an origin-form target on its host, an absolute-form one as it came.
TEST(RequestReader, TheURLOfEitherFormOfTarget) {
    Memory source(
        "GET /a?x=1 HTTP/1.1\r\nHost: shop.test:8080\r\n\r\n"
        "GET HTTP://Shop.Test/b?y=http://z HTTP/1.1\r\nHost: other.test\r\n\r\n",
        4096);
    RequestReader reader(source);
    Read origin = readOne(reader);
    ASSERT_EQ(origin.result, Result::Ok) << origin.problem;
    EXPECT_EQ(origin.request.url(), "http://shop.test/a?x=1");
    Read absolute = readOne(reader);
    ASSERT_EQ(absolute.result, Result::Ok) << absolute.problem;
    EXPECT_EQ(absolute.request.path, "/b");
    EXPECT_EQ(absolute.request.url(), "HTTP://Shop.Test/b?y=http://z");
}

TEST(RequestReader, RefusesWhatNoClientSendsWithItsAnswer) {
    const std::string host = "Host: shop.test\r\n";
    struct Case {
        std::string bytes;
        Result result;
        const char* problem;
    } cases[] = {
        {std::string("G\0T / HTTP/1.1\r\n", 16) + host + "\r\n", Result::Bad,
         "malformed request line"},
        {"GET / HTTP/1.1\r\n" + host + std::string("X: a\0b\r\n\r\n", 10), Result::Bad,
         "control byte in a header value"},
        {"GET / HTTP/1.1\r\n" + host + "X: a\rb\r\n\r\n", Result::Bad,
         "control byte in a header value"},
        {"GET / HTTP/1.1\r\n" + host + "no colon\r\n\r\n", Result::Bad, "malformed header field"},
        {"GET / HTTP/1.1\r\n" + host + ": empty name\r\n\r\n", Result::Bad,
         "malformed header field"},
        {"GET / HTTP/1.1\r\n" + host + " folded: x\r\n\r\n", Result::Bad, "malformed header field"},
        {"POST / HTTP/1.1\r\n" + host + "Transfer-Encoding: gzip, chunked\r\n\r\n", Result::Bad,
         "unsupported Transfer-Encoding"},
        {"POST / HTTP/1.1\r\n" + host + "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n",
         Result::Bad, "both Content-Length and Transfer-Encoding"},
        {"POST / HTTP/1.1\r\n" + host + "Content-Length: 99999999999999999999\r\n\r\n", Result::Bad,
         "malformed Content-Length"},
        {"POST / HTTP/1.1\r\n" + host +
             "Content-Length: " + std::to_string(standin::kMaxRequestBody + 1) + "\r\n\r\n",
         Result::TooLarge, "request body too large"},
        {"POST / HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n2000001\r\n",
         Result::TooLarge, "request body too large"},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    // Only the two versions spoken, spelled exactly.
    for (const char* version :
         {"HTTP/1.2", "HTTP/1.10", "HTTP/1.1x", "HTTP/1.", "HTTP/1.01", "HTTP/2.0", "http/1.1"})
        all.push_back({std::string("GET / ") + version + "\r\n" + host + "\r\n", Result::Bad,
                       "unsupported protocol version"});
    // Chunk extensions held to their grammar: a bare CR or LF, a name that is no token, an
    // unclosed quote.
    for (const char* line : {"1;a\rb", "1;a\nb", "1;a=\"x\ny\"", "1;", "1;=x", "1;a=", "1;a=\"x",
                             "1;a=\"x\\\"", "1;a b", "1;a=x y", "1 x"})
        all.push_back({"POST / HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n" + line +
                           "\r\nz\r\n0\r\n\r\n",
                       Result::Bad, "malformed chunk size"});
    for (const auto& c : all) {
        Memory source(c.bytes, 4096);
        RequestReader reader(source);
        Read r = readOne(reader);
        EXPECT_EQ(r.result, c.result) << c.bytes;
        EXPECT_EQ(r.problem, c.problem) << c.bytes;
    }
}

TEST(RequestReader, ABodyThatDoesNotComeInTimeIsLate) {
    Memory late("POST / HTTP/1.1\r\nHost: shop.test\r\nContent-Length: 10\r\n\r\nab", 16, true);
    RequestReader reader(late);
    standin::HttpRequest request;
    std::string problem;
    // The head came whole before the deadline; the body did not.
    ASSERT_EQ(reader.readHead(request, &problem), Result::Ok);
    EXPECT_EQ(reader.readBody(request, &problem), Result::Late);
    EXPECT_EQ(problem, "request body not complete in time");
    EXPECT_EQ(late.deadlines, 2);

    // A body that came with its head is read without a deadline of its own.
    Memory whole("POST / HTTP/1.1\r\nHost: shop.test\r\nContent-Length: 2\r\n\r\nab", 4096);
    RequestReader again(whole);
    EXPECT_EQ(readOne(again).result, Result::Ok);
    EXPECT_EQ(whole.deadlines, 1);
}

TEST(RequestReader, TakesABodyPieceByPieceAsItCame) {
    for (size_t piece : {1u, 4096u}) {
        Memory source(
            "PUT /a HTTP/1.1\r\nHost: shop.test\r\nContent-Length: 5\r\nContent-Encoding: "
            "gzip\r\n\r\nabcde"
            "PUT /b HTTP/1.1\r\nHost: shop.test\r\nTransfer-Encoding: chunked\r\n\r\n"
            "3\r\nfgh\r\n1;x=y\r\ni\r\n0\r\nTrailer: t\r\n\r\nafter",
            piece);
        RequestReader reader(source);
        standin::HttpRequest request;
        std::string problem, body;
        ASSERT_EQ(reader.readHead(request, &problem), Result::Ok) << problem;
        EXPECT_FALSE(reader.bodyComplete());
        // Never more than asked for at a time, and the content coding left alone.
        while (!reader.bodyComplete()) {
            size_t before = body.size();
            ASSERT_EQ(reader.readBodySome(&body, 2, &problem), Result::Ok);
            EXPECT_LE(body.size() - before, 2u);
        }
        EXPECT_EQ(body, "abcde");
        EXPECT_EQ(reader.head(),
                  "PUT /a HTTP/1.1\r\nHost: shop.test\r\nContent-Length: 5\r\nContent-Encoding: "
                  "gzip\r\n\r\n");

        ASSERT_EQ(reader.readHead(request, &problem), Result::Ok) << problem;
        EXPECT_TRUE(reader.chunked());
        body.clear();
        while (!reader.bodyComplete())
            ASSERT_EQ(reader.readBodySome(&body, 100, &problem), Result::Ok) << problem;
        EXPECT_EQ(body, "fghi");
        // What followed the request stays for whoever reads on.
        std::string rest = reader.takeBuffered();
        char more[16];
        while (size_t n = source.read(more, sizeof more))
            rest.append(more, n);
        EXPECT_EQ(rest, "after");
    }
    // A chunk that runs past its size.
    Memory bad(
        "PUT / HTTP/1.1\r\nHost: shop.test\r\nTransfer-Encoding: "
        "chunked\r\n\r\n1\r\nxy\r\n0\r\n\r\n",
        4096);
    RequestReader reader(bad);
    standin::HttpRequest request;
    std::string problem, body;
    ASSERT_EQ(reader.readHead(request, &problem), Result::Ok);
    EXPECT_EQ(reader.readBodySome(&body, 100, &problem), Result::Bad);
    EXPECT_EQ(problem, "chunk longer than its size");
}

TEST(ByteRange, FollowsTheOneRangeRules) {
    auto range = [](const char* value, size_t size) {
        ByteRange r = standin::byteRange(value, size);
        switch (r.kind) {
            case ByteRange::Kind::Whole:
                return std::string("whole");
            case ByteRange::Kind::Unsatisfiable:
                return std::string("416");
            case ByteRange::Kind::Partial:
                break;
        }
        return std::to_string(r.first) + "-" + std::to_string(r.end);
    };
    EXPECT_EQ(range("bytes=0-0", 100), "0-1");
    EXPECT_EQ(range("bytes=10-19", 100), "10-20");
    EXPECT_EQ(range("bytes=90-", 100), "90-100");
    EXPECT_EQ(range("bytes=90-500", 100), "90-100");
    EXPECT_EQ(range("bytes=-30", 100), "70-100");
    EXPECT_EQ(range("bytes=-300", 100), "0-100");
    EXPECT_EQ(range("bytes=100-", 100), "416");
    EXPECT_EQ(range("bytes=-0", 100), "416");
    EXPECT_EQ(range("bytes=0-", 0), "416");
    for (const char* ignored :
         {"", "bytes=", "bytes=abc", "bytes=5-1", "bytes=1-2,4-5", "lines=1-2", "bytes=--1",
          "bytes=+1-2", "bytes=99999999999999999999999-"})
        EXPECT_EQ(range(ignored, 100), "whole") << ignored;
}

TEST(ByteRange, AConditionalRangeOnlyForTheValidatorOfTheBody) {
    auto range = [](const char* ifRange, const char* entityTag) {
        standin::HttpRequest request;
        request.headers = {{"Range", "bytes=10-19"}};
        if (ifRange) request.headers.push_back({"If-Range", ifRange});
        ByteRange r = standin::requestedRange(request, 100, entityTag);
        return r.kind == ByteRange::Kind::Partial
                   ? std::to_string(r.first) + "-" + std::to_string(r.end)
                   : std::string("whole");
    };
    EXPECT_EQ(range(nullptr, ""), "10-20");
    EXPECT_EQ(range(nullptr, "\"v1\""), "10-20");
    EXPECT_EQ(range("\"v1\"", "\"v1\""), "10-20");
    // Another tag, a weak one, a date, or any validator for a body that has none.
    EXPECT_EQ(range("\"v0\"", "\"v1\""), "whole");
    EXPECT_EQ(range("W/\"v1\"", "W/\"v1\""), "whole");
    EXPECT_EQ(range("Sat, 29 Oct 1994 19:43:31 GMT", "\"v1\""), "whole");
    EXPECT_EQ(range("\"v1\"", ""), "whole");
    EXPECT_EQ(range("", ""), "whole");
}

TEST(NumbersFromRequests, AreReadInRangeOrNotAtAll) {
    EXPECT_EQ(standin::integerIn("42", 0, 100), 42);
    EXPECT_EQ(standin::integerIn("-5", -10, 10), -5);
    EXPECT_EQ(standin::integerIn("9223372036854775807", 0, LLONG_MAX), LLONG_MAX);
    for (const char* refused : {"", "+1", "1x", " 1", "0x10", "101", "99999999999999999999"})
        EXPECT_FALSE(standin::integerIn(refused, 0, 100)) << refused;
    EXPECT_EQ(standin::numberIn("2.5", 0, 10), 2.5);
    for (const char* refused : {"inf", "nan", "1e400", "-1", "11", "", "1,5"})
        EXPECT_FALSE(standin::numberIn(refused, 0, 10)) << refused;
}

}  // namespace
