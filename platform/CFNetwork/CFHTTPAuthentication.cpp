#include "CFNetwork/CFHTTPAuthentication.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CFNetwork/CFHTTPAuthenticationNTLM.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"

NSString* const kCFHTTPAuthenticationSchemeBasic = NS("Basic");
NSString* const kCFHTTPAuthenticationSchemeDigest = NS("Digest");
NSString* const kCFHTTPAuthenticationSchemeNTLM = NS("NTLM");
NSString* const kCFHTTPAuthenticationSchemeNegotiate = NS("Negotiate");
NSString* const kCFHTTPAuthenticationSchemeKerberos = NS("Kerberos");
NSString* const kCFHTTPAuthenticationUsername = NS("kCFHTTPAuthenticationUsername");
NSString* const kCFHTTPAuthenticationPassword = NS("kCFHTTPAuthenticationPassword");
NSString* const kCFHTTPAuthenticationAccountDomain = NS("kCFHTTPAuthenticationAccountDomain");

namespace {

// ---- text helpers ------------------------------------------------------------------------------

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string md5(std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr);
    return std::string(reinterpret_cast<char*>(digest), length);
}

std::string md5Hex(std::string_view data) {
    return hex(md5(data));
}

std::string base64(const std::string& bytes) {
    return NSData::dataWithBytes(bytes.data(), static_cast<NSUInteger>(bytes.size()))
        ->base64EncodedString()
        ->utf8();
}

std::optional<std::string> unbase64(const std::string& text) {
    auto data = alloc<NSData>();
    if (!data->initWithBase64EncodedString(NSString::fromUTF8(text))) return std::nullopt;
    return std::string(data->view());
}

std::string randomBytes(size_t n) {
    std::string out(n, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), static_cast<int>(n)) != 1) {
        // Without the generator the value still differs per call, which is all a cnonce needs.
        auto t = std::chrono::steady_clock::now().time_since_epoch().count();
        static std::atomic<uint64_t> serial{0};
        out = md5(std::to_string(t) + ":" + std::to_string(serial++)).substr(0, n);
    }
    return out;
}

// A quoted-string value for a header parameter.
std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string utf8Of(NSString* s) {
    return s ? s->utf8() : std::string();
}

// ---- challenges --------------------------------------------------------------------------------

struct Challenge {
    std::string scheme;                         // as sent
    std::string token;                          // token68 (NTLM's message)
    std::map<std::string, std::string> params;  // names lower-cased
    std::string param(const std::string& name) const {
        auto it = params.find(name);
        return it == params.end() ? std::string() : it->second;
    }
    bool has(const std::string& name) const { return params.count(name) > 0; }
};

bool isTchar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

bool isToken68Char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("-._~+/", c) != nullptr;
}

// Challenges of one field value: `scheme [token68 | name=value, ...]`, several per field
// separated by commas (a repeated field arrives joined with ", ").
void parseChallenges(std::string_view v, std::vector<Challenge>& out) {
    size_t i = 0;
    auto skipSpace = [&] {
        while (i < v.size() && (v[i] == ' ' || v[i] == '\t'))
            ++i;
    };
    auto readToken = [&] {
        size_t b = i;
        while (i < v.size() && isTchar(v[i]))
            ++i;
        return std::string(v.substr(b, i - b));
    };
    // Whether a "name=" parameter starts at i (rather than a new scheme or a token68).
    auto paramAhead = [&] {
        size_t j = i;
        while (j < v.size() && isTchar(v[j]))
            ++j;
        if (j == i) return false;
        while (j < v.size() && (v[j] == ' ' || v[j] == '\t'))
            ++j;
        if (j >= v.size() || v[j] != '=') return false;
        ++j;
        while (j < v.size() && (v[j] == ' ' || v[j] == '\t'))
            ++j;
        return j < v.size() && v[j] != '=' && v[j] != ',';
    };
    while (i < v.size()) {
        while (i < v.size() && (v[i] == ' ' || v[i] == '\t' || v[i] == ','))
            ++i;
        if (i >= v.size()) break;
        Challenge c;
        c.scheme = readToken();
        if (c.scheme.empty()) {
            ++i;  // a stray character: skip it
            continue;
        }
        skipSpace();
        if (i < v.size() && v[i] != ',' && !paramAhead()) {
            size_t b = i;
            while (i < v.size() && isToken68Char(v[i]))
                ++i;
            while (i < v.size() && v[i] == '=')
                ++i;
            c.token = std::string(v.substr(b, i - b));
            skipSpace();
        }
        // Parameters, until something that is not one (the next scheme).
        while (true) {
            size_t mark = i;
            while (i < v.size() && (v[i] == ' ' || v[i] == '\t' || v[i] == ','))
                ++i;
            if (i >= v.size() || !paramAhead()) {
                if (i < v.size()) i = mark;
                break;
            }
            std::string name = lower(readToken());
            skipSpace();
            ++i;  // '='
            skipSpace();
            std::string value;
            if (i < v.size() && v[i] == '"') {
                ++i;
                while (i < v.size() && v[i] != '"') {
                    if (v[i] == '\\' && i + 1 < v.size()) ++i;
                    value += v[i++];
                }
                if (i < v.size()) ++i;
            } else {
                while (i < v.size() && v[i] != ',' && v[i] != ' ' && v[i] != '\t')
                    value += v[i++];
            }
            c.params[name] = value;
            skipSpace();
        }
        out.push_back(std::move(c));
    }
}

