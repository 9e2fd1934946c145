#include "tools/services/ServicesTesting.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>

#include "support/services/RunningServices.h"

namespace servicestest {

Reply request(const std::string& method, const std::string& host, const std::string& target,
              const std::string& body,
              const std::vector<std::pair<std::string, std::string>>& headers, int port) {
    if (port == 0) port = services().port();
    Reply reply;
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return reply;
    // A server that never answers fails the test instead of hanging it.
    timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return reply;
    }
    std::string out =
        method + " " + target + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n";
    for (const auto& [name, value] : headers)
        out += name + ": " + value + "\r\n";
    if (!body.empty() || method == "POST")
        out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    out += "\r\n" + body;
    ::send(fd, out.data(), out.size(), MSG_NOSIGNAL);
    std::string in;
    char buffer[16384];
    for (;;) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        in.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    size_t end = in.find("\r\n\r\n");
    if (in.rfind("HTTP/1.1 ", 0) != 0 || end == std::string::npos) return reply;
    reply.status = std::atoi(in.c_str() + 9);
    reply.head = in.substr(0, end);
    reply.body = in.substr(end + 4);
    size_t length = reply.head.find("Content-Length: ");
    reply.complete = length != std::string::npos && std::strtoul(reply.head.c_str() + length + 16,
                                                                 nullptr, 10) == reply.body.size();
    return reply;
}

std::string webSafeBase64(const std::string& bytes) {
    static const char* const alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (unsigned char c : bytes) {
        bits = (bits << 8) | c;
        count += 8;
        while (count >= 6) {
            count -= 6;
            out += alphabet[(bits >> count) & 63];
        }
    }
    if (count > 0) out += alphabet[(bits << (6 - count)) & 63];
    return out;
}

}  // namespace servicestest
