#include "Foundation/NSHTTPCookie.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"

NSString* const NSHTTPCookieName = NS("Name");
NSString* const NSHTTPCookieValue = NS("Value");
NSString* const NSHTTPCookieOriginURL = NS("OriginURL");
NSString* const NSHTTPCookieVersion = NS("Version");
NSString* const NSHTTPCookieDomain = NS("Domain");
NSString* const NSHTTPCookiePath = NS("Path");
NSString* const NSHTTPCookieSecure = NS("Secure");
NSString* const NSHTTPCookieExpires = NS("Expires");
NSString* const NSHTTPCookieComment = NS("Comment");
NSString* const NSHTTPCookieCommentURL = NS("CommentURL");
NSString* const NSHTTPCookieDiscard = NS("Discard");
NSString* const NSHTTPCookieMaximumAge = NS("Max-Age");
NSString* const NSHTTPCookiePort = NS("Port");
NSString* const NSHTTPCookieHTTPOnly = NS("HttpOnly");

namespace {

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Whether a header's name is "Set-Cookie" in any case. Only ASCII letters fold: a name with any
// other character differs, whatever it folds to elsewhere.
bool isSetCookieName(NSString* name) {
    static constexpr std::string_view wanted = "set-cookie";
    if (name->length() != wanted.size()) return false;
    const char16_t* units = name->charactersPtr();
    for (size_t i = 0; i < wanted.size(); ++i) {
        char16_t c = units ? units[i] : name->characterAtIndex(static_cast<NSUInteger>(i));
        if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + ('a' - 'A'));
        if (c != static_cast<unsigned char>(wanted[i])) return false;
    }
    return true;
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool isDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    unsigned yoe = static_cast<unsigned>(y - era * 400);
    unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

// The cookie date algorithm of RFC 6265 (5.1.1), which reads the forms servers send:
// "Wed, 09 Jun 2021 10:18:14 GMT", "Wednesday, 09-Jun-21 10:18:14 GMT",
// "Wed Jun  9 10:18:14 2021". Returns clock seconds, or false when it is no date.
bool parseCookieDate(const std::string& text, NSTimeInterval& out) {
    static const char* const months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                         "jul", "aug", "sep", "oct", "nov", "dec"};
    auto delimiter = [](unsigned char c) {
        return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) ||
               (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7E);
    };
    std::vector<std::string> tokens;
    std::string cur;
    for (unsigned char c : text) {
        if (delimiter(c)) {
            if (!cur.empty()) tokens.push_back(cur);
            cur.clear();
        } else {
            cur += static_cast<char>(c);
        }
    }
    if (!cur.empty()) tokens.push_back(cur);
    bool haveTime = false, haveDay = false, haveMonth = false, haveYear = false;
    int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
    for (const std::string& t : tokens) {
        int h, mi, s;
        char tail;
        if (!haveTime && std::sscanf(t.c_str(), "%2d:%2d:%2d%c", &h, &mi, &s, &tail) >= 3) {
            haveTime = true;
            hour = h, minute = mi, second = s;
            continue;
        }
        size_t digits = 0;
        while (digits < t.size() && std::isdigit(static_cast<unsigned char>(t[digits])))
            ++digits;
        if (!haveDay && digits >= 1 && digits <= 2) {
            haveDay = true;
            day = std::stoi(t.substr(0, digits));
            continue;
        }
        if (!haveMonth && t.size() >= 3) {
            std::string m = lower(t.substr(0, 3));
            auto it = std::find_if(std::begin(months), std::end(months),
                                   [&](const char* x) { return m == x; });
            if (it != std::end(months)) {
                haveMonth = true;
                month = static_cast<int>(it - std::begin(months)) + 1;
                continue;
            }
        }
        if (!haveYear && digits >= 2 && digits <= 4) {
            haveYear = true;
            year = std::stoi(t.substr(0, digits));
            continue;
        }
    }
    if (!haveTime || !haveDay || !haveMonth || !haveYear) return false;
    if (year >= 70 && year <= 99) year += 1900;
    if (year >= 0 && year <= 69) year += 2000;
    if (day < 1 || day > 31 || year < 1601 || hour > 23 || minute > 59 || second > 59) return false;
    long long days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    double unixSeconds = static_cast<double>(days) * 86400.0 + hour * 3600 + minute * 60 + second;
    out = unixSeconds - NSTimeIntervalSince1970;
    return true;
}

// A property value as text (strings as they are, numbers by their description).
Ref<NSString> textOf(NSObject* o) {
    if (!o || is<NSNull>(o)) return nullptr;
    if (auto s = as<NSString>(o)) return s;
    if (auto u = as<NSURL>(o)) return u->absoluteString();
    return o->description();
}

