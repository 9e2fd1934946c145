// The listings of the site: generated deterministically from the seed for every metro and
// category, plus the ones people post through the posting pages while the site runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/site/Catalog.h"
#include "tools/site/SiteNames.h"

namespace bnsite {

struct Listing {
    std::uint32_t id = 0;
    int metro = 0;
    int subArea = -1;  // -1: the metro has none, or the poster bypassed the choice
    int category = 0;

    std::string titleHtml;  // as rows and the page write it (entities included)
    std::string titleText;  // decoded, for matching
    int price = -1;         // dollars; -1 for none
    std::string placeHtml;  // "" for no place note
    int minutesAgo = 0;     // before the content epoch
    // The content epoch: the moment the listing's age counts back from (Unix seconds).
    std::int64_t epochUnix = kContentEpochUnix;

    int images = 0;  // photos on the listing page
    bool pngImages = false;
    std::vector<std::string> uploadedImages;  // keys of posted photos (instead of generated)

    std::string bodyHtml;
    std::string bodyText;  // tags removed, for matching
    std::string phone;     // as written, "" for none
    enum class PhonePlace { None, Body, Tags, AfterTags } phonePlace = PhonePlace::None;
    // How the page offers to reply: the relay address as a "Reply to:" link, the reply form
    // (address behind the captcha), or both.
    enum class Reply { Email, Form, Both } reply = Reply::Form;
    std::string relayAddress;
    enum class Status { Live, Expired, Removed } status = Status::Live;
    bool oldFormat = false;  // written before the tag block existed: no tag block at all
    enum class Seller { Owner, Dealer } seller = Seller::Owner;
    bool noFee = false;
    bool userPosted = false;
    // The title and body text in lower case, made once for every search to match against.
    std::string titleLower, bodyLower;

    bool hasImages() const { return images > 0; }
};

// The bytes a listing's text takes, for the bounds of the stores of posted listings.
std::size_t textBytes(const Listing& listing);

// How many postings, and how many bytes of their text, a store of what people posted keeps: past
// either, the oldest go.
struct PostingBounds {
    std::size_t count = 2000;
    std::size_t bytes = 32u << 20;
};

struct ListingQuery {
    int metro = 0;
    int subArea = -1;  // -1: the whole metro
    CategorySelector selector;
    std::vector<std::string> words;  // every word must match (no case)
    bool titlesOnly = false;
    std::optional<int> minAsk, maxAsk;
    bool withImages = false;
    enum class Sort { Date, Relevance, PriceAscending, PriceDescending } sort = Sort::Date;
    std::size_t offset = 0;
    std::size_t limit = 100;
};

// Rows of a result: the store's own listings, shared rather than copied, kept alive as long as
// the rows are.
class ListingRows {
public:
    struct Iterator {
        std::vector<const Listing*>::const_iterator at;
        const Listing& operator*() const { return **at; }
        Iterator& operator++() {
            ++at;
            return *this;
        }
        bool operator==(const Iterator&) const = default;
    };
    Iterator begin() const { return {rows_.begin()}; }
    Iterator end() const { return {rows_.end()}; }
    const Listing& operator[](std::size_t i) const { return *rows_[i]; }
    std::size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }

private:
    friend class ListingStore;
    std::vector<const Listing*> rows_;
    std::vector<std::shared_ptr<const void>> keep_;  // what the rows point into
};

struct ListingResult {
    ListingRows rows;       // the requested page
    std::size_t total = 0;  // every match
};

class ListingStore {
public:
    // Listings are dated `minutesAgo` before `epochUnix`.
    ListingStore(std::uint64_t seed, const Catalog& catalog,
                 std::int64_t epochUnix = kContentEpochUnix);

    // Every generated listing of a category in a metro, newest first.
    std::shared_ptr<const std::vector<Listing>> generated(int metro, int category);
    // A listing by id (generated or posted), nullopt when there is none.
    std::optional<Listing> byId(std::uint32_t id);
    ListingResult query(const ListingQuery& query);

    // Adds a posted listing in front of its category; gives it its id and returns it. Past the
    // bounds the oldest posted listings go; the keys of their photos are added to `dropped`.
    std::uint32_t publish(Listing listing, std::vector<std::string>* droppedPhotos = nullptr);
    void forgetPosted();
    // Whether a posted listing is still kept: past the bounds the oldest go.
    bool keepsPosted(std::uint32_t id);
    void setBounds(PostingBounds bounds);
    // How many posted listings are kept, and the bytes of their text.
    std::pair<std::size_t, std::size_t> postedSizes();

    // How many listings a category has in a metro (generated ones).
    int countFor(int metro, int category) const;
    std::uint64_t seed() const { return seed_; }

    // A generated listing's id, and back.
    static std::uint32_t idFor(int metro, int category, int index);
    static bool decodeId(std::uint32_t id, int* metro, int* category, int* index);

private:
    Listing make(int metro, int category, int index) const;

    std::uint64_t seed_;
    std::int64_t epochUnix_;
    const Catalog& catalog_;
    std::mutex lock_;
    std::map<std::pair<int, int>, std::shared_ptr<const std::vector<Listing>>> cache_;
    std::vector<std::shared_ptr<const Listing>> posted_;  // oldest first
    std::uint32_t postedCount_ = 0;                       // every one published since a reset
    std::size_t postedBytes_ = 0;
    PostingBounds bounds_;
};

// "2012-02-29, 09:15PM EST": the listing's time in its state's zone, as the page writes it.
std::string listingTime(const Listing& listing, const Catalog& catalog);
// "Feb 29", the row's date.
std::string listingDay(const Listing& listing, const Catalog& catalog);

}  // namespace bnsite
