// Symmetric encryption in the platform's C shape, computed by OpenSSL's EVP interface. Only AES
// is implemented; the key length picks AES-128, AES-192 or AES-256, as on the platform.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

typedef uint32_t CCOperation;
enum {
    kCCEncrypt = 0,
    kCCDecrypt = 1,
};

typedef uint32_t CCAlgorithm;
enum {
    kCCAlgorithmAES128 = 0,
    kCCAlgorithmAES = 0,
    kCCAlgorithmDES = 1,
    kCCAlgorithm3DES = 2,
    kCCAlgorithmCAST = 3,
    kCCAlgorithmRC4 = 4,
    kCCAlgorithmRC2 = 5,
    kCCAlgorithmBlowfish = 6,
};

typedef uint32_t CCOptions;
enum {
    kCCOptionPKCS7Padding = 0x0001,
    kCCOptionECBMode = 0x0002,  // without it: CBC
};

enum {
    kCCKeySizeAES128 = 16,
    kCCKeySizeAES192 = 24,
    kCCKeySizeAES256 = 32,
};

enum {
    kCCBlockSizeAES128 = 16,
};

typedef int32_t CCCryptorStatus;
enum {
    kCCSuccess = 0,
    kCCParamError = -4300,
    kCCBufferTooSmall = -4301,
    kCCMemoryFailure = -4302,
    kCCAlignmentError = -4303,
    kCCDecodeError = -4304,
    kCCUnimplemented = -4305,
};

// Encrypts or decrypts `dataInLength` bytes in one call. A null `iv` means sixteen zero bytes
// (ECB ignores it). The input and output may be the same buffer.
// - kCCParamError: an unknown operation, a key length other than 16, 24 or 32, or a null
//   pointer where bytes are needed.
// - kCCAlignmentError: without padding, an input length that is not a multiple of 16; when
//   decrypting, any such length.
// - kCCBufferTooSmall: `dataOutAvailable` is less than the output may need; `*dataOutMoved`
//   then holds the size needed (the input length rounded up to the next whole block when
//   encrypting with padding, the input length otherwise).
// - kCCDecodeError: decrypting with padding found no valid PKCS#7 padding.
// - kCCUnimplemented: an algorithm other than AES.
// On success `*dataOutMoved` (when not null) holds the number of bytes written.
CCCryptorStatus CCCrypt(CCOperation op, CCAlgorithm alg, CCOptions options, const void* key,
                        size_t keyLength, const void* iv, const void* dataIn, size_t dataInLength,
                        void* dataOut, size_t dataOutAvailable, size_t* dataOutMoved);

}  // extern "C"
