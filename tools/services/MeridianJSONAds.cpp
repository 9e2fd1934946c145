#include "tools/services/MeridianJSONAds.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ads/meridian/MRHosts.h"
#include "tools/standin/RequestReader.h"
#include "tools/standin/RgbImage.h"

namespace bnservices::meridianjson {

namespace {

std::string media() {
    return std::string("http://") + MRMediaHost;
}

std::string pixel(const std::string& activity) {
    return std::string("http://") + MRLiveLogHost +
           "/custom/common/pixel/image.php?activity=" + activity + "&acid=99";
}

std::string landing(int page) {
    return std::string("http://") + MRAdHost + "/landing?page=" + std::to_string(page);
}

void put32(std::string& s, uint32_t v) {
    for (int i = 3; i >= 0; --i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string box(const char* type, const std::string& body) {
    std::string s;
    put32(s, static_cast<uint32_t>(8 + body.size()));
    return s + type + body;
}

// The banner picture, 320 x 53: a loaf on a warm ground beside the bakery's words.
std::string bannerPng() {
    standin::RgbImage image = standin::blank(320, 53);
    for (int y = 0; y < 53; ++y)
        for (int x = 0; x < 320; ++x)
            standin::setPixel(image, x, y, 150, 60, 30);
    for (int y = 14; y < 44; ++y)
        for (int x = 6; x < 62; ++x) {
            double dx = (x - 34) / 28.0, dy = (y - 30) / 15.0;
            if (dx * dx + dy * dy > 1) continue;
            bool crust = dx * dx + dy * dy > 0.75 || (x + 4) % 14 < 2;
            standin::setPixel(image, x, y, crust ? 200 : 250, crust ? 120 : 200, crust ? 40 : 60);
        }
    standin::drawWords(image, "fresh bread", 72, 8, 2, 255, 255, 255);
    standin::drawWords(image, "delivered daily", 72, 30, 2, 250, 200, 60);
    return standin::encodePng(image);
}

// The skip button: a dark rounded plate with a white "skip to the end" mark (two triangles and
// a bar), 60 x 24.
std::string buttonPng() {
    standin::RgbImage image = standin::blank(60, 24);
    image.alpha.assign(60 * 24, 0);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 60; ++x) {
            // Corners rounded with a radius of 6.
            int cx = x < 6 ? 6 - x : x > 53 ? x - 53 : 0, cy = y < 6 ? 6 - y : y > 17 ? y - 17 : 0;
            if (cx * cx + cy * cy > 36) continue;
            bool rim = x == 0 || y == 0 || x == 59 || y == 23 || cx * cx + cy * cy > 25;
            standin::setPixel(image, x, y, rim ? 200 : 40, rim ? 200 : 40, rim ? 200 : 48);
            image.alpha[y * 60 + x] = 230;
        }
    auto triangle = [&](int left) {
        for (int x = 0; x < 10; ++x)
            for (int y = 12 - (10 - x) / 2 - 1; y <= 12 + (10 - x) / 2; ++y)
                standin::setPixel(image, left + x, y, 255, 255, 255);
    };
    triangle(18);
    triangle(28);
    for (int y = 6; y < 18; ++y)
        for (int x = 38; x < 41; ++x)
            standin::setPixel(image, x, y, 255, 255, 255);
    return standin::encodePng(image);
}

// The video's pictures, 240 x 160: a loaf on a table under a window whose sky darkens from
// noon to evening, a different sky in each.
std::vector<std::string> videoFrames() {
    struct Sky {
        int r, g, b;
    };
    const Sky skies[] = {{120, 190, 250}, {250, 170, 90}, {60, 60, 130}};
    std::vector<std::string> frames;
    int step = 0;
    for (const Sky& sky : skies) {
        standin::RgbImage image = standin::blank(240, 160);
        for (int y = 0; y < 160; ++y)
            for (int x = 0; x < 240; ++x) {
                bool window = x >= 20 && x < 220 && y >= 12 && y < 92;
                bool frame =
                    window && (x < 24 || x >= 216 || y < 16 || y >= 88 || (x >= 118 && x < 122));
                if (frame)
                    standin::setPixel(image, x, y, 240, 240, 235);
                else if (window)
                    standin::setPixel(image, x, y, sky.r, sky.g, sky.b);
                else if (y < 110)
                    standin::setPixel(image, x, y, 200, 180, 150);  // the wall
                else
                    standin::setPixel(image, x, y, 130, 80, 40);  // the table
            }
        // The loaf, moving a little to the right in each picture.
        int cx = 90 + 30 * step, cy = 112;
        for (int y = cy - 22; y <= cy + 10; ++y)
            for (int x = cx - 45; x <= cx + 45; ++x) {
                double dx = (x - cx) / 45.0, dy = (y - cy) / 22.0;
                if (dx * dx + dy * dy > 1 || y > cy + 10) continue;
                bool crust = dx * dx + dy * dy > 0.8 || (x - cx + 60) % 24 < 3;
                standin::setPixel(image, x, y, crust ? 150 : 215, crust ? 85 : 150,
                                  crust ? 30 : 70);
            }
        frames.push_back(standin::encodePng(image));
        ++step;
    }
    return frames;
}

// A video ad with its buttons, pixels and the given completion and expiry.
std::string videoReply(const std::string& id, const std::string& folder, int seconds,
                       const std::string& expiry, const std::string& completion) {
    std::string url = media() + "/videos/" + folder + id + "-" + std::to_string(seconds) + "s.mp4";
    std::string buttons =
        R"([{"image":")" + media() +
        R"(/buttons/skip.png","url":"mrsdk://endVideo",)"
        R"("x-location":410,"y-location":26,"appearanceDelay":1,"inactivityTimeout":4,)"
        R"("opacity":{"start":0.9,"end":0.3,"fadeDuration":0.5},"activity":[")" +
        pixel("skip") +
        R"("]},{"title":"Call us","url":"tel:5550199","x-location":10,"y-location":280,)"
        R"("width":90,"height":30,"fontSize":14,"buttonColor":"#336699","textColor":"1,1,1",)"
        R"("appearanceDelay":2,"inactivityTimeout":4},{"title":"Visit","url":")" +
        landing(1) +
        R"(","x-location":110,"y-location":280,"width":70,"height":30,"fontSize":14,)"
        R"("buttonColor":"#336699","appearanceDelay":2,)"
        R"("inactivityTimeout":4},{"title":"Again","url":"mrsdk://restartVideo","x-location":190,)"
        R"("y-location":280,"width":70,"height":30,"fontSize":14,"buttonColor":"#555555",)"
        R"("appearanceDelay":2,"inactivityTimeout":4},)"
        R"({"title":"Pause","url":"mrsdk://pauseVideo","x-location":270,"y-location":280,)"
        R"("width":70,"height":30,"fontSize":14,"buttonColor":"#555555","appearanceDelay":2,)"
        R"("inactivityTimeout":4},)"
        R"({"title":"Play","url":"mrsdk://playVideo","x-location":350,"y-location":280,)"
        R"("width":60,"height":30,"fontSize":14,"buttonColor":"#555555","appearanceDelay":2,)"
        R"("inactivityTimeout":4}])";
    std::string logs = R"([{"time":"1","urls":[")" + pixel("second1") +
                       R"("]},{"time":"5","urls":[")" + pixel("second5") +
                       R"("]},{"time":5,"urls":[")" + pixel("number5") + R"("]}])";
    return R"({"type":"video","meta-data":{"adid":")" + id + R"("},"video":{"id":")" + id +
           R"(","content-url":")" + url + R"(","expiration":")" + expiry +
           R"(","showVideoPlayerControls":true,"showCountdownHUD":true,"duration":)" +
           std::to_string(seconds) + R"(,"width":480,"height":320,"buttons":)" + buttons +
           R"(,"log":)" + logs + R"(,"startActivity":[")" + pixel("videostart") +
           R"("],"endActivity":[")" + pixel("videoend") + "\"]" + completion + "}}";
}

