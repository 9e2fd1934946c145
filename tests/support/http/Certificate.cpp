#include "support/http/Certificate.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <functional>
#include <memory>
#include <stdexcept>

namespace testhttp {
namespace {

template <class T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("certificate: ") + what);
}

void addExtension(X509* cert, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_nconf_nid(nullptr, &ctx, nid, value.c_str());
    check(ext != nullptr, "extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

bool isIPv4(const std::string& name) {
    in_addr a;
    return inet_pton(AF_INET, name.c_str(), &a) == 1;
}

std::string pemOf(const std::function<int(BIO*)>& write) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    check(bio && write(bio.get()) == 1, "PEM");
    char* data = nullptr;
    long length = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

}  // namespace

GeneratedCertificate generateCertificate(const TlsOptions& options) {
    KeyPtr key(options.key == TlsOptions::Key::RSA ? EVP_RSA_gen(2048) : EVP_EC_gen("P-256"));
    check(key != nullptr, "key");

    CertPtr cert(X509_new());
    check(cert != nullptr, "X509_new");
    X509_set_version(cert.get(), 2);
    unsigned char serial[8];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;  // positive
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);

    const long day = 24 * 60 * 60;
    if (options.expired) {
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), -30 * day);
        X509_gmtime_adj(X509_getm_notAfter(cert.get()), -day);
    } else {
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), -day);
        X509_gmtime_adj(X509_getm_notAfter(cert.get()), 30 * day);
    }
    X509_set_pubkey(cert.get(), key.get());

    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>("Bazaarnest Test"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(options.commonName.c_str()),
                               -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);

    // Its own issuer: a client that trusts this one certificate can verify the chain, and
    // key usage must allow signing certificates for the verifier to treat it as a root.
    addExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert.get(), NID_key_usage,
                 options.key == TlsOptions::Key::RSA
                     ? "critical,digitalSignature,keyEncipherment,keyCertSign"
                     : "critical,digitalSignature,keyCertSign");
    addExtension(cert.get(), NID_ext_key_usage, "serverAuth");
    addExtension(cert.get(), NID_subject_key_identifier, "hash");
    std::string alt = options.loopbackNames ? "IP:127.0.0.1,DNS:localhost" : "";
    for (const std::string& n : options.names)
        alt += (alt.empty() ? "" : ",") + std::string(isIPv4(n) ? "IP:" : "DNS:") + n;
    if (!alt.empty()) addExtension(cert.get(), NID_subject_alt_name, alt);

    check(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "sign");

    GeneratedCertificate out;
    out.certificatePem = pemOf([&](BIO* b) { return PEM_write_bio_X509(b, cert.get()); });
    out.privateKeyPem = pemOf([&](BIO* b) {
        return PEM_write_bio_PrivateKey(b, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
    return out;
}

}  // namespace testhttp
