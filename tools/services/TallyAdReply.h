// The analytics vendor's ad reply, built by the stand-in from a seed: the binary answer to an
// upload that asks for ads. Every integer is big-endian; a string is a u16 byte count and the
// bytes; a reply is a run of chunks, each a u16 tag, a u32 body size and the body.
//
// The seeded reply holds a version, the properties, the images the client lacks (PNG icons, a
// PNG portrait and a JPEG landscape background, the canvas handle under image code 1), one
// theme with its extension, the default hook "" and "Tally_Canvas_Hook_1".."5", two ad blocks
// and the hooks' click actions, and ends with an end-of-message chunk.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace bnservices {

// The writer of the format's items; a chunk is opened, filled and closed.
class TallyAdReplyWriter {
public:
    TallyAdReplyWriter& u8(unsigned v);
    TallyAdReplyWriter& u16(unsigned v);
    TallyAdReplyWriter& u32(std::uint32_t v);
    TallyAdReplyWriter& i64(std::int64_t v);
    TallyAdReplyWriter& raw(const std::string& bytes);
    TallyAdReplyWriter& str(const std::string& text);  // u16 count, the bytes as they stand
    TallyAdReplyWriter& style(const std::string& font, int size, std::uint32_t rgb);
    TallyAdReplyWriter& pair(std::int32_t a, std::int32_t b);
    // A chunk whose size field says `size` rather than the body's own length.
    TallyAdReplyWriter& chunk(unsigned tag, const std::string& body);
    TallyAdReplyWriter& chunkClaiming(unsigned tag, std::uint32_t size, const std::string& body);
    const std::string& bytes() const { return out_; }

private:
    std::string out_;
};

enum class TallyAdScenario {
    Normal,        // the whole seeded reply
    ErrorChunk,    // version, an error chunk, end
    UnknownTags,   // the seeded reply with chunks of unknown tags among its own
    Overrun,       // the seeded reply whose last chunk before the end claims more than is left
    BadHookName,   // a hook whose name is not UTF-8 before the good ones
    EmptyBody,     // 200 with no bytes
    FailureStatus  // 503
};

// Scenario names as the admin host takes them: normal, error, unknown-tags, overrun, bad-hook,
// empty, failure. False for an unknown name.
bool parseTallyAdScenario(const std::string& name, TallyAdScenario* scenario);
std::string tallyAdScenarioName(TallyAdScenario scenario);

struct TallyAdReplyOptions {
    std::uint64_t seed = 1;
    TallyAdScenario scenario = TallyAdScenario::Normal;
    std::uint32_t refreshSeconds = 20;
    int iconCount = 8;  // ads' icons; the blocks take 3 and 5 of them
    std::map<std::string, int> clickActions = {{"", 1}};  // per hook name
};

// The ids the seeded reply uses.
namespace tally_ad_ids {
inline constexpr std::int64_t kFirstIcon = 1001;
inline constexpr std::int64_t kPortraitBackground = 2001;
inline constexpr std::int64_t kLandscapeBackground = 2002;
inline constexpr std::int64_t kCanvasHandle = 3001;
inline constexpr std::int64_t kCacheUpdateTimestamp = 1700000000000;
inline constexpr int kDefaultBlock = 1;
inline constexpr int kCanvasBlock = 2;
inline constexpr int kTheme = 7;
}  // namespace tally_ad_ids

// The reply body for the options; images whose ids are in `cached` are left out.
std::string buildTallyAdReply(const TallyAdReplyOptions& options,
                              const std::vector<std::int64_t>& cached);

// Images in the two formats the reply carries: a solid colour with a lighter square inside. A
// PNG with iconWindow leaves a clear square of its height at its left, where the banner's icon
// shows through.
std::string tallyAdPng(int width, int height, std::uint32_t rgb, bool iconWindow = false);
std::string tallyAdJpeg(int width, int height, std::uint32_t rgb);

}  // namespace bnservices
