#include "tools/services/TallyAdReply.h"

#include <jpeglib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "tools/standin/RgbImage.h"

namespace bnservices {

// ---- the writer ---------------------------------------------------------------------------------

TallyAdReplyWriter& TallyAdReplyWriter::u8(unsigned v) {
    out_.push_back(static_cast<char>(v & 0xFF));
    return *this;
}
TallyAdReplyWriter& TallyAdReplyWriter::u16(unsigned v) {
    return u8(v >> 8).u8(v);
}
TallyAdReplyWriter& TallyAdReplyWriter::u32(std::uint32_t v) {
    return u16(v >> 16).u16(v & 0xFFFF);
}
TallyAdReplyWriter& TallyAdReplyWriter::i64(std::int64_t v) {
    auto bits = static_cast<std::uint64_t>(v);
    return u32(static_cast<std::uint32_t>(bits >> 32)).u32(static_cast<std::uint32_t>(bits));
}
TallyAdReplyWriter& TallyAdReplyWriter::raw(const std::string& bytes) {
    out_ += bytes;
    return *this;
}
TallyAdReplyWriter& TallyAdReplyWriter::str(const std::string& text) {
    return u16(static_cast<unsigned>(text.size())).raw(text);
}
TallyAdReplyWriter& TallyAdReplyWriter::style(const std::string& font, int size,
                                              std::uint32_t rgb) {
    return str(font).u16(static_cast<unsigned>(size) & 0xFFFF).u32(rgb);
}
TallyAdReplyWriter& TallyAdReplyWriter::pair(std::int32_t a, std::int32_t b) {
    return u32(static_cast<std::uint32_t>(a)).u32(static_cast<std::uint32_t>(b));
}
TallyAdReplyWriter& TallyAdReplyWriter::chunk(unsigned tag, const std::string& body) {
    return chunkClaiming(tag, static_cast<std::uint32_t>(body.size()), body);
}
TallyAdReplyWriter& TallyAdReplyWriter::chunkClaiming(unsigned tag, std::uint32_t size,
                                                      const std::string& body) {
    return u16(tag).u32(size).raw(body);
}

// ---- scenarios ----------------------------------------------------------------------------------

namespace {
const std::pair<TallyAdScenario, const char*> kScenarios[] = {
    {TallyAdScenario::Normal, "normal"},
    {TallyAdScenario::ErrorChunk, "error"},
    {TallyAdScenario::UnknownTags, "unknown-tags"},
    {TallyAdScenario::Overrun, "overrun"},
    {TallyAdScenario::BadHookName, "bad-hook"},
    {TallyAdScenario::EmptyBody, "empty"},
    {TallyAdScenario::FailureStatus, "failure"}};
}  // namespace

bool parseTallyAdScenario(const std::string& name, TallyAdScenario* scenario) {
    for (auto& [value, text] : kScenarios) {
        if (name == text) {
            *scenario = value;
            return true;
        }
    }
    return false;
}

std::string tallyAdScenarioName(TallyAdScenario scenario) {
    for (auto& [value, text] : kScenarios)
        if (value == scenario) return text;
    return "normal";
}

// ---- images -------------------------------------------------------------------------------------

namespace {

std::vector<unsigned char> pixels(int width, int height, std::uint32_t rgb) {
    std::vector<unsigned char> out(static_cast<std::size_t>(width) * height * 3);
    int inset = std::min(width, height) / 4;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            bool inner = x >= inset && x < width - inset && y >= inset && y < height - inset;
            for (int c = 0; c < 3; ++c) {
                unsigned v = (rgb >> (16 - 8 * c)) & 0xFF;
                if (inner) v = (v + 255) / 2;
                out[(static_cast<std::size_t>(y) * width + x) * 3 + c] =
                    static_cast<unsigned char>(v);
            }
        }
    }
    return out;
}

}  // namespace

std::string tallyAdPng(int width, int height, std::uint32_t rgb, bool iconWindow) {
    standin::RgbImage image;
    image.width = width;
    image.height = height;
    image.pixels = pixels(width, height, rgb);
    image.alpha.assign(static_cast<std::size_t>(width) * height, 0xff);
    // The icon's window: a clear square at the left end.
    if (iconWindow)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < std::min(width, height); ++x)
                image.alpha[static_cast<std::size_t>(y) * width + x] = 0;
    return standin::encodePng(image);
}

