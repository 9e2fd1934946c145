#include "UIKit/WebContent/WebText.h"

#include <unicode/ucnv.h>

#include <cstdint>

namespace webcontent {

std::string lowercased(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return s;
}

std::string trimmed(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && isSpace(s[b]))
        ++b;
    while (e > b && isSpace(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

std::string collapsedWhitespace(std::string_view s) {
    std::string out;
    bool space = false;
    for (char c : s) {
        if (isSpace(c)) {
            space = true;
            continue;
        }
        if (space && !out.empty()) out += ' ';
        space = false;
        out += c;
    }
    return out;
}

static int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            int hi = hexValue(s[i + 1]), lo = hexValue(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += char(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

std::optional<std::string> base64Decoded(std::string_view s) {
    std::string out;
    uint32_t acc = 0;
    int bits = 0;
    bool padding = false;
    for (char c : s) {
        int v;
        if (c >= 'A' && c <= 'Z') {
            v = c - 'A';
        } else if (c >= 'a' && c <= 'z') {
            v = c - 'a' + 26;
        } else if (c >= '0' && c <= '9') {
            v = c - '0' + 52;
        } else if (c == '+' || c == '-') {
            v = 62;
        } else if (c == '/' || c == '_') {
            v = 63;
        } else if (c == '=') {
            padding = true;
            continue;
        } else if (isSpace(c)) {
            continue;
        } else {
            return std::nullopt;
        }
        if (padding) return std::nullopt;  // data after the padding
        acc = (acc << 6) | uint32_t(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += char((acc >> bits) & 0xFF);
        }
    }
    return out;
}

bool isValidUTF8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        size_t n;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n >= s.size()) return false;
        for (size_t k = 1; k <= n; ++k) {
            auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) ||
            cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += n + 1;
    }
    return true;
}

static void appendUTF8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string latin1ToUTF8(std::string_view s) {
    std::string out;
    out.reserve(s.size() * 2);
    for (char c : s)
        appendUTF8(out, static_cast<unsigned char>(c));
    return out;
}

std::string escapedHTML(std::string_view s) {
    std::string out;
    appendEscapedHTML(out, s);
    return out;
}

void appendEscapedHTML(std::string& out, std::string_view s) {
    out.reserve(out.size() + s.size());
    // Plain runs go in whole.
    for (size_t at = 0; at < s.size();) {
        size_t special = s.find_first_of("&<>\"", at);
        if (special == std::string_view::npos) special = s.size();
        out.append(s, at, special - at);
        if (special == s.size()) break;
        switch (s[special]) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += "&quot;";
        }
        at = special + 1;
    }
}

std::string decodedText(std::string_view bytes, const std::string& charset) {
    std::string name = lowercased(trimmed(charset));
    if (name.empty() || name == "utf-8" || name == "utf8") {
        if (isValidUTF8(bytes)) return std::string(bytes);
        return latin1ToUTF8(bytes);
    }
    if (name == "iso-8859-1" || name == "latin1" || name == "us-ascii" || name == "ascii") {
        return latin1ToUTF8(bytes);
    }
    UErrorCode status = U_ZERO_ERROR;
    std::string out(bytes.size() * 4 + 16, '\0');
    int32_t n = ucnv_convert("UTF-8", name.c_str(), out.data(), int32_t(out.size()), bytes.data(),
                             int32_t(bytes.size()), &status);
    if (U_FAILURE(status)) return isValidUTF8(bytes) ? std::string(bytes) : latin1ToUTF8(bytes);
    out.resize(size_t(n));
    return out;
}

std::string joinedSurrogates(std::string_view s) {
    // A surrogate half is written as ED A0..BF xx.
    auto half = [&](size_t i) -> uint32_t {
        if (i + 2 >= s.size()) return 0;
        auto a = static_cast<unsigned char>(s[i]), b = static_cast<unsigned char>(s[i + 1]),
             c = static_cast<unsigned char>(s[i + 2]);
        if (a != 0xED || (b & 0xE0) != 0xA0 || (c & 0xC0) != 0x80) return 0;
        return 0xD000 | ((b & 0x3F) << 6) | (c & 0x3F);
    };
    if (s.find('\xED') == std::string_view::npos) return std::string(s);
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        uint32_t hi = half(i);
        if (!hi) {
            out += s[i++];
            continue;
        }
        uint32_t lo = hi < 0xDC00 ? half(i + 3) : 0;
        if (lo >= 0xDC00) {
            appendUTF8(out, 0x10000 + ((hi - 0xD800) << 10) + (lo - 0xDC00));
            i += 6;
        } else {
            appendUTF8(out, 0xFFFD);
            i += 3;
        }
    }
    return out;
}

}  // namespace webcontent
