#include "CFNetwork/HTTPConnection.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>

#include "CFNetwork/CFNetworkErrors.h"
#include "Foundation/Clock.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"

namespace cfnet {

namespace {

// ---- a socket BIO that never raises SIGPIPE ---------------------------------------------------
// OpenSSL's own socket BIO writes with write(2), which kills the process with SIGPIPE when the
// peer has gone; ours sends with MSG_NOSIGNAL so that the loss comes back as EPIPE.

int bioWrite(BIO* b, const char* data, int length) {
    int fd = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(b)));
    BIO_clear_retry_flags(b);
    ssize_t n = ::send(fd, data, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_write(b);
    return static_cast<int>(n);
}

int bioRead(BIO* b, char* data, int length) {
    int fd = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(b)));
    BIO_clear_retry_flags(b);
    ssize_t n = ::recv(fd, data, static_cast<size_t>(length), 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) BIO_set_retry_read(b);
    return static_cast<int>(n);
}

long bioCtrl(BIO*, int cmd, long, void*) {
    return cmd == BIO_CTRL_FLUSH ? 1 : 0;
}

int bioCreate(BIO* b) {
    BIO_set_init(b, 1);
    return 1;
}

BIO_METHOD* socketMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "bn socket");
        BIO_meth_set_write(m, bioWrite);
        BIO_meth_set_read(m, bioRead);
        BIO_meth_set_ctrl(m, bioCtrl);
        BIO_meth_set_create(m, bioCreate);
        return m;
    }();
    return method;
}

// ---- contexts ---------------------------------------------------------------------------------
// One client context per trust-anchor file: the system's default paths plus the file named by
// BAZAARNEST_CA_FILE, read when the context is first made.
SSL_CTX* contextFor(const std::string& caFile) {
    static std::mutex lock;
    static auto* contexts = new std::map<std::string, SSL_CTX*>();
    std::lock_guard<std::mutex> g(lock);
    auto it = contexts->find(caFile);
    if (it != contexts->end()) return it->second;
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) return nullptr;
    SSL_CTX_set_min_proto_version(ctx, TLS1_VERSION);
    SSL_CTX_set_default_verify_paths(ctx);
    if (!caFile.empty()) SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    (*contexts)[caFile] = ctx;
    return ctx;
}

// The settings' exceptions to strict verification, kept with each SSL object.
int optionsIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

int verifyCallback(int ok, X509_STORE_CTX* store) {
    if (ok) return 1;
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* options = ssl ? static_cast<TLSOptions*>(SSL_get_ex_data(ssl, optionsIndex())) : nullptr;
    if (!options) return 0;
    int err = X509_STORE_CTX_get_error(store);
    int depth = X509_STORE_CTX_get_error_depth(store);
    bool root = depth > 0 && X509_STORE_CTX_get_current_cert(store) &&
                X509_check_issued(X509_STORE_CTX_get_current_cert(store),
                                  X509_STORE_CTX_get_current_cert(store)) == X509_V_OK;
    switch (err) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return root ? options->allowExpiredRoots || options->allowExpired
                        : options->allowExpired;
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_CERT_UNTRUSTED:
            return options->allowAnyRoot;
        default:
            return 0;
    }
}

Ref<NSError> sslError(CFIndex code, const std::string& detail) {
    auto info = NSDictionary::dictionaryWithObject(
        NSString::fromUTF8("An SSL error has occurred and a secure connection to the server "
                           "cannot be made." +
                           (detail.empty() ? std::string() : " (" + detail + ")")),
        NSLocalizedDescriptionKey);
    return NSError::errorWithDomain(NSOSStatusErrorDomain, code, info);
}

// The secure-transport code for a failed certificate check.
CFIndex codeForVerifyResult(long result) {
    switch (result) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return errSSLCertExpired;
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return errSSLCertNotYetValid;
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            return errSSLNoRootCert;
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_CERT_UNTRUSTED:
            return errSSLUnknownRootCert;
        default:
            return errSSLXCertChainInvalid;
    }
}

