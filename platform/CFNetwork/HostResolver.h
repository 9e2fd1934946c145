// Name lookup off the calling thread, and the host override that points names at local
// servers. Internal to the platform: CFNetwork connects through it, and SystemConfiguration
// judges a mapped name's reachability by the same override.
#pragma once

#include <sys/socket.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Foundation/NSObject.h"

class RunLoopSource;

namespace cfnet {

struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
};

// One lookup in flight. The worker fills it, marks it done and signals `notify`; the owner
// reads it on its own thread once done (or waits on `changed` when it has no run loop).
struct HostLookup {
    std::mutex lock;
    std::condition_variable changed;
    bool done = false;
    int gaiError = 0;  // getaddrinfo's code, 0 on success
    std::vector<SocketAddress> addresses;
    Ref<RunLoopSource> notify;
};

struct HostOverride {
    std::string address;
    int port = 0;  // 0: keep the port asked for
};

// The BAZAARNEST_HOSTS entry for the host, if one matches (read from the environment on every
// call, so tests can change it).
std::optional<HostOverride> hostOverrideFor(const std::string& host);
// Whether `text` matches `pattern`, where "*" matches any run of characters; no case.
bool hostPatternMatches(const std::string& pattern, const std::string& text);

// Whether the name lies under the reserved ".test" domain, which no resolver answers.
bool isReservedTestName(const std::string& host);

// Starts looking the host up for the port. Names under ".test" fail at once (EAI_NONAME). Numeric
// addresses are done before this returns; names go to the resolver threads. `notify` is signalled
// when the lookup is done.
std::shared_ptr<HostLookup> startHostLookup(const std::string& host, int port,
                                            Ref<RunLoopSource> notify);

// Test aid: every name lookup on the resolver threads first waits this many real seconds, so
// that tests can show a slow lookup holds nobody up.
void setLookupDelayForTesting(double seconds);

}  // namespace cfnet
