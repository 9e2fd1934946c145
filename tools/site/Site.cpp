#include "tools/site/Site.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

#include "tools/site/Hash.h"
#include "tools/site/Html.h"
#include "tools/site/SiteInternal.h"

namespace bnsite {

namespace {

std::vector<std::string> pathSegments(const std::string& path) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < path.size()) {
        size_t slash = path.find('/', at);
        std::string part =
            path.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        if (!part.empty()) out.push_back(part);
        if (slash == std::string::npos) break;
        at = slash + 1;
    }
    return out;
}

bool allDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// "<digits>.html" -> the number.
std::optional<std::uint64_t> numberedPage(std::string_view segment, std::string_view prefix) {
    if (segment.substr(0, prefix.size()) != prefix) return std::nullopt;
    segment.remove_prefix(prefix.size());
    if (segment.size() < 6 || segment.substr(segment.size() - 5) != ".html") return std::nullopt;
    segment.remove_suffix(5);
    if (!allDigits(segment) || segment.size() > 10) return std::nullopt;
    return std::strtoull(std::string(segment).c_str(), nullptr, 10);
}

StandInOptions serverOptions(const SiteOptions& site) {
    StandInOptions o;
    o.port = site.port;
    o.tls = site.tls;
    o.certificateFolder = site.certificateFolder;
    o.log = site.log;
    if (site.received)
        o.received = [received = site.received](const HttpRequest& r, const Fault*) {
            received(r);
        };
    o.headSeconds = site.headSeconds;
    o.headGate = site.headGate;
    o.limits = site.limits;
    o.adminHost = kAdminHost;
    o.faultPage = [](int status) {
        return errorPage(status, {"The site is not able to answer right now."},
                         "temporarily unavailable");
    };
    return o;
}

}  // namespace

// ---- names ------------------------------------------------------------------------------------

std::string cityRoot(std::string_view code) {
    return "http://" + cityHost(code);
}

std::string cityHost(std::string_view code, bool english) {
    std::string out(code);
    if (english) out += ".en";
    out += ".";
    out += kSiteDomain;
    return out;
}

std::string captchaChallengeUrl(bool formerBase) {
    std::string out = "http://";
    if (formerBase) {
        out += kCaptchaFormerHost;
        out += "/noscript?k=";
    } else {
        out += kCaptchaHost;
        out += kCaptchaApiPath;
        out += "noscript?k=";
    }
    out += kCaptchaSiteKey;
    return out;
}

std::string hostsOverrideFor(int port) {
    std::string target = "=127.0.0.1:" + std::to_string(port);
    std::string out = std::string(kSiteDomain) + target;
    out += ",*." + std::string(kSiteDomain) + target;
    out += ",*.captchaservice.test" + target;
    out += ",*.pagesimplifier.test" + target;
    out += "," + std::string(kPosterSiteHost) + target;
    return out;
}

// ---- the site ---------------------------------------------------------------------------------

SiteImpl::SiteImpl(SiteOptions o)
    : options(std::move(o)),
      tokenSeed(options.tokenSalt ? hashOf({options.seed, options.tokenSalt}) : options.seed),
      catalog(Catalog::shared()),
      listings(options.seed, catalog, options.contentEpochUnix),
      captcha(tokenSeed),
      server(serverOptions(options),
             [this](const HttpRequest& request) { return route(request); }) {}

void SiteImpl::resetState() {
    // No request sent before lands in what is forgotten, and none sent after is forgotten.
    server.beginGeneration([this] { forgetState(); });
}

void SiteImpl::forgetState() {
    captcha.reset();
    accounts.reset();
    posting.reset();
    listings.forgetPosted();
    std::lock_guard<std::mutex> g(stateLock);
    mails.clear();
    pendingListings.clear();
    pendingOrder.clear();
    pendingBytes = 0;
    postingBounds = {};
    listings.setBounds(postingBounds);
    uploads.clear();
    uploadedPhotos.clear();
    nextPostingPage.clear();
}

void SiteImpl::sendMail(SentMail mail) {
    mails.push_back(std::move(mail));
    while (mails.size() > std::max<std::size_t>(postingBounds.count, 1))
        mails.pop_front();
}

void SiteImpl::holdPosting(const std::string& token, Listing listing,
                           std::vector<std::string>& droppedPhotos) {
    pendingBytes += textBytes(listing);
    pendingListings[token] = std::move(listing);
    pendingOrder.push_back(token);
    while (pendingOrder.size() > 1 &&
           (pendingOrder.size() > postingBounds.count || pendingBytes > postingBounds.bytes)) {
        auto oldest = pendingListings.find(pendingOrder.front());
        pendingOrder.pop_front();
        pendingBytes -= textBytes(oldest->second);
        droppedPhotos.insert(droppedPhotos.end(), oldest->second.uploadedImages.begin(),
                             oldest->second.uploadedImages.end());
        pendingListings.erase(oldest);
    }
}

