// The stand-in services server's modules: one per outside service the app or its libraries talk
// to (analytics, ad networks, mediation). A module names the hosts it answers, answers their
// requests and offers views on the admin host; it registers itself from its own file:
//
//   namespace bnservices {
//   class PebbleModule : public Module { ... };
//   BN_SERVICES_MODULE("pebble", PebbleModule)
//   }
//
// Every running server makes its own instance of each registered module, so state never leaks
// from one server to the next. handle() runs on the connection's thread, many at once.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/standin/HttpMessage.h"

namespace bnservices {

using namespace standin;

class Module {
public:
    virtual ~Module() = default;
    // The names it answers, exact or with "*" matching any run of characters.
    virtual std::vector<std::string> hosts() const = 0;
    virtual HttpResponse handle(const HttpRequest& request) = 0;
    // GET http://admin.services.test/<module>/<view>?<query>; nullopt for a view it lacks.
    virtual std::optional<HttpResponse> adminView(std::string_view view, const FormFields& query);
    // Lines for the admin host's index, each "<view>[?query]  what it shows".
    virtual std::vector<std::string> adminHelp() const;
    // Forgets what it received.
    virtual void reset() {}
};

// The style sheet of a text banner page: small type and tight lines that fit a 50-point slot,
// as an ad network makes its text ads for it.
inline constexpr const char* kTextBannerStyle =
    "<style>body { margin: 0; padding: 1px 4px; font: 11px/14px sans-serif }"
    " p { margin: 0 } a { margin-right: 2px }</style>";

using ModuleFactory = std::unique_ptr<Module> (*)();

// Enters a module by name (from a static initialiser); true, so that it can initialise a flag.
bool registerModule(const char* name, ModuleFactory factory);
// Every registered module, by name.
std::vector<std::pair<std::string, ModuleFactory>> registeredModules();

}  // namespace bnservices

// Registers CLASS under NAME when the program starts. The server's library is linked whole, so
// that no module's file is dropped for want of a reference.
#define BN_SERVICES_MODULE(NAME, CLASS)                                                       \
    namespace {                                                                               \
    [[maybe_unused]] const bool bnServicesModule##CLASS = ::bnservices::registerModule(       \
        NAME,                                                                                 \
        []() -> std::unique_ptr<::bnservices::Module> { return std::make_unique<CLASS>(); }); \
    }
