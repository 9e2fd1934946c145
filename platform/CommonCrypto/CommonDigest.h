// Message digests in the platform's C shape, computed by OpenSSL's EVP interface.
//
// The streaming contexts are plain structs that the caller allocates (on the stack or inside
// another object). Init acquires the digest state behind `evp`; Final writes the digest and
// frees that state, so every Init must be paired with a Final (Init again without Final leaks
// the previous state; Update or Final without Init does nothing and fails with 0).
#pragma once

#include <cstdint>

extern "C" {

typedef uint32_t CC_LONG;

#define CC_MD5_DIGEST_LENGTH 16
#define CC_MD5_BLOCK_BYTES 64
#define CC_SHA1_DIGEST_LENGTH 20
#define CC_SHA1_BLOCK_BYTES 64
#define CC_SHA256_DIGEST_LENGTH 32
#define CC_SHA256_BLOCK_BYTES 64

typedef struct CC_MD5state_st {
    void* evp;  // EVP_MD_CTX*, owned between Init and Final
} CC_MD5_CTX;

typedef struct CC_SHA1state_st {
    void* evp;
} CC_SHA1_CTX;

typedef struct CC_SHA256state_st {
    void* evp;
} CC_SHA256_CTX;

// One-shot digests: write the digest of `len` bytes at `data` into `md` and return `md`
// (NULL when the digest could not be computed).
unsigned char* CC_MD5(const void* data, CC_LONG len, unsigned char* md);
unsigned char* CC_SHA1(const void* data, CC_LONG len, unsigned char* md);
unsigned char* CC_SHA256(const void* data, CC_LONG len, unsigned char* md);

// Streaming digests: 1 on success, 0 on failure.
int CC_MD5_Init(CC_MD5_CTX* c);
int CC_MD5_Update(CC_MD5_CTX* c, const void* data, CC_LONG len);
int CC_MD5_Final(unsigned char* md, CC_MD5_CTX* c);

int CC_SHA1_Init(CC_SHA1_CTX* c);
int CC_SHA1_Update(CC_SHA1_CTX* c, const void* data, CC_LONG len);
int CC_SHA1_Final(unsigned char* md, CC_SHA1_CTX* c);

int CC_SHA256_Init(CC_SHA256_CTX* c);
int CC_SHA256_Update(CC_SHA256_CTX* c, const void* data, CC_LONG len);
int CC_SHA256_Final(unsigned char* md, CC_SHA256_CTX* c);

}  // extern "C"
