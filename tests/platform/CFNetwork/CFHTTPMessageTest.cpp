#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CFNetwork/CFNetwork.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "support/FoundationTesting.h"

namespace {

Ref<CFHTTPMessage> parsed(const std::string& text, size_t piece = 3) {
    auto m = CFHTTPMessageCreateEmpty(kCFAllocatorDefault, false);
    // Fed in small pieces, as the network hands them over.
    for (size_t i = 0; i < text.size(); i += piece) {
        std::string part = text.substr(i, piece);
        if (!CFHTTPMessageAppendBytes(m, reinterpret_cast<const uint8_t*>(part.data()),
                                      static_cast<CFIndex>(part.size())))
            return nullptr;
    }
    return m;
}

TEST(CFHTTPMessage, ResponseHeadParsedPieceByPiece) {
    auto m = parsed(
        "HTTP/1.1 404 Not Found\r\ncontent-TYPE: text/html\r\nSet-Cookie: a=1\r\n"
        "set-cookie: b=2\r\nX-Folded: one\r\n  two\r\n\r\nbody");
    ASSERT_TRUE(m);
    EXPECT_TRUE(CFHTTPMessageIsHeaderComplete(m));
    EXPECT_EQ(CFHTTPMessageGetResponseStatusCode(m), 404);
    EXPECT_EQ(text(CFHTTPMessageCopyResponseStatusLine(m)), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(text(CFHTTPMessageCopyVersion(m)), "HTTP/1.1");
    // Names are canonical in the dictionary, so exact-match lookups find them.
    auto all = CFHTTPMessageCopyAllHeaderFields(m);
    EXPECT_EQ(text(all->objectForKey(NS("Content-Type"))), "text/html");
    EXPECT_EQ(text(all->objectForKey(NS("Set-Cookie"))), "a=1, b=2");
    EXPECT_EQ(text(all->objectForKey(NS("X-Folded"))), "one two");
    EXPECT_EQ(all->count(), 3u);
    EXPECT_EQ(text(CFHTTPMessageCopyHeaderFieldValue(m, NS("CONTENT-type"))), "text/html");
    EXPECT_EQ(text(CFHTTPMessageCopyBody(m)), "<626f6479>");
}

TEST(CFHTTPMessage, IncompleteAndMalformedHeads) {
    auto m = parsed("HTTP/1.1 200 OK\r\nA: b\r\n");
    ASSERT_TRUE(m);
    EXPECT_FALSE(CFHTTPMessageIsHeaderComplete(m));
    EXPECT_EQ(CFHTTPMessageGetResponseStatusCode(m), 200);
    EXPECT_FALSE(parsed("garbage\r\n\r\n"));
    EXPECT_FALSE(parsed("HTTP/1.1 20 OK\r\n\r\n"));
    EXPECT_FALSE(parsed("HTTP/1.1 200 OK\r\nno colon here\r\n\r\n"));
    // A status line without a reason phrase is fine.
    auto bare = parsed("HTTP/1.0 204\r\n\r\n");
    ASSERT_TRUE(bare);
    EXPECT_EQ(CFHTTPMessageGetResponseStatusCode(bare), 204);
}

TEST(CFHTTPMessage, RequestFieldsAndSerialisation) {
    EXPECT_FALSE(CFHTTPMessageCreateRequest(
        kCFAllocatorDefault, NS("GET"), NSURL::URLWithString(NS("/relative")), kCFHTTPVersion1_1));
    auto m = CFHTTPMessageCreateRequest(
        kCFAllocatorDefault, NS("POST"),
        NSURL::URLWithString(NS("http://example.test:8080/a%20b/c?x=1&y=%2F#frag")),
        kCFHTTPVersion1_1);
    ASSERT_TRUE(m);
    CFHTTPMessageSetHeaderFieldValue(m, NS("Accept"), NS("text/html"));
    CFHTTPMessageSetHeaderFieldValue(m, NS("accept"), NS("*/*"));  // a field of its own
    CFHTTPMessageSetHeaderFieldValue(m, NS("Accept"), NS("text/plain"));
    CFHTTPMessageSetHeaderFieldValue(m, NS("X-Gone"), NS("1"));
    CFHTTPMessageSetHeaderFieldValue(m, NS("X-Gone"), nullptr);
    // Line breaks cannot smuggle a field in.
    CFHTTPMessageSetHeaderFieldValue(m, NS("X-Injected"), NS("a\r\nEvil: 1"));
    CFHTTPMessageSetBody(m, NSData::dataWithBytes("hi", 2));
    EXPECT_EQ(text(CFHTTPMessageCopyRequestMethod(m)), "POST");
    EXPECT_EQ(text(CFHTTPMessageCopyHeaderFieldValue(m, NS("ACCEPT"))), "text/plain");
    auto wire = CFHTTPMessageCopySerializedMessage(m);
    EXPECT_EQ(std::string(wire->view()),
              "POST /a%20b/c?x=1&y=%2F HTTP/1.1\r\nAccept: text/plain\r\naccept: */*\r\n"
              "X-Injected: a  Evil: 1\r\n\r\nhi");
}

// Heads of every shape the parser meets: mixed case, repeated and empty fields, folded lines,
// bare line feeds, stray blank lines, bytes that are not UTF-8, and damaged lines.
const char* const kHeads[] = {
    "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 21\r\n\r\nbody",
    "HTTP/1.1 404 Not Found\r\ncontent-TYPE: text/html\r\nSet-Cookie: a=1\r\n"
    "set-cookie: b=2\r\nSET-COOKIE:c=3\r\nX-Folded: one\r\n  two\r\n\tthree \r\n\r\n",
    "\r\n\r\nHTTP/1.0 204\nX-Empty:\nX-Spaces:   \t \nkeep-alive: timeout=5, max=100\n\n",
    "HTTP/1.1 302 Found\r\nLocation: /next page\r\nwww-authenticate: Basic\r\n"
    "content-md5: abc\r\nETAG: \"x\"\r\nx-a-b: 1\r\n\r\n",
    "HTTP/1.1 200 OK\r\nX-Latin: caf\xe9\r\nX-\xff: bad name\r\nX-UTF8: caf\xc3\xa9\r\n"
    "x-\xef\xbf\xbd: same as the replaced name\r\n\r\n",
    "HTTP/1.1 200 OK\r\nA: 1\r\nno colon here\r\n\r\n",
    "HTTP/1.1 200 OK\r\n: no name\r\n\r\n",
    "HTTP/1.1 2x0 OK\r\n\r\n",
    "HTP/1.1 200 OK\r\n\r\n",
    "HTTP/1.1 200 OK\r\nA: 1\r\nB: 2",
};

std::vector<std::string> fieldsOf(CFHTTPMessage* m) {
    std::vector<std::string> out;
    for (const auto& f : m->fields)
        out.push_back(f.name + "\n" + f.value);
    return out;
}

// Everything the parser records, for comparing messages.
void expectSameMessage(CFHTTPMessage* a, CFHTTPMessage* b, const std::string& head) {
    SCOPED_TRACE(head);
    EXPECT_EQ(a->failed, b->failed);
    EXPECT_EQ(a->headerComplete, b->headerComplete);
    EXPECT_EQ(a->statusCode, b->statusCode);
    EXPECT_EQ(a->statusLine, b->statusLine);
    EXPECT_EQ(a->version, b->version);
    EXPECT_EQ(fieldsOf(a), fieldsOf(b));
    EXPECT_EQ(a->pending, b->pending);
    EXPECT_EQ(text(CFHTTPMessageCopyBody(a)), text(CFHTTPMessageCopyBody(b)));
}

Ref<CFHTTPMessage> fedInPieces(const std::string& head, size_t piece) {
    auto m = CFHTTPMessageCreateEmpty(kCFAllocatorDefault, false);
    for (size_t i = 0; i < head.size(); i += piece) {
        std::string part = head.substr(i, piece);
        CFHTTPMessageAppendBytes(m, reinterpret_cast<const uint8_t*>(part.data()),
                                 static_cast<CFIndex>(part.size()));
    }
    return m;
}

TEST(CFHTTPMessage, LinesReadInPlaceEqualLinesCompletedAcrossPieces) {
    for (const char* head : kHeads) {
        // Whole, every line lies in the bytes handed over; a byte at a time, every line is
        // completed from earlier pieces; in between, some of each.
        auto whole = fedInPieces(head, std::string(head).size());
        for (size_t piece : {1, 2, 5, 7}) {
            auto pieces = fedInPieces(head, piece);
            expectSameMessage(whole, pieces, head);
        }
    }
    // A line begun in one piece and ended in the next is read whole.
    auto m = fedInPieces("HTTP/1.1 200 OK\r\nContent-Ty", 100);
    const std::string rest = "pe: text/plain\r\n\r\n";
    EXPECT_TRUE(CFHTTPMessageAppendBytes(m, reinterpret_cast<const uint8_t*>(rest.data()),
                                         static_cast<CFIndex>(rest.size())));
    EXPECT_EQ(text(CFHTTPMessageCopyHeaderFieldValue(m, NS("content-type"))), "text/plain");
    EXPECT_TRUE(m->pending.empty());
}

TEST(CFHTTPMessage, AllHeaderFieldsEqualTheFieldsSetOneByOne) {
    for (const char* head : kHeads) {
        SCOPED_TRACE(head);
        auto m = fedInPieces(head, 3);
        // The general way: every name and value made from its bytes and set in turn.
        auto expected = NSMutableDictionary::dictionary();
        for (const auto& f : m->fields)
            expected->setObject(NSString::fromUTF8(f.value), NSString::fromUTF8(f.name));
        auto all = CFHTTPMessageCopyAllHeaderFields(m);
        ASSERT_TRUE(all);
        EXPECT_FALSE(is<NSMutableDictionary>(all));
        EXPECT_TRUE(all->isEqualToDictionary(expected));
        std::vector<std::string> keys, expectedKeys;
        for (NSObject* k : *all)
            keys.push_back(text(k) + "=" + text(all->objectForKey(k)));
        for (NSObject* k : *expected)
            expectedKeys.push_back(text(k) + "=" + text(expected->objectForKey(k)));
        EXPECT_EQ(keys, expectedKeys);  // the same order
    }
    // Two names that differ only in bytes that are not UTF-8 are one key, as when set in turn.
    auto m = fedInPieces(kHeads[4], 64);
    ASSERT_EQ(m->fields.size(), 4u);
    auto all = CFHTTPMessageCopyAllHeaderFields(m);
    EXPECT_EQ(all->count(), 3u);
    EXPECT_EQ(text(all->objectForKey(str("X-\xef\xbf\xbd"))), "same as the replaced name");
    EXPECT_EQ(text(all->objectForKey(NS("X-Latin"))), "caf\xef\xbf\xbd");
    EXPECT_EQ(text(all->objectForKey(NS("X-Utf8"))), "caf\xc3\xa9");
}

TEST(CFHTTPMessage, VersionAndStatusLineEqualTheirBytes) {
    std::vector<std::string> heads(std::begin(kHeads), std::end(kHeads));
    heads.push_back("HTTP/1.1x 200 OK\r\n\r\n");
    heads.push_back("HTTP/2 200 \xe9t\xc3\xa9\r\n\r\n");
    for (const std::string& head : heads) {
        SCOPED_TRACE(head);
        auto m = fedInPieces(head, 4);
        EXPECT_EQ(text(CFHTTPMessageCopyVersion(m)), text(NSString::fromUTF8(m->version)));
        EXPECT_EQ(text(CFHTTPMessageCopyResponseStatusLine(m)),
                  m->statusLine.empty() ? "(nil)" : text(NSString::fromUTF8(m->statusLine)));
    }
    auto old = CFHTTPMessageCreateResponse(kCFAllocatorDefault, 200, nullptr, kCFHTTPVersion1_0);
    EXPECT_TRUE(CFHTTPMessageCopyVersion(old)->isEqualToString(kCFHTTPVersion1_0));
}

TEST(CFHTTPMessage, EitherLineBreakAloneInAFieldSetIsASpace) {
    auto m = CFHTTPMessageCreateRequest(kCFAllocatorDefault, NS("GET"),
                                        NSURL::URLWithString(NS("http://example.test/")),
                                        kCFHTTPVersion1_1);
    ASSERT_TRUE(m);
    CFHTTPMessageSetHeaderFieldValue(m, NS("X-A\rB"), NS("1\n2"));
    CFHTTPMessageSetHeaderFieldValue(m, NS("X-C"), NS("3\r"));
    CFHTTPMessageSetHeaderFieldValue(m, NS("X-D\n"), NS("plain"));
    CFHTTPMessageSetHeaderFieldValue(m, NS("X-E"), NS("caf\u00E9 \u2022"));
    EXPECT_EQ(fieldsOf(m), (std::vector<std::string>{"X-A B\n1 2", "X-C\n3 ", "X-D \nplain",
                                                     "X-E\ncaf\xC3\xA9 \xE2\x80\xA2"}));
}

TEST(CFHTTPMessage, CanonicalNames) {
    EXPECT_EQ(CFHTTPCanonicalHeaderName("content-length"), "Content-Length");
    EXPECT_EQ(CFHTTPCanonicalHeaderName("ETAG"), "Etag");
    EXPECT_EQ(CFHTTPCanonicalHeaderName("www-authenticate"), "WWW-Authenticate");
    EXPECT_EQ(CFHTTPCanonicalHeaderName("x-a-b"), "X-A-B");
}

}  // namespace
