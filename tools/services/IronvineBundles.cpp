#include "tools/services/IronvineBundles.h"

#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace bnservices {

std::string ironvineZip(const std::vector<IronvineZipEntry>& entries) {
    // minizip writes to a path: a private temporary file, read back and removed.
    char path[] = "/tmp/ironvine-zip-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return {};
    close(fd);
    zipFile zf = zipOpen(path, APPEND_STATUS_CREATE);
    for (const auto& e : entries) {
        zip_fileinfo info{};
        if (e.declaredSize >= 0) {
            // Stored raw, so that the declared size can differ from what follows.
            zipOpenNewFileInZip2(zf, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, 0, 0,
                                 1);
            zipWriteInFileInZip(zf, e.data.data(), static_cast<unsigned>(e.data.size()));
            uLong crc = crc32(0, reinterpret_cast<const Bytef*>(e.data.data()),
                              static_cast<uInt>(e.data.size()));
            zipCloseFileInZipRaw(zf, static_cast<uLong>(e.declaredSize), crc);
            continue;
        }
        zipOpenNewFileInZip(zf, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                            e.deflate ? Z_DEFLATED : 0, e.deflate ? Z_DEFAULT_COMPRESSION : 0);
        if (!e.data.empty())
            zipWriteInFileInZip(zf, e.data.data(), static_cast<unsigned>(e.data.size()));
        zipCloseFileInZip(zf);
    }
    zipClose(zf, nullptr);
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::remove(path);
    return bytes.str();
}

namespace {
std::string pattern(size_t size) {
    std::string s(size, ' ');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
    return s;
}

void put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void put16(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

// The banner's picture: an orange panel with a dark blue frame, 96 by 30 pixels. Its LZW data
// starts the table afresh every 100 pixels, so every code is 8 bits wide: one byte a pixel.
std::string bannerGif() {
    const int w = 96, h = 30, frame = 3;
    std::string s = "GIF89a";
    put16(s, w);
    put16(s, h);
    s += "\x80";  // a global table of two colours
    s += std::string(2, '\0');
    s += "\xF0\x80\x20\x10\x20\x60";  // orange, dark blue
    s += ",";
    put16(s, 0);
    put16(s, 0);
    put16(s, w);
    put16(s, h);
    s += '\0';
    const char clear = char(0x80), end = char(0x81);
    std::string codes;
    for (int i = 0; i < w * h; ++i) {
        if (i % 100 == 0) codes += clear;
        int x = i % w, y = i / w;
        bool edge = x < frame || y < frame || x >= w - frame || y >= h - frame;
        codes += edge ? '\1' : '\0';
    }
    codes += end;
    s += '\7';  // the smallest code size that makes 8-bit codes
    for (size_t at = 0; at < codes.size(); at += 255) {
        size_t n = std::min<size_t>(255, codes.size() - at);
        s += static_cast<char>(n);
        s += codes.substr(at, n);
    }
    s += '\0';
    s += ';';
    return s;
}

std::string wav() {
    const uint32_t rate = 8000, samples = 2000;
    std::string s = "RIFF";
    put32(s, 36 + samples);
    s += "WAVEfmt ";
    put32(s, 16);
    put16(s, 1);
    put16(s, 1);
    put32(s, rate);
    put32(s, rate);
    put16(s, 1);
    put16(s, 8);
    s += "data";
    put32(s, samples);
    for (uint32_t i = 0; i < samples; ++i)
        s += static_cast<char>(128 + ((i / 8) % 2 ? 40 : -40));
    return s;
}
}  // namespace

std::optional<std::vector<IronvineZipEntry>> ironvineBundleEntries(const std::string& name) {
    if (name == "nested" || name == "truncated")
        return std::vector<IronvineZipEntry>{
            {"ad/", ""},
            {"ad/index.html", "<p class=\"ad\">Ad's page</p>\n"},
            {"ad/img/", ""},
            {"ad/img/arrow.png", "\x89PNG\r\n\x1a\n-stored-", false},
            {"ad/empty.txt", ""},
            {"ad/deep/er/script.js", pattern(20000)},
            {"top.txt", "top level"}};
    if (name == "hostile")
        return std::vector<IronvineZipEntry>{{"../x", "escaped"},
                                             {"/abs", "absolute"},
                                             {"a/../../y", "escaped"},
                                             {std::string(300, 'n'), "long name"},
                                             {"good.txt", "good"}};
    if (name == "understated")
        return std::vector<IronvineZipEntry>{{"short.txt", "hello world", false, 5},
                                             {"fine.txt", "fine"}};
    return std::nullopt;
}

std::optional<std::string> ironvineBundle(const std::string& name) {
    auto entries = ironvineBundleEntries(name);
    if (!entries) return std::nullopt;
    std::string bytes = ironvineZip(*entries);
    if (name == "truncated") bytes.resize(bytes.size() / 2);
    return bytes;
}

std::vector<IronvineZipEntry> ironvineAdBundleEntries(const std::string& slot, long long dlTime) {
    static const std::string gif = bannerGif();
    std::string dir = slot + "/" + std::to_string(dlTime) + "/";
    std::string landing = "http%3A%2F%2Fads.ironvine.test%2FAdBridgeServer%2Flanding%2F1.html";
    std::string html = "<div class=\"ad\"><a id=\"ct\" href=\"ironvine://ct?to=" + landing +
                       "\">Bazaar deals near you</a> <img src=\"" + dir +
                       "banner.gif\" alt=\"\"></div>\n";
    if (slot.find("Full") != std::string::npos)
        html =
            "<div class=\"ad full\"><h1>Bazaar week</h1><p><a id=\"ct\" href=\"ironvine://ct?to=" +
            landing + "\">See the deals</a></p><p id=\"sound\">" + dir + "tone.wav</p></div>\n";
    return {{"ad.html", html}, {"banner.gif", gif, false}, {"tone.wav", wav()}};
}

std::optional<std::string> ironvineFile(const std::string& name) {
    if (name == "quotes.txt")
        return std::string(
            "He said \"it's 'fine'\"\\n\nline two\r\n\tsep\xE2\x80\xA8"
            "para\xE2\x80\xA9"
            "end %s %d %%");
    if (name == "tone.wav") return wav();
    return std::nullopt;
}

}  // namespace bnservices
