// The stand-in services server: the outside services the app and its libraries reach besides
// the classifieds site (analytics, ad networks, mediation), answered by one loopback server that
// tells them apart by the Host field. Each service is a module (Module.h); the admin host
// admin.services.test shows what each module received and sets faults per host and path.
// Tests start it in process on a free port; the program `bazaarnest-services` serves it for
// people and scripts/run.
//
//   Services services;
//   services.start();
//   ... BAZAARNEST_HOSTS gets services.hostsOverride() ...
//   auto* analytics = services.module<AnalyticsModule>("analytics");
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/services/Module.h"
#include "tools/standin/Faults.h"
#include "tools/standin/StandInServer.h"

namespace bnservices {

inline constexpr const char* kAdminHost = "admin.services.test";

struct ServicesOptions {
    int port = 0;  // 0 picks a free port
    // TLS beside plain HTTP with the stand-ins' test authority; its certificate must name the
    // hosts that are reached over https (scripts/make-test-ca).
    bool tls = true;
    std::string certificateFolder;  // "" for the build's own
    // One line per answered request; none when empty.
    std::function<void(const std::string&)> log;
    // The request deadline (or its gate, for tests; see StandInOptions), and what the server
    // takes on at once: connections, and how long each may hold its place (ServerLimits).
    double headSeconds = 30;
    std::string headGate;
    ServerLimits limits;
};

// A request as the server got it, before any module answered.
struct Received {
    std::string time;  // when it came, UTC, "2026-12-07T16:32:02.123Z"
    std::string method;
    std::string host;
    std::string target;
    std::vector<HeaderField> headers;
    std::string body;            // content coding removed; its first bytes only (kKeptText)
    std::size_t bodyLength = 0;  // the whole body's
    std::string fault;           // the fault that applied to it, "" for none
};

class Services : public StandInFacade {
public:
    explicit Services(ServicesOptions options = {});
    ~Services();
    Services(const Services&) = delete;
    Services& operator=(const Services&) = delete;

    // start, stop, port, caFile, faults and gates: StandInFacade's.
    // The BAZAARNEST_HOSTS entries that point every module's names and the admin host here.
    std::string hostsOverride() const;

    // ---- modules and what they received ---------------------------------------------------------
    std::vector<std::string> moduleNames() const;
    Module* module(const std::string& name);
    template <class T>
    T* module(const std::string& name) {
        return dynamic_cast<T*>(module(name));
    }
    // The module that answers a host, "" for none.
    std::string moduleFor(const std::string& host) const;
    // What reached that module's hosts, oldest first.
    std::vector<Received> received(const std::string& module) const;
    // Forgets what every module received (and the modules their own state); a request sent
    // before it counts for nothing after it (StandInServer::beginGeneration).
    void reset();

    // Answers a request without sockets (no faults, no log, nothing recorded).
    HttpResponse handle(HttpRequest request);

private:
    StandInServer& server() const override;

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace bnservices