std::string openSSLErrorText() {
    unsigned long e = ERR_peek_last_error();
    char buffer[256] = {0};
    if (e) ERR_error_string_n(e, buffer, sizeof buffer);
    ERR_clear_error();
    return buffer;
}

bool useClientIdentity(SSL* ssl, const std::vector<std::string>& pems) {
    if (pems.empty()) return true;
    BIO* bio = BIO_new_mem_buf(pems[0].data(), static_cast<int>(pems[0].size()));
    X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    bio = BIO_new_mem_buf(pems[0].data(), static_cast<int>(pems[0].size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    bool ok =
        cert && key && SSL_use_certificate(ssl, cert) == 1 && SSL_use_PrivateKey(ssl, key) == 1;
    X509_free(cert);
    EVP_PKEY_free(key);
    for (size_t i = 1; ok && i < pems.size(); ++i) {
        bio = BIO_new_mem_buf(pems[i].data(), static_cast<int>(pems[i].size()));
        X509* extra = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
        BIO_free(bio);
        if (extra && SSL_add0_chain_cert(ssl, extra) != 1) {
            X509_free(extra);
            ok = false;
        }
    }
    return ok;
}

}  // namespace

// ---- the connection ---------------------------------------------------------------------------

Connection::~Connection() {
    if (ssl) {
        delete static_cast<TLSOptions*>(SSL_get_ex_data(ssl, optionsIndex()));
        SSL_free(ssl);
    }
    if (fd >= 0) ::close(fd);
}

IOResult Connection::tlsResult(int rc, size_t& count, int& err) {
    if (rc > 0) {
        count = static_cast<size_t>(rc);
        return IOResult::Done;
    }
    switch (SSL_get_error(ssl, rc)) {
        case SSL_ERROR_WANT_READ:
            return IOResult::WantRead;
        case SSL_ERROR_WANT_WRITE:
            return IOResult::WantWrite;
        case SSL_ERROR_ZERO_RETURN:
            return IOResult::Closed;
        case SSL_ERROR_SYSCALL:
            err = errno;
            ERR_clear_error();
            // An end of file without close_notify is how most servers end a connection.
            return err == 0 ? IOResult::Closed : IOResult::Failed;
        default: {
            std::string text = openSSLErrorText();
            // A peer that resets the connection under TLS reads as a protocol failure; the
            // socket error tells the truth.
            int soError = 0;
            socklen_t len = sizeof soError;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) == 0 && soError) {
                err = soError;
                return IOResult::Failed;
            }
            err = 0;
            tlsError = sslError(errSSLProtocol, text);
            return IOResult::Failed;
        }
    }
}

IOResult Connection::read(char* buffer, size_t length, size_t& count, int& err) {
    count = 0;
    err = 0;
    if (ssl) {
        ERR_clear_error();
        int rc = SSL_read(ssl, buffer, static_cast<int>(std::min<size_t>(length, INT32_MAX)));
        return tlsResult(rc, count, err);
    }
    for (;;) {
        ssize_t n = ::recv(fd, buffer, length, 0);
        if (n > 0) {
            count = static_cast<size_t>(n);
            return IOResult::Done;
        }
        if (n == 0) return IOResult::Closed;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return IOResult::WantRead;
        err = errno;
        return IOResult::Failed;
    }
}

IOResult Connection::write(const char* buffer, size_t length, size_t& count, int& err) {
    count = 0;
    err = 0;
    if (ssl) {
        ERR_clear_error();
        int rc = SSL_write(ssl, buffer, static_cast<int>(std::min<size_t>(length, INT32_MAX)));
        return tlsResult(rc, count, err);
    }
    for (;;) {
        ssize_t n = ::send(fd, buffer, length, MSG_NOSIGNAL);
        if (n >= 0) {
            count = static_cast<size_t>(n);
            return IOResult::Done;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return IOResult::WantWrite;
        err = errno;
        return IOResult::Failed;
    }
}

bool Connection::hasBufferedInput() {
    return ssl && SSL_pending(ssl) > 0;
}

bool Connection::quietAndOpen() {
    if (hasBufferedInput()) return false;
    pollfd p{fd, POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, 0);
    } while (rc < 0 && errno == EINTR);
    if (rc == 0) return true;
    if (rc < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) || !ssl) return false;
    // Under TLS a readable socket may hold only records without data (a session ticket): peek
    // through them. Data, a close or an error all end the connection's use.
    char byte;
    ERR_clear_error();
    int n = SSL_peek(ssl, &byte, 1);
    bool quiet = n <= 0 && SSL_get_error(ssl, n) == SSL_ERROR_WANT_READ;
    ERR_clear_error();
    return quiet;
}

