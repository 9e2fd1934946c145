// The parts of the site behind Site: its shared state and the handlers of each host.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tools/site/Catalog.h"
#include "tools/site/Listings.h"
#include "tools/site/Site.h"
#include "tools/standin/RgbImage.h"
#include "tools/standin/StandInServer.h"

namespace bnsite {

struct SiteImpl;

// How many entries each store of recent ones keeps.
inline constexpr std::size_t kRecentKept = 4096;

// Entries by key in the order they came, at most `limit`: past it the oldest goes. What the
// site keeps for clients (captcha challenges and codes, browser cookies, logins) stays within
// a size, whatever a client asks for.
template <class Value>
class RecentMap {
public:
    explicit RecentMap(std::size_t limit) : limit_(limit) {}

    // A new key goes in as the newest; a known one takes the value where it stands.
    void put(const std::string& key, Value value) {
        auto [it, added] = entries_.insert_or_assign(key, std::move(value));
        if (!added) return;
        order_.push_back(key);
        if (order_.size() > limit_) {
            entries_.erase(order_.front());
            order_.pop_front();
        }
    }
    Value* find(const std::string& key) {
        auto it = entries_.find(key);
        return it == entries_.end() ? nullptr : &it->second;
    }
    const Value* find(const std::string& key) const {
        auto it = entries_.find(key);
        return it == entries_.end() ? nullptr : &it->second;
    }
    bool contains(const std::string& key) const { return entries_.count(key) > 0; }
    bool erase(const std::string& key) {
        if (entries_.erase(key) == 0) return false;
        order_.erase(std::find(order_.begin(), order_.end(), key));
        return true;
    }
    void clear() {
        entries_.clear();
        order_.clear();
    }
    std::size_t size() const { return entries_.size(); }

private:
    std::size_t limit_;
    std::map<std::string, Value> entries_;
    std::deque<std::string> order_;  // oldest first
};

// The captcha service: challenges (each with its two-word answer), the image, and the
// verification codes handed out for right answers, each accepted once by the site.
class CaptchaService {
public:
    explicit CaptchaService(std::uint64_t seed) : seed_(seed) {}
    HttpResponse handle(SiteImpl& site, const HttpRequest& request);

    std::string newChallenge();
    std::optional<std::string> answerFor(const std::string& challenge) const;
    // The answer of the challenge made last, nullopt before any.
    std::optional<std::string> lastAnswer() const;
    std::string issueCode();
    // True when the code was handed out and not used yet; it is used up either way.
    bool consumeCode(const std::string& code);
    void reset();
    void countInto(StoreSizes& sizes) const;

private:
    HttpResponse challengePage(const std::string& challenge, const std::string& notice);

    struct Challenge {
        std::string answer;
        bool open = true;  // not answered yet
    };

    std::uint64_t seed_;
    mutable std::mutex lock_;
    std::uint64_t challenges_ = 0;
    std::uint64_t codes_ = 0;
    // The latest challenges (their images can be fetched, the open ones answered) and the codes
    // not used yet.
    RecentMap<Challenge> challengesKept_{kRecentKept};
    RecentMap<bool> validCodes_{kRecentKept};
    std::string last_;
};

// The secure account service: the browser cookie, logins (with captcha answers), the account
// page and logout.
class AccountService {
public:
    HttpResponse handle(SiteImpl& site, const HttpRequest& request);
    // The account e-mail of a request's session cookie, "" when not logged in.
    std::string accountOf(const HttpRequest& request) const;
    bool acceptedTerms(const std::string& account) const;
    void acceptTerms(const std::string& account);
    // Keeps the account's newest `kept` postings.
    void recordPosting(const std::string& account, std::uint32_t id, std::string title,
                       std::string url, std::size_t kept);
    void reset();
    void countInto(StoreSizes& sizes) const;

private:
    HttpResponse loginPage(SiteImpl& site, const std::vector<std::string>& errors, bool captcha,
                           const std::string& name, int status = 200);
    // Lists the account's postings that the listing store still keeps.
    HttpResponse accountPage(SiteImpl& site, const std::string& account);

    struct Posted {
        std::uint32_t id;
        std::string title, url;
    };

    mutable std::mutex lock_;
    RecentMap<bool> browsers_{kRecentKept};
    RecentMap<std::string> sessions_{kRecentKept};  // token -> account
    std::map<std::string, int> failures_;           // account e-mail -> failures in a row
    std::set<std::string> termsAccepted_;
    std::map<std::string, std::vector<Posted>> postings_;
};

// The secure posting pages: one session per posting, walked step by step. Sessions are kept up
// to a count, and the photos of postings not made yet up to a size: past either, the sessions
// idle longest go, with their photos.
class PostingService {
public:
    HttpResponse handle(SiteImpl& site, const HttpRequest& request);
    void reset();

    struct Session;