HttpResponse json(const std::string& body) {
    return HttpResponse::binary(body, "application/json");
}

const char* const kFuture = "2030-01-01 00:00:00 +0000";
const char* const kPast = "2001-01-02 00:00:00 +0000";

}  // namespace

std::vector<std::string> scenarios() {
    return {"json-image",         "json-image-broken", "json-image-nourl",   "json-banner",
            "json-malformed",     "json-video",        "json-video-expired", "json-video-stay",
            "json-video-url",     "json-video-html",   "json-video-drop",    "json-video-norange",
            "json-video-missing", "json-video-ends",   "json-video-bare"};
}

std::optional<HttpResponse> adReply(const std::string& apid) {
    if (apid == "json-image")
        return json(R"({"type":"image","meta-data":{"adid":"img1"},"image":{"content-url":")" +
                    media() + R"(/images/bread-320x53.png","tap-through":")" + landing(1) +
                    R"(","will-open":"","expands":false,"interstitial":false}})");
    if (apid == "json-image-broken")
        return json(R"({"type":"image","image":{"content-url":")" + media() +
                    R"(/images/not-a-picture.png","tap-through":")" + landing(1) + "\"}}");
    if (apid == "json-image-nourl")
        return json(R"({"type":"image","image":{"tap-through":")" + landing(1) + "\"}}");
    if (apid == "json-banner") return json(R"({"type":"banner","meta-data":{}})");
    if (apid == "json-malformed") return json(R"({"type":"image","image":{"content-url": oops)");
    if (apid == "json-video") return json(videoReply("mrvideo", "", 30, kFuture, ""));
    if (apid == "json-video-expired") return json(videoReply("mrexpired", "", 30, kPast, ""));
    if (apid == "json-video-stay")
        return json(
            videoReply("mrstay", "", 5, kFuture, R"(,"onCompletion":{"stayInPlayer":true})"));
    // A video whose end has no page to show: back to the banner it came from.
    if (apid == "json-video-ends")
        return json(
            videoReply("mrends", "", 5, kFuture, R"(,"onCompletion":{"stayInPlayer":false})"));
    if (apid == "json-video-bare")
        return json(videoReply("mrbare", "", 5, kFuture, R"(,"onCompletion":{})"));
    if (apid == "json-video-url")
        return json(videoReply("mrurl", "", 5, kFuture,
                               R"(,"onCompletion":{"url":")" + landing(2) + "\"}"));
    if (apid == "json-video-html")
        return json(videoReply("mrhtml", "", 5, kFuture,
                               R"(,"onCompletion":{"html":"<h1>Thanks for watching</h1>"})"));
    if (apid == "json-video-drop") return json(videoReply("mrdrop", "drop/", 30, kFuture, ""));
    if (apid == "json-video-norange")
        return json(videoReply("mrnorange", "norange/", 30, kFuture, ""));
    if (apid == "json-video-missing")
        return json(videoReply("mrmissing", "missing/", 30, kFuture, ""));
    return std::nullopt;
}

