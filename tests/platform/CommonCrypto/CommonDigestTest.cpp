#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "CommonCrypto/CommonDigest.h"

namespace {

std::string hex(const unsigned char* md, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[md[i] >> 4];
        s += digits[md[i] & 15];
    }
    return s;
}

template <size_t N>
std::string digest(unsigned char* (*fn)(const void*, CC_LONG, unsigned char*),
                   const std::string& s) {
    unsigned char md[N];
    EXPECT_EQ(fn(s.data(), static_cast<CC_LONG>(s.size()), md), md);
    return hex(md, N);
}
std::string md5(const std::string& s) {
    return digest<CC_MD5_DIGEST_LENGTH>(CC_MD5, s);
}
std::string sha1(const std::string& s) {
    return digest<CC_SHA1_DIGEST_LENGTH>(CC_SHA1, s);
}
std::string sha256(const std::string& s) {
    return digest<CC_SHA256_DIGEST_LENGTH>(CC_SHA256, s);
}

// The digest of `s` fed in pieces of `step` bytes through a streaming context.
template <class Ctx, class Init, class Update, class Final>
std::string streamed(const std::string& s, size_t step, size_t digestLength, Init init,
                     Update update, Final final) {
    Ctx ctx{};
    EXPECT_EQ(init(&ctx), 1);
    for (size_t at = 0; at < s.size(); at += step) {
        size_t n = std::min(step, s.size() - at);
        EXPECT_EQ(update(&ctx, s.data() + at, static_cast<CC_LONG>(n)), 1);
    }
    unsigned char md[64];
    EXPECT_EQ(final(md, &ctx), 1);
    EXPECT_EQ(ctx.evp, nullptr);  // Final released the state
    return hex(md, digestLength);
}

const std::string kMillionA(1000000, 'a');
const std::string kFips448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";

}  // namespace

TEST(CommonDigest, MD5MatchesTheRFC1321TestSuite) {
    EXPECT_EQ(md5(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(md5("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(md5("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(md5("1234567890123456789012345678901234567890123456789012345678901234567890123456"
                  "7890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(CommonDigest, SHA1AndSHA256MatchTheFIPS180Examples) {
    EXPECT_EQ(sha1(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(sha1("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(sha1(kFips448), "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(sha1(kMillionA), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ(sha256(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256(kFips448), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(CommonDigest, StreamingInPiecesGivesTheOneShotDigest) {
    for (size_t step : {1u, 7u, 63u, 64u, 65u, 1000u}) {
        EXPECT_EQ((streamed<CC_MD5_CTX>(kFips448, step, CC_MD5_DIGEST_LENGTH, CC_MD5_Init,
                                        CC_MD5_Update, CC_MD5_Final)),
                  md5(kFips448))
            << step;
        EXPECT_EQ((streamed<CC_SHA1_CTX>(kFips448, step, CC_SHA1_DIGEST_LENGTH, CC_SHA1_Init,
                                         CC_SHA1_Update, CC_SHA1_Final)),
                  sha1(kFips448))
            << step;
        EXPECT_EQ((streamed<CC_SHA256_CTX>(kFips448, step, CC_SHA256_DIGEST_LENGTH, CC_SHA256_Init,
                                           CC_SHA256_Update, CC_SHA256_Final)),
                  sha256(kFips448))
            << step;
    }
    EXPECT_EQ((streamed<CC_SHA1_CTX>(kMillionA, 4096, CC_SHA1_DIGEST_LENGTH, CC_SHA1_Init,
                                     CC_SHA1_Update, CC_SHA1_Final)),
              "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    // No Update at all: the digest of nothing.
    EXPECT_EQ((streamed<CC_MD5_CTX>("", 1, CC_MD5_DIGEST_LENGTH, CC_MD5_Init, CC_MD5_Update,
                                    CC_MD5_Final)),
              "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(CommonDigest, AContextIsUsableOnlyBetweenInitAndFinal) {
    CC_SHA1_CTX ctx{};
    unsigned char md[CC_SHA1_DIGEST_LENGTH];
    EXPECT_EQ(CC_SHA1_Update(&ctx, "abc", 3), 0);
    EXPECT_EQ(CC_SHA1_Final(md, &ctx), 0);
    ASSERT_EQ(CC_SHA1_Init(&ctx), 1);
    ASSERT_EQ(CC_SHA1_Final(md, &ctx), 1);
    EXPECT_EQ(CC_SHA1_Update(&ctx, "abc", 3), 0);
    // The same struct can start over.
    ASSERT_EQ(CC_SHA1_Init(&ctx), 1);
    ASSERT_EQ(CC_SHA1_Update(&ctx, "abc", 3), 1);
    ASSERT_EQ(CC_SHA1_Final(md, &ctx), 1);
    EXPECT_EQ(hex(md, sizeof md), "a9993e364706816aba3e25717850c26c9cd0d89d");
}