bool truthOf(NSObject* o) {
    if (!o || is<NSNull>(o)) return false;
    if (auto n = as<NSNumber>(o)) return n->boolValue();
    if (auto s = as<NSString>(o)) {
        std::string v = lower(trim(s->utf8()));
        return v.empty() || v == "true" || v == "yes" || (isDigits(v) && v != "0") ||
               v == "secure" || v == "httponly";
    }
    return true;
}

// The default path of RFC 6265: the request path up to its last "/", or "/".
std::string defaultPath(NSURL* url) {
    std::string path = url ? NSURL::parse(url->absoluteString()->utf8()).path : "";
    if (path.empty() || path[0] != '/') return "/";
    size_t last = path.rfind('/');
    return last == 0 ? "/" : path.substr(0, last);
}

// The request path as written in the URL, "/" when empty.
std::string requestPath(NSURL* url) {
    std::string path = NSURL::parse(url->absoluteString()->utf8()).path;
    return path.empty() ? "/" : path;
}

// Splits a "Set-Cookie" value that may hold several cookies joined with ", ". A comma starts a
// new cookie only when what follows it, up to the next ";" or ",", holds a "=" (a "name="),
// so the comma of "Expires=Wed, 09 Jun 2021 ..." stays inside its cookie.
std::vector<std::string> splitSetCookie(const std::string& value) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != ',') continue;
        size_t end = value.find_first_of(";,", i + 1);
        std::string next =
            value.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
        if (next.find('=') == std::string::npos) continue;
        out.push_back(value.substr(start, i - start));
        start = i + 1;
    }
    out.push_back(value.substr(start));
    return out;
}

}  // namespace

Ref<NSHTTPCookie> NSHTTPCookie::cookieWithProperties(NSDictionary* properties) {
    return make<NSHTTPCookie>(&NSHTTPCookie::initWithProperties, properties);
}

