#include "tools/services/CatalogModule.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

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

HttpResponse CatalogModule::handle(const HttpRequest& request) {
    if (request.method != "GET") return HttpResponse::plain("only GET\n", 405);
    auto query = parseQuery(request.query);
    std::string fault = fieldValue(query, "fault");
    if (fault == "garbage") return json("{\"items\": [\n");
    if (!fault.empty()) {
        int status = std::atoi(fault.c_str());
        if (status < 400 || status > 599) status = 500;
        HttpResponse r = HttpResponse::plain("fault on demand\n", status);
        r.note = "fault " + std::to_string(status);
        return r;
    }
    if (request.path == "/items.json") {
        int page = std::max(1, std::atoi(fieldValue(query, "page").c_str()));
        return json(pageJson(page, fieldValue(query, "set") == "empty"));
    }
    if (request.path == "/names.json") return json(namesJson(fieldValue(query, "q")));
    const std::string prefix = "/thumbs/";
    if (request.path.rfind(prefix, 0) == 0 && request.path.size() > prefix.size() + 4 &&
        request.path.substr(request.path.size() - 4) == ".png") {
        int item = std::atoi(request.path.c_str() + prefix.size());
        if (item >= 1 && item <= kItemCount)
            return HttpResponse::binary(thumbnailPng(item), "image/png");
    }
    return HttpResponse::plain("not found\n", 404);
}

BN_SERVICES_MODULE("catalog", CatalogModule)

}  // namespace bnservices
