#include "tools/services/Services.h"

#include <chrono>
#include <map>
#include <mutex>

#include "tools/services/Kept.h"
#include "tools/standin/JsonWriter.h"
#include "tools/standin/StandInServer.h"

namespace bnservices {

namespace {

// What the admin host keeps of each module's requests: the most recent ones, with the first
// bytes of each body (kKeptText), up to so many bytes in all.
constexpr std::size_t kKeptRequests = 1000;
constexpr std::size_t kKeptRequestBytes = 32 * 1024 * 1024;

const char* const kTitle = "bazaarnest stand-in services: admin\n\n";
const char* const kHelp =
    "GET /modules                   the modules and the hosts each answers\n"
    "GET /received?module=NAME      what reached the module's hosts, oldest first (JSON)\n"
    "GET /reset                     forgets what every module received\n";

std::string utcNow() {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    return utcText(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace

struct Services::Impl {
    ServicesOptions options;
    std::vector<std::pair<std::string, std::unique_ptr<Module>>> modules;
    // Host pattern -> module name, in the modules' order.
    std::vector<std::pair<std::string, std::string>> hosts;
    mutable std::mutex lock;
    std::map<std::string, Kept<Received>> received;
    std::unique_ptr<StandInServer> server;

    Module* find(const std::string& name) const {
        for (const auto& [n, m] : modules) {
            if (n == name) return m.get();
        }
        return nullptr;
    }

    std::string moduleFor(const std::string& host) const {
        for (const auto& [pattern, name] : hosts) {
            if (pattern == host) return name;
        }
        for (const auto& [pattern, name] : hosts) {
            if (globMatches(pattern, host)) return name;
        }
        return {};
    }

    void record(const HttpRequest& request, const Fault* fault) {
        std::string name = moduleFor(request.host);
        if (name.empty()) return;
        Received r;
        r.time = utcNow();
        r.method = request.method;
        r.host = request.host;
        r.target = request.target;
        r.headers = request.headers;
        r.body = clipped(request.body);
        r.bodyLength = request.body.size();
        if (fault) r.fault = fault->describe();
        std::size_t bytes = r.target.size() + r.body.size();
        for (const auto& h : r.headers)
            bytes += h.name.size() + h.value.size();
        std::lock_guard<std::mutex> g(lock);
        received.try_emplace(name, kKeptRequests, kKeptRequestBytes)
            .first->second.push(std::move(r), bytes);
    }

    HttpResponse route(const HttpRequest& request) {
        if (request.host == kAdminHost) return admin(request);
        std::string name = moduleFor(request.host);
        if (name.empty())
            return HttpResponse::plain("This server does not answer for that host.\n", 421);
        return find(name)->handle(request);
    }

    HttpResponse admin(const HttpRequest& request) {
        if (request.method != "GET" && request.method != "HEAD")
            return HttpResponse::plain("only GET\n", 405);
        const std::string& path = request.path;
        FormFields query = parseQuery(request.query);
        if (path == "/" || path == "/help") return HttpResponse::plain(help());
        if (auto page = faultAdminPage(server->faults(), request)) return *page;
        if (path == "/modules") {
            std::string out;
            for (const auto& [pattern, name] : hosts)
                out += name + "\t" + pattern + "\n";
            return HttpResponse::plain(out);
        }
        if (path == "/received") {
            std::string name = fieldValue(query, "module");
            if (!find(name)) return HttpResponse::plain("no such module\n", 404);
            return json(receivedJson(name));
        }
        if (path == "/reset") {
            reset();
            return HttpResponse::plain("reset\n");
        }
        // "/<module>/<view>"
        size_t slash = path.find('/', 1);
        if (slash != std::string::npos) {
            if (Module* m = find(path.substr(1, slash - 1))) {
                if (auto page = m->adminView(std::string_view(path).substr(slash + 1), query))
                    return *page;
            }
        }
        return HttpResponse::plain("unknown admin page; see /\n", 404);
    }

    std::string help() const {
        std::string out = std::string(kTitle) + kFaultAdminHelp + kHelp;
        for (const auto& [name, module] : modules) {
            for (const auto& line : module->adminHelp())
                out += "GET /" + name + "/" + line + "\n";
        }
        return out;
    }

    std::string receivedJson(const std::string& name) const {
        std::lock_guard<std::mutex> g(lock);
        JsonWriter w;
        w.beginArray();
        auto it = received.find(name);
        if (it != received.end()) {
            for (const auto& r : it->second) {
                w.beginObject()
                    .member("time", r.time)
                    .member("method", r.method)
                    .member("host", r.host)
                    .member("target", r.target);
                w.key("headers").beginArray();
                for (const auto& h : r.headers)
                    w.beginArray().value(h.name).value(h.value).endArray();
                w.endArray();
                w.member("bodyLength", static_cast<std::int64_t>(r.bodyLength));
                std::string_view shown = r.body;
                // Text bodies as text, anything else as hexadecimal.
                if (isValidUtf8(shown))
                    w.member("body", shown);
                else
                    w.member("bodyHex", hexText(shown));
                if (!r.fault.empty()) w.member("fault", r.fault);
                w.endObject();
            }
        }
        w.endArray();
        return w.text();
    }

    static HttpResponse json(std::string body) {
        HttpResponse r;
        r.contentType = "application/json; charset=utf-8";
        r.body = std::move(body);
        return r;
    }

    void reset() {
        // No request sent before lands in what is forgotten, and none sent after is forgotten.
        server->beginGeneration([this] {
            {
                std::lock_guard<std::mutex> g(lock);
                received.clear();
            }
            for (auto& [name, module] : modules)
                module->reset();
        });
    }
};

Services::Services(ServicesOptions options) : impl_(std::make_unique<Impl>()) {
    Impl& s = *impl_;
    s.options = std::move(options);
    for (auto& [name, factory] : registeredModules()) {
        auto module = factory();
        for (auto& host : module->hosts())
            s.hosts.emplace_back(lowercase(host), name);
        s.modules.emplace_back(name, std::move(module));
    }
    StandInOptions o;
    o.port = s.options.port;
    o.tls = s.options.tls;
    o.certificateFolder = s.options.certificateFolder;
    o.log = s.options.log;
    o.headSeconds = s.options.headSeconds;
    o.headGate = s.options.headGate;
    o.limits = s.options.limits;
    o.adminHost = kAdminHost;
    o.received = [&s](const HttpRequest& request, const Fault* fault) { s.record(request, fault); };
    s.server = std::make_unique<StandInServer>(
        o, [&s](const HttpRequest& request) { return s.route(request); });
}

Services::~Services() {
    stop();
}

StandInServer& Services::server() const {
    return *impl_->server;
}

std::string Services::hostsOverride() const {
    std::string target = "=127.0.0.1:" + std::to_string(port());
    std::string out = std::string(kAdminHost) + target;
    for (const auto& [pattern, name] : impl_->hosts)
        out += "," + pattern + target;
    return out;
}

std::vector<std::string> Services::moduleNames() const {
    std::vector<std::string> out;
    for (const auto& [name, module] : impl_->modules)
        out.push_back(name);
    return out;
}

Module* Services::module(const std::string& name) {
    return impl_->find(name);
}

std::string Services::moduleFor(const std::string& host) const {
    return impl_->moduleFor(lowercase(host));
}

std::vector<Received> Services::received(const std::string& module) const {
    std::lock_guard<std::mutex> g(impl_->lock);
    auto it = impl_->received.find(module);
    if (it == impl_->received.end()) return {};
    return it->second.list();
}

void Services::reset() {
    impl_->reset();
}

HttpResponse Services::handle(HttpRequest request) {
    completeFromTarget(request);
    return impl_->route(request);
}

}  // namespace bnservices