std::string tallyAdJpeg(int width, int height, std::uint32_t rgb) {
    auto rgbPixels = pixels(width, height, rgb);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = &rgbPixels[static_cast<std::size_t>(info.next_scanline) * width * 3];
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

// ---- the seeded reply ---------------------------------------------------------------------------

namespace {

using namespace tally_ad_ids;

enum : unsigned {
    kVersion = 0x0102,
    kAd = 0x0103,
    kImage = 0x0106,
    kHook = 0x0107,
    kEnd = 0x0108,
    kError = 0x0109,
    kAdTheme = 0x010A,
    kAuxImage = 0x010C,
    kProperty = 0x010D,
    kAuxHook = 0x010E,
    kThemeExtension = 0x010F,
};

// A small generator, so one seed always gives the same reply.
struct Seeded {
    std::uint64_t state;
    std::uint32_t next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state >> 33);
    }
};

struct Image {
    std::int64_t id;
    int width, height;
    std::string mime, bytes;
};

std::string imageChunk(const std::vector<Image>& images) {
    TallyAdReplyWriter w;
    w.u16(static_cast<unsigned>(images.size()));
    for (const auto& image : images) {
        w.i64(image.id).u32(static_cast<std::uint32_t>(image.width));
        w.u32(static_cast<std::uint32_t>(image.height)).str(image.mime);
        w.u32(static_cast<std::uint32_t>(image.bytes.size())).raw(image.bytes);
    }
    return w.bytes();
}

std::string adChunk(int block, std::int64_t firstAd, int count, int firstIcon, Seeded& random) {
    TallyAdReplyWriter w;
    w.u8(static_cast<unsigned>(block)).u16(static_cast<unsigned>(count));
    for (int i = 0; i < count; ++i) {
        std::int64_t ad = firstAd + i;
        w.i64(ad).i64(500 + ad);
        w.str("App " + std::to_string(ad)).str("Maker " + std::to_string(ad % 3 + 1));
        w.i64(block == kCanvasBlock || i % 2 == 0 ? 9000 + ad : 0);  // canvas id
        w.i64(kFirstIcon + firstIcon + i);
        unsigned cookie = 2 + random.next() % 4;
        w.u8(cookie);
        for (unsigned k = 0; k < cookie; ++k)
            w.u8(random.next());
    }
    return w.bytes();
}

// Dark navy: the app name stands on the background's light lavender band.
constexpr unsigned kAppNameColour = 0x10203F;
// A lighter slate beside it on the band, a size below the app name's: the advertiser (a canvas
// banner's "Maker" line) reads whole, as the quieter of the two.
constexpr unsigned kAdvertiserColour = 0x4A5470;

std::string themeChunk() {
    TallyAdReplyWriter w;
    w.u8(1).u8(kTheme).str("Try it today, it's free!");
    w.i64(kPortraitBackground).i64(kLandscapeBackground);
    // Each text reads on what lies under it: the sell message on the background's dark blue
    // frame, the app name and the advertiser on its light inner band.
    w.style("Helvetica-Bold", 12, 0xFFFFFF);      // sell message
    w.style("Helvetica", 14, kAppNameColour);     // app name
    w.style("Helvetica", 13, kAdvertiserColour);  // advertiser
    return w.bytes();
}

std::string themeExtensionChunk() {
    TallyAdReplyWriter w;
    w.u8(2);
    // An extension for a theme the reply never sent, read and dropped by the client.
    w.u8(99);
    for (int s = 0; s < 3; ++s)
        w.style("Courier", 30, 0xFF0000);
    for (int p = 0; p < 18; ++p)
        w.pair(999, 999);
    w.u8(kTheme);
    w.style("Helvetica-Bold", 11, 0xFFFFFF).style("Helvetica", 12, kAppNameColour);
    w.style("Helvetica", 12, kAdvertiserColour);
    w.pair(320, 48).pair(40, 40).pair(4, 4);  // portrait banner, icon size and place
    w.pair(480, 32).pair(28, 28).pair(2, 2);  // landscape banner, icon size and place
    // The band runs from a quarter of the banner's height to three quarters: the app name and
    // the advertiser side by side on it.
    w.pair(52, 2).pair(52, 22).pair(190, 22);  // portrait sell message, app name, advertiser
    w.pair(260, 20).pair(130, 16).pair(114, 16);
    w.pair(36, 1).pair(36, 16).pair(300, 9);  // landscape sell message, app name, advertiser
    w.pair(300, 14).pair(200, 14).pair(170, 14);
    return w.bytes();
}

