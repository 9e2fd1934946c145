#include "CFNetwork/CFProxySupport.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

#include <unistd.h>

#include "CFNetwork/CFNetworkErrors.h"
#include "CFNetwork/HTTPConnection.h"
#include "CFNetwork/HostResolver.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"

namespace {

struct ProxySpec {
    std::string scheme;  // "http", "socks5", ...
    std::string host;
    int port = 0;
};

// "http://proxy:3128", "proxy:3128", "socks5://127.0.0.1:1080".
bool parseProxy(const std::string& text, ProxySpec& out) {
    std::string rest = text;
    size_t sep = rest.find("://");
    out.scheme = "http";
    if (sep != std::string::npos) {
        out.scheme = rest.substr(0, sep);
        for (char& c : out.scheme)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        rest = rest.substr(sep + 3);
    }
    size_t at = rest.rfind('@');
    if (at != std::string::npos) rest = rest.substr(at + 1);  // credentials are not used
    size_t slash = rest.find('/');
    if (slash != std::string::npos) rest = rest.substr(0, slash);
    if (rest.empty()) return false;
    if (rest[0] == '[') {
        size_t close = rest.find(']');
        if (close == std::string::npos) return false;
        out.host = rest.substr(1, close - 1);
        if (close + 1 < rest.size() && rest[close + 1] == ':')
            out.port = std::atoi(rest.c_str() + close + 2);
    } else {
        size_t colon = rest.rfind(':');
        out.host = rest.substr(0, colon);
        if (colon != std::string::npos) out.port = std::atoi(rest.c_str() + colon + 1);
    }
    if (out.port <= 0 || out.port > 65535) out.port = out.scheme.rfind("socks", 0) == 0 ? 1080 : 80;
    return !out.host.empty();
}

bool isSocks(const ProxySpec& p) {
    return p.scheme.rfind("socks", 0) == 0;
}

void putProxy(NSMutableDictionary* d, NSString* enable, NSString* hostKey, NSString* portKey,
              const ProxySpec& p) {
    d->setObject(NSNumber::numberWithInt(1), enable);
    d->setObject(NSString::fromUTF8(p.host), hostKey);
    d->setObject(NSNumber::numberWithInt(p.port), portKey);
}

// Whether the no-proxy list exempts the host: exact names, ".suffix", "*.suffix", "*".
bool exempt(NSArray* exceptions, const std::string& host) {
    if (!exceptions) return false;
    for (NSObject* o : *exceptions) {
        auto s = as<NSString>(o);
        if (!s) continue;
        std::string pattern = s->utf8();
        if (pattern.empty()) continue;
        if (pattern == "*") return true;
        if (pattern[0] == '.') pattern = "*" + pattern;
        if (cfnet::hostPatternMatches(pattern, host)) return true;
        // "example.com" in the list also covers its subdomains, as proxy tools take it.
        if (pattern.find('*') == std::string::npos &&
            cfnet::hostPatternMatches("*." + pattern, host))
            return true;
    }
    return false;
}

bool enabled(NSDictionary* settings, NSString* key) {
    auto n = as<NSNumber>(settings->objectForKey(key));
    return n && n->boolValue();
}

Ref<NSDictionary> entry(NSString* type, NSObject* host, NSObject* port) {
    auto d = NSMutableDictionary::dictionary();
    d->setObject(type, kCFProxyTypeKey);
    if (host) d->setObject(host, kCFProxyHostNameKey);
    if (port) d->setObject(port, kCFProxyPortNumberKey);
    return d->copy();
}

Ref<NSError> pacError() {
    return cfnet::networkError(kCFErrorPACFileError,
                               "Proxy auto-configuration scripts are not supported.");
}

}  // namespace

