#include "tools/site/Listings.h"

#include <algorithm>
#include <cctype>

#include "tools/site/Hash.h"
#include "tools/site/Html.h"
#include "tools/site/SiteNames.h"

namespace bnsite {

namespace {

constexpr std::uint32_t kGeneratedBase = 1000000000u;
constexpr std::uint32_t kPostedBase = 2000000000u;
constexpr int kMaxPerCategory = 330;
// Generated lists kept; past this many (some tens of megabytes) they are made again.
constexpr std::size_t kCacheLimit = 200;

const std::vector<std::string> kAdjectives = {
    "excellent", "gently used", "like new", "vintage", "barely used", "solid",
    "great",     "classic",     "nice",     "clean",   "sturdy",      "beautiful",
};
const std::vector<std::string> kBrands = {
    "Trek", "Acme", "Northfield", "Harbor", "Summit", "Keystone", "Redline", "Pioneer",
};
const std::vector<std::string> kConditions = {
    "excellent condition", "good condition", "works great", "needs tlc", "never used",
};
const std::vector<std::string> kExtras = {
    "accessories", "extras", "manual", "original box", "spare parts",
};
const std::vector<std::string> kFillers = {
    "Pick up only, cash please.",
    "Smoke free and pet free home.",
    "Serious inquiries only; no trades.",
    "Available evenings and weekends.",
    "Priced to sell quickly.",
    "Can send more pictures on request.",
    "Located close to public transit.",
    "First come, first served.",
    "Please do not contact me with unsolicited offers.",
    "Happy to answer any questions.",
    "Must be able to pick up this week.",
    "Everything has been well cared for.",
};
const std::vector<std::string> kPersonalPhrases = {
    "Coffee this weekend",     "Looking for a hiking partner",
    "Dinner and conversation", "New in town",
    "Let's go dancing",        "Museum buddy wanted",
    "Seeking kind soul",       "Room for one more",
    "Bookworm seeks bookworm", "Sunday brunch?",
};
const std::vector<std::string> kPersonalCodes = {"w4m", "m4w", "w4w", "m4m", "t4m", "m4t"};
const std::vector<std::string> kSchedules = {"full time", "part time", "evenings", "weekends",
                                             "temp to hire"};
const std::vector<std::string> kPromises = {"licensed &amp; insured", "free estimates",
                                            "reasonable rates", "same day service",
                                            "20 years experience"};

std::string capitalizeFirst(std::string text) {
    if (!text.empty())
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(std::int64_t z, int* year, unsigned* month, unsigned* day) {
    z += 719468;
    std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    unsigned doe = static_cast<unsigned>(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    *day = doy - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int>(y + (*month <= 2));
}

struct LocalTime {
    int year;
    unsigned month, day;
    int hour, minute;
};

LocalTime localTimeOf(const Listing& l, const Catalog& catalog) {
    const State& state =
        catalog.states[static_cast<size_t>(catalog.metros[static_cast<size_t>(l.metro)].state)];
    std::int64_t t = l.epochUnix - static_cast<std::int64_t>(l.minutesAgo) * 60 +
                     static_cast<std::int64_t>(state.utcOffsetHours) * 3600;
    std::int64_t days = t >= 0 ? t / 86400 : (t - 86399) / 86400;
    std::int64_t seconds = t - days * 86400;
    LocalTime out{};
    civilFromDays(days, &out.year, &out.month, &out.day);
    out.hour = static_cast<int>(seconds / 3600);
    out.minute = static_cast<int>(seconds % 3600 / 60);
    return out;
}

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string twoDigits(int v) {
    return (v < 10 ? "0" : "") + std::to_string(v);
}

std::string phoneNumber(Rng& rng, int areaCode) {
    std::string area = std::to_string(areaCode);
    std::string line = "01" + twoDigits(rng.between(0, 99));
    switch (rng.below(5)) {
        case 0:
            return "(" + area + ") 555-" + line;
        case 1:
            return area + "-555-" + line;
        case 2:
            return area + ".555." + line;
        case 3:
            return area + " 555 " + line;
        default:
            return area + "555" + line;
    }
}

void prepareForSearch(Listing& l) {
    l.titleLower = lowercase(l.titleText);
    l.bodyLower = lowercase(l.bodyText);
}

int occurrences(const std::string& haystackLower, const std::string& wordLower) {
    if (wordLower.empty()) return 0;
    int n = 0;
    for (size_t at = haystackLower.find(wordLower); at != std::string::npos;
         at = haystackLower.find(wordLower, at + wordLower.size()))
        ++n;
    return n;
}

}  // namespace

ListingStore::ListingStore(std::uint64_t seed, const Catalog& catalog, std::int64_t epochUnix)
    : seed_(seed), epochUnix_(epochUnix), catalog_(catalog) {}

std::uint32_t ListingStore::idFor(int metro, int category, int index) {
    return kGeneratedBase + static_cast<std::uint32_t>((metro * 256 + category) * 1000 + index);
}

bool ListingStore::decodeId(std::uint32_t id, int* metro, int* category, int* index) {
    if (id < kGeneratedBase || id >= kPostedBase) return false;
    std::uint32_t x = id - kGeneratedBase;
    *index = static_cast<int>(x % 1000);
    *category = static_cast<int>(x / 1000 % 256);
    *metro = static_cast<int>(x / 1000 / 256);
    return true;
}

int ListingStore::countFor(int metro, int category) const {
    const Category& c = catalog_.categories[static_cast<size_t>(category)];
    if (c.volume < 0) return c.fixedCount;
    const Metro& m = catalog_.metros[static_cast<size_t>(metro)];
    bool us = catalog_.states[static_cast<size_t>(m.state)].region == 0;
    double factor = !m.subAreas.empty() ? 1.0 : us ? 0.55 : 0.4;
    double jitter = 0.7 + static_cast<double>(hashOf({seed_, static_cast<std::uint64_t>(metro),
                                                      static_cast<std::uint64_t>(category), 11}) %
                                              61) /
                              100.0;
    int n = static_cast<int>(c.volume * factor * jitter + 0.5);
    return std::clamp(n, 1, kMaxPerCategory);
}

Listing ListingStore::make(int metro, int category, int index) const {
    const Category& c = catalog_.categories[static_cast<size_t>(category)];
    const Metro& m = catalog_.metros[static_cast<size_t>(metro)];
    Rng rng(hashOf({seed_, static_cast<std::uint64_t>(metro), static_cast<std::uint64_t>(category),
                    static_cast<std::uint64_t>(index)}));
    Listing l;
    l.id = idFor(metro, category, index);
    l.epochUnix = epochUnix_;
    l.metro = metro;
    l.category = category;
    if (!m.subAreas.empty())
        l.subArea = static_cast<int>(rng.below(static_cast<std::uint32_t>(m.subAreas.size())));

    // Newest first, a category-dependent pace apart.
    int spacing = 6 + static_cast<int>(hashOf({seed_, static_cast<std::uint64_t>(metro),
                                               static_cast<std::uint64_t>(category), 77}) %
                                       420);
    l.minutesAgo = 3 + index * spacing +
                   static_cast<int>(rng.below(static_cast<std::uint32_t>(spacing / 2 + 1)));

    const std::string noun = rng.pick(c.nouns);
    const bool priced = c.maxPrice > 0;
    if (priced && !rng.chance(8)) {
        int span = c.maxPrice - c.minPrice;
        int raw = c.minPrice + static_cast<int>(rng.below(static_cast<std::uint32_t>(span + 1)));
        int step = raw >= 10000 ? 500 : raw >= 1000 ? 50 : raw >= 100 ? 5 : 1;
        l.price = std::max(c.minPrice, raw / step * step);
    }
    if (c.sellerVariants && rng.chance(30)) l.seller = Listing::Seller::Dealer;
    if (category == catalog_.apartmentsCategory()) {
        l.seller = rng.chance(35) ? Listing::Seller::Owner : Listing::Seller::Dealer;
        l.noFee = l.seller == Listing::Seller::Owner || rng.chance(30);
    }

    // Titles as people write them, with the entities the site sends.
    std::string title;
    switch (c.section) {
        case 1: {  // personals: who seeks whom and an age instead of a price
            std::string code =
                c.code.size() == 3 && c.code[1] == '4' ? c.code : rng.pick(kPersonalCodes);
            std::string phrase = rng.pick(kPersonalPhrases);
            int age = rng.between(19, 64);
            switch (rng.below(10)) {
                case 0:
                    title = phrase + " - anyone &amp; everyone welcome";
                    break;
                case 1:
                case 2:
                    title = phrase + " - " + code;
                    break;
                case 3:
                    title = phrase + " - " + std::to_string(age);
                    break;
                default:
                    title = phrase + " - " + code + " - " + std::to_string(age);
                    break;
            }
            break;
        }
        case 2: {  // housing: the rent leads the title
            if (priced && l.price >= 0 && c.code != "rea") {
                int rooms = rng.between(1, 4);
                title = "$" + std::to_string(l.price) + " / " + std::to_string(rooms) + "br - " +
                        capitalizeFirst(rng.pick(kAdjectives)) + " " + noun;
                if (rng.chance(15)) title += " &amp; parking";
            } else {
                title = capitalizeFirst(rng.pick(kAdjectives)) + " " + noun;
            }
            break;
        }
        case 3: {
            switch (rng.below(8)) {
                case 0: {
                    // The condition is drawn first (see the captcha's words).
                    std::string condition = rng.pick(kConditions);
                    title = rng.pick(kBrands) + " " + noun + " - " + condition;
                    break;
                }
                case 1:
                    title = capitalizeFirst(noun) + " &amp; " + rng.pick(kExtras);
                    break;
                case 2:
                    title = "&quot;" + rng.pick(kBrands) + "&quot; " + noun;
                    break;
                case 3:
                    title = capitalizeFirst(noun) + " w/ owner&#39;s manual";
                    break;
                case 4:
                    title = capitalizeFirst(rng.pick(kAdjectives)) + " " + noun + " - must go";
                    break;
                default:
                    title = capitalizeFirst(rng.pick(kAdjectives)) + " " + noun;
                    break;
            }
            if (l.seller == Listing::Seller::Dealer && rng.chance(50)) title += " (dealer)";
            break;
        }
        case 4:
            title = capitalizeFirst(noun) + " - " + rng.pick(kPromises);
            break;
        case 5:
            title = capitalizeFirst(noun) + " - " +
                    (rng.chance(20) ? "$" + std::to_string(rng.between(12, 45)) + "/hr"
                                    : rng.pick(kSchedules));
            break;
        case 6:
            title = capitalizeFirst(noun) +
                    (rng.chance(40) ? " - $" + std::to_string(rng.between(2, 40) * 10) + " cash"
                                    : " this weekend");
            break;
        case 7:
            title = capitalizeFirst(noun) + " seeking work";
            break;
        default:
            title =
                capitalizeFirst(noun) + " - " + (rng.chance(50) ? "this saturday" : "all welcome");
            break;
    }
    l.titleHtml = title;
    l.titleText = decodeEntities(title);

    if (!rng.chance(10)) {
        const std::vector<std::string>* places = &m.places;
        if (l.subArea >= 0 && !m.subAreas[static_cast<size_t>(l.subArea)].neighbourhoods.empty() &&
            rng.chance(70))
            places = &m.subAreas[static_cast<size_t>(l.subArea)].neighbourhoods;
        l.placeHtml = rng.pick(*places);
    }

    bool photoSection = c.section == 2 || c.section == 3;
    if (photoSection ? rng.chance(65) : rng.chance(20))
        l.images = rng.between(1, photoSection ? 4 : 2);
    l.pngImages = rng.chance(25);

    // The body, sometimes in the rich markup posters paste in.
    int areaCode = 201 + static_cast<int>(hashText(m.code) % 780);
    std::string first;
    switch (c.section) {
        case 1:
            first = "Hi there! " + capitalizeFirst(noun) + " is what I have in mind.";
            break;
        case 2:
            first =
                "Available now: " + noun + (l.placeHtml.empty() ? "" : " in " + l.placeHtml) + ".";
            break;
        case 3:
            first = "Selling my " + noun + ", " + rng.pick(kConditions) + ".";
            break;
        case 5:
            first = "We are hiring a " + noun + ". " + capitalizeFirst(rng.pick(kSchedules)) +
                    " position.";
            break;
        default:
            first = capitalizeFirst(noun) + ". " + "Details below.";
            break;
    }
    std::vector<std::string> sentences = {first};
    int count = rng.between(1, 3);
    for (int i = 0; i < count; ++i)
        sentences.push_back(rng.pick(kFillers));
    int phoneRoll = static_cast<int>(rng.below(100));
    std::string phone = phoneNumber(rng, areaCode);
    if (phoneRoll < 35) {
        l.phonePlace = Listing::PhonePlace::Body;
        sentences.push_back("Call or text " + phone + ".");
    } else if (phoneRoll < 45) {
        l.phonePlace = Listing::PhonePlace::Tags;
    } else if (phoneRoll < 52) {
        l.phonePlace = Listing::PhonePlace::AfterTags;
    }
    if (l.phonePlace != Listing::PhonePlace::None) l.phone = phone;

    std::string body;
    if (rng.chance(12)) {
        body =
            "<table width=\"600\" style=\"border:1px solid #999\"><tr><td>"
            "<font size=\"4\" face=\"Arial\"><b>" +
            l.titleHtml +
            "</b></font>"
            "<script type=\"text/javascript\">var promo = 1;</script>"
            "<P class=\"lead\">" +
            sentences[0] + "</P>";
        for (size_t i = 1; i < sentences.size(); ++i)
            body += "<p>" + sentences[i] + "</p>";
        body += "<br><br><br><br><br><a href=\"http://" + std::string(kPosterSiteHost) +
                "/more\">More details</a>"
                "</td></tr></table>";
    } else {
        for (size_t i = 0; i < sentences.size(); ++i) {
            body += sentences[i];
            body += i + 1 < sentences.size() && i % 2 == 1 ? "<br>\n<br>\n" : " ";
        }
    }
    l.bodyHtml = body;
    l.bodyText = decodeEntities(stripTags(body));

    int replyRoll = static_cast<int>(rng.below(100));
    l.reply = replyRoll < 25   ? Listing::Reply::Email
              : replyRoll < 90 ? Listing::Reply::Form
                               : Listing::Reply::Both;
    l.relayAddress = catalog_.sections[static_cast<size_t>(c.section)].relayPrefix + "-" +
                     hashToken(hashOf({seed_, l.id, 5}), 5) + "-" + std::to_string(l.id) + "@" +
                     std::string(kMailDomain);
    int statusRoll = static_cast<int>(rng.below(100));
    if (index > 0 && statusRoll < 3)
        l.status = Listing::Status::Expired;
    else if (index > 0 && statusRoll < 5)
        l.status = Listing::Status::Removed;
    l.oldFormat = l.status == Listing::Status::Live &&
                  l.phonePlace != Listing::PhonePlace::AfterTags &&
                  l.phonePlace != Listing::PhonePlace::Tags && rng.chance(5);
    prepareForSearch(l);
    return l;
}

std::shared_ptr<const std::vector<Listing>> ListingStore::generated(int metro, int category) {
    {
        std::lock_guard<std::mutex> g(lock_);
        auto it = cache_.find({metro, category});
        if (it != cache_.end()) return it->second;
    }
    auto list = std::make_shared<std::vector<Listing>>();
    int n = countFor(metro, category);
    list->reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        list->push_back(make(metro, category, i));
    std::lock_guard<std::mutex> g(lock_);
    if (cache_.size() >= kCacheLimit) cache_.clear();
    cache_[{metro, category}] = list;
    return list;
}

std::optional<Listing> ListingStore::byId(std::uint32_t id) {
    int metro, category, index;
    if (decodeId(id, &metro, &category, &index)) {
        if (metro < 0 || static_cast<size_t>(metro) >= catalog_.metros.size()) return std::nullopt;
        if (static_cast<size_t>(category) >= catalog_.categories.size()) return std::nullopt;
        if (index >= countFor(metro, category)) return std::nullopt;
        return make(metro, category, index);
    }
    std::lock_guard<std::mutex> g(lock_);
    for (const auto& l : posted_) {
        if (l->id == id) return *l;
    }
    return std::nullopt;
}

ListingResult ListingStore::query(const ListingQuery& q) {
    std::vector<std::string> words;
    for (const auto& w : q.words) {
        if (!w.empty()) words.push_back(lowercase(w));
    }
    std::vector<std::pair<int, const Listing*>> matches;  // relevance, listing
    std::vector<std::shared_ptr<const void>> keep;
    std::vector<std::shared_ptr<const Listing>> posted;
    {
        std::lock_guard<std::mutex> g(lock_);
        for (const auto& l : posted_) {
            if (l->metro == q.metro &&
                std::find(q.selector.categories.begin(), q.selector.categories.end(),
                          l->category) != q.selector.categories.end())
                posted.push_back(l);
        }
    }
    auto consider = [&](const Listing& l) {
        if (q.subArea >= 0 && l.subArea != q.subArea) return;
        using F = CategorySelector::Filter;
        switch (q.selector.filter) {
            case F::None:
                break;
            case F::Owner:
            case F::ByOwner:
                if (l.seller != Listing::Seller::Owner) return;
                break;
            case F::Dealer:
                if (l.seller != Listing::Seller::Dealer) return;
                break;
            case F::NoFee:
                if (!l.noFee) return;
                break;
        }
        if (q.withImages && !l.hasImages()) return;
        if (q.minAsk || q.maxAsk) {
            if (l.price < 0) return;
            if (q.minAsk && l.price < *q.minAsk) return;
            if (q.maxAsk && l.price > *q.maxAsk) return;
        }
        int score = 0;
        if (!words.empty()) {
            for (const auto& w : words) {
                int inTitle = occurrences(l.titleLower, w);
                int inBody = q.titlesOnly ? 0 : occurrences(l.bodyLower, w);
                if (!inTitle && !inBody) return;
                score += inTitle * 3 + inBody;
            }
        }
        matches.push_back({score, &l});
    };
    for (const auto& l : posted) {
        keep.push_back(l);
        consider(*l);
    }
    for (int category : q.selector.categories) {
        auto list = generated(q.metro, category);
        keep.push_back(list);
        for (const auto& l : *list)
            consider(l);
    }
    auto newer = [](const Listing* a, const Listing* b) {
        if (a->minutesAgo != b->minutesAgo) return a->minutesAgo < b->minutesAgo;
        return a->id > b->id;
    };
    using S = ListingQuery::Sort;
    std::stable_sort(matches.begin(), matches.end(), [&](const auto& x, const auto& y) {
        const Listing* a = x.second;
        const Listing* b = y.second;
        switch (q.sort) {
            case S::Relevance:
                if (x.first != y.first) return x.first > y.first;
                return newer(a, b);
            case S::PriceAscending:
            case S::PriceDescending:
                if ((a->price < 0) != (b->price < 0)) return a->price >= 0;
                if (a->price != b->price)
                    return q.sort == S::PriceAscending ? a->price < b->price : a->price > b->price;
                return newer(a, b);
            case S::Date:
                break;
        }
        return newer(a, b);
    });
    ListingResult result;
    result.total = matches.size();
    for (size_t i = q.offset; i < matches.size() && result.rows.size() < q.limit; ++i)
        result.rows.rows_.push_back(matches[i].second);
    result.rows.keep_ = std::move(keep);
    return result;
}

std::size_t textBytes(const Listing& l) {
    std::size_t bytes = sizeof(Listing);
    for (const std::string* text :
         {&l.titleHtml, &l.titleText, &l.placeHtml, &l.bodyHtml, &l.bodyText, &l.phone,
          &l.relayAddress, &l.titleLower, &l.bodyLower})
        bytes += text->size();
    for (const auto& key : l.uploadedImages)
        bytes += key.size();
    return bytes;
}

std::uint32_t ListingStore::publish(Listing listing, std::vector<std::string>* droppedPhotos) {
    std::lock_guard<std::mutex> g(lock_);
    listing.id = kPostedBase + ++postedCount_;
    listing.userPosted = true;
    listing.epochUnix = epochUnix_;
    prepareForSearch(listing);
    std::uint32_t id = listing.id;
    postedBytes_ += textBytes(listing);
    posted_.push_back(std::make_shared<const Listing>(std::move(listing)));
    // Searches that hold a dropped listing keep it alive until they end.
    std::size_t gone = 0;
    std::size_t bytes = postedBytes_;
    while (gone + 1 < posted_.size() &&
           (posted_.size() - gone > bounds_.count || bytes > bounds_.bytes)) {
        const Listing& oldest = *posted_[gone++];
        bytes -= textBytes(oldest);
        if (droppedPhotos)
            droppedPhotos->insert(droppedPhotos->end(), oldest.uploadedImages.begin(),
                                  oldest.uploadedImages.end());
    }
    posted_.erase(posted_.begin(), posted_.begin() + static_cast<std::ptrdiff_t>(gone));
    postedBytes_ = bytes;
    return id;
}

bool ListingStore::keepsPosted(std::uint32_t id) {
    std::lock_guard<std::mutex> g(lock_);
    // Posted ids only grow, and only the oldest go.
    return !posted_.empty() && id >= posted_.front()->id && id <= posted_.back()->id;
}

void ListingStore::forgetPosted() {
    std::lock_guard<std::mutex> g(lock_);
    posted_.clear();
    postedCount_ = 0;
    postedBytes_ = 0;
}

void ListingStore::setBounds(PostingBounds bounds) {
    std::lock_guard<std::mutex> g(lock_);
    bounds_ = bounds;
}

std::pair<std::size_t, std::size_t> ListingStore::postedSizes() {
    std::lock_guard<std::mutex> g(lock_);
    return {posted_.size(), postedBytes_};
}

std::string listingTime(const Listing& listing, const Catalog& catalog) {
    LocalTime t = localTimeOf(listing, catalog);
    int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    const State& state =
        catalog
            .states[static_cast<size_t>(catalog.metros[static_cast<size_t>(listing.metro)].state)];
    return std::to_string(t.year) + "-" + twoDigits(static_cast<int>(t.month)) + "-" +
           twoDigits(static_cast<int>(t.day)) + ", " + twoDigits(hour12) + ":" +
           twoDigits(t.minute) + (t.hour < 12 ? "AM" : "PM") + " " + state.zone;
}

std::string listingDay(const Listing& listing, const Catalog& catalog) {
    LocalTime t = localTimeOf(listing, catalog);
    return std::string(kMonths[t.month - 1]) + " " + std::to_string(t.day);
}

}  // namespace bnsite
