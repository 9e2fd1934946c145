#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommonCrypto/CommonCryptor.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes unhex(const std::string& h) {
    Bytes b;
    for (size_t i = 0; i + 1 < h.size(); i += 2)
        b.push_back(static_cast<unsigned char>(std::stoi(h.substr(i, 2), nullptr, 16)));
    return b;
}

struct Result {
    CCCryptorStatus status;
    Bytes out;
    size_t moved;
};

// One CCCrypt call with `room` bytes of output space; checks that nothing is written past it.
Result crypt(CCOperation op, CCOptions options, const Bytes& key, const Bytes* iv, const Bytes& in,
             size_t room) {
    Result r{0, Bytes(room + 1, 0xEE), 12345};
    r.status =
        CCCrypt(op, kCCAlgorithmAES128, options, key.data(), key.size(), iv ? iv->data() : nullptr,
                in.data(), in.size(), r.out.data(), room, &r.moved);
    EXPECT_EQ(r.out[room], 0xEE) << "wrote past the room given";
    r.out.resize(r.status == kCCSuccess ? r.moved : 0);
    return r;
}

const Bytes kKey128 = unhex("2b7e151628aed2a6abf7158809cf4f3c");
const Bytes kIV = unhex("000102030405060708090a0b0c0d0e0f");
const Bytes kPlain = unhex(
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");

}  // namespace

TEST(CommonCryptor, MatchesFIPS197AndSP800_38AVectors) {
    struct {
        std::string key;
        const Bytes* iv;  // nullptr: ECB
        Bytes plain;
        std::string cipher;
    } cases[] = {
        // FIPS-197 appendix C: one block under each key size.
        {"000102030405060708090a0b0c0d0e0f", nullptr, unhex("00112233445566778899aabbccddeeff"),
         "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"000102030405060708090a0b0c0d0e0f1011121314151617", nullptr,
         unhex("00112233445566778899aabbccddeeff"), "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", nullptr,
         unhex("00112233445566778899aabbccddeeff"), "8ea2b7ca516745bfeafc49904b496089"},
        // SP 800-38A F.1.1 (ECB-AES128), F.2.1 (CBC-AES128), F.2.5 (CBC-AES256).
        {"2b7e151628aed2a6abf7158809cf4f3c", nullptr, kPlain,
         "3ad77bb40d7a3660a89ecaf32466ef97f5d3d58503b9699de785895a96fdbaaf"
         "43b1cd7f598ece23881b00e3ed0306887b0c785e27e8ad3f8223207104725dd4"},
        {"2b7e151628aed2a6abf7158809cf4f3c", &kIV, kPlain,
         "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
         "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7"},
        {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4", &kIV, kPlain,
         "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
         "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"},
    };
    for (auto& c : cases) {
        CCOptions mode = c.iv ? 0 : kCCOptionECBMode;
        Result enc = crypt(kCCEncrypt, mode, unhex(c.key), c.iv, c.plain, c.plain.size());
        ASSERT_EQ(enc.status, kCCSuccess) << c.cipher;
        EXPECT_EQ(enc.out, unhex(c.cipher));
        Result dec = crypt(kCCDecrypt, mode, unhex(c.key), c.iv, enc.out, enc.out.size());
        ASSERT_EQ(dec.status, kCCSuccess) << c.cipher;
        EXPECT_EQ(dec.out, c.plain);
    }
}

TEST(CommonCryptor, NullIVIsAllZeroesAndInPlaceWorks) {
    const Bytes zero(16, 0);
    Result withZero = crypt(kCCEncrypt, kCCOptionPKCS7Padding, kKey128, &zero, kPlain, 80);
    Result withNull = crypt(kCCEncrypt, kCCOptionPKCS7Padding, kKey128, nullptr, kPlain, 80);
    ASSERT_EQ(withNull.status, kCCSuccess);
    EXPECT_EQ(withNull.out, withZero.out);

    Bytes buffer = kPlain;
    size_t moved = 0;
    for (CCOperation op : {kCCEncrypt, kCCDecrypt}) {
        ASSERT_EQ(CCCrypt(op, kCCAlgorithmAES128, 0, kKey128.data(), 16, kIV.data(), buffer.data(),
                          64, buffer.data(), 64, &moved),
                  kCCSuccess);
        if (op == kCCEncrypt) {
            EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 2), unhex("7649"));
        }
    }
    EXPECT_EQ(buffer, kPlain);
}

