// The NTLM messages (version 2 responses) behind the NTLM scheme. Internal to CFNetwork;
// separate so that the computations can be checked against known values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace cfnet::ntlm {

// Whether MD4 could be had (OpenSSL's legacy provider); without it NTLM is not offered.
bool available();

// NEGOTIATE_MESSAGE: the opening of the handshake.
std::string negotiateMessage();

struct Challenge {
    uint32_t flags = 0;
    std::string serverChallenge;        // 8 bytes
    std::string targetInfo;             // the AV pairs as sent
    std::optional<uint64_t> timestamp;  // MsvAvTimestamp, when the server gave one
};
// Parses a CHALLENGE_MESSAGE; nullopt when it is not one.
std::optional<Challenge> parseChallenge(const std::string& message);

// NTOWFv2: HMAC-MD5 over the NT hash of the password, of the upper-cased user and the domain.
std::string responseKey(const std::string& user, const std::string& password,
                        const std::string& domain);

// AUTHENTICATE_MESSAGE with NTLMv2 and LMv2 responses. `clientChallenge` is 8 bytes;
// `timestamp` is in tenths of microseconds since 1601 (the challenge's own when it has one).
std::string authenticateMessage(const Challenge& challenge, const std::string& user,
                                const std::string& password, const std::string& domain,
                                const std::string& workstation, const std::string& clientChallenge,
                                uint64_t timestamp);

// The NTLMv2 response alone (NTProofStr, then the blob), for checking.
std::string ntlmv2Response(const std::string& key, const std::string& serverChallenge,
                           const std::string& clientChallenge, uint64_t timestamp,
                           const std::string& targetInfo);

}  // namespace cfnet::ntlm
