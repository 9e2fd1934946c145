#include "tools/services/CatalogModule.h"

#include <algorithm>
#include <cstdint>

#include "tools/catalog/CatalogHosts.h"
#include "tools/standin/JsonWriter.h"

namespace bnservices {

namespace {

constexpr int kThumbSize = 40;

std::uint32_t crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBig32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void chunk(std::string& png, const char* type, const std::string& data) {
    putBig32(png, static_cast<std::uint32_t>(data.size()));
    std::string typed = std::string(type) + data;
    png += typed;
    putBig32(png, crc32(typed));
}

// A zlib stream of stored (uncompressed) blocks: small images need no compressor.
std::string storedZlib(const std::string& raw) {
    std::string out = "\x78\x01";
    std::size_t at = 0;
    do {
        std::size_t n = std::min<std::size_t>(raw.size() - at, 65535);
        bool last = at + n == raw.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<char>(n & 0xFF));
        out.push_back(static_cast<char>(n >> 8));
        out.push_back(static_cast<char>(~n & 0xFF));
        out.push_back(static_cast<char>((~n >> 8) & 0xFF));
        out.append(raw, at, n);
        at += n;
    } while (at < raw.size());
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    putBig32(out, (b << 16) | a);
    return out;
}

HttpResponse json(std::string body) {
    HttpResponse r;
    r.contentType = "application/json; charset=utf-8";
    r.body = std::move(body);
    return r;
}

}  // namespace

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
    auto channel = [item](int offset) {
        return static_cast<char>(80 + ((item * 37 + offset) % 150));
    };
    std::string raw;
    for (int y = 0; y < kThumbSize; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < kThumbSize; ++x) {
            raw.push_back(channel(0));
            raw.push_back(channel(50));
            raw.push_back(channel(100));
        }
    }
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    putBig32(header, kThumbSize);
    putBig32(header, kThumbSize);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", storedZlib(raw));
    chunk(png, "IEND", "");
    return png;
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