bool Connection::startTLS(const TLSOptions& options, Ref<NSError>* error) {
    const char* ca = std::getenv("BAZAARNEST_CA_FILE");
    SSL_CTX* ctx = contextFor(ca ? ca : "");
    ssl = ctx ? SSL_new(ctx) : nullptr;
    if (!ssl) {
        *error = sslError(errSSLInternal, openSSLErrorText());
        return false;
    }
    auto* kept = new TLSOptions(options);
    SSL_set_ex_data(ssl, optionsIndex(), kept);
    BIO* bio = BIO_new(socketMethod());
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
    SSL_set_bio(ssl, bio, bio);
    // SNI carries names only, never address literals.
    in6_addr probe;
    bool literal = ::inet_pton(AF_INET, options.sniName.c_str(), &probe) == 1 ||
                   ::inet_pton(AF_INET6, options.sniName.c_str(), &probe) == 1;
    if (!options.sniName.empty() && !literal)
        SSL_set_tlsext_host_name(ssl, options.sniName.c_str());
    if (options.validateChain) {
        SSL_set_verify(ssl, SSL_VERIFY_PEER, verifyCallback);
        if (options.checkName && !options.peerName.empty()) {
            X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
            bool isAddress = ::inet_pton(AF_INET, options.peerName.c_str(), &probe) == 1 ||
                             ::inet_pton(AF_INET6, options.peerName.c_str(), &probe) == 1;
            X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            int ok = isAddress ? X509_VERIFY_PARAM_set1_ip_asc(param, options.peerName.c_str())
                               : X509_VERIFY_PARAM_set1_host(param, options.peerName.c_str(), 0);
            if (ok != 1) {
                *error = sslError(errSSLInternal, openSSLErrorText());
                return false;
            }
        }
    } else {
        SSL_set_verify(ssl, SSL_VERIFY_NONE, nullptr);
    }
    if (!useClientIdentity(ssl, options.clientPEMs)) {
        *error = sslError(errSSLBadCert, "client identity: " + openSSLErrorText());
        return false;
    }
    SSL_set_connect_state(ssl);
    return true;
}

IOResult Connection::handshake(Ref<NSError>* error) {
    ERR_clear_error();
    int rc = SSL_do_handshake(ssl);
    if (rc == 1) return IOResult::Done;
    int kind = SSL_get_error(ssl, rc);
    if (kind == SSL_ERROR_WANT_READ) return IOResult::WantRead;
    if (kind == SSL_ERROR_WANT_WRITE) return IOResult::WantWrite;
    long verify = SSL_get_verify_result(ssl);
    if (verify != X509_V_OK) {
        *error = sslError(codeForVerifyResult(verify), X509_verify_cert_error_string(verify));
        ERR_clear_error();
    } else if (kind == SSL_ERROR_SYSCALL || kind == SSL_ERROR_ZERO_RETURN) {
        *error = sslError(errSSLClosedAbort, "the server closed the connection");
        ERR_clear_error();
    } else {
        *error = sslError(errSSLProtocol, openSSLErrorText());
    }
    return IOResult::Failed;
}

// ---- the pool ---------------------------------------------------------------------------------

namespace {
void appendLower(std::string& out, std::string_view text) {
    size_t at = out.size();
    out.append(text);
    for (size_t i = at; i < out.size(); ++i)
        out[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(out[i])));
}

template <typename Number>
void appendNumber(std::string& out, Number n) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    out.append(digits, end);
}
}  // namespace

