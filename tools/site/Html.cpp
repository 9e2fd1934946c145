#include "tools/site/Html.h"

#include <cstdint>
#include <cstdlib>

namespace bnsite {

namespace {

struct Entity {
    std::string_view name;
    std::uint32_t code;
};

const Entity kEntities[] = {
    {"amp", '&'},     {"lt", '<'},      {"gt", '>'},      {"quot", '"'},    {"apos", '\''},
    {"nbsp", 0xA0},   {"eacute", 0xE9}, {"egrave", 0xE8}, {"aacute", 0xE1}, {"agrave", 0xE0},
    {"ccedil", 0xE7}, {"ouml", 0xF6},   {"uuml", 0xFC},   {"auml", 0xE4},   {"ntilde", 0xF1},
    {"copy", 0xA9},   {"reg", 0xAE},    {"deg", 0xB0},    {"middot", 0xB7}, {"frac12", 0xBD},
    {"sup2", 0xB2},   {"times", 0xD7},  {"euro", 0x20AC}, {"pound", 0xA3},
};

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string decodeEntities(std::string_view html) {
    std::string out;
    out.reserve(html.size());
    for (size_t i = 0; i < html.size(); ++i) {
        if (html[i] != '&') {
            out += html[i];
            continue;
        }
        size_t semi = html.find(';', i);
        if (semi == std::string_view::npos || semi - i > 10) {
            out += '&';
            continue;
        }
        std::string_view name = html.substr(i + 1, semi - i - 1);
        std::uint32_t code = 0;
        if (!name.empty() && name[0] == '#') {
            bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
            std::string digits(name.substr(hex ? 2 : 1));
            char* end = nullptr;
            unsigned long v = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
            if (!digits.empty() && end && *end == '\0' && v > 0 && v < 0x110000)
                code = static_cast<std::uint32_t>(v);
        } else {
            for (const auto& e : kEntities) {
                if (e.name == name) code = e.code;
            }
        }
        if (!code) {
            out += '&';
            continue;
        }
        appendUtf8(out, code);
        i = semi;
    }
    return out;
}

std::string stripTags(std::string_view html) {
    std::string out;
    out.reserve(html.size());
    bool inTag = false;
    for (char c : html) {
        if (c == '<') {
            inTag = true;
            out += ' ';
        } else if (c == '>' && inTag) {
            inTag = false;
        } else if (!inTag) {
            out += c;
        }
    }
    return out;
}

std::string pageFrame(std::string_view title, std::string_view bodyClass, std::string_view body,
                      std::string_view lang) {
    std::string out = "<!DOCTYPE html>\n<html lang=\"";
    out += lang;
    out += "\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
    out += title;
    out +=
        "</title>\n<meta name=\"viewport\" content=\"width=device-width\">\n</head>\n<body "
        "class=\"";
    out += bodyClass;
    out += "\">\n";
    out += body;
    out += "</body>\n</html>\n";
    return out;
}

HttpResponse errorPage(int status, const std::vector<std::string>& reasons,
                       std::string_view title) {
    std::string body =
        "<div class=\"bchead\"><a href=\"http://www.bazaarnest.test/\"><b>bazaarnest"
        "</b></a></div>\n<h3 class=\"errorhead\">";
    body += title;
    body += "</h3>\n<div class=\"errorbox\"><ul>\n";
    for (const auto& r : reasons)
        body += "<li class=\"error\">" + escapeHtml(r) + "</li>\n";
    body += "</ul></div>\n";
    return HttpResponse::html(pageFrame("bazaarnest: " + std::string(title), "error", body),
                              status);
}

}  // namespace bnsite
