#include "support/StandInTesting.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

#include "tools/standin/StandInServer.h"

namespace standintest {

namespace {

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at <= list.size()) {
        size_t comma = list.find(',', at);
        std::string entry =
            list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (!entry.empty()) out.push_back(entry);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return out;
}

std::string patternOf(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

}  // namespace

void addHostsOverride(const std::string& entries) {
    std::vector<std::string> added = split(entries);
    std::set<std::string> patterns;
    for (const auto& e : added)
        patterns.insert(patternOf(e));
    const char* current = std::getenv("BAZAARNEST_HOSTS");
    for (const auto& e : split(current ? current : "")) {
        if (!patterns.count(patternOf(e))) added.push_back(e);
    }
    std::string value;
    for (const auto& e : added)
        value += (value.empty() ? "" : ",") + e;
    setenv("BAZAARNEST_HOSTS", value.c_str(), 1);
}

std::function<void(const std::string&)> RequestLog::writer() {
    return [this](const std::string& line) {
        // A request sent before the server's last reset is no test's since: the tests reset
        // the server before they take its log.
        if (line.size() >= standin::kBeforeResetMark.size() &&
            line.compare(line.size() - standin::kBeforeResetMark.size(), std::string::npos,
                         standin::kBeforeResetMark) == 0)
            return;
        std::lock_guard<std::mutex> g(lock_);
        lines_.push_back(line);
        // A long run keeps only the recent lines.
        if (lines_.size() > 5000) lines_.pop_front();
    };
}

std::vector<std::string> RequestLog::take() {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<std::string> out(lines_.begin(), lines_.end());
    lines_.clear();
    return out;
}

StartedProgram::StartedProgram(const std::vector<std::string>& arguments) {
    int out[2];
    if (arguments.empty() || pipe(out) != 0) return;
    std::vector<char*> argv;
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    if (pid_ < 0) {
        close(out[0]);
        return;
    }
    output_ = fdopen(out[0], "r");
    firstLine = nextLine();
    size_t at = firstLine.find("127.0.0.1:");
    if (at != std::string::npos) port = std::atoi(firstLine.c_str() + at + 10);
    // The banner comes in one write: the host map, then the authority when it serves https.
    std::string line = nextLine();
    if (line.rfind("BAZAARNEST_HOSTS=", 0) == 0) hosts = line.substr(17);
    if (firstLine.find("https") != std::string::npos) {
        line = nextLine();
        if (line.rfind("BAZAARNEST_CA_FILE=", 0) == 0) caFile = line.substr(19);
    }
}

StartedProgram::~StartedProgram() {
    stop();
    if (output_) fclose(static_cast<FILE*>(output_));
}

std::string StartedProgram::nextLine() {
    if (!output_) return {};
    char line[8192];
    if (!fgets(line, sizeof line, static_cast<FILE*>(output_))) return {};
    std::string out(line);
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

bool StartedProgram::stop() {
    if (pid_ <= 0) return false;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

RawClient::RawClient(int port, int receiveBuffer) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

RawClient::~RawClient() {
    ::close(fd_);
}

bool RawClient::send(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

bool RawClient::serverSpoke() {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

std::string RawClient::readToEnd(bool* closed) {
    std::string out;
    char buffer[4096];
    if (closed) *closed = false;
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) return out;
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            if (closed) *closed = true;
            return out;
        }
        out.append(buffer, static_cast<size_t>(n));
    }
}

std::string RawClient::readAnswer() {
    std::string out;
    char buffer[4096];
    for (;;) {
        size_t headEnd = out.find("\r\n\r\n");
        if (headEnd != std::string::npos) {
            size_t field = out.find("Content-Length: ");
            size_t length =
                field < headEnd ? std::strtoul(out.c_str() + field + 16, nullptr, 10) : 0;
            if (out.size() >= headEnd + 4 + length) return out;
        }
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) return out;
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) return out;
        out.append(buffer, static_cast<size_t>(n));
    }
}

std::string rawStatus(const std::string& reply) {
    return reply.size() >= 12 && reply.rfind("HTTP/1.1 ", 0) == 0 ? reply.substr(9, 3) : "";
}

}  // namespace standintest
