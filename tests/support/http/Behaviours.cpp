#include <atomic>
#include <cstdio>
#include <map>

#include "support/http/TestServer.h"

namespace testhttp {

namespace {

// The number after the last "/" of a path, -1 when there is none.
long lastNumber(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::string tail = slash == std::string::npos ? path : path.substr(slash + 1);
    if (tail.empty() || tail.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::strtol(tail.c_str(), nullptr, 10);
}

std::string lastSegment(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Splits `k=v, k="v", ...` after the scheme word of an authorization field.
std::map<std::string, std::string> authParams(std::string_view text) {
    std::map<std::string, std::string> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == ','))
            ++i;
        std::size_t eq = text.find('=', i);
        if (eq == std::string_view::npos) break;
        std::string key(text.substr(i, eq - i));
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        i = eq + 1;
        while (i < text.size() && text[i] == ' ')
            ++i;
        std::string value;
        if (i < text.size() && text[i] == '"') {
            ++i;
            while (i < text.size() && text[i] != '"') {
                if (text[i] == '\\' && i + 1 < text.size()) ++i;
                value += text[i++];
            }
            ++i;
        } else {
            while (i < text.size() && text[i] != ',')
                value += text[i++];
            while (!value.empty() && value.back() == ' ')
                value.pop_back();
        }
        for (char& c : key)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out[key] = value;
    }
    return out;
}

}  // namespace

Handler respondWith(Response response) {
    return Handler([response](const Request&) { return response; });
}

Handler text(std::string body, std::string contentType, int status) {
    return respondWith(Response(status, std::move(body), std::move(contentType)));
}

Handler echo() {
    return Handler([](const Request& r) { return Response(200, r.head + r.body, "text/plain"); });
}

Handler inCharset(std::string_view utf8, std::string charset, std::string mediaType) {
    return respondWith(
        Response(200, encodeText(utf8, charset), mediaType + "; charset=" + charset));
}

Handler gzipped(std::string body, std::string contentType) {
    return respondWith(
        Response(200, gzipBytes(body), std::move(contentType)).header("Content-Encoding", "gzip"));
}

Handler zlibDeflated(std::string body, std::string contentType) {
    return respondWith(Response(200, zlibBytes(body), std::move(contentType))
                           .header("Content-Encoding", "deflate"));
}

Handler truncatedGzip(std::string body, std::size_t keep) {
    std::string packed = gzipBytes(body);
    packed.resize(std::min(keep, packed.size()));
    return respondWith(
        Response(200, std::move(packed), "text/plain").header("Content-Encoding", "gzip"));
}

Handler damagedGzip(std::string body) {
    std::string packed = gzipBytes(body);
    // The gzip header stays readable; the deflate data after it does not.
    for (std::size_t i = 10; i < packed.size() && i < 20; ++i)
        packed[i] = static_cast<char>(~static_cast<unsigned char>(packed[i]));
    return respondWith(
        Response(200, std::move(packed), "text/plain").header("Content-Encoding", "gzip"));
}

namespace {

// An entity tag without its weak mark and quotes.
std::string opaqueTag(std::string tag) {
    auto trim = [](std::string& t) {
        while (!t.empty() && t.front() == ' ')
            t.erase(t.begin());
        while (!t.empty() && t.back() == ' ')
            t.pop_back();
    };
    trim(tag);
    if (tag.size() >= 2 && (tag[0] == 'W' || tag[0] == 'w') && tag[1] == '/') tag.erase(0, 2);
    if (tag.size() >= 2 && tag.front() == '"' && tag.back() == '"')
        tag = tag.substr(1, tag.size() - 2);
    return tag;
}

}  // namespace

Handler etagged(std::string body, std::string etag, std::string contentType) {
    return Handler([=](const Request& r) {
        if (auto match = r.headers.get("If-None-Match")) {
            std::string list = *match;
            std::size_t start = 0;
            while (start <= list.size()) {
                std::size_t comma = list.find(',', start);
                std::string one = list.substr(
                    start, comma == std::string::npos ? std::string::npos : comma - start);
                start = comma == std::string::npos ? list.size() + 1 : comma + 1;
                if (opaqueTag(one) == "*" || opaqueTag(one) == opaqueTag(etag))
                    return Response(304).header("ETag", etag);
            }
        }
        return Response(200, body, contentType).header("ETag", etag);
    });
}

Handler chunked(std::vector<std::string> slices, std::string contentType) {
    return Handler([slices = std::move(slices), contentType](Exchange& x) {
        Headers h{{"Content-Type", contentType}, {"Transfer-Encoding", "chunked"}};
        if (!x.writeHead(200, h)) return;
        if (x.request().method == "HEAD") return;
        for (const std::string& p : slices)
            if (!x.writeChunk(p)) return;
        x.endChunks();
    });
}

Handler paced(std::vector<std::string> slices, std::shared_ptr<Gate> gate, bool chunkedBody) {
    return Handler([slices = std::move(slices), gate = std::move(gate), chunkedBody](Exchange& x) {
        std::size_t total = 0;
        for (const std::string& p : slices)
            total += p.size();
        Headers h{{"Content-Type", "application/octet-stream"}};
        if (chunkedBody)
            h.add("Transfer-Encoding", "chunked");
        else
            h.add("Content-Length", std::to_string(total));
        if (!x.writeHead(200, h)) return;
        for (std::size_t i = 0; i < slices.size(); ++i) {
            if (i > 0 && !x.wait(*gate)) return x.close();
            if (!(chunkedBody ? x.writeChunk(slices[i]) : x.write(slices[i]))) return;
        }
        if (chunkedBody) x.endChunks();
    });
}