std::optional<Listing> SiteImpl::takeHeldPosting(const std::string& token) {
    auto it = pendingListings.find(token);
    if (it == pendingListings.end()) return std::nullopt;
    Listing listing = std::move(it->second);
    pendingListings.erase(it);
    pendingOrder.erase(std::find(pendingOrder.begin(), pendingOrder.end(), token));
    pendingBytes -= textBytes(listing);
    return listing;
}

std::string SiteImpl::newToken(const std::string& kind, std::size_t length) {
    std::uint64_t n;
    {
        std::lock_guard<std::mutex> g(stateLock);
        n = tokenCounters[kind]++;
    }
    return hashToken(hashOf({tokenSeed, hashText(kind), n}), length);
}

HttpResponse SiteImpl::route(const HttpRequest& request) {
    const std::string& host = request.host;
    if (host.empty()) return errorPage(400, {"The request names no host."});
    if (host == kAdminHost) return adminHost(request);
    if (host == kSiteDomain || host == kMainHost) return mainHost(request);
    if (host == kAccountHost || host == kPostingHost) {
        if (!request.tls) {
            if (request.method == "GET" || request.method == "HEAD")
                return HttpResponse::redirect("https://" + host + request.target, 301);
            return errorPage(403, {"This page must be reached over a secure connection."});
        }
        return host == kAccountHost ? accounts.handle(*this, request)
                                    : posting.handle(*this, request);
    }
    if (host == kImageHost) return imageHost(request);
    if (host == kCaptchaHost || host == kCaptchaFormerHost) return captcha.handle(*this, request);
    if (host == kSimplifierHost) return simplifierHost(request);
    if (host == kForumsHost) return forumsHost(request);
    if (host == kPosterSiteHost) return posterSitePage(request);
    if (host == "127.0.0.1" || host == "localhost") {
        std::string body =
            "<h2>bazaarnest stand-in site</h2>\n<div>Reach it by its names: set "
            "BAZAARNEST_HOSTS=" +
            escapeHtml(hostsOverrideFor(server.port())) +
            "</div>\n<div><a href=\"http://www.bazaarnest.test/about/sites\">"
            "<span>location index</span></a></div>\n";
        return HttpResponse::html(pageFrame("bazaarnest stand-in", "help", body));
    }
    std::string suffix = "." + std::string(kSiteDomain);
    if (host.size() > suffix.size() &&
        host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0) {
        std::string label = host.substr(0, host.size() - suffix.size());
        bool english = false;
        if (label.size() > 3 && label.compare(label.size() - 3, 3, ".en") == 0) {
            english = true;
            label.resize(label.size() - 3);
        }
        int metro = catalog.metroIndex(label);
        if (metro >= 0) return cityHost(request, metro, english);
        return errorPage(404, {"There is no bazaarnest site by that name."}, "no such site");
    }
    return errorPage(421, {"This server does not answer for that host."}, "unknown host");
}

HttpResponse SiteImpl::mainHost(const HttpRequest& request) {
    if (request.method != "GET" && request.method != "HEAD")
        return errorPage(405, {"Only pages can be read here."});
    if (request.path == "/" || request.path == "/index.html") return frontPage(*this);
    if (request.path == "/about/sites" || request.path == "/about/sites/")
        return locationIndexPage(*this);
    if (request.path == "/about/help/replying") return replyingHelpPage();
    return errorPage(404, {"Page not found."}, "not found");
}

HttpResponse SiteImpl::forumsHost(const HttpRequest& request) {
    if (request.method != "GET" && request.method != "HEAD")
        return errorPage(405, {"Only pages can be read here."});
    if (request.path != "/") return errorPage(404, {"Page not found."}, "not found");
    const auto& names = catalog.forumNames;
    std::string id = fieldValue(parseQuery(request.query), "forumID");
    std::string body =
        "<div id=\"header\"><a href=\"http://www.bazaarnest.test/\"><b>bazaarnest"
        "</b></a> &gt; <a href=\"/\"><span>forums</span></a></div>\n";
    if (id.empty()) {
        body += "<h2>discussion forums</h2>\n<ul>\n";
        for (size_t i = 0; i < names.size(); ++i)
            body += "<li><a href=\"/?forumID=" + std::to_string(i + 1) + "\">" + names[i] +
                    "</a></li>\n";
        body += "</ul>\n";
        return HttpResponse::html(pageFrame("bazaarnest: discussion forums", "forums", body));
    }
    std::size_t n = allDigits(id) && id.size() <= 3 ? std::stoul(id) : 0;
    if (n == 0 || n > names.size()) return errorPage(404, {"There is no such forum."}, "not found");
    body += "<h2>" + names[n - 1] + " forum</h2>\n<div>No posts yet.</div>\n";
    return HttpResponse::html(pageFrame("bazaarnest: " + names[n - 1] + " forum", "forums", body));
}

