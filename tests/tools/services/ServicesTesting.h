// What the services server's tests share: requests sent as raw bytes to its port, so that the
// tests see exactly what the server answers (truncated bodies and dropped connections included).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace servicestest {

struct Reply {
    int status = 0;  // 0 when the server closed without answering
    std::string head;
    std::string body;
    // Whether the body is as long as the head announced.
    bool complete = false;
};

// One request on a connection of its own ("Connection: close"), to the program's services server
// unless a port is given.
Reply request(const std::string& method, const std::string& host, const std::string& target,
              const std::string& body = {},
              const std::vector<std::pair<std::string, std::string>>& headers = {}, int port = 0);
inline Reply get(const std::string& host, const std::string& target, int port = 0) {
    return request("GET", host, target, {}, {}, port);
}
// GET http://admin.services.test<target>.
inline Reply admin(const std::string& target, int port = 0) {
    return get("admin.services.test", target, port);
}

// Web-safe base64 without padding, as the ad clients encode their records.
std::string webSafeBase64(const std::string& bytes);

}  // namespace servicestest