// Every stream builds one as it opens: appended in place, with no temporary strings.
void buildPoolKey(const PoolKeyParts& parts, std::string& key) {
    key.clear();
    key.reserve(64 + parts.host.size() + parts.proxyHost.size());
    key.append(parts.scheme).append("://");
    appendLower(key, parts.host);
    key += ':';
    appendNumber(key, parts.port);
    key.append("|proxy ");
    appendNumber(key, parts.proxyKind);
    key += ' ';
    appendLower(key, parts.proxyHost);
    key += ':';
    appendNumber(key, parts.proxyPort);
    if (const TLSOptions* tls = parts.tls) {
        key.append("|tls ");
        for (bool flag : {tls->validateChain, tls->checkName, tls->allowExpired,
                          tls->allowExpiredRoots, tls->allowAnyRoot})
            key += flag ? '1' : '0';
        key += ' ';
        key.append(tls->peerName);
        for (const auto& pem : tls->clientPEMs) {
            key += ' ';
            appendNumber(key, std::hash<std::string>()(pem));
        }
    }
    for (const auto& [name, value] : parts.custom) {
        key += '|';
        key.append(name).append("=").append(value);
    }
}

namespace pool {
namespace {
constexpr size_t kMaxIdle = 32;
constexpr double kMaxIdleSeconds = 300.0;

struct Pool {
    std::mutex lock;
    std::vector<std::unique_ptr<Connection>> idle;  // oldest first
};

Pool& shared() {
    static Pool* const p = new Pool();
    return *p;
}

// Takes out what has waited too long; the caller closes it outside the lock.
void pruneLocked(Pool& p, std::vector<std::unique_ptr<Connection>>& out) {
    double now = Clock::uptime();
    for (auto it = p.idle.begin(); it != p.idle.end();) {
        if (now - (*it)->idleSince > kMaxIdleSeconds) {
            out.push_back(std::move(*it));
            it = p.idle.erase(it);
        } else {
            ++it;
        }
    }
    while (p.idle.size() > kMaxIdle) {
        out.push_back(std::move(p.idle.front()));
        p.idle.erase(p.idle.begin());
    }
}
}  // namespace

std::unique_ptr<Connection> checkout(const std::string& key) {
    Pool& p = shared();
    for (;;) {
        std::vector<std::unique_ptr<Connection>> stale;
        std::unique_ptr<Connection> found;
        {
            std::lock_guard<std::mutex> g(p.lock);
            pruneLocked(p, stale);
            for (auto it = p.idle.rbegin(); it != p.idle.rend(); ++it) {
                if ((*it)->key == key) {
                    found = std::move(*it);
                    p.idle.erase(std::next(it).base());
                    break;
                }
            }
        }
        if (!found) return nullptr;
        // Looked at outside the lock. One the server closed while it waited would take the
        // request to nobody; it is closed here, and the next one looked at.
        if (found->quietAndOpen()) {
            found->reused = true;
            return found;
        }
    }
}

void checkin(std::unique_ptr<Connection> connection) {
    if (!connection) return;
    connection->idleSince = Clock::uptime();
    Pool& p = shared();
    std::vector<std::unique_ptr<Connection>> stale;
    std::lock_guard<std::mutex> g(p.lock);
    p.idle.push_back(std::move(connection));
    pruneLocked(p, stale);
}

void closeIdleFor(uint64_t streamSerial) {
    Pool& p = shared();
    std::unique_ptr<Connection> closing;
    std::lock_guard<std::mutex> g(p.lock);
    for (auto it = p.idle.begin(); it != p.idle.end(); ++it) {
        if ((*it)->lastStream == streamSerial) {
            closing = std::move(*it);
            p.idle.erase(it);
            break;
        }
    }
}

size_t idleCount() {
    Pool& p = shared();
    std::lock_guard<std::mutex> g(p.lock);
    return p.idle.size();
}

void clear() {
    Pool& p = shared();
    std::vector<std::unique_ptr<Connection>> all;
    std::lock_guard<std::mutex> g(p.lock);
    all.swap(p.idle);
}

}  // namespace pool

}  // namespace cfnet
