#include "tools/standin/StandInServer.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <shared_mutex>
#include <sstream>
#include <type_traits>

#include "tools/standin/HttpServer.h"

#ifndef BN_STANDIN_CA_DIR
#define BN_STANDIN_CA_DIR "test-ca"
#endif
#ifndef BN_SOURCE_DIR
#define BN_SOURCE_DIR "."
#endif

namespace standin {

namespace {

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// The limits of what the fault pages take.
constexpr double kMaxFaultDelay = 3600;
constexpr long long kMaxTruncate = 1LL << 40;
constexpr long long kMaxCount = 1000000;
constexpr std::size_t kMaxFaults = 1000;
constexpr std::size_t kMaxGates = 1000;

}  // namespace

std::string escapedForLog(std::string_view text) {
    static const char* hex = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7f || c == '\\' || c == '"') {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string defaultCertificateFolder() {
    return BN_STANDIN_CA_DIR;
}

// ---- the server -------------------------------------------------------------------------------

struct StandInServer::Impl {
    StandInOptions options;
    Router router;
    FaultTable faults;
    std::unique_ptr<HttpServer> server;
    std::string caFile, chainFile, keyFile;

    // Slow answers wait on this, so that a stopping server ends them at once.
    std::mutex lock;
    std::condition_variable changed;
    bool stopping = false;

    // Since when requests count (beginGeneration), and the system clock's distance from the
    // steady one then. Held shared from a request's check through what it records.
    mutable std::shared_mutex generationLock;
    std::chrono::system_clock::time_point generationStart{};
    std::chrono::nanoseconds clockDistance{};

    static std::chrono::nanoseconds systemClockDistance() {
        return std::chrono::system_clock::now().time_since_epoch() -
               std::chrono::steady_clock::now().time_since_epoch();
    }

    // Whether the request came before the record began; under generationLock. An arrival the
    // kernel did not stamp counts, and so does every one once the system clock has been set
    // since (the stamps are by it): a request sent after the reset is never left out.
    bool earlier(const HttpRequest& request) const {
        using namespace std::chrono_literals;
        if (request.arrived == std::chrono::system_clock::time_point{} ||
            request.arrived >= generationStart)
            return false;
        auto moved = systemClockDistance() - clockDistance;
        return moved < 50ms && moved > -50ms;
    }

    static HttpResponse earlierAnswer() {
        return HttpResponse::plain(
            "This request came before the server was reset; send it again.\n", 503);
    }

    void findCertificates() {
        caFile.clear();
        chainFile.clear();
        keyFile.clear();
        if (!options.tls) return;
        std::string folder = options.certificateFolder.empty() ? defaultCertificateFolder()
                                                               : options.certificateFolder;
        std::string ca = folder + "/ca.pem", chain = folder + "/server.pem",
                    key = folder + "/server-key.pem";
        if (!fileExists(ca) || !fileExists(chain) || !fileExists(key)) {
            // First run outside the build: make the authority now.
            std::string command =
                shellQuoted(std::string(BN_SOURCE_DIR) + "/scripts/make-test-ca") + " " +
                shellQuoted(folder) + " >/dev/null 2>&1";
            int ignored = std::system(command.c_str());
            (void)ignored;
        }
        if (fileExists(ca) && fileExists(chain) && fileExists(key)) {
            caFile = ca;
            chainFile = chain;
            keyFile = key;
        }
    }

    void logRequest(const HttpRequest& request, const HttpResponse& response, std::size_t sent,
                    double ms) const {
        if (!options.log) return;
        std::ostringstream line;
        line.setf(std::ios::fixed);
        line.precision(1);
        // What the client sent reaches the log escaped, one request to a line.
        std::string asked = request.method.empty()
                                ? request.requestLine
                                : request.method + " " + request.url() + " " + request.version;
        line << request.peer << " \"" << escapedForLog(asked) << "\" " << response.status << " "
             << sent << " " << ms << "ms";
        if (!response.note.empty()) line << " [" << escapedForLog(response.note) << "]";
        // Marked and written under the lock, so that a line either comes before a reset or
        // carries the mark; the admin host's (the reset's own request among them) never do.
        std::shared_lock<std::shared_mutex> g(generationLock);
        if (request.host != options.adminHost && earlier(request)) line << kBeforeResetMark;
        options.log(line.str());
    }

    HttpResponse faultPage(int status) const {
        if (options.faultPage) return options.faultPage(status);
        return HttpResponse::plain(std::to_string(status) + " " + reasonPhrase(status) + "\n",
                                   status);
    }
};

StandInServer::StandInServer(StandInOptions options, Router router)
    : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
    impl_->router = std::move(router);
}

StandInServer::~StandInServer() {
    stop();
}

bool StandInServer::start(std::string* error) {
    Impl& s = *impl_;
    if (s.server) {
        if (error) *error = "already running";
        return false;
    }
    {
        std::lock_guard<std::mutex> g(s.lock);
        s.stopping = false;
    }
    s.faults.reviveGates();
    s.findCertificates();
    HeadDeadline deadline;
    deadline.seconds = s.options.headSeconds;
    if (!s.options.headGate.empty()) deadline.gate = s.faults.gate(s.options.headGate);
    s.server = std::make_unique<HttpServer>(
        [this](HttpRequest& request) { return serve(request); },
        [&s](const HttpRequest& request, const HttpResponse& response, std::size_t sent,
             double ms) { s.logRequest(request, response, sent, ms); },
        deadline, s.options.limits);
    if (!s.server->start(s.options.port, s.chainFile, s.keyFile, error)) {
        s.server.reset();
        return false;
    }
    return true;
}

void StandInServer::stop() {
    Impl& s = *impl_;
    if (!s.server) return;
    {
        std::lock_guard<std::mutex> g(s.lock);
        s.stopping = true;
    }
    s.changed.notify_all();
    s.faults.abortGates();
    s.server->stop();
    s.server.reset();
}

bool StandInServer::isRunning() const {
    return impl_->server != nullptr;
}

int StandInServer::port() const {
    return impl_->server ? impl_->server->port() : 0;
}

bool StandInServer::offersTls() const {
    return impl_->server && impl_->server->offersTls();
}

std::string StandInServer::caFile() const {
    return offersTls() ? impl_->caFile : std::string();
}

FaultTable& StandInServer::faults() {
    return impl_->faults;
}

void StandInServer::beginGeneration(const std::function<void()>& forget) {
    Impl& s = *impl_;
    std::unique_lock<std::shared_mutex> g(s.generationLock);
    s.clockDistance = Impl::systemClockDistance();
    s.generationStart = std::chrono::system_clock::now();
    if (forget) forget();
}

// ---- the facades -------------------------------------------------------------------------------

bool StandInFacade::start(std::string* error) {
    return server().start(error);
}

void StandInFacade::stop() {
    server().stop();
}

bool StandInFacade::isRunning() const {
    return server().isRunning();
}

int StandInFacade::port() const {
    return server().port();
}

std::string StandInFacade::caFile() const {
    return server().caFile();
}

bool StandInFacade::offersTls() const {
    return server().offersTls();
}

void StandInFacade::addFault(Fault fault) {
    server().faults().add(std::move(fault));
}

void StandInFacade::clearFaults() {
    server().faults().clear();
}

std::vector<Fault> StandInFacade::faultsInForce() const {
    return server().faults().list();
}

std::shared_ptr<Gate> StandInFacade::gate(const std::string& name) {
    return server().faults().gate(name);
}

HttpResponse StandInServer::serve(const HttpRequest& request) {
    Impl& s = *impl_;
    if (!s.options.adminHost.empty() && request.host == s.options.adminHost)
        return s.router(request);
    std::optional<Fault> fault;
    {
        std::shared_lock<std::shared_mutex> g(s.generationLock);
        if (s.earlier(request)) return Impl::earlierAnswer();
        fault = s.faults.take(request.host, request.path);
        if (s.options.received) s.options.received(request, fault ? &*fault : nullptr);
        if (!fault) return s.router(request);
    }
    if (!fault->gate.empty() && !s.faults.gate(fault->gate)->pass()) {
        HttpResponse dropped;
        dropped.delivery = HttpResponse::Delivery::Drop;
        dropped.note = "stopping";
        return dropped;
    }
    if (fault->delaySeconds > 0) {
        std::unique_lock<std::mutex> g(s.lock);
        s.changed.wait_for(g, std::chrono::duration<double>(fault->delaySeconds),
                           [&] { return s.stopping; });
    }
    // Held past a reset, it is an earlier request all the same.
    HttpResponse response;
    {
        std::shared_lock<std::shared_mutex> g(s.generationLock);
        if (s.earlier(request)) return Impl::earlierAnswer();
        response = fault->status ? s.faultPage(fault->status) : s.router(request);
    }
    switch (fault->delivery) {
        case Fault::Delivery::Normal:
            break;
        case Fault::Delivery::Truncate:
            response.delivery = HttpResponse::Delivery::Truncate;
            response.truncateAt = fault->truncateAt;
            break;
        case Fault::Delivery::Drop:
            response.delivery = HttpResponse::Delivery::Drop;
            break;
        case Fault::Delivery::Reset:
            response.delivery = HttpResponse::Delivery::Reset;
            break;
    }
    response.note = "fault " + fault->describe();
    return response;
}

// ---- the admin pages of faults and gates ------------------------------------------------------

const char* const kFaultAdminHelp =
    "GET /faults                    the faults in force\n"
    "GET /faults?path=P&...         adds a fault for requests whose path starts with P:\n"
    "      host=PATTERN               only for that host (\"*\" matches any run)\n"
    "      status=N                   answer N with the error page\n"
    "      delay=SECONDS              answer that much later (real time)\n"
    "      gate=NAME                  hold the answer until the gate opens\n"
    "      truncate=N                 send only N bytes of the body, then close\n"
    "      drop=1 | reset=1           close without answering (orderly or with a reset)\n"
    "      count=N                    only for the next N requests\n"
    "GET /faults/clear              removes every fault\n"
    "GET /gates/open?name=NAME      lets every held request of the gate through (also\n"
    "    /gates/close, /gates/release?name=NAME&count=N)\n";

std::optional<HttpResponse> faultAdminPage(FaultTable& faults, const HttpRequest& request) {
    FormFields q = parseQuery(request.query);
    const std::string& path = request.path;
    if (path == "/faults") {
        if (findField(q, "path") || findField(q, "host")) {
            Fault f;
            f.host = fieldValue(q, "host");
            f.path = fieldValue(q, "path");
            if (f.path.empty()) f.path = "/";
            // Each number in range, or the fault is refused as a whole.
            std::string wrong;
            auto take = [&](std::string_view name, long long min, long long max, auto& into) {
                if (!findField(q, name)) return false;
                auto value = integerIn(fieldValue(q, name), min, max);
                if (!value) {
                    wrong = std::string(name) + " must be " + std::to_string(min) + " to " +
                            std::to_string(max) + "\n";
                    return false;
                }
                into = static_cast<std::remove_reference_t<decltype(into)>>(*value);
                return true;
            };
            take("status", 100, 599, f.status);
            if (findField(q, "delay")) {
                if (auto delay = numberIn(fieldValue(q, "delay"), 0, kMaxFaultDelay))
                    f.delaySeconds = *delay;
                else
                    wrong = "delay must be 0 to " + std::to_string(int(kMaxFaultDelay)) + "\n";
            }
            f.gate = fieldValue(q, "gate");
            if (take("truncate", 0, kMaxTruncate, f.truncateAt))
                f.delivery = Fault::Delivery::Truncate;
            if (fieldValue(q, "drop") == "1") f.delivery = Fault::Delivery::Drop;
            if (fieldValue(q, "reset") == "1") f.delivery = Fault::Delivery::Reset;
            take("count", 1, kMaxCount, f.remaining);
            if (!wrong.empty()) return HttpResponse::plain(wrong, 400);
            // Gates are never forgotten (tests hold them), so the admin host makes only so many.
            if (faults.list().size() >= kMaxFaults ||
                (!f.gate.empty() && !faults.hasGate(f.gate) && faults.gateCount() >= kMaxGates))
                return HttpResponse::plain("too many faults or gates\n", 400);
            faults.add(f);
        }
        std::string out;
        for (const auto& f : faults.list())
            out += f.describe() + "\n";
        return HttpResponse::plain(out.empty() ? "no faults\n" : out);
    }
    if (path == "/faults/clear") {
        faults.clear();
        return HttpResponse::plain("no faults\n");
    }
    if (path.rfind("/gates/", 0) == 0) {
        std::string name = fieldValue(q, "name");
        if (name.empty()) return HttpResponse::plain("name= is required\n", 400);
        if (!faults.hasGate(name) && faults.gateCount() >= kMaxGates)
            return HttpResponse::plain("too many gates\n", 400);
        auto gate = faults.gate(name);
        std::string action = path.substr(7);
        if (action == "open")
            gate->open();
        else if (action == "close")
            gate->close();
        else if (action == "release") {
            auto count = findField(q, "count") ? integerIn(fieldValue(q, "count"), 1, kMaxCount)
                                               : std::optional<long long>(1);
            if (!count) return HttpResponse::plain("count must be 1 to 1000000\n", 400);
            gate->release(static_cast<std::size_t>(*count));
        } else
            return HttpResponse::plain("unknown gate action\n", 404);
        return HttpResponse::plain(name + ": " + (gate->isOpen() ? "open" : "closed") + ", " +
                                   std::to_string(gate->waiting()) + " waiting, " +
                                   std::to_string(gate->passed()) + " passed\n");
    }
    return std::nullopt;
}

}  // namespace standin