std::string paddedMp4(double seconds, std::size_t size) {
    std::string ftyp = box("ftyp", std::string("isom") + std::string("\0\0\2\0", 4) + "isommp41");
    std::string mvhd(4, '\0');  // version 0, no flags
    put32(mvhd, 0);             // created
    put32(mvhd, 0);             // modified
    put32(mvhd, 600);           // timescale
    // A length the header cannot hold reads as none.
    double units = seconds * 600;
    put32(mvhd, units >= 0 && units <= 4294967295.0 ? static_cast<uint32_t>(units) : 0);
    put32(mvhd, 0x00010000);         // rate 1.0
    mvhd += std::string("\1\0", 2);  // volume 1.0
    mvhd += std::string(10, '\0');
    for (uint32_t m : {0x10000u, 0u, 0u, 0u, 0x10000u, 0u, 0u, 0u, 0x40000000u})
        put32(mvhd, m);
    mvhd += std::string(24, '\0');
    put32(mvhd, 2);  // next track
    std::string head = ftyp + box("moov", box("mvhd", mvhd));
    static const std::vector<std::string> frames = videoFrames();
    std::string pictures;
    for (const auto& frame : frames)
        pictures += frame;
    std::size_t used = head.size() + 8 + pictures.size();
    std::size_t filler = size > used ? size - used : 0;
    std::string data(filler, '\0');
    for (std::size_t i = 0; i < filler; ++i)
        data[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    return head + box("mdat", pictures + data);
}

HttpResponse media(const HttpRequest& request) {
    const std::string& path = request.path;
    if (path == "/images/bread-320x53.png") return HttpResponse::binary(bannerPng(), "image/png");
    if (path == "/buttons/skip.png") return HttpResponse::binary(buttonPng(), "image/png");
    if (path == "/images/not-a-picture.png")
        return HttpResponse::binary("this is not a picture", "image/png");
    if (path.rfind("/videos/", 0) != 0) return HttpResponse::plain("not found", 404);

    std::string name = path.substr(8);
    std::string folder;
    if (auto slash = name.find('/'); slash != std::string::npos) {
        folder = name.substr(0, slash);
        name = name.substr(slash + 1);
    }
    // "<id>-<seconds>s.mp4"
    auto dash = name.rfind('-');
    if (folder == "missing" || dash == std::string::npos || name.size() < 6 ||
        name.substr(name.size() - 5) != "s.mp4")
        return HttpResponse::plain("not found", 404);
    auto seconds = standin::numberIn(
        std::string_view(name).substr(dash + 1, name.size() - dash - 6), 0, kMaxVideoSeconds);
    if (!seconds) return HttpResponse::plain("bad video length", 400);
    std::string video = paddedMp4(*seconds > 0 ? *seconds : 30, kVideoSize);

    // The videos carry no validator, so an If-Range never matches: the whole video.
    standin::ByteRange range =
        folder == "norange" ? standin::ByteRange{} : standin::requestedRange(request, video.size());
    std::string total = std::to_string(video.size());
    switch (range.kind) {
        case standin::ByteRange::Kind::Whole: {
            HttpResponse whole = HttpResponse::binary(video, "video/mp4");
            if (folder == "drop") {
                whole.delivery = HttpResponse::Delivery::Truncate;
                whole.truncateAt = kDropAfter;
                whole.note = "dropped after " + std::to_string(kDropAfter) + " bytes";
            }
            return whole;
        }
        case standin::ByteRange::Kind::Unsatisfiable: {
            HttpResponse none = HttpResponse::plain("", 416);
            return none.header("Content-Range", "bytes */" + total), none;
        }
        case standin::ByteRange::Kind::Partial:
            break;
    }
    HttpResponse part =
        HttpResponse::binary(video.substr(range.first, range.end - range.first), "video/mp4");
    part.status = 206;
    return part.header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                            std::to_string(range.end - 1) + "/" + total),
           part;
}

}  // namespace bnservices::meridianjson
