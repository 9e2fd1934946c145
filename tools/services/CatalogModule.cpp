#include "tools/services/CatalogModule.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "tools/catalog/CatalogHosts.h"
#include "tools/standin/JsonWriter.h"
#include "tools/standin/RgbImage.h"

namespace bnservices {

namespace {

constexpr int kThumbSize = 40;

HttpResponse json(std::string body) {
    HttpResponse r;
    r.contentType = "application/json; charset=utf-8";
    r.body = std::move(body);
    return r;
}

int photoCount(const std::string& set) {
    if (set == "one") return 1;
    if (set == "ten") return 10;
    if (set == "many" || set == "unknown") return 25;
    return 0;
}

// Square, 3:2 and portrait pictures in turn, at full size.
void photoSize(int photo, int* width, int* height) {
    switch (photo % 3) {
        case 1:
            *width = *height = 240;
            break;
        case 2:
            *width = 300;
            *height = 200;
            break;
        default:
            *width = 200;
            *height = 300;
            break;
    }
}

constexpr const char* kFirstNames[] = {
    "Ada",   "Ben",  "Cora", "Dmitri", "Elena", "Farid", "Greta", "Hiro",  "Ines",
    "Jonas", "Kira", "Liam", "Mara",   "Nils",  "Olga",  "Pavel", "Quinn", "Rosa",
    "Sven",  "Tara", "Ugo",  "Vera",   "Wren",  "Xavi",  "Yara"};
constexpr const char* kLastNames[] = {"Abbott",  "Brandt", "Castillo", "Dunn",   "Eriksen",
                                      "Fischer", "Garcia", "Holm",     "Ibarra", "Jensen",
                                      "Kovac",   "Larsen", "Moreau",   "Novak",  "Okafor",
                                      "Petrov",  "Quist",  "Rossi",    "Sato",   "Tanaka"};

bool startsWithNoCase(const std::string& word, const std::string& prefix) {
    if (prefix.size() > word.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(word[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

}  // namespace

std::string CatalogModule::name(int n) {
    constexpr int firsts = sizeof(kFirstNames) / sizeof(kFirstNames[0]);
    return std::string(kFirstNames[n % firsts]) + " " + kLastNames[n / firsts];
}

std::string CatalogModule::namesJson(const std::string& prefix) {
    standin::JsonWriter w;
    w.beginObject();
    w.key("names").beginArray();
    int found = 0;
    for (int n = 0; n < kNameCount && found < kMaxCompletions && !prefix.empty(); ++n) {
        std::string full = name(n);
        std::string last = full.substr(full.find(' ') + 1);
        if (startsWithNoCase(full, prefix) || startsWithNoCase(last, prefix)) {
            w.value(full);
            ++found;
        }
    }
    w.endArray();
    w.endObject();
    return w.text();
}

std::string CatalogModule::photosJson(const std::string& set, int page) {
    int count = photoCount(set);
    standin::JsonWriter w;
    w.beginObject();
    w.member("title", "Photo set " + set);
    w.member("total", set == "unknown" ? -1 : count);
    w.key("photos").beginArray();
    int first = (page - 1) * kPhotoPageSize + 1;
    for (int i = first; i < first + kPhotoPageSize && i <= count; ++i) {
        int width = 0, height = 0;
        photoSize(i, &width, &height);
        if (i % 4 == 0) width = height = 0;  // the size is learnt from the image
        std::string base = std::string("http://") + catalog_hosts::kCatalogServicesHost +
                           "/photos/" + set + "/" + std::to_string(i);
        w.beginObject();
        w.member("caption", "Photo " + std::to_string(i) + " of the " + set + " set");
        w.member("width", width);
        w.member("height", height);
        w.member("full", base + "-1.png");
        w.member("preview", base + "-3.png");
        w.member("thumbnail", base + "-4.png");
        w.endObject();
    }
    w.endArray();
    w.endObject();
    return w.text();
}

std::string CatalogModule::photoPng(const std::string& set, int photo, int version) {
    if (photo < 1 || photo > photoCount(set)) return std::string();
    int width = 0, height = 0;
    photoSize(photo, &width, &height);
    if (version == 3) {
        width /= 2;
        height /= 2;
    } else if (version == 4) {
        width = height = 30;
    } else if (version != 1) {
        return std::string();
    }
    // A diagonal band of the photo's hue over a darker ground, so versions look alike.
    auto image = standin::blank(width, height);
    int r = 60 + (photo * 53) % 180, g = 60 + (photo * 97) % 180, b = 60 + (photo * 29) % 180;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool band = std::abs(x * height - y * width) < width * height / 4;
            standin::setPixel(image, x, y, band ? r : r / 3, band ? g : g / 3, band ? b : b / 3);
        }
    return standin::encodePng(image);
}

std::vector<std::string> CatalogModule::hosts() const {
    return {catalog_hosts::kCatalogServicesHost};
}

std::string CatalogModule::pageJson(int page, bool empty) {
    standin::JsonWriter w;
    w.beginObject();
    w.member("page", page);
    w.member("total", empty ? 0 : kItemCount);
    w.key("items").beginArray();
    int first = (page - 1) * kPageSize + 1;
    for (int n = first; !empty && n < first + kPageSize && n <= kItemCount; ++n) {
        w.beginObject();
        w.member("title", "Item " + std::to_string(n));
        w.member("subtitle",
                 std::string(n % 2 ? "Odd" : "Even") + " item of " + std::to_string(kItemCount));
        w.member("thumbnail", std::string("http://") + catalog_hosts::kCatalogServicesHost +
                                  "/thumbs/" + std::to_string(n) + ".png");
        w.endObject();
    }
    w.endArray();
    w.endObject();
    return w.text();
}

std::string CatalogModule::thumbnailPng(int item) {
    // A hue per item, spread around the wheel.
    auto channel = [item](int offset) { return 80 + ((item * 37 + offset) % 150); };
    auto image = standin::blank(kThumbSize, kThumbSize);
    for (int y = 0; y < kThumbSize; ++y)
        for (int x = 0; x < kThumbSize; ++x)
            standin::setPixel(image, x, y, channel(0), channel(50), channel(100));
    return standin::encodePng(image);
}

namespace {

constexpr long long kMaxPage = 100000;
constexpr long long kMaxPhoto = 100000;

std::optional<int> pageNumber(const std::string& text) {
    if (text.empty()) return 1;
    auto page = integerIn(text, 1, kMaxPage);
    if (!page) return std::nullopt;
    return static_cast<int>(*page);
}

HttpResponse pageOutOfRange() {
    return HttpResponse::plain("page must be 1 to " + std::to_string(kMaxPage) + "\n", 400);
}

}  // namespace

HttpResponse CatalogModule::handle(const HttpRequest& request) {
    if (request.method != "GET") return HttpResponse::plain("only GET\n", 405);
    auto query = parseQuery(request.query);
    std::string fault = fieldValue(query, "fault");
    if (fault == "garbage") return json("{\"items\": [\n");
    if (!fault.empty()) {
        int status = static_cast<int>(integerIn(fault, 400, 599).value_or(500));
        HttpResponse r = HttpResponse::plain("fault on demand\n", status);
        r.note = "fault " + std::to_string(status);
        return r;
    }
    // No page is the first; a page out of range is refused rather than counted into items that
    // cannot be.
    std::optional<int> page = pageNumber(fieldValue(query, "page"));
    if (request.path == "/items.json") {
        if (!page) return pageOutOfRange();
        return json(pageJson(*page, fieldValue(query, "set") == "empty"));
    }
    if (request.path == "/names.json") return json(namesJson(fieldValue(query, "q")));
    if (request.path == "/photos.json") {
        if (!page) return pageOutOfRange();
        return json(photosJson(fieldValue(query, "set"), *page));
    }
    const std::string photos = "/photos/";
    if (request.path.rfind(photos, 0) == 0) {
        // /photos/<set>/<i>-<v>.png
        std::string rest = request.path.substr(photos.size());
        auto slash = rest.find('/');
        auto dash = rest.rfind('-');
        if (slash != std::string::npos && dash != std::string::npos && dash > slash &&
            rest.ends_with(".png")) {
            auto photo =
                integerIn(std::string_view(rest).substr(slash + 1, dash - slash - 1), 1, kMaxPhoto);
            auto version = integerIn(
                std::string_view(rest).substr(dash + 1, rest.size() - dash - 5), 1, kMaxPhoto);
            std::string png = photo && version
                                  ? photoPng(rest.substr(0, slash), int(*photo), int(*version))
                                  : std::string();
            if (!png.empty()) return HttpResponse::binary(png, "image/png");
        }
        return HttpResponse::plain("not found\n", 404);
    }
    const std::string prefix = "/thumbs/";
    if (request.path.rfind(prefix, 0) == 0 && request.path.size() > prefix.size() + 4 &&
        request.path.substr(request.path.size() - 4) == ".png") {
        auto item = integerIn(std::string_view(request.path)
                                  .substr(prefix.size(), request.path.size() - prefix.size() - 4),
                              1, kItemCount);
        if (item) return HttpResponse::binary(thumbnailPng(int(*item)), "image/png");
    }
    return HttpResponse::plain("not found\n", 404);
}

BN_SERVICES_MODULE("catalog", CatalogModule)

}  // namespace bnservices