HttpResponse SiteImpl::cityHost(const HttpRequest& request, int metro, bool english) {
    const Metro& m = catalog.metros[static_cast<size_t>(metro)];
    std::vector<std::string> parts = pathSegments(request.path);
    FormFields query = parseQuery(request.query);
    bool read = request.method == "GET" || request.method == "HEAD";

    // The reply pages and their two forms.
    if (!parts.empty() && parts[0] == "reply" && parts.size() >= 2 && allDigits(parts[1]) &&
        parts[1].size() <= 10) {
        auto id = static_cast<std::uint32_t>(std::strtoull(parts[1].c_str(), nullptr, 10));
        if (parts.size() == 2 && read) return replyPage(*this, metro, id);
        if (parts.size() == 3 && request.method == "POST" && parts[2] == "email")
            return replyEmailPost(*this, request, metro, id);
        if (parts.size() == 3 && request.method == "POST" && parts[2] == "send")
            return replySendPost(*this, request, metro, id);
        return errorPage(405, {"That is not how this page is used."});
    }
    if (!read) return errorPage(405, {"Only pages can be read here."});

    // Older and indirect category links lead to the category's own path.
    // Only the letters and digits of the key go into the Location field.
    std::string code;
    for (char c : fieldValue(query, "category")) {
        if (!std::isalnum(static_cast<unsigned char>(c))) break;
        code += c;
    }
    if (parts.size() == 2 && parts[0] == "i") {
        if (parts[1] == "autos") return HttpResponse::redirect("/cta/");
        if (parts[1] == "apartments") return HttpResponse::redirect("/aap/");
        if (!code.empty()) return HttpResponse::redirect("/" + code + "/");
    }
    if (parts.size() == 2 && parts[0] == "cgi-bin") {
        if (parts[1] == "apartments.cgi") return HttpResponse::redirect("/aap/");
        if (!code.empty()) return HttpResponse::redirect("/" + code + "/");
    }

    if (!parts.empty() && parts[0] == "search") {
        std::string category = parts.size() >= 2 ? parts[1] : fieldValue(query, "catAbb");
        int subArea = -1;
        if (parts.size() >= 3) {
            subArea = m.subAreaIndex(parts[2]);
            if (subArea < 0)
                return errorPage(404, {"There is no such area in this city."}, "not found");
        }
        if (parts.size() > 3) return errorPage(404, {"Page not found."}, "not found");
        auto offset =
            static_cast<std::size_t>(std::strtoull(fieldValue(query, "s").c_str(), nullptr, 10));
        return resultPage(*this, request, metro, subArea, category, true, offset);
    }

    size_t at = 0;
    int subArea = -1;
    if (!parts.empty() && m.subAreaIndex(parts[0]) >= 0) {
        subArea = m.subAreaIndex(parts[0]);
        at = 1;
    }
    if (at == parts.size()) return cityHomePage(*this, metro, subArea, english);
    CategorySelector selector;
    if (!catalog.select(parts[at], &selector))
        return errorPage(404, {"Page not found."}, "not found");
    if (at + 1 == parts.size())
        return resultPage(*this, request, metro, subArea, parts[at], false, 0);
    if (at + 2 == parts.size()) {
        if (auto offset = numberedPage(parts[at + 1], "index"))
            return resultPage(*this, request, metro, subArea, parts[at], false,
                              static_cast<std::size_t>(*offset));
        if (auto id = numberedPage(parts[at + 1], ""); id && *id <= 0xFFFFFFFFull)
            return listingPage(*this, metro, static_cast<std::uint32_t>(*id));
    }
    return errorPage(404, {"Page not found."}, "not found");
}

