#include "tools/services/IronvineBundles.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace bnservices {

namespace {
// The file minizip writes, kept in memory: nothing is left behind on disk, whatever stops the
// server. minizip seeks back over what it wrote to fill in sizes.
struct MemoryFile {
    std::string bytes;
    std::size_t at = 0;
};

zlib_filefunc_def memoryFileFunctions(MemoryFile* file) {
    zlib_filefunc_def f{};
    f.opaque = file;
    f.zopen_file = [](voidpf opaque, const char*, int) -> voidpf { return opaque; };
    f.zread_file = [](voidpf, voidpf stream, void* buf, uLong size) -> uLong {
        auto* m = static_cast<MemoryFile*>(stream);
        uLong n = static_cast<uLong>(std::min<std::size_t>(size, m->bytes.size() - m->at));
        std::memcpy(buf, m->bytes.data() + m->at, n);
        m->at += n;
        return n;
    };
    f.zwrite_file = [](voidpf, voidpf stream, const void* buf, uLong size) -> uLong {
        auto* m = static_cast<MemoryFile*>(stream);
        if (m->bytes.size() < m->at + size) m->bytes.resize(m->at + size);
        std::memcpy(m->bytes.data() + m->at, buf, size);
        m->at += size;
        return size;
    };
    f.ztell_file = [](voidpf, voidpf stream) -> long {
        return static_cast<long>(static_cast<MemoryFile*>(stream)->at);
    };
    f.zseek_file = [](voidpf, voidpf stream, uLong offset, int origin) -> long {
        auto* m = static_cast<MemoryFile*>(stream);
        std::size_t base = origin == ZLIB_FILEFUNC_SEEK_SET   ? 0
                           : origin == ZLIB_FILEFUNC_SEEK_CUR ? m->at
                                                              : m->bytes.size();
        if (base + offset > m->bytes.size()) return -1;
        m->at = base + offset;
        return 0;
    };
    f.zclose_file = [](voidpf, voidpf) -> int { return 0; };
    f.zerror_file = [](voidpf, voidpf) -> int { return 0; };
    return f;
}
}  // namespace

std::string ironvineZip(const std::vector<IronvineZipEntry>& entries) {
    MemoryFile file;
    zlib_filefunc_def functions = memoryFileFunctions(&file);
    zipFile zf = zipOpen2("bundle.zip", APPEND_STATUS_CREATE, nullptr, &functions);
    if (!zf) return {};
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
    return file.bytes;
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

// The banner's picture, 40 by 40 pixels: a shopping bag, cream with a dark blue handle and
// rim, on an orange tile with rounded corners. Its LZW data starts the table afresh every 100
// pixels, so every code is 8 bits wide: one byte a pixel.
std::string bannerGif() {
    const int w = 40, h = 40;
    std::string s = "GIF89a";
    put16(s, w);
    put16(s, h);
    s += "\x81";  // a global table of four colours
    s += std::string(2, '\0');
    s += "\xFF\xFF\xFF\xF0\x80\x20\x10\x20\x60\xFA\xF0\xDC";  // white, orange, blue, cream
    s += ",";
    put16(s, 0);
    put16(s, 0);
    put16(s, w);
    put16(s, h);
    s += '\0';
    const char clear = char(0x80), end = char(0x81);
    auto colour = [&](int x, int y) -> char {
        // The tile's corners, rounded with a radius of 6.
        int cx = x < 6 ? 6 - x : x > 33 ? x - 33 : 0, cy = y < 6 ? 6 - y : y > 33 ? y - 33 : 0;
        if (cx * cx + cy * cy > 36) return 0;
        bool bag = x >= 9 && x < 31 && y >= 14 && y < 34;
        bool rim = bag && (x < 11 || x >= 29 || y < 16 || y >= 32);
        bool handle = y >= 6 && y < 14 &&
                      ((x >= 14 && x < 16) || (x >= 24 && x < 26) || (y < 8 && x >= 14 && x < 26));
        if (rim || handle) return 2;
        return bag ? 3 : 1;
    };
    std::string codes;
    for (int i = 0; i < w * h; ++i) {
        if (i % 100 == 0) codes += clear;
        codes += colour(i % w, i / w);
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
    // The banner: its picture, then its link and a line under it, kept off the slot's edges.
    std::string html =
        "<div class=\"ad\" style=\"margin: 5px 8px; font: 12px/16px sans-serif\"><img src=\"" +
        dir +
        "banner.gif\" alt=\"\" style=\"float: left; margin-right: 8px\"><a id=\"ct\" "
        "href=\"ironvine://ct?to=" +
        landing + "\">Bazaar deals near you</a><br>Bikes, sofas and more, this week only</div>\n";
    // The full-screen ad: its heading, a line and its link within the page's margins (its
    // sound comes in the bundle; the page has no reason to show the file's name).
    if (slot.find("Full") != std::string::npos)
        html =
            "<div class=\"ad full\" style=\"margin: 12px 16px\"><h1>Bazaar week</h1>"
            "<p>Bikes, sofas and more, this week only.</p><p><a id=\"ct\" "
            "href=\"ironvine://ct?to=" +
            landing + "\">See the deals</a></p></div>\n";
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