std::string hookChunk(bool badName) {
    TallyAdReplyWriter w;
    w.u32(badName ? 7 : 6);
    if (badName) w.str("\xff\xfe\xfd").u8(kDefaultBlock).u8(kTheme);
    w.str("").u8(kDefaultBlock).u8(kTheme);
    for (int i = 1; i <= 5; ++i)
        w.str("Tally_Canvas_Hook_" + std::to_string(i)).u8(kCanvasBlock).u8(kTheme);
    return w.bytes();
}

}  // namespace

std::string buildTallyAdReply(const TallyAdReplyOptions& options,
                              const std::vector<std::int64_t>& cached) {
    if (options.scenario == TallyAdScenario::EmptyBody ||
        options.scenario == TallyAdScenario::FailureStatus)
        return "";
    Seeded random{options.seed};
    TallyAdReplyWriter reply;
    reply.chunk(kVersion, TallyAdReplyWriter().u32(3).bytes());
    if (options.scenario == TallyAdScenario::ErrorChunk) {
        reply.chunk(kError,
                    TallyAdReplyWriter().u16(17).str("no ads for this application").bytes());
        reply.chunk(kEnd, "");
        return reply.bytes();
    }
    auto unknown = [&](unsigned tag) {
        if (options.scenario == TallyAdScenario::UnknownTags)
            reply.chunk(tag, std::string(10, '\x5a'));
    };
    unknown(0x0104);

    TallyAdReplyWriter property;
    property.u16(0).u16(1).u32(options.refreshSeconds).i64(kCacheUpdateTimestamp);
    property.u8(5).u8(3).str("2.5").str("0.75");
    reply.chunk(kProperty, property.bytes());

    // Images, less those the client says it holds.
    std::set<std::int64_t> held(cached.begin(), cached.end());
    std::vector<Image> images;
    for (int i = 0; i < options.iconCount; ++i) {
        std::uint32_t colour = random.next() & 0xFFFFFF;
        images.push_back({kFirstIcon + i, 57, 57, "image/png", tallyAdPng(57, 57, colour)});
    }
    images.push_back(
        {kPortraitBackground, 320, 48, "image/png", tallyAdPng(320, 48, 0x204080, true)});
    images.push_back({kLandscapeBackground, 480, 32, "image/jpeg", tallyAdJpeg(480, 32, 0x408020)});
    images.push_back({kCanvasHandle, 24, 24, "image/png", tallyAdPng(24, 24, 0x808080)});
    std::erase_if(images, [&](const Image& image) { return held.count(image.id) > 0; });
    // Sent in chunks of a few, the way a large reply comes.
    for (std::size_t at = 0; at < images.size(); at += 4) {
        std::vector<Image> part(
            images.begin() + static_cast<std::ptrdiff_t>(at),
            images.begin() + static_cast<std::ptrdiff_t>(std::min(images.size(), at + 4)));
        reply.chunk(kImage, imageChunk(part));
    }
    unknown(0x010B);

    reply.chunk(kAdTheme, themeChunk());
    reply.chunk(kThemeExtension, themeExtensionChunk());
    reply.chunk(kAuxImage, TallyAdReplyWriter().u32(1).i64(kCanvasHandle).u16(1).bytes());
    reply.chunk(kHook, hookChunk(options.scenario == TallyAdScenario::BadHookName));

    TallyAdReplyWriter aux;
    aux.u16(static_cast<unsigned>(options.clickActions.size()));
    for (const auto& [hook, action] : options.clickActions) {
        aux.str(hook).u16(2);
        aux.u16(0x0702).i64(12345);  // a key the client does not use
        aux.u16(0x0701).i64(action);
    }
    reply.chunk(kAuxHook, aux.bytes());
    unknown(0x0200);

    int defaultAds = std::min(3, options.iconCount);
    int canvasAds = std::max(0, std::min(5, options.iconCount - defaultAds));
    reply.chunk(kAd, adChunk(kDefaultBlock, 101, defaultAds, 0, random));
    std::string canvas = adChunk(kCanvasBlock, 201, canvasAds, defaultAds, random);
    if (options.scenario == TallyAdScenario::Overrun)
        reply.chunkClaiming(kAd, static_cast<std::uint32_t>(canvas.size() + 64), canvas);
    else
        reply.chunk(kAd, canvas);
    reply.chunk(kEnd, "");
    return reply.bytes();
}

}  // namespace bnservices