HttpResponse SiteImpl::imageHost(const HttpRequest& request) {
    if (request.method != "GET" && request.method != "HEAD")
        return errorPage(405, {"Only images can be read here."});
    std::vector<std::string> parts = pathSegments(request.path);
    if (parts.size() == 2 && parts[0] == "u") {
        std::string key = parts[1];
        size_t dot = key.rfind('.');
        if (dot != std::string::npos) key.resize(dot);
        std::lock_guard<std::mutex> g(stateLock);
        auto it = uploads.find(key);
        if (it == uploads.end()) return errorPage(404, {"No such image."}, "not found");
        bool png = it->second.size() > 4 && it->second[1] == 'P' && it->second[2] == 'N';
        return HttpResponse::binary(it->second, png ? "image/png" : "image/jpeg");
    }
    bool thumb = parts.size() == 2 && parts[0] == "thumb";
    if (parts.size() != 1 && !thumb) return errorPage(404, {"No such image."}, "not found");
    std::string name = parts.back();
    size_t underscore = name.find('_');
    size_t dot = name.rfind('.');
    if (underscore == std::string::npos || dot == std::string::npos || dot < underscore)
        return errorPage(404, {"No such image."}, "not found");
    std::string idText = name.substr(0, underscore);
    std::string numberText = name.substr(underscore + 1, dot - underscore - 1);
    std::string extension = name.substr(dot + 1);
    if (!allDigits(idText) || idText.size() > 10 || !allDigits(numberText) || numberText.size() > 2)
        return errorPage(404, {"No such image."}, "not found");
    auto id = static_cast<std::uint32_t>(std::strtoull(idText.c_str(), nullptr, 10));
    int number = std::atoi(numberText.c_str());
    auto listing = listings.byId(id);
    if (!listing || number < 1 || number > listing->images)
        return errorPage(404, {"No such image."}, "not found");
    bool png = extension == "png";
    if (!thumb && png != listing->pngImages) return errorPage(404, {"No such image."}, "not found");
    if (thumb && extension != "jpg") return errorPage(404, {"No such image."}, "not found");
    RgbImage image = listingPhoto(options.seed, id, number, thumb ? 50 : 200, thumb ? 50 : 150);
    if (png) return HttpResponse::binary(encodePng(image), "image/png");
    return HttpResponse::binary(encodeJpeg(image, thumb ? 60 : 70), "image/jpeg");
}

// ---- Site -------------------------------------------------------------------------------------

Site::Site(SiteOptions options) : impl_(std::make_unique<SiteImpl>(std::move(options))) {}

Site::~Site() {
    stop();
}

StandInServer& Site::server() const {
    return impl_->server;
}

std::string Site::hostsOverride() const {
    return hostsOverrideFor(port());
}

std::optional<std::string> Site::captchaAnswer(const std::string& challenge) const {
    return impl_->captcha.answerFor(challenge);
}

std::optional<std::string> Site::lastCaptchaAnswer() const {
    return impl_->captcha.lastAnswer();
}

std::string Site::issueVerificationCode() {
    return impl_->captcha.issueCode();
}

std::vector<SentMail> Site::sentMails() const {
    std::lock_guard<std::mutex> g(impl_->stateLock);
    return {impl_->mails.begin(), impl_->mails.end()};
}

std::vector<UploadedPhoto> Site::uploadedPhotos() const {
    std::lock_guard<std::mutex> g(impl_->stateLock);
    return impl_->uploadedPhotos;
}

StoreSizes Site::storeSizes() const {
    StoreSizes sizes;
    impl_->accounts.countInto(sizes);
    impl_->captcha.countInto(sizes);
    impl_->posting.countInto(sizes);
    std::tie(sizes.publishedPostings, sizes.publishedBytes) = impl_->listings.postedSizes();
    std::lock_guard<std::mutex> g(impl_->stateLock);
    sizes.heldPostings = impl_->pendingListings.size();
    sizes.heldBytes = impl_->pendingBytes;
    sizes.mails = impl_->mails.size();
    return sizes;
}

void Site::setPostingBounds(PostingBounds bounds) {
    std::lock_guard<std::mutex> g(impl_->stateLock);
    impl_->postingBounds = bounds;
    impl_->listings.setBounds(bounds);
}

void Site::setNextPostingPage(const std::string& page) {
    std::lock_guard<std::mutex> g(impl_->stateLock);
    impl_->nextPostingPage = page;
}

void Site::reset() {
    impl_->resetState();
}

const Catalog& Site::catalog() const {
    return impl_->catalog;
}

ListingStore& Site::listings() {
    return impl_->listings;
}

std::uint64_t Site::seed() const {
    return impl_->options.seed;
}

HttpResponse Site::handle(HttpRequest request) {
    completeFromTarget(request);
    return impl_->route(request);
}

}  // namespace bnsite