    enum class Kept { Yes, SessionGone, NoRoom };
    // Keeps a photo (`bytes`, `width` x `height` pixels) under `key` for the session's posting,
    // unless the session has gone or the photos kept would pass their bound. May drop the oldest
    // other sessions to keep the photos of postings not made within theirs.
    Kept keepPhoto(SiteImpl& site, Session& session, const std::string& key,
                   const std::string& bytes, int width, int height);
    // The session's posting is made: its photos now belong to the listing and stay.
    void postingMade(Session& session);
    // The photos of postings that went to make room for newer ones go too.
    void forgetPhotos(SiteImpl& site, const std::vector<std::string>& keys);
    void countInto(StoreSizes& sizes) const;

private:
    // A new session on the metro's site, answered with its first page.
    HttpResponse startSession(SiteImpl& site, const std::string& metroCode);
    std::shared_ptr<Session> sessionFor(const std::string& token);
    // Drops the session idle longest other than `keep`, with its photos unless its posting was
    // made. Under lock_.
    bool dropOldest(SiteImpl& site, const Session* keep);

    mutable std::mutex lock_;
    std::map<std::string, std::shared_ptr<Session>> sessions_;
    std::uint64_t uses_ = 0;     // counts the sessions' starts and requests
    std::size_t heldBytes_ = 0;  // photos of the sessions whose postings are not made
    std::size_t keptBytes_ = 0;  // every photo in the site's uploads
};

struct SiteImpl {
    explicit SiteImpl(SiteOptions o);

    SiteOptions options;
    // The seed of tokens: the content seed, with the salt mixed in when there is one.
    std::uint64_t tokenSeed;
    const Catalog& catalog;
    ListingStore listings;
    CaptchaService captcha;
    AccountService accounts;
    PostingService posting;
    // The loopback server with the faults and gates (faults() for short).
    StandInServer server;

    std::mutex stateLock;
    // The mails sent, oldest first, up to the postings' count.
    std::deque<SentMail> mails;
    // The postings made without an account, until the link mailed for each is followed: within
    // the postings' bounds, the oldest going.
    std::map<std::string, Listing> pendingListings;  // publication token -> posting
    std::deque<std::string> pendingOrder;            // oldest first
    std::size_t pendingBytes = 0;
    PostingBounds postingBounds;
    std::map<std::string, std::uint64_t> tokenCounters;
    // Uploaded photos by key ("<session>_<n>").
    std::map<std::string, std::string> uploads;
    // Each upload's key and pixel size, in the order they came.
    std::vector<UploadedPhoto> uploadedPhotos;
    // The page the next post to the posting host answers with ("" for the ordinary one); set
    // by the admin host.
    std::string nextPostingPage;

    // Under stateLock: keeps a mail, the oldest going past the count.
    void sendMail(SentMail mail);
    // Under stateLock: holds a posting for its publication token; the photos of the postings
    // that go to make room are added to `droppedPhotos`.
    void holdPosting(const std::string& token, Listing listing,
                     std::vector<std::string>& droppedPhotos);
    // Under stateLock: the posting held for the token, taken out; nullopt when there is none.
    std::optional<Listing> takeHeldPosting(const std::string& token);

    // A fresh token of its kind, a function of the token seed and how many came before.
    std::string newToken(const std::string& kind, std::size_t length = 12);

    // Forgets postings, logins, captcha state and posting sessions, as a new record begins.
    void resetState();
    void forgetState();

    FaultTable& faults() { return server.faults(); }
    HttpResponse route(const HttpRequest& request);

    // ---- hosts ---------------------------------------------------------------------------------
    HttpResponse mainHost(const HttpRequest& request);
    HttpResponse cityHost(const HttpRequest& request, int metro, bool english);
    HttpResponse imageHost(const HttpRequest& request);
    HttpResponse adminHost(const HttpRequest& request);
    HttpResponse simplifierHost(const HttpRequest& request);
    HttpResponse forumsHost(const HttpRequest& request);
};

// ---- pages of the city hosts (CityPages.cpp, ListingPages.cpp) --------------------------------
HttpResponse locationIndexPage(SiteImpl& site);
HttpResponse frontPage(SiteImpl& site);
HttpResponse replyingHelpPage();
HttpResponse posterSitePage(const HttpRequest& request);
HttpResponse cityHomePage(SiteImpl& site, int metro, int subArea, bool english);
HttpResponse resultPage(SiteImpl& site, const HttpRequest& request, int metro, int subArea,
                        const std::string& category, bool search, std::size_t offset);
HttpResponse listingPage(SiteImpl& site, int metro, std::uint32_t id);
HttpResponse replyPage(SiteImpl& site, int metro, std::uint32_t id);
HttpResponse replyEmailPost(SiteImpl& site, const HttpRequest& request, int metro,
                            std::uint32_t id);
HttpResponse replySendPost(SiteImpl& site, const HttpRequest& request, int metro, std::uint32_t id);

// The absolute URL of a listing's page, and of its photos.
std::string listingUrl(const Catalog& catalog, const Listing& listing);
std::vector<std::string> listingImageUrls(const Listing& listing);
std::string listingThumbnailUrl(const Listing& listing);
// The key that the reply page's e-mail form carries for a listing.
std::string replyKeyFor(std::uint64_t seed, std::uint32_t id);

// ---- images (Images.cpp) ----------------------------------------------------------------------
using standin::blank;
using standin::encodePng;
using standin::RgbImage;
using standin::setPixel;
std::string encodeJpeg(const RgbImage& image, int quality);
RgbImage listingPhoto(std::uint64_t seed, std::uint32_t id, int number, int width, int height);
RgbImage captchaImage(const std::string& words, std::uint64_t noise);

}  // namespace bnsite
