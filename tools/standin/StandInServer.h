// What every stand-in server shares around its HTTP core: the loopback server (plain and TLS on
// one port, with the build's test authority), faults on demand applied before the server's own
// routing, the fault and gate pages of its admin host, and one log line per answered request.
//
//   StandInServer server(options, [](const HttpRequest& r) { return route(r); });
//   server.start();
//   server.faults().add({.host = "*.example.test", .status = 500});
//
// The router runs on the connection's thread; it must be safe to call from many at once.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "tools/standin/Faults.h"
#include "tools/standin/HttpMessage.h"
#include "tools/standin/HttpServer.h"

namespace standin {

class HttpServer;

struct StandInOptions {
    int port = 0;  // 0 picks a free port
    // TLS beside plain HTTP, with the certificates of this folder (ca.pem, server.pem,
    // server-key.pem); "" for the build's own, made by scripts/make-test-ca. TLS is off when
    // they cannot be had.
    bool tls = true;
    std::string certificateFolder;
    // One line per answered request; none when empty.
    std::function<void(const std::string&)> log;
    // How long a client may take to send a request head (see HeadDeadline); with a gate name,
    // the deadline is reached when that gate lets the head through instead.
    double headSeconds = 30;
    std::string headGate;
    // What the server takes on at once: connections, and how long each may hold its place
    // (see ServerLimits).
    ServerLimits limits;
    // The admin host, which faults never reach.
    std::string adminHost;
    // The answer for a fault's status; a plain text line when empty.
    std::function<HttpResponse(int status)> faultPage;
    // Called for every request but the admin host's before it is answered, with the fault
    // that applies to it (null for none); not for one sent before the last beginGeneration().
    std::function<void(const HttpRequest&, const Fault*)> received;
};

// How a log line about a request sent before the last reset (beginGeneration), though answered or
// logged after it, ends: a record read from the log leaves such lines out as the server does.
inline constexpr std::string_view kBeforeResetMark = " [sent before the reset]";

class StandInServer {
public:
    using Router = std::function<HttpResponse(const HttpRequest&)>;

    StandInServer(StandInOptions options, Router router);
    ~StandInServer();
    StandInServer(const StandInServer&) = delete;
    StandInServer& operator=(const StandInServer&) = delete;

    bool start(std::string* error = nullptr);
    // Opens every gate and ends every slow answer, then closes every connection and joins the
    // server's threads.
    void stop();
    bool isRunning() const;
    int port() const;
    bool offersTls() const;
    // The authority to trust (BAZAARNEST_CA_FILE); "" when TLS is off.
    std::string caFile() const;

    // Faults and gates live as long as the server object, across starts.
    FaultTable& faults();

    // Begins a new record (the facades' resets): from now on a request whose first bytes reached
    // the server before this moment, though read after it (a loaded machine, a connection held
    // behind a slow answer), reaches neither `received` nor the router nor a fault, and is
    // answered 503: what is counted after a reset is only what was sent after it. Waits for the
    // routers under way, so that nothing an earlier request makes lands after the reset; such
    // requests' log lines, written after it, end with kBeforeResetMark. `forget` clears the
    // records before any request of the new generation is routed or recorded, so that none of
    // them is forgotten with the old ones.
    void beginGeneration(const std::function<void()>& forget = {});

    // The fault for the request applied around the router (the admin host is never faulted).
    HttpResponse serve(const HttpRequest& request);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// What the facades of the stand-in programs (the site, the services server) offer alike: their
// server's life, where it listens and its faults. Each facade names its own hosts.
class StandInFacade {
public:
    virtual ~StandInFacade() = default;

    bool start(std::string* error = nullptr);
    // Opens every gate, then closes every connection and joins the server's threads.
    void stop();
    bool isRunning() const;
    int port() const;
    // The authority to trust (BAZAARNEST_CA_FILE); "" when TLS is off.
    std::string caFile() const;
    bool offersTls() const;

    void addFault(Fault fault);
    void clearFaults();
    // The faults in force, with how many more requests each applies to.
    std::vector<Fault> faultsInForce() const;
    std::shared_ptr<Gate> gate(const std::string& name);

protected:
    // The server the facade runs, made with it and living as long as it.
    virtual StandInServer& server() const = 0;
};

// The admin pages about faults and gates that every admin host offers: "/faults" (list, or add
// with query fields), "/faults/clear", "/gates/open|close|release?name=". nullopt for other paths.
std::optional<HttpResponse> faultAdminPage(FaultTable& faults, const HttpRequest& request);
// Their help lines, for the admin host's index.
extern const char* const kFaultAdminHelp;

// Every byte that is not printable ASCII (control bytes, DEL, bytes from 0x80 on, which a
// terminal may read as controls too), and the backslash and quote that would make a line
// ambiguous, as \xHH: whatever a client sends stays on its one log line, inert, and reads back
// unambiguously.
std::string escapedForLog(std::string_view text);

// The folder of the build's test authority (where scripts/make-test-ca writes at build time).
std::string defaultCertificateFolder();

}  // namespace standin