std::vector<Challenge> challengesOf(CFHTTPMessageRef response, bool forProxy) {
    std::vector<Challenge> out;
    const char* name = forProxy ? "Proxy-Authenticate" : "WWW-Authenticate";
    for (const auto& f : response->fields)
        if (equalsIgnoringCase(f.name, name)) parseChallenges(f.value, out);
    return out;
}

enum class Scheme { None, Basic, Digest, NTLM };

Scheme schemeOf(const std::string& name) {
    if (equalsIgnoringCase(name, "Basic")) return Scheme::Basic;
    if (equalsIgnoringCase(name, "Digest")) return Scheme::Digest;
    if (equalsIgnoringCase(name, "NTLM")) return Scheme::NTLM;
    return Scheme::None;
}

// Digest challenges we can answer: MD5 or MD5-sess, and a qop we know when one is demanded.
bool digestUsable(const Challenge& c) {
    std::string algorithm = lower(c.param("algorithm"));
    if (!algorithm.empty() && algorithm != "md5" && algorithm != "md5-sess") return false;
    if (c.param("nonce").empty()) return false;
    if (c.has("qop")) {
        std::string qop = lower(c.param("qop"));
        if (qop.find("auth") == std::string::npos) return false;
    }
    return true;
}

}  // namespace

// ---- the object --------------------------------------------------------------------------------

struct CFHTTPAuthentication::State {
    std::mutex lock;
    bool forProxy = false;
    Scheme scheme = Scheme::None;
    std::string schemeName;
    std::string realm;
    bool hasRealm = false;
    bool valid = false;
    int32_t errorCode = 0;
    // Digest.
    std::string nonce, opaque, algorithm, qop, domains;
    uint32_t nonceCount = 0;
    // NTLM: 0 nothing sent, 1 the opening sent, 2 the server's challenge in hand, 3 answered.
    int ntlmStage = 0;
    cfnet::ntlm::Challenge ntlmChallenge;
    // Credentials applied since the last response was handed over.
    bool applied = false;
    Ref<CFHTTPMessage> lastResponse;
    std::string host;  // of the first request applied to
    int port = 0;

    void invalidate(int32_t code) {
        valid = false;
        errorCode = code;
    }

    // Takes the strongest usable challenge; false when there is none.
    bool choose(const std::vector<Challenge>& challenges) {
        const Challenge* best = nullptr;
        Scheme bestScheme = Scheme::None;
        auto rank = [](Scheme s) {
            return s == Scheme::NTLM ? 3 : s == Scheme::Digest ? 2 : s == Scheme::Basic ? 1 : 0;
        };
        for (const auto& c : challenges) {
            Scheme s = schemeOf(c.scheme);
            if (s == Scheme::Digest && !digestUsable(c)) continue;
            if (s == Scheme::NTLM && !cfnet::ntlm::available()) continue;
            if (rank(s) > rank(bestScheme)) {
                best = &c;
                bestScheme = s;
            }
        }
        if (!best) return false;
        scheme = bestScheme;
        schemeName = bestScheme == Scheme::NTLM     ? "NTLM"
                     : bestScheme == Scheme::Digest ? "Digest"
                                                    : "Basic";
        hasRealm = scheme != Scheme::NTLM && best->has("realm");
        realm = hasRealm ? best->param("realm") : std::string();
        if (scheme == Scheme::Digest) takeDigest(*best);
        valid = true;
        errorCode = 0;
        return true;
    }