namespace {

// The proxy variables as the environment holds them now: http, https, all, no_proxy.
using ProxyEnvironment = std::array<std::string, 4>;

ProxyEnvironment readProxyEnvironment() {
    // Every request reads them: one walk over the environment finds all eight names, where a
    // look-up of each would walk it eight times. For each pair the lower-case name wins when
    // it is set and not empty; as with a look-up, the first entry of a name is its value.
    static constexpr std::string_view names[8] = {"http_proxy",  "HTTP_PROXY", "https_proxy",
                                                  "HTTPS_PROXY", "all_proxy",  "ALL_PROXY",
                                                  "no_proxy",    "NO_PROXY"};
    const char* found[8] = {};
    for (char** e = environ; e && *e; ++e) {
        const char* entry = *e;
        char first = entry[0];
        if (first != 'h' && first != 'H' && first != 'a' && first != 'A' && first != 'n' &&
            first != 'N')
            continue;
        for (size_t k = 0; k < 8; ++k) {
            const std::string_view& name = names[k];
            if (!found[k] && first == name[0] &&
                std::strncmp(entry, name.data(), name.size()) == 0 && entry[name.size()] == '=')
                found[k] = entry + name.size() + 1;
        }
    }
    ProxyEnvironment env;
    for (size_t i = 0; i < env.size(); ++i) {
        const char* lowerCase = found[2 * i];
        const char* upperCase = found[2 * i + 1];
        if (lowerCase && *lowerCase) {
            env[i] = lowerCase;
        } else if (upperCase && *upperCase) {
            env[i] = upperCase;
        }
    }
    return env;
}

Ref<NSDictionary> settingsFromEnvironment(const ProxyEnvironment& env) {
    auto d = NSMutableDictionary::dictionary();
    ProxySpec http, https, all;
    bool haveHTTP = parseProxy(env[0], http);
    bool haveHTTPS = parseProxy(env[1], https);
    bool haveAll = parseProxy(env[2], all);
    if (haveHTTP && isSocks(http)) {
        all = http;
        haveAll = haveHTTP;
        haveHTTP = false;
    }
    if (haveHTTPS && isSocks(https)) {
        if (!haveAll) all = https, haveAll = true;
        haveHTTPS = false;
    }
    if (haveAll && !isSocks(all)) {
        // An HTTP proxy for everything.
        if (!haveHTTP) http = all, haveHTTP = true;
        if (!haveHTTPS) https = all, haveHTTPS = true;
        haveAll = false;
    }
    if (haveHTTP)
        putProxy(d, kCFNetworkProxiesHTTPEnable, kCFNetworkProxiesHTTPProxy,
                 kCFNetworkProxiesHTTPPort, http);
    if (haveHTTPS)
        putProxy(d, kCFNetworkProxiesHTTPSEnable, kCFNetworkProxiesHTTPSProxy,
                 kCFNetworkProxiesHTTPSPort, https);
    if (haveAll)
        putProxy(d, kCFNetworkProxiesSOCKSEnable, kCFNetworkProxiesSOCKSProxy,
                 kCFNetworkProxiesSOCKSPort, all);
    const std::string& noProxy = env[3];
    if (!noProxy.empty()) {
        auto list = NSMutableArray::array();
        size_t start = 0;
        while (start <= noProxy.size()) {
            size_t comma = noProxy.find(',', start);
            std::string item = noProxy.substr(
                start, comma == std::string::npos ? std::string::npos : comma - start);
            size_t b = item.find_first_not_of(" \t"), e = item.find_last_not_of(" \t");
            if (b != std::string::npos)
                list->addObject(NSString::fromUTF8(item.substr(b, e - b + 1)));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        d->setObject(list, kCFNetworkProxiesExceptionsList);
    }
    d->setObject(NSNumber::numberWithInt(0), kCFNetworkProxiesProxyAutoConfigEnable);
    return d->copy();
}

// The dictionary is immutable, so one answer serves every caller until a variable changes.
struct SettingsCache {
    std::mutex lock;
    ProxyEnvironment environment;
    Ref<NSDictionary> settings;
};

SettingsCache& settingsCache() {
    static SettingsCache* cache = new SettingsCache();  // outlives every thread's last request
    return *cache;
}

// The list that sends a URL straight to its server.
NSArray* directOnly() {
    static NSArray* const list =
        immortal(NSArray::arrayWithObject(entry(kCFProxyTypeNone, nullptr, nullptr)));
    return list;
}

}  // namespace

// Every request asks for the settings: reading the variables is cheap, parsing them again and
// building the dictionary is not, so that happens only when one of them has changed.
Ref<NSDictionary> CFNetworkCopySystemProxySettings() {
    ProxyEnvironment env = readProxyEnvironment();
    SettingsCache& cache = settingsCache();
    {
        std::lock_guard<std::mutex> g(cache.lock);
        if (cache.settings && cache.environment == env) return cache.settings;
    }
    Ref<NSDictionary> settings = settingsFromEnvironment(env);
    std::lock_guard<std::mutex> g(cache.lock);
    cache.environment = std::move(env);
    cache.settings = settings;
    return settings;
}

Ref<NSArray> CFNetworkCopyProxiesForURL(NSURL* url, NSDictionary* proxySettings) {
    if (!url || !proxySettings) return directOnly();
    // No proxy of any kind (the usual case): nothing about the URL matters.
    if (!enabled(proxySettings, kCFNetworkProxiesProxyAutoConfigEnable) &&
        !enabled(proxySettings, kCFNetworkProxiesHTTPSEnable) &&
        !enabled(proxySettings, kCFNetworkProxiesHTTPEnable) &&
        !enabled(proxySettings, kCFNetworkProxiesSOCKSEnable))
        return directOnly();
    Ref<NSDictionary> none = entry(kCFProxyTypeNone, nullptr, nullptr);
    Ref<NSURL> absolute = url->absoluteURL();
    std::string scheme = absolute->scheme() ? absolute->scheme()->lowercaseString()->utf8() : "";
    std::string host = absolute->host() ? absolute->host()->utf8() : "";
    auto list = NSMutableArray::array();
    if (enabled(proxySettings, kCFNetworkProxiesProxyAutoConfigEnable)) {
        if (auto pac = as<NSString>(
                proxySettings->objectForKey(kCFNetworkProxiesProxyAutoConfigURLString))) {
            auto d = NSMutableDictionary::dictionary();
            d->setObject(kCFProxyTypeAutoConfigurationURL, kCFProxyTypeKey);
            if (auto pacURL = NSURL::URLWithString(pac))
                d->setObject(pacURL, kCFProxyAutoConfigurationURLKey);
            list->addObject(d);
            return list->copy();
        }
    }
    if (exempt(as<NSArray>(proxySettings->objectForKey(kCFNetworkProxiesExceptionsList)).get(),
               host))
        return NSArray::arrayWithObject(none);
    if (scheme == "https" && enabled(proxySettings, kCFNetworkProxiesHTTPSEnable)) {
        list->addObject(entry(kCFProxyTypeHTTPS,
                              proxySettings->objectForKey(kCFNetworkProxiesHTTPSProxy),
                              proxySettings->objectForKey(kCFNetworkProxiesHTTPSPort)));
    } else if (scheme == "http" && enabled(proxySettings, kCFNetworkProxiesHTTPEnable)) {
        list->addObject(entry(kCFProxyTypeHTTP,
                              proxySettings->objectForKey(kCFNetworkProxiesHTTPProxy),
                              proxySettings->objectForKey(kCFNetworkProxiesHTTPPort)));
    }
    if (list->count() == 0 && enabled(proxySettings, kCFNetworkProxiesSOCKSEnable)) {
        list->addObject(entry(kCFProxyTypeSOCKS,
                              proxySettings->objectForKey(kCFNetworkProxiesSOCKSProxy),
                              proxySettings->objectForKey(kCFNetworkProxiesSOCKSPort)));
    }
    list->addObject(none);
    return list->copy();
}

Ref<NSArray> CFNetworkCopyProxiesForAutoConfigurationScript(NSString*, NSURL*,
                                                            Ref<NSError>* error) {
    if (error) *error = pacError();
    return nullptr;
}

Ref<RunLoopSource> CFNetworkExecuteProxyAutoConfigurationURL(
    NSURL*, NSURL*, CFProxyAutoConfigurationResultCallback cb,
    CFStreamClientContext* clientContext) {
    CFStreamClientContext context = clientContext ? *clientContext : CFStreamClientContext{};
    if (context.retain && context.info) context.info = context.retain(context.info);
    // The source reports once, on the loop it is added to, then takes itself out.
    auto fired = std::make_shared<bool>(false);
    auto holder = std::make_shared<Weak<RunLoopSource>>();
    Ref<RunLoopSource> source = RunLoopSource::sourceWithHandler([=] {
        if (*fired) return;
        *fired = true;
        Ref<NSError> error = pacError();
        if (cb) cb(context.info, nullptr, error);
        if (context.release && context.info) context.release(context.info);
        if (auto s = holder->lock()) s->invalidate();
    });
    *holder = source;
    source->signal();
    return source;
}
