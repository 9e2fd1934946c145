// The page-simplifying service: "/gwt/x?u=<page url>&ct=pg1&whp=30" answers a plain copy of a
// site page (text, links and line breaks), with each image replaced by an "[Image]" link that
// carries the image's address in its u parameter; "ct=img" answers the image itself. Only the
// site's own hosts are fetched: nothing leaves the machine.
#include <cctype>

#include "tools/site/Html.h"
#include "tools/site/SiteInternal.h"

namespace bnsite {

namespace {

// The address as the service passes it on: the scheme's "://" escaped, and of the rest only
// what would end the parameter.
std::string serviceParameter(const std::string& url) {
    size_t colon = url.find("://");
    if (colon == std::string::npos) return percentEncode(url, "/:.?=;,!$'()*@");
    return url.substr(0, colon) + "%3A%2F%2F" +
           percentEncode(url.substr(colon + 3), "/:.?=;,!$'()*@");
}

std::string serviceLink(const std::string& url, const char* kind) {
    return "/gwt/x?u=" + serviceParameter(url) + "&amp;ct=" + kind + "&amp;whp=30";
}

// The value of an attribute in a tag's text, "" when absent.
std::string attribute(const std::string& tag, const std::string& name) {
    std::string lower = lowercase(tag);
    size_t at = 0;
    while ((at = lower.find(name, at)) != std::string::npos) {
        bool boundary = at > 0 && std::isspace(static_cast<unsigned char>(lower[at - 1]));
        size_t eq = at + name.size();
        while (eq < lower.size() && lower[eq] == ' ')
            ++eq;
        if (!boundary || eq >= lower.size() || lower[eq] != '=') {
            at += name.size();
            continue;
        }
        size_t v = eq + 1;
        while (v < tag.size() && tag[v] == ' ')
            ++v;
        if (v >= tag.size()) return {};
        char quote = tag[v];
        if (quote == '"' || quote == '\'') {
            size_t end = tag.find(quote, v + 1);
            return decodeEntities(
                tag.substr(v + 1, end == std::string::npos ? std::string::npos : end - v - 1));
        }
        size_t end = tag.find_first_of(" >", v);
        return decodeEntities(
            tag.substr(v, end == std::string::npos ? std::string::npos : end - v));
    }
    return {};
}

std::string absolute(const UrlParts& base, const std::string& href) {
    if (href.rfind("http://", 0) == 0 || href.rfind("https://", 0) == 0) return href;
    std::string origin = base.scheme + "://" + base.host;
    if (href.rfind("//", 0) == 0) return base.scheme + ":" + href;
    if (!href.empty() && href[0] == '/') return origin + href;
    std::string dir = base.path.substr(0, base.path.rfind('/') + 1);
    return origin + dir + href;
}

// Everything between `open` and `close` (both included) taken out, no case.
std::string without(std::string html, const std::string& open, const std::string& close) {
    for (;;) {
        std::string lower = lowercase(html);
        size_t a = lower.find(open);
        if (a == std::string::npos) return html;
        size_t b = lower.find(close, a + open.size());
        html.erase(a, b == std::string::npos ? std::string::npos : b + close.size() - a);
    }
}

std::string simplify(const std::string& html, const UrlParts& base, std::string* title) {
    std::string lower = lowercase(html);
    size_t t = lower.find("<title>");
    size_t te = lower.find("</title>");
    if (t != std::string::npos && te != std::string::npos && te > t)
        *title = html.substr(t + 7, te - t - 7);
    size_t b = lower.find("<body");
    std::string body = html;
    if (b != std::string::npos) {
        size_t start = lower.find('>', b);
        size_t end = lower.find("</body>", b);
        body =
            html.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
    }
    body = without(body, "<!--", "-->");
    body = without(body, "<script", "</script>");
    body = without(body, "<style", "</style>");

    std::string out;
    int breaks = 0;
    bool inLink = false;
    bool space = false;
    auto lineBreak = [&] {
        if (out.empty() || breaks >= 2) return;
        out += "<br/>\n";
        ++breaks;
        space = false;
    };
    for (size_t i = 0; i < body.size();) {
        if (body[i] != '<') {
            char c = body[i++];
            if (std::isspace(static_cast<unsigned char>(c))) {
                space = true;
                continue;
            }
            if (space && breaks == 0 && !out.empty()) out += ' ';
            space = false;
            breaks = 0;
            out += c;
            continue;
        }
        size_t close = body.find('>', i);
        if (close == std::string::npos) break;
        std::string tag = body.substr(i + 1, close - i - 1);
        i = close + 1;
        std::string name;
        for (char c : tag) {
            if (std::isspace(static_cast<unsigned char>(c))) break;
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (name == "img") {
            std::string src = attribute(tag, "src");
            if (!src.empty()) {
                if (space && !out.empty() && breaks == 0) out += ' ';
                out += "<a href=\"" + serviceLink(absolute(base, src), "img") + "\">[Image]</a>";
                breaks = 0;
                space = false;
            }
        } else if (name == "a") {
            std::string href = attribute(tag, "href");
            if (inLink) out += "</a>";
            inLink = !href.empty() && href[0] != '#';
            if (inLink) {
                if (space && !out.empty() && breaks == 0) out += ' ';
                std::string target =
                    href.rfind("mailto:", 0) == 0 ? href : serviceLink(absolute(base, href), "pg1");
                out += "<a href=\"" + escapeHtml(target) + "\">";
                space = false;
                breaks = 0;
            }
        } else if (name == "/a") {
            if (inLink) out += "</a>";
            inLink = false;
        } else if (name == "br" || name == "br/" || name == "p" || name == "/p" || name == "div" ||
                   name == "/div" || name == "tr" || name == "/tr" || name == "li" ||
                   name == "hr" || name == "table" || name == "/table" ||
                   (name.size() == 2 && name[0] == 'h' &&
                    std::isdigit(static_cast<unsigned char>(name[1]))) ||
                   (name.size() == 3 && name[0] == '/' && name[1] == 'h')) {
            lineBreak();
        }
    }
    if (inLink) out += "</a>";
    return out;
}

}  // namespace

HttpResponse SiteImpl::simplifierHost(const HttpRequest& request) {
    if (request.path != "/gwt/x") return errorPage(404, {"Page not found."}, "not found");
    if (request.method != "GET" && request.method != "HEAD")
        return errorPage(405, {"Pages are only read."});
    // The page address comes unescaped from some callers, so it runs up to "&ct=".
    const std::string& query = request.query;
    std::string raw;
    if (query.rfind("u=", 0) == 0) {
        size_t end = query.find("&ct=");
        raw = query.substr(2, end == std::string::npos ? std::string::npos : end - 2);
    } else {
        raw = fieldValue(parseQuery(query), "u");
    }
    std::string url = raw.find("%3A%2F%2F") != std::string::npos ? percentDecode(raw, false) : raw;
    std::string kind = fieldValue(
        parseQuery(query.substr(query.find("&ct=") == std::string::npos ? query.size()
                                                                        : query.find("&ct=") + 1)),
        "ct");
    auto parts = splitUrl(url);
    std::string suffix = "." + std::string(kSiteDomain);
    // The site's own pages only; never the admin host, whose pages change the site.
    bool ours =
        parts && parts->host != kAdminHost &&
        (parts->host == kSiteDomain ||
         (parts->host.size() > suffix.size() &&
          parts->host.compare(parts->host.size() - suffix.size(), suffix.size(), suffix) == 0));
    if (!ours) {
        return errorPage(502, {"Sorry, that page could not be reached."}, "page not available");
    }
    HttpRequest inner;
    inner.method = "GET";
    inner.host = parts->host;
    inner.tls = parts->scheme == "https";
    inner.path = parts->path;
    inner.query = parts->query;
    inner.target = parts->path + (parts->query.empty() ? "" : "?" + parts->query);
    HttpResponse fetched = route(inner);
    if (kind == "img" || fetched.contentType.rfind("text/html", 0) != 0) return fetched;

    std::string title;
    std::string content = simplify(fetched.body, *parts, &title);
    std::string body = "<div class=\"gwt\">\n<div class=\"gwt-head\">" + title + "</div>\n" +
                       content + "\n<div class=\"gwt-foot\">Page 1 of 1 - <a href=\"" +
                       escapeHtml(url) + "\"><span>see original page</span></a></div>\n</div>\n";
    HttpResponse r = HttpResponse::html(
        pageFrame(title.empty() ? "simplified page" : title, "simplified", body), fetched.status);
    return r;
}

}  // namespace bnsite