    void takeDigest(const Challenge& c) {
        nonce = c.param("nonce");
        opaque = c.param("opaque");
        algorithm = c.param("algorithm");
        domains = c.param("domain");
        qop.clear();
        if (c.has("qop")) {
            // "auth" when offered; "auth-int" only when it is all there is.
            std::string offered = lower(c.param("qop"));
            bool auth = false, authInt = false;
            size_t b = 0;
            while (b <= offered.size()) {
                size_t e = offered.find(',', b);
                if (e == std::string::npos) e = offered.size();
                std::string item = offered.substr(b, e - b);
                item.erase(0, item.find_first_not_of(" \t"));
                item.erase(item.find_last_not_of(" \t") + 1);
                if (item == "auth") auth = true;
                if (item == "auth-int") authInt = true;
                b = e + 1;
            }
            qop = auth ? "auth" : authInt ? "auth-int" : "";
        }
        nonceCount = 0;
    }
};

Ref<CFHTTPAuthentication> CFHTTPAuthenticationCreateFromResponse(CFAllocatorRef,
                                                                 CFHTTPMessageRef response) {
    if (!response || CFHTTPMessageIsRequest(response)) return nullptr;
    auto auth = alloc<CFHTTPAuthentication>();
    auto* st = auth->state = new CFHTTPAuthentication::State();
    st->lastResponse = response;
    int status = response->statusCode;
    st->forProxy = status == 407;
    if (status != 401 && status != 407) {
        st->invalidate(kCFStreamErrorHTTPAuthenticationTypeUnsupported);
        return auth;
    }
    if (!st->choose(challengesOf(response, st->forProxy)))
        st->invalidate(kCFStreamErrorHTTPAuthenticationTypeUnsupported);
    return auth;
}

bool CFHTTPAuthenticationIsValid(CFHTTPAuthenticationRef auth, CFStreamError* error) {
    if (!auth || !auth->state) {
        if (error)
            *error = CFStreamError{kCFStreamErrorDomainHTTP,
                                   kCFStreamErrorHTTPAuthenticationTypeUnsupported};
        return false;
    }
    std::lock_guard lock(auth->state->lock);
    if (error)
        *error = auth->state->valid
                     ? CFStreamError{}
                     : CFStreamError{kCFStreamErrorDomainHTTP, auth->state->errorCode};
    return auth->state->valid;
}

bool CFHTTPAuthenticationAppliesToRequest(CFHTTPAuthenticationRef auth, CFHTTPMessageRef request) {
    if (!auth || !auth->state || !request || !request->url) return false;
    std::lock_guard lock(auth->state->lock);
    if (auth->state->forProxy || auth->state->host.empty()) return true;
    Ref<NSURL> url = request->url;
    Ref<NSNumber> port = url->port();
    return equalsIgnoringCase(utf8Of(url->host()), auth->state->host) &&
           (port ? port->intValue() : 0) == auth->state->port;
}

bool CFHTTPAuthenticationRequiresOrderedRequests(CFHTTPAuthenticationRef auth) {
    if (!auth || !auth->state) return false;
    std::lock_guard lock(auth->state->lock);
    return auth->state->scheme == Scheme::NTLM;
}

bool CFHTTPAuthenticationRequiresUserNameAndPassword(CFHTTPAuthenticationRef auth) {
    if (!auth || !auth->state) return false;
    std::lock_guard lock(auth->state->lock);
    return auth->state->scheme != Scheme::None;
}

bool CFHTTPAuthenticationRequiresAccountDomain(CFHTTPAuthenticationRef auth) {
    if (!auth || !auth->state) return false;
    std::lock_guard lock(auth->state->lock);
    return auth->state->scheme == Scheme::NTLM;
}

Ref<NSString> CFHTTPAuthenticationCopyRealm(CFHTTPAuthenticationRef auth) {
    if (!auth || !auth->state) return nullptr;
    std::lock_guard lock(auth->state->lock);
    return auth->state->hasRealm ? NSString::fromUTF8(auth->state->realm) : nullptr;
}

