// Digests over OpenSSL's EVP interface (the low-level MD5_/SHA1_ calls are deprecated there).
#include "CommonCrypto/CommonDigest.h"

#include <openssl/evp.h>

namespace {

unsigned char* oneShot(const EVP_MD* md, const void* data, CC_LONG len, unsigned char* out) {
    if (!out || (!data && len > 0)) return nullptr;
    static const unsigned char empty = 0;
    return EVP_Digest(data ? data : &empty, len, out, nullptr, md, nullptr) == 1 ? out : nullptr;
}

int start(void** evp, const EVP_MD* md) {
    if (!evp) return 0;
    auto* ctx = EVP_MD_CTX_new();
    if (!ctx) {
        *evp = nullptr;
        return 0;
    }
    if (EVP_DigestInit_ex(ctx, md, nullptr) != 1) {
        EVP_MD_CTX_free(ctx);
        *evp = nullptr;
        return 0;
    }
    *evp = ctx;
    return 1;
}

int update(void* evp, const void* data, CC_LONG len) {
    if (!evp || (!data && len > 0)) return 0;
    if (len == 0) return 1;
    return EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(evp), data, len) == 1 ? 1 : 0;
}

// Writes the digest and frees the state whatever the outcome, so that the context never leaks.
int finish(unsigned char* md, void** evp) {
    if (!evp || !*evp) return 0;
    auto* ctx = static_cast<EVP_MD_CTX*>(*evp);
    *evp = nullptr;
    int ok = md && EVP_DigestFinal_ex(ctx, md, nullptr) == 1;
    EVP_MD_CTX_free(ctx);
    return ok ? 1 : 0;
}

}  // namespace

extern "C" {

unsigned char* CC_MD5(const void* data, CC_LONG len, unsigned char* md) {
    return oneShot(EVP_md5(), data, len, md);
}
unsigned char* CC_SHA1(const void* data, CC_LONG len, unsigned char* md) {
    return oneShot(EVP_sha1(), data, len, md);
}
unsigned char* CC_SHA256(const void* data, CC_LONG len, unsigned char* md) {
    return oneShot(EVP_sha256(), data, len, md);
}

int CC_MD5_Init(CC_MD5_CTX* c) {
    return c ? start(&c->evp, EVP_md5()) : 0;
}
int CC_MD5_Update(CC_MD5_CTX* c, const void* data, CC_LONG len) {
    return c ? update(c->evp, data, len) : 0;
}
int CC_MD5_Final(unsigned char* md, CC_MD5_CTX* c) {
    return c ? finish(md, &c->evp) : 0;
}

int CC_SHA1_Init(CC_SHA1_CTX* c) {
    return c ? start(&c->evp, EVP_sha1()) : 0;
}
int CC_SHA1_Update(CC_SHA1_CTX* c, const void* data, CC_LONG len) {
    return c ? update(c->evp, data, len) : 0;
}
int CC_SHA1_Final(unsigned char* md, CC_SHA1_CTX* c) {
    return c ? finish(md, &c->evp) : 0;
}

int CC_SHA256_Init(CC_SHA256_CTX* c) {
    return c ? start(&c->evp, EVP_sha256()) : 0;
}
int CC_SHA256_Update(CC_SHA256_CTX* c, const void* data, CC_LONG len) {
    return c ? update(c->evp, data, len) : 0;
}
int CC_SHA256_Final(unsigned char* md, CC_SHA256_CTX* c) {
    return c ? finish(md, &c->evp) : 0;
}

}  // extern "C"
