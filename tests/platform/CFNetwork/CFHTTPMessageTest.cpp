#include <gtest/gtest.h>

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

TEST(CFHTTPMessage, CanonicalNames) {
    EXPECT_EQ(CFHTTPCanonicalHeaderName("content-length"), "Content-Length");
    EXPECT_EQ(CFHTTPCanonicalHeaderName("ETAG"), "Etag");
    EXPECT_EQ(CFHTTPCanonicalHeaderName("www-authenticate"), "WWW-Authenticate");
    EXPECT_EQ(CFHTTPCanonicalHeaderName("x-a-b"), "X-A-B");
}

}  // namespace