Ref<NSString> CFHTTPAuthenticationCopyMethod(CFHTTPAuthenticationRef auth) {
    if (!auth || !auth->state) return nullptr;
    std::lock_guard lock(auth->state->lock);
    switch (auth->state->scheme) {
        case Scheme::Basic:
            return kCFHTTPAuthenticationSchemeBasic;
        case Scheme::Digest:
            return kCFHTTPAuthenticationSchemeDigest;
        case Scheme::NTLM:
            return kCFHTTPAuthenticationSchemeNTLM;
        default:
            return nullptr;
    }
}

Ref<NSArray> CFHTTPAuthenticationCopyDomains(CFHTTPAuthenticationRef auth) {
    if (!auth || !auth->state) return nullptr;
    std::lock_guard lock(auth->state->lock);
    Ref<NSMutableArray> out = NSMutableArray::array();
    std::string list = auth->state->domains;
    size_t b = 0;
    while (b < list.size()) {
        size_t e = list.find(' ', b);
        if (e == std::string::npos) e = list.size();
        if (e > b) {
            if (auto url = NSURL::URLWithString(NSString::fromUTF8(list.substr(b, e - b))))
                out->addObject(url);
        }
        b = e + 1;
    }
    return out;
}

bool CFHTTPAuthenticationUpdateFromResponse(CFHTTPAuthenticationRef auth,
                                            CFHTTPMessageRef response) {
    if (!auth || !auth->state || !response) return false;
    auto* st = auth->state;
    std::lock_guard lock(st->lock);
    if (st->lastResponse.get() == response) return st->valid;
    st->lastResponse = response;
    if (!st->applied) return st->valid;  // nothing of ours was answered
    st->applied = false;
    if (response->statusCode != (st->forProxy ? 407 : 401)) return st->valid;
    std::vector<Challenge> challenges = challengesOf(response, st->forProxy);
    const Challenge* same = nullptr;
    for (const auto& c : challenges)
        if (schemeOf(c.scheme) == st->scheme) same = &c;
    switch (st->scheme) {
        case Scheme::Digest:
            // A stale nonce is no verdict on the credentials: answer again with the new one.
            if (same && equalsIgnoringCase(same->param("stale"), "true") && digestUsable(*same)) {
                st->takeDigest(*same);
                return true;
            }
            break;
        case Scheme::NTLM:
            if (same && st->ntlmStage == 1 && !same->token.empty()) {
                auto bytes = unbase64(same->token);
                auto parsed = bytes ? cfnet::ntlm::parseChallenge(*bytes) : std::nullopt;
                if (parsed) {
                    st->ntlmChallenge = *parsed;
                    st->ntlmStage = 2;
                    return true;
                }
            } else if (same && same->token.empty()) {
                // Refused at the end of the handshake: a new one would start from the opening.
                st->ntlmStage = 0;
                return true;
            }
            break;
        default:
            break;
    }
    st->invalidate(kCFStreamErrorHTTPAuthenticationBadPassword);
    return false;
}

// ---- applying ----------------------------------------------------------------------------------

