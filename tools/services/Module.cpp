#include "tools/services/Module.h"

#include <map>
#include <mutex>

namespace bnservices {

namespace {

struct Registry {
    std::mutex lock;
    std::map<std::string, ModuleFactory> modules;
};

// Made on first use: modules register from static initialisers in any order.
Registry& registry() {
    static Registry* const r = new Registry();
    return *r;
}

}  // namespace

std::optional<HttpResponse> Module::adminView(std::string_view, const FormFields&) {
    return std::nullopt;
}

std::vector<std::string> Module::adminHelp() const {
    return {};
}

bool registerModule(const char* name, ModuleFactory factory) {
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    r.modules[name] = factory;
    return true;
}

std::vector<std::pair<std::string, ModuleFactory>> registeredModules() {
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    return {r.modules.begin(), r.modules.end()};
}

}  // namespace bnservices