Handler large(std::size_t size, bool withLength) {
    Response r(200, patternBytes(size), "application/octet-stream");
    if (!withLength) r.length = Response::Length::None;
    return respondWith(std::move(r));
}

Handler redirect(int status, std::string location) {
    return respondWith(Response(status, "", "").header("Location", std::move(location)));
}

Handler redirectChain(int status, int hops, std::string finalBody) {
    return Handler([=](const Request& r) {
        long n = lastNumber(r.path);
        if (n < 0 || n > hops) return Response(404, "not in the chain\n");
        if (n == hops) return Response(200, finalBody);
        return Response(status, "", "").header("Location", std::to_string(n + 1));
    });
}

Handler redirectLoop(int status) {
    return Handler([status](const Request& r) {
        return Response(status, "", "").header("Location", lastSegment(r.path) == "a" ? "b" : "a");
    });
}

Handler setCookies(std::vector<std::string> setCookieValues, std::string body) {
    Response r(200, std::move(body));
    for (std::string& v : setCookieValues)
        r.headers.add("Set-Cookie", std::move(v));
    return respondWith(std::move(r));
}

Handler keepAlive(std::string keepAliveValue, std::string body) {
    return respondWith(Response(200, std::move(body))
                           .header("Connection", "keep-alive")
                           .header("Keep-Alive", std::move(keepAliveValue)));
}

Handler connectionClose(std::string body) {
    return respondWith(Response(200, std::move(body)).header("Connection", "close"));
}

Handler http10(std::string body, bool keepAlive) {
    Response r(200, std::move(body));
    r.version = "HTTP/1.0";
    if (keepAlive) r.headers.add("Connection", "keep-alive");
    return respondWith(std::move(r));
}

Handler closeAfterResponse(std::string body) {
    Response r(200, std::move(body));
    r.after = Response::After::Close;
    return respondWith(std::move(r));
}

Handler firstOnly(Handler inner) {
    bool readsBody = inner.readsBody;
    return Handler(
        [inner = std::move(inner)](Exchange& x) {
            if (x.request().indexOnConnection == 0) return inner.run(x);
            x.close();
        },
        readsBody);
}

Handler silence() {
    return Handler([](Exchange& x) {
        x.waitForPeerClose();
        x.close();
    });
}

Handler held(std::shared_ptr<Gate> gate, Handler then) {
    bool readsBody = then.readsBody;
    return Handler(
        [gate = std::move(gate), then = std::move(then)](Exchange& x) {
            if (!x.wait(*gate)) return x.close();
            then.run(x);
        },
        readsBody);
}

Handler slowRead(std::shared_ptr<Gate> ticks, std::size_t bytesPerTick, Handler then) {
    return Handler(
        [ticks = std::move(ticks), bytesPerTick, then = std::move(then)](Exchange& x) {
            while (!x.bodyComplete()) {
                if (!x.wait(*ticks)) return x.close();
                if (x.readBodySome(bytesPerTick).empty() && !x.bodyComplete()) return x.close();
            }
            if (then) return then.run(x);
            x.respond(Response(200, std::to_string(x.request().body.size())));
        },
        true);
}

Handler basicAuth(std::string user, std::string password, std::string realm, Handler inner,
                  bool proxy) {
    bool readsBody = inner.readsBody;
    std::string expected = "Basic " + base64(user + ":" + password);
    return Handler(
        [=, inner = std::move(inner)](Exchange& x) {
            if (x.request().header(proxy ? "Proxy-Authorization" : "Authorization") == expected)
                return inner.run(x);
            x.respond(Response(proxy ? 407 : 401, "authentication required\n")
                          .header(proxy ? "Proxy-Authenticate" : "WWW-Authenticate",
                                  "Basic realm=\"" + realm + "\""));
        },
        readsBody);
}

Handler digestAuth(std::string user, std::string password, std::string realm, Handler inner,
                   bool proxy) {
    static std::atomic<unsigned> counter{0};
    bool readsBody = inner.readsBody;
    std::string nonce = md5Hex("nonce:" + realm + ":" + std::to_string(counter++));
    std::string opaque = md5Hex("opaque:" + nonce);
    return Handler(
        [=, inner = std::move(inner)](Exchange& x) {
            const Request& r = x.request();
            std::string field = r.header(proxy ? "Proxy-Authorization" : "Authorization");
            if (field.rfind("Digest ", 0) == 0) {
                auto p = authParams(std::string_view(field).substr(7));
                std::string ha1 = md5Hex(user + ":" + realm + ":" + password);
                std::string ha2 = md5Hex(r.method + ":" + p["uri"]);
                std::string expected = p.count("qop")
                                           ? md5Hex(ha1 + ":" + nonce + ":" + p["nc"] + ":" +
                                                    p["cnonce"] + ":" + p["qop"] + ":" + ha2)
                                           : md5Hex(ha1 + ":" + nonce + ":" + ha2);
                if (p["username"] == user && p["realm"] == realm && p["nonce"] == nonce &&
                    p["uri"] == r.target && p["response"] == expected)
                    return inner.run(x);
            }
            x.respond(Response(proxy ? 407 : 401, "authentication required\n")
                          .header(proxy ? "Proxy-Authenticate" : "WWW-Authenticate",
                                  "Digest realm=\"" + realm + "\", qop=\"auth\", nonce=\"" + nonce +
                                      "\", opaque=\"" + opaque + "\", algorithm=MD5"));
        },
        readsBody);
}

}  // namespace testhttp