bool NSHTTPCookie::initWithProperties(NSDictionary* properties) {
    if (!properties) return false;
    Ref<NSString> name = textOf(properties->objectForKey(NSHTTPCookieName));
    Ref<NSString> value = textOf(properties->objectForKey(NSHTTPCookieValue));
    if (!name || name->length() == 0 || !value) return false;
    Ref<NSObject> origin = properties->objectForKey(NSHTTPCookieOriginURL);
    Ref<NSURL> originURL = as<NSURL>(origin);
    if (!originURL) {
        if (auto s = as<NSString>(origin)) originURL = NSURL::URLWithString(s);
    }
    Ref<NSString> domain = textOf(properties->objectForKey(NSHTTPCookieDomain));
    if ((!domain || domain->length() == 0) && originURL) domain = originURL->host();
    if (!domain || domain->length() == 0) return false;
    Ref<NSString> path = textOf(properties->objectForKey(NSHTTPCookiePath));
    if (!path || path->length() == 0)
        path = NSString::fromUTF8(originURL ? defaultPath(originURL) : "/");

    name_ = name;
    value_ = value;
    domain_ = domain->lowercaseString();
    path_ = path;
    secure_ = truthOf(properties->objectForKey(NSHTTPCookieSecure));
    httpOnly_ = truthOf(properties->objectForKey(NSHTTPCookieHTTPOnly));
    discard_ = truthOf(properties->objectForKey(NSHTTPCookieDiscard));
    comment_ = textOf(properties->objectForKey(NSHTTPCookieComment));
    if (auto c = properties->objectForKey(NSHTTPCookieCommentURL)) {
        commentURL_ = as<NSURL>(c);
        if (!commentURL_) {
            if (auto s = as<NSString>(c)) commentURL_ = NSURL::URLWithString(s);
        }
    }
    if (auto v = textOf(properties->objectForKey(NSHTTPCookieVersion)))
        version_ = static_cast<NSUInteger>(std::max(0, v->intValue()));

    // Max-Age wins over Expires; a zero or negative age means "already expired".
    Ref<NSObject> maxAge = properties->objectForKey(NSHTTPCookieMaximumAge);
    Ref<NSString> maxAgeText = textOf(maxAge);
    std::string age = maxAgeText ? trim(maxAgeText->utf8()) : "";
    bool negative = !age.empty() && age[0] == '-';
    if (isDigits(negative ? age.substr(1) : age)) {
        double seconds = negative ? -1.0 : std::stod(age);
        expires_ = NSDate::dateWithTimeIntervalSinceReferenceDate(Clock::now() +
                                                                  (seconds <= 0 ? -1.0 : seconds));
    } else if (Ref<NSObject> e = properties->objectForKey(NSHTTPCookieExpires)) {
        if (auto d = as<NSDate>(e)) {
            expires_ = d;
        } else if (auto s = as<NSString>(e)) {
            NSTimeInterval t;
            if (parseCookieDate(s->utf8(), t))
                expires_ = NSDate::dateWithTimeIntervalSinceReferenceDate(t);
        }
    }
    Ref<NSString> portText = textOf(properties->objectForKey(NSHTTPCookiePort));
    if (NSString* ports = portText) {
        auto list = NSMutableArray::array();
        std::string text = ports->utf8();
        size_t start = 0;
        while (start <= text.size()) {
            size_t comma = text.find(',', start);
            std::string p = trim(
                text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (isDigits(p)) list->addObject(NSNumber::numberWithInt(std::stoi(p)));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        if (list->count()) ports_ = list->copy();
    }

    // The properties as the platform reports them: texts, with the expiry as a date.
    auto props = NSMutableDictionary::dictionary();
    props->setObject(name_, NSHTTPCookieName);
    props->setObject(value_, NSHTTPCookieValue);
    props->setObject(domain_, NSHTTPCookieDomain);
    props->setObject(path_, NSHTTPCookiePath);
    props->setObject(NSString::stringWithFormat(NS("%u"), version_), NSHTTPCookieVersion);
    if (expires_) props->setObject(expires_, NSHTTPCookieExpires);
    if (secure_) props->setObject(NS("TRUE"), NSHTTPCookieSecure);
    if (httpOnly_) props->setObject(NS("TRUE"), NSHTTPCookieHTTPOnly);
    if (discard_) props->setObject(NS("TRUE"), NSHTTPCookieDiscard);
    if (comment_) props->setObject(comment_, NSHTTPCookieComment);
    if (commentURL_) props->setObject(commentURL_->absoluteString(), NSHTTPCookieCommentURL);
    if (ports_) props->setObject(portText, NSHTTPCookiePort);
    properties_ = props->copy();
    return true;
}

Ref<NSArray> NSHTTPCookie::cookiesWithResponseHeaderFields(NSDictionary* headerFields, NSURL* url) {
    auto out = NSMutableArray::array();
    if (!headerFields || !url) return out->copy();
    Ref<NSURL> absolute = url->absoluteURL();
    Ref<NSString> host = absolute->host();
    if (!host || host->length() == 0) return out->copy();
    for (NSObject* key : *headerFields) {
        auto name = as<NSString>(key);
        if (!name || !isSetCookieName(name)) continue;
        auto value = as<NSString>(headerFields->objectForKey(key));
        if (!value) continue;
        for (const std::string& one : splitSetCookie(value->utf8())) {
            // name=value; attribute[=value]; ...
            std::vector<std::string> parts;
            size_t start = 0;
            while (start <= one.size()) {
                size_t semi = one.find(';', start);
                parts.push_back(one.substr(
                    start, semi == std::string::npos ? std::string::npos : semi - start));
                if (semi == std::string::npos) break;
                start = semi + 1;
            }
            std::string pair = trim(parts[0]);
            size_t eq = pair.find('=');
            if (eq == std::string::npos) continue;
            std::string cookieName = trim(pair.substr(0, eq));
            std::string cookieValue = trim(pair.substr(eq + 1));
            if (cookieName.empty()) continue;
            auto props = NSMutableDictionary::dictionary();
            props->setObject(NSString::fromUTF8(cookieName), NSHTTPCookieName);
            props->setObject(NSString::fromUTF8(cookieValue), NSHTTPCookieValue);
            props->setObject(absolute, NSHTTPCookieOriginURL);
            props->setObject(host->lowercaseString(), NSHTTPCookieDomain);
            props->setObject(NSString::fromUTF8(defaultPath(absolute)), NSHTTPCookiePath);
            for (size_t i = 1; i < parts.size(); ++i) {
                std::string attr = trim(parts[i]);
                size_t aeq = attr.find('=');
                std::string aname = lower(trim(attr.substr(0, aeq)));
                std::string avalue = aeq == std::string::npos ? "" : trim(attr.substr(aeq + 1));
                if (aname == "domain") {
                    while (!avalue.empty() && avalue[0] == '.')
                        avalue.erase(0, 1);
                    if (!avalue.empty())
                        props->setObject(NSString::fromUTF8("." + lower(avalue)),
                                         NSHTTPCookieDomain);
                } else if (aname == "path") {
                    if (!avalue.empty() && avalue[0] == '/')
                        props->setObject(NSString::fromUTF8(avalue), NSHTTPCookiePath);
                } else if (aname == "expires") {
                    props->setObject(NSString::fromUTF8(avalue), NSHTTPCookieExpires);
                } else if (aname == "max-age") {
                    props->setObject(NSString::fromUTF8(avalue), NSHTTPCookieMaximumAge);
                } else if (aname == "secure") {
                    props->setObject(NS("TRUE"), NSHTTPCookieSecure);
                } else if (aname == "httponly") {
                    props->setObject(NS("TRUE"), NSHTTPCookieHTTPOnly);
                } else if (aname == "version") {
                    props->setObject(NSString::fromUTF8(avalue), NSHTTPCookieVersion);
                } else if (aname == "comment") {
                    props->setObject(NSString::fromUTF8(avalue), NSHTTPCookieComment);
                } else if (aname == "commenturl") {
                    props->setObject(NSString::fromUTF8(avalue), NSHTTPCookieCommentURL);
                } else if (aname == "discard") {
                    props->setObject(NS("TRUE"), NSHTTPCookieDiscard);
                } else if (aname == "port") {
                    std::string p = avalue;
                    if (p.size() >= 2 && p.front() == '"' && p.back() == '"')
                        p = p.substr(1, p.size() - 2);
                    props->setObject(NSString::fromUTF8(p), NSHTTPCookiePort);
                }
            }
            if (auto cookie = cookieWithProperties(props)) out->addObject(cookie);
        }
    }
    return out->copy();
}

Ref<NSDictionary> NSHTTPCookie::requestHeaderFieldsWithCookies(NSArray* cookies) {
    if (!cookies || cookies->count() == 0) return NSDictionary::dictionary();
    std::string header;
    for (NSObject* o : *cookies) {
        auto c = as<NSHTTPCookie>(o);
        if (!c) continue;
        if (!header.empty()) header += "; ";
        header += c->name()->utf8() + "=" + c->value()->utf8();
    }
    if (header.empty()) return NSDictionary::dictionary();
    return NSDictionary::dictionaryWithObject(NSString::fromUTF8(header), NS("Cookie"));
}

Ref<NSDictionary> NSHTTPCookie::properties() {
    return properties_;
}

bool NSHTTPCookie::isSessionOnly() {
    return !expires_ || discard_;
}

bool NSHTTPCookie::isExpiredAt(NSTimeInterval now) {
    return expires_ && expires_->timeIntervalSinceReferenceDate() <= now;
}

bool NSHTTPCookie::domainMatchesHost(NSString* host) {
    if (!host) return false;
    std::string h = lower(host->utf8());
    std::string d = domain_->utf8();
    if (d.empty()) return false;
    if (d[0] != '.') return h == d;
    std::string bare = d.substr(1);
    return h == bare || (h.size() > d.size() && h.compare(h.size() - d.size(), d.size(), d) == 0);
}

bool NSHTTPCookie::matchesURL(NSURL* url) {
    if (!url) return false;
    Ref<NSURL> absolute = url->absoluteURL();
    if (!domainMatchesHost(absolute->host())) return false;
    std::string scheme = absolute->scheme() ? lower(absolute->scheme()->utf8()) : "";
    if (secure_ && scheme != "https") return false;
    // Path match (RFC 6265 5.1.4): equal, or a prefix ending at a "/".
    std::string cookiePath = path_->utf8();
    std::string path = requestPath(absolute);
    if (path == cookiePath) return true;
    if (path.compare(0, cookiePath.size(), cookiePath) != 0) return false;
    return cookiePath.back() == '/' || path[cookiePath.size()] == '/';
}

bool NSHTTPCookie::isEqual(NSObject* other) {
    auto c = dynamic_cast<NSHTTPCookie*>(other);
    if (!c) return false;
    return c == this || (name_->isEqualToString(c->name_) && path_->isEqualToString(c->path_) &&
                         domain_->caseInsensitiveCompare(c->domain_) == NSOrderedSame);
}

NSUInteger NSHTTPCookie::hash() {
    return name_->hash() ^ domain_->lowercaseString()->hash() ^ path_->hash();
}

Ref<NSString> NSHTTPCookie::description() {
    return NSString::stringWithFormat(
        NS("<NSHTTPCookie version:%u name:\"%@\" value:\"%@\" expiresDate:%@ sessionOnly:%d "
           "domain:\"%@\" path:\"%@\" isSecure:%d>"),
        version_, name_, value_, expires_ ? expires_->description() : Ref<NSString>(NS("(null)")),
        isSessionOnly() ? 1 : 0, domain_, path_, secure_ ? 1 : 0);
}
