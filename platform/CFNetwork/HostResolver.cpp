#include "CFNetwork/HostResolver.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <thread>

#include "Foundation/NSRunLoop.h"
#include "base/Glob.h"

namespace cfnet {

namespace {

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

void finish(const std::shared_ptr<HostLookup>& lookup, int gaiError,
            std::vector<SocketAddress> addresses) {
    Ref<RunLoopSource> notify;
    {
        std::lock_guard<std::mutex> g(lookup->lock);
        lookup->gaiError = gaiError;
        lookup->addresses = std::move(addresses);
        lookup->done = true;
        notify = lookup->notify;
    }
    lookup->changed.notify_all();
    if (notify) notify->signal();
}

std::atomic<double> lookupDelay{0};

void resolveNow(const std::shared_ptr<HostLookup>& lookup, const std::string& host, int port) {
    if (double delay = lookupDelay.load(); delay > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(delay));
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* list = nullptr;
    std::string service = std::to_string(port);
    int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (rc == EAI_BADFLAGS || (rc != 0 && (host == "localhost" || host == "127.0.0.1"))) {
        hints.ai_flags = 0;  // loopback-only hosts have no configured address family
        rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    }
    std::vector<SocketAddress> out;
    for (addrinfo* a = list; rc == 0 && a; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
        SocketAddress s;
        std::memcpy(&s.storage, a->ai_addr, a->ai_addrlen);
        s.length = a->ai_addrlen;
        out.push_back(s);
    }
    if (list) ::freeaddrinfo(list);
    int result = rc == 0 && out.empty() ? EAI_NONAME : rc;
    finish(lookup, result, std::move(out));
}

bool numericAddress(const std::string& host, int port, SocketAddress& out) {
    sockaddr_in v4{};
    if (::inet_pton(AF_INET, host.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(static_cast<uint16_t>(port));
        std::memcpy(&out.storage, &v4, sizeof v4);
        out.length = sizeof v4;
        return true;
    }
    sockaddr_in6 v6{};
    if (::inet_pton(AF_INET6, host.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(static_cast<uint16_t>(port));
        std::memcpy(&out.storage, &v6, sizeof v6);
        out.length = sizeof v6;
        return true;
    }
    return false;
}

// The resolver threads: a few workers fed from one queue, started on demand and kept for the
// life of the process (the state is never destroyed, so exiting never races a worker).
struct Job {
    std::shared_ptr<HostLookup> lookup;
    std::string host;
    int port;
};

struct Resolver {
    static constexpr int kMaxWorkers = 4;
    std::mutex lock;
    std::condition_variable ready;
    std::deque<Job> jobs;
    int workers = 0;
    int idle = 0;

    void submit(Job job) {
        std::unique_lock<std::mutex> g(lock);
        jobs.push_back(std::move(job));
        if (idle == 0 && workers < kMaxWorkers) {
            ++workers;
            std::thread([this] { work(); }).detach();
        }
        ready.notify_one();
    }

    void work() {
        std::unique_lock<std::mutex> g(lock);
        for (;;) {
            ++idle;
            ready.wait(g, [this] { return !jobs.empty(); });
            --idle;
            Job job = std::move(jobs.front());
            jobs.pop_front();
            g.unlock();
            resolveNow(job.lookup, job.host, job.port);
            job = Job{};
            g.lock();
        }
    }
};

Resolver& resolver() {
    static Resolver* const r = new Resolver();
    return *r;
}

}  // namespace

bool hostPatternMatches(const std::string& pattern, const std::string& text) {
    return base::globMatchesIgnoringCase(pattern, text);
}

std::optional<HostOverride> hostOverrideFor(const std::string& host) {
    const char* env = std::getenv("BAZAARNEST_HOSTS");
    if (!env || !*env) return std::nullopt;
    std::string list(env);
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string entry = trimmed(
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        start = comma == std::string::npos ? list.size() + 1 : comma + 1;
        size_t eq = entry.find('=');
        if (eq == std::string::npos) continue;
        std::string pattern = trimmed(entry.substr(0, eq));
        std::string target = trimmed(entry.substr(eq + 1));
        if (pattern.empty() || target.empty() || !hostPatternMatches(pattern, lower(host)))
            continue;
        HostOverride o;
        // "[::1]:8080", "127.0.0.1:8080" or an address alone.
        if (target[0] == '[') {
            size_t close = target.find(']');
            if (close == std::string::npos) continue;
            o.address = target.substr(1, close - 1);
            if (close + 1 < target.size() && target[close + 1] == ':')
                o.port = std::atoi(target.c_str() + close + 2);
        } else {
            size_t colon = target.rfind(':');
            if (colon != std::string::npos && target.find(':') == colon) {
                o.address = target.substr(0, colon);
                o.port = std::atoi(target.c_str() + colon + 1);
            } else {
                o.address = target;
            }
        }
        if (o.port < 0 || o.port > 65535) o.port = 0;
        return o;
    }
    return std::nullopt;
}

bool isReservedTestName(const std::string& host) {
    std::string h = lower(host);
    while (!h.empty() && h.back() == '.')
        h.pop_back();
    return h == "test" || (h.size() > 5 && h.compare(h.size() - 5, 5, ".test") == 0);
}

void setLookupDelayForTesting(double seconds) {
    lookupDelay.store(seconds);
}

std::shared_ptr<HostLookup> startHostLookup(const std::string& host, int port,
                                            Ref<RunLoopSource> notify) {
    auto lookup = std::make_shared<HostLookup>();
    lookup->notify = std::move(notify);
    SocketAddress numeric;
    if (numericAddress(host, port, numeric)) {
        finish(lookup, 0, {numeric});
    } else if (isReservedTestName(host)) {
        // The reserved test domain never resolves: a name the host override did not map fails
        // here, so that no test ever asks the machine's resolver (or leaves the machine).
        finish(lookup, EAI_NONAME, {});
    } else {
        resolver().submit(Job{lookup, host, port});
    }
    return lookup;
}

}  // namespace cfnet