namespace {

// The request-target the answer is computed over: what the origin or proxy sees.
std::string digestURI(CFHTTPMessageRef request, bool forProxy, std::string& method) {
    NSURL::Parts parts = NSURL::parse(request->url->absoluteString()->utf8());
    bool https = equalsIgnoringCase(parts.scheme, "https");
    if (forProxy && https) {
        // Proxy credentials on an https request go to the CONNECT that opens the tunnel.
        method = "CONNECT";
        Ref<NSNumber> port = request->url->port();
        std::string host = utf8Of(request->url->host());
        if (host.find(':') != std::string::npos) host = "[" + host + "]";
        return host + ":" + std::to_string(port ? port->intValue() : 443);
    }
    std::string target;
    if (forProxy)
        target = parts.scheme + "://" + parts.authority + (parts.path.empty() ? "/" : parts.path);
    else
        target = parts.path.empty() ? "/" : parts.path;
    if (parts.hasQuery) target += "?" + parts.query;
    return target;
}

bool apply(CFHTTPMessageRef request, CFHTTPAuthenticationRef auth, NSString* username,
           NSString* password, NSString* domain, CFStreamError* error) {
    auto fail = [&](int32_t code) {
        if (error) *error = CFStreamError{kCFStreamErrorDomainHTTP, code};
        return false;
    };
    if (!auth || !auth->state) return fail(kCFStreamErrorHTTPAuthenticationTypeUnsupported);
    if (!request || !CFHTTPMessageIsRequest(request) || !request->url)
        return fail(kCFStreamErrorHTTPAuthenticationTypeUnsupported);
    auto* st = auth->state;
    std::lock_guard lock(st->lock);
    if (!st->valid) return fail(st->errorCode);
    if (!username) return fail(kCFStreamErrorHTTPAuthenticationBadUserName);
    if (!password) return fail(kCFStreamErrorHTTPAuthenticationBadPassword);
    std::string user = username->utf8(), pass = password->utf8();
    std::string value;
    switch (st->scheme) {
        case Scheme::Basic:
            value = "Basic " + base64(user + ":" + pass);
            break;
        case Scheme::Digest: {
            std::string method = request->method;
            std::string uri = digestURI(request, st->forProxy, method);
            std::string cnonce = hex(randomBytes(8));
            std::string ha1 = md5Hex(user + ":" + st->realm + ":" + pass);
            if (equalsIgnoringCase(st->algorithm, "md5-sess"))
                ha1 = md5Hex(ha1 + ":" + st->nonce + ":" + cnonce);
            std::string ha2 = md5Hex(method + ":" + uri);
            if (st->qop == "auth-int") {
                std::string body = request->body ? std::string(request->body->view()) : "";
                ha2 = md5Hex(method + ":" + uri + ":" + md5Hex(body));
            }
            char nc[9];
            std::snprintf(nc, sizeof nc, "%08x", ++st->nonceCount);
            std::string response = st->qop.empty() ? md5Hex(ha1 + ":" + st->nonce + ":" + ha2)
                                                   : md5Hex(ha1 + ":" + st->nonce + ":" + nc + ":" +
                                                            cnonce + ":" + st->qop + ":" + ha2);
            value = "Digest username=" + quoted(user) + ", realm=" + quoted(st->realm) +
                    ", nonce=" + quoted(st->nonce) + ", uri=" + quoted(uri) +
                    ", response=" + quoted(response);
            if (!st->algorithm.empty()) value += ", algorithm=" + st->algorithm;
            if (!st->opaque.empty()) value += ", opaque=" + quoted(st->opaque);
            if (!st->qop.empty())
                value += ", qop=" + st->qop + ", nc=" + nc + ", cnonce=" + quoted(cnonce);
            break;
        }
        case Scheme::NTLM:
            if (st->ntlmStage == 2) {
                uint64_t timestamp = st->ntlmChallenge.timestamp.value_or(0);
                if (!st->ntlmChallenge.timestamp) {
                    // Tenths of microseconds since 1601.
                    double since1970 = NSDate::date()->timeIntervalSince1970();
                    timestamp = static_cast<uint64_t>((since1970 + 11644473600.0) * 1e7);
                }
                value = "NTLM " + base64(cfnet::ntlm::authenticateMessage(
                                      st->ntlmChallenge, user, pass, utf8Of(domain), "",
                                      randomBytes(8), timestamp));
                st->ntlmStage = 3;
            } else {
                value = "NTLM " + base64(cfnet::ntlm::negotiateMessage());
                st->ntlmStage = 1;
            }
            break;
        default:
            return fail(kCFStreamErrorHTTPAuthenticationTypeUnsupported);
    }
    if (st->host.empty()) {
        st->host = utf8Of(request->url->host());
        Ref<NSNumber> port = request->url->port();
        st->port = port ? port->intValue() : 0;
    }
    st->applied = true;
    CFHTTPMessageSetHeaderFieldValue(request,
                                     st->forProxy ? NS("Proxy-Authorization") : NS("Authorization"),
                                     NSString::fromUTF8(value));
    if (error) *error = CFStreamError{};
    return true;
}

}  // namespace

bool CFHTTPMessageApplyCredentials(CFHTTPMessageRef request, CFHTTPAuthenticationRef auth,
                                   NSString* username, NSString* password, CFStreamError* error) {
    return apply(request, auth, username, password, nullptr, error);
}

