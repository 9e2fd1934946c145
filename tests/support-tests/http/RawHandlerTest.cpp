// The server core under the test server: connections handed to a raw handler get exactly the
// bytes it writes, TLS is set up from certificate text, and the name the client asked for is known.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support-tests/http/RawClient.h"
#include "tools/standin/HttpServer.h"
#include "tools/standin/StandInServer.h"

namespace {

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(RawHandler, WritesExactlyWhatTheHandlerSends) {
    std::string seenMethod;
    int seenPeerPort = -1;
    standin::HttpServer server([&](standin::Connection& link) {
        seenPeerPort = link.peerPort();
        standin::RequestReader reader(link);
        standin::HttpRequest request;
        std::string problem;
        if (reader.readHead(request, &problem) != standin::RequestReader::Result::Ok) return;
        seenMethod = request.method;
        // A length the body never reaches: what a test of a client's error handling needs.
        link.write("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
        link.finish();
    });
    std::string error;
    ASSERT_TRUE(server.start(0, "", "", &error)) << error;
    EXPECT_FALSE(server.offersTls());
    RawClient c(server.port());
    ASSERT_TRUE(c.connected());
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(c.fd(), reinterpret_cast<sockaddr*>(&local), &length);
    ASSERT_TRUE(c.send("DELETE /x HTTP/1.1\r\nHost: shop.test\r\n\r\n"));
    EXPECT_EQ(c.receiveAll(), "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
    server.stop();
    EXPECT_EQ(seenMethod, "DELETE");
    EXPECT_EQ(seenPeerPort, ntohs(local.sin_port));
}

TEST(RawHandler, TakesTheTlsHandshakeWithCertificateText) {
    std::string folder = standin::defaultCertificateFolder();
    std::string chain = fileText(folder + "/server.pem");
    std::string key = fileText(folder + "/server-key.pem");
    ASSERT_FALSE(chain.empty());
    ASSERT_FALSE(key.empty());
    standin::HttpServer server([](standin::Connection& link) {
        if (!link.acceptTls()) return;
        link.write("name=" + link.serverName());
        link.finish();
    });
    std::string error;
    EXPECT_FALSE(server.startWithPem(0, "not a certificate", key, &error));
    EXPECT_EQ(error.rfind("TLS set-up: ", 0), 0u) << error;
    ASSERT_TRUE(server.startWithPem(0, chain, key, &error)) << error;
    EXPECT_TRUE(server.offersTls());
    RawClient c(server.port());
    ASSERT_TRUE(c.startTls("shop.test", fileText(folder + "/ca.pem"), "localhost"));
    EXPECT_EQ(c.verifyResult(), X509_V_OK);
    EXPECT_EQ(c.receiveAll(), "name=shop.test");
}

}  // namespace
