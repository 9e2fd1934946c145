// AES through OpenSSL's EVP interface, with the platform's argument checks and status codes.
#include "CommonCrypto/CommonCryptor.h"

#include <openssl/evp.h>

#include <climits>
#include <memory>

namespace {

const EVP_CIPHER* aesCipher(size_t keyLength, bool ecb) {
    switch (keyLength) {
        case kCCKeySizeAES128:
            return ecb ? EVP_aes_128_ecb() : EVP_aes_128_cbc();
        case kCCKeySizeAES192:
            return ecb ? EVP_aes_192_ecb() : EVP_aes_192_cbc();
        case kCCKeySizeAES256:
            return ecb ? EVP_aes_256_ecb() : EVP_aes_256_cbc();
        default:
            return nullptr;
    }
}

struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

}  // namespace

extern "C" CCCryptorStatus CCCrypt(CCOperation op, CCAlgorithm alg, CCOptions options,
                                   const void* key, size_t keyLength, const void* iv,
                                   const void* dataIn, size_t dataInLength, void* dataOut,
                                   size_t dataOutAvailable, size_t* dataOutMoved) {
    if (dataOutMoved) *dataOutMoved = 0;
    if (op != kCCEncrypt && op != kCCDecrypt) return kCCParamError;
    if (alg != kCCAlgorithmAES) return kCCUnimplemented;
    const bool ecb = options & kCCOptionECBMode;
    const bool padding = options & kCCOptionPKCS7Padding;
    const EVP_CIPHER* cipher = aesCipher(keyLength, ecb);
    if (!cipher || !key) return kCCParamError;
    if (!dataIn && dataInLength > 0) return kCCParamError;
    // EVP counts in int; anything near that size is not a message this API is used for.
    if (dataInLength > static_cast<size_t>(INT_MAX) - 2 * kCCBlockSizeAES128) return kCCParamError;

    const bool encrypt = op == kCCEncrypt;
    const size_t block = kCCBlockSizeAES128;
    if ((!padding || !encrypt) && dataInLength % block != 0) return kCCAlignmentError;
    const size_t needed = encrypt && padding ? (dataInLength / block + 1) * block : dataInLength;
    if (dataOutAvailable < needed || (!dataOut && needed > 0)) {
        if (dataOutMoved) *dataOutMoved = needed;
        return kCCBufferTooSmall;
    }

    if (dataInLength == 0) {
        // Nothing to pad away: an empty cipher text is never valid with padding.
        if (!encrypt && padding) return kCCDecodeError;
        if (!padding) return kCCSuccess;
    }

    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx) return kCCMemoryFailure;
    static const unsigned char zeroIV[kCCBlockSizeAES128] = {};
    const auto* ivBytes = static_cast<const unsigned char*>(iv ? iv : zeroIV);
    if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, static_cast<const unsigned char*>(key),
                          ecb ? nullptr : ivBytes, encrypt ? 1 : 0) != 1)
        return kCCParamError;
    EVP_CIPHER_CTX_set_padding(ctx.get(), padding ? 1 : 0);

    auto* out = static_cast<unsigned char*>(dataOut);
    int written = 0;
    if (dataInLength > 0 &&
        EVP_CipherUpdate(ctx.get(), out, &written, static_cast<const unsigned char*>(dataIn),
                         static_cast<int>(dataInLength)) != 1)
        return encrypt ? kCCParamError : kCCDecodeError;
    int last = 0;
    // Decrypting, a failed final step means the last block's padding was not PKCS#7.
    if (EVP_CipherFinal_ex(ctx.get(), out + written, &last) != 1)
        return encrypt ? kCCParamError : kCCDecodeError;
    if (dataOutMoved) *dataOutMoved = static_cast<size_t>(written) + static_cast<size_t>(last);
    return kCCSuccess;
}