bool CFHTTPMessageApplyCredentialDictionary(CFHTTPMessageRef request, CFHTTPAuthenticationRef auth,
                                            NSDictionary* dict, CFStreamError* error) {
    if (!dict) {
        if (error)
            *error = CFStreamError{kCFStreamErrorDomainHTTP,
                                   kCFStreamErrorHTTPAuthenticationBadUserName};
        return false;
    }
    auto user = as<NSString>(dict->objectForKey(kCFHTTPAuthenticationUsername));
    auto pass = as<NSString>(dict->objectForKey(kCFHTTPAuthenticationPassword));
    auto domain = as<NSString>(dict->objectForKey(kCFHTTPAuthenticationAccountDomain));
    return apply(request, auth, user, pass, domain, error);
}

bool CFHTTPMessageAddAuthentication(CFHTTPMessageRef request,
                                    CFHTTPMessageRef authenticationFailureResponse,
                                    NSString* username, NSString* password,
                                    NSString* authenticationScheme, bool forProxy) {
    if (!authenticationFailureResponse) return false;
    if ((authenticationFailureResponse->statusCode == 407) != forProxy) return false;
    Ref<CFHTTPAuthentication> auth =
        CFHTTPAuthenticationCreateFromResponse(kCFAllocatorDefault, authenticationFailureResponse);
    if (!auth || !CFHTTPAuthenticationIsValid(auth, nullptr)) return false;
    if (authenticationScheme) {
        // Only the scheme asked for: choose again among the challenges of that name.
        std::vector<Challenge> all = challengesOf(authenticationFailureResponse, forProxy), chosen;
        for (const auto& c : all)
            if (equalsIgnoringCase(c.scheme, authenticationScheme->utf8())) chosen.push_back(c);
        std::lock_guard lock(auth->state->lock);
        if (!auth->state->choose(chosen)) return false;
    }
    return CFHTTPMessageApplyCredentials(request, auth, username, password, nullptr);
}

Ref<NSString> CFHTTPAuthentication::description() {
    if (!state) return NSObject::description();
    std::lock_guard lock(state->lock);
    return NSString::fromUTF8(
        "<CFHTTPAuthentication " +
        (state->schemeName.empty() ? std::string("(none)") : state->schemeName) +
        (state->hasRealm ? " realm \"" + state->realm + "\"" : "") +
        (state->forProxy ? ", proxy" : "") + (state->valid ? "" : ", invalid") + ">");
}

void CFHTTPAuthentication::dealloc() {
    delete state;
    state = nullptr;
    NSObject::dealloc();
}

// ---- NTLM --------------------------------------------------------------------------------------

namespace cfnet::ntlm {

namespace {

constexpr uint32_t kNegotiateUnicode = 0x00000001;
constexpr uint32_t kNegotiateOEM = 0x00000002;
constexpr uint32_t kRequestTarget = 0x00000004;
constexpr uint32_t kNegotiateNTLM = 0x00000200;
constexpr uint32_t kNegotiateAlwaysSign = 0x00008000;
constexpr uint32_t kNegotiateExtendedSessionSecurity = 0x00080000;
constexpr uint32_t kNegotiateTargetInfo = 0x00800000;

const char kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', '\0'};

// MD4 lives in OpenSSL's legacy provider; it is loaded into a context of our own so that the
// rest of the process keeps the default set of algorithms.
EVP_MD* md4Algorithm() {
    static EVP_MD* const md = [] {
        OSSL_LIB_CTX* context = OSSL_LIB_CTX_new();
        if (!context) return static_cast<EVP_MD*>(nullptr);
        if (!OSSL_PROVIDER_load(context, "legacy") || !OSSL_PROVIDER_load(context, "default"))
            return static_cast<EVP_MD*>(nullptr);
        return EVP_MD_fetch(context, "MD4", nullptr);
    }();
    return md;
}

std::string md4(const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_MD* md = md4Algorithm();
    if (!md || !EVP_Digest(data.data(), data.size(), digest, &length, md, nullptr)) return {};
    return std::string(reinterpret_cast<char*>(digest), length);
}

std::string hmacMD5(const std::string& key, const std::string& data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_md5(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(data.data()), data.size(), out, &length);
    return std::string(reinterpret_cast<char*>(out), length);
}

std::string utf16le(const std::string& utf8) {
    Ref<NSData> d = NSString::fromUTF8(utf8)->dataUsingEncoding(NSUTF16LittleEndianStringEncoding);
    return d ? std::string(d->view()) : std::string();
}

std::string upper(const std::string& utf8) {
    return NSString::fromUTF8(utf8)->uppercaseString()->utf8();
}

void put16(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}
void put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void put64(std::string& s, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
uint16_t get16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) |
                                 static_cast<unsigned char>(s[at + 1]) << 8);
}
uint32_t get32(const std::string& s, size_t at) {
    return get16(s, at) | static_cast<uint32_t>(get16(s, at + 2)) << 16;
}

}  // namespace