TEST(CommonCryptor, PKCS7PaddingRoundTripsEveryLength) {
    for (size_t n = 0; n <= 48; ++n) {
        Bytes plain(kPlain.begin(), kPlain.begin() + static_cast<long>(n));
        for (CCOptions mode : {CCOptions(0), CCOptions(kCCOptionECBMode)}) {
            Result enc = crypt(kCCEncrypt, mode | kCCOptionPKCS7Padding, kKey128, &kIV, plain, 64);
            ASSERT_EQ(enc.status, kCCSuccess) << n;
            ASSERT_EQ(enc.out.size(), (n / 16 + 1) * 16) << n;
            Result dec = crypt(kCCDecrypt, mode | kCCOptionPKCS7Padding, kKey128, &kIV, enc.out,
                               enc.out.size());
            ASSERT_EQ(dec.status, kCCSuccess) << n;
            EXPECT_EQ(dec.out, plain) << n;
        }
    }
    // A whole-block text gets a whole block of padding, each byte 16.
    Result full = crypt(kCCEncrypt, kCCOptionPKCS7Padding | kCCOptionECBMode, kKey128, nullptr,
                        Bytes(kPlain.begin(), kPlain.begin() + 16), 32);
    Result raw = crypt(kCCDecrypt, kCCOptionECBMode, kKey128, nullptr, full.out, 32);
    EXPECT_EQ(Bytes(raw.out.begin() + 16, raw.out.end()), Bytes(16, 16));
}

TEST(CommonCryptor, RejectsBadArgumentsAndSmallBuffers) {
    EXPECT_EQ(crypt(kCCEncrypt, 0, Bytes(15, 1), nullptr, kPlain, 64).status, kCCParamError);
    EXPECT_EQ(crypt(kCCEncrypt, 0, Bytes(33, 1), nullptr, kPlain, 64).status, kCCParamError);
    EXPECT_EQ(crypt(7, 0, kKey128, nullptr, kPlain, 64).status, kCCParamError);
    size_t moved = 0;
    unsigned char out[16];
    EXPECT_EQ(CCCrypt(kCCEncrypt, kCCAlgorithmDES, 0, kKey128.data(), 8, nullptr, kPlain.data(), 16,
                      out, 16, &moved),
              kCCUnimplemented);
    EXPECT_EQ(CCCrypt(kCCEncrypt, kCCAlgorithmAES128, 0, nullptr, 16, nullptr, kPlain.data(), 16,
                      out, 16, &moved),
              kCCParamError);

    // Without padding the input must be whole blocks; decrypting, always.
    Bytes twenty(kPlain.begin(), kPlain.begin() + 20);
    EXPECT_EQ(crypt(kCCEncrypt, 0, kKey128, nullptr, twenty, 64).status, kCCAlignmentError);
    EXPECT_EQ(crypt(kCCDecrypt, kCCOptionPKCS7Padding, kKey128, nullptr, twenty, 64).status,
              kCCAlignmentError);

    // Too little room: the size needed comes back.
    struct {
        CCOperation op;
        size_t in, room, needed;
    } small[] = {{kCCEncrypt, 20, 31, 32}, {kCCEncrypt, 32, 32, 48}, {kCCDecrypt, 64, 63, 64}};
    for (auto& c : small) {
        Result r = crypt(c.op, kCCOptionPKCS7Padding, kKey128, nullptr,
                         Bytes(kPlain.begin(), kPlain.begin() + static_cast<long>(c.in)), c.room);
        EXPECT_EQ(r.status, kCCBufferTooSmall) << c.in;
        EXPECT_EQ(r.moved, c.needed) << c.in;
    }
}

TEST(CommonCryptor, DecryptingBadPaddingIsADecodeError) {
    // Blocks whose last bytes are no valid padding once decrypted: a zero count, a count
    // beyond the block, and a count whose bytes disagree.
    for (std::string tail : {"00", "11", "0203"}) {
        Bytes block(16 - tail.size() / 2, 0x41);
        Bytes t = unhex(tail);
        block.insert(block.end(), t.begin(), t.end());
        Result enc = crypt(kCCEncrypt, kCCOptionECBMode, kKey128, nullptr, block, 16);
        ASSERT_EQ(enc.status, kCCSuccess);
        EXPECT_EQ(crypt(kCCDecrypt, kCCOptionECBMode | kCCOptionPKCS7Padding, kKey128, nullptr,
                        enc.out, 16)
                      .status,
                  kCCDecodeError)
            << tail;
    }
    EXPECT_EQ(crypt(kCCDecrypt, kCCOptionPKCS7Padding, kKey128, nullptr, Bytes(), 16).status,
              kCCDecodeError);
    // Without padding, nothing in, nothing out.
    Result empty = crypt(kCCEncrypt, 0, kKey128, nullptr, Bytes(), 0);
    EXPECT_EQ(empty.status, kCCSuccess);
    EXPECT_EQ(empty.moved, 0u);
}