bool available() {
    return md4Algorithm() != nullptr;
}

std::string negotiateMessage() {
    std::string m(kSignature, 8);
    put32(m, 1);
    put32(m, kNegotiateUnicode | kNegotiateOEM | kRequestTarget | kNegotiateNTLM |
                 kNegotiateAlwaysSign | kNegotiateExtendedSessionSecurity);
    // Empty domain and workstation fields, pointing at the end.
    for (int i = 0; i < 2; ++i) {
        put16(m, 0);
        put16(m, 0);
        put32(m, 32);
    }
    return m;
}

std::optional<Challenge> parseChallenge(const std::string& message) {
    if (message.size() < 32 || message.compare(0, 8, std::string(kSignature, 8)) != 0 ||
        get32(message, 8) != 2)
        return std::nullopt;
    Challenge c;
    c.flags = get32(message, 20);
    c.serverChallenge = message.substr(24, 8);
    if (message.size() >= 48 && (c.flags & kNegotiateTargetInfo)) {
        uint16_t length = get16(message, 40);
        uint32_t offset = get32(message, 44);
        if (offset <= message.size() && length <= message.size() - offset)
            c.targetInfo = message.substr(offset, length);
        // MsvAvTimestamp (7) among the pairs: the server's clock, which the answer must use.
        size_t at = 0;
        const std::string& info = c.targetInfo;
        while (at + 4 <= info.size()) {
            uint16_t id = get16(info, at), len = get16(info, at + 2);
            if (id == 0 || at + 4 + len > info.size()) break;
            if (id == 7 && len == 8) {
                uint64_t t = 0;
                for (int i = 7; i >= 0; --i)
                    t = t << 8 | static_cast<unsigned char>(info[at + 4 + static_cast<size_t>(i)]);
                c.timestamp = t;
            }
            at += 4 + len;
        }
    }
    return c;
}

std::string responseKey(const std::string& user, const std::string& password,
                        const std::string& domain) {
    return hmacMD5(md4(utf16le(password)), utf16le(upper(user) + domain));
}

std::string ntlmv2Response(const std::string& key, const std::string& serverChallenge,
                           const std::string& clientChallenge, uint64_t timestamp,
                           const std::string& targetInfo) {
    std::string blob;
    blob += '\x01';
    blob += '\x01';
    blob.append(6, '\0');
    put64(blob, timestamp);
    blob += clientChallenge;
    blob.append(4, '\0');
    blob += targetInfo;
    blob.append(4, '\0');
    return hmacMD5(key, serverChallenge + blob) + blob;
}

std::string authenticateMessage(const Challenge& challenge, const std::string& user,
                                const std::string& password, const std::string& domain,
                                const std::string& workstation, const std::string& clientChallenge,
                                uint64_t timestamp) {
    std::string key = responseKey(user, password, domain);
    std::string nt = ntlmv2Response(key, challenge.serverChallenge, clientChallenge, timestamp,
                                    challenge.targetInfo);
    std::string lm = hmacMD5(key, challenge.serverChallenge + clientChallenge) + clientChallenge;
    std::string domainBytes = utf16le(domain), userBytes = utf16le(user),
                hostBytes = utf16le(workstation);

    constexpr uint32_t kHeader = 64;
    std::string m(kSignature, 8);
    put32(m, 3);
    std::string payload;
    auto field = [&](const std::string& bytes) {
        put16(m, static_cast<uint16_t>(bytes.size()));
        put16(m, static_cast<uint16_t>(bytes.size()));
        put32(m, kHeader + static_cast<uint32_t>(payload.size()));
        payload += bytes;
    };
    field(lm);
    field(nt);
    field(domainBytes);
    field(userBytes);
    field(hostBytes);
    field(std::string());  // no session key
    uint32_t flags = kNegotiateUnicode | kRequestTarget | kNegotiateNTLM | kNegotiateAlwaysSign |
                     kNegotiateExtendedSessionSecurity;
    if (!challenge.targetInfo.empty()) flags |= kNegotiateTargetInfo;
    put32(m, flags);
    return m + payload;
}

}  // namespace cfnet::ntlm
