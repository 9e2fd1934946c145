// The secure posting pages: a chain of forms kept together by a session token in the path and a
// signature field on every form. Each step answers with the page of the next one: posting type,
// category (one or two levels), area, neighbourhood, compose form, photos, review, terms of use,
// captcha and the final page. Steps that need a phone-verified account stop with a notice.
//
// Every form carries the same long signature field name with a value per step, so that a form
// of an earlier step can be sent again (the app resends its compose form after a correction).
// Signature values use upper-case letters and digits only, so they never hold the lower-case
// tokens by which the app tells the photo forms' fields apart.
#include <algorithm>
#include <cctype>

#include "tools/site/Hash.h"
#include "tools/site/Html.h"
#include "tools/site/SiteInternal.h"

namespace bnsite {

namespace {

constexpr std::size_t kMaxPhotos = 4;
constexpr std::size_t kMaxSessions = 2000;
// The longest description taken, in characters: the form says so of the title only, but a
// description without an end would be kept, shown and searched whole.
constexpr std::size_t kMaxDescriptionCharacters = 20000;
// The longest title, specific location and price taken, in characters: the compose form's own
// maxlengths, which only a browser keeps to. A title without an end would be shown on every list
// page of its category and searched with every query.
constexpr std::size_t kMaxTitleCharacters = 70;
constexpr std::size_t kMaxPlaceCharacters = 40;
constexpr std::size_t kMaxPriceCharacters = 11;
// The longest e-mail address taken: the most a mail path can carry.
constexpr std::size_t kMaxEmailCharacters = 254;
// The photos of postings not made yet, all sessions together.
constexpr std::size_t kMaxHeldPhotoBytes = 64u << 20;
// The largest photo taken: a camera's full-size photo is a few MB, and the app sends far less.
constexpr std::size_t kMaxPhotoBytes = 10u << 20;
// All photos kept, of postings made and not made together. Photos of published postings stay
// until the site is reset.
constexpr std::size_t kMaxKeptPhotoBytes = 128u << 20;
constexpr const char* kNoRoomForPhotos =
    "The site has no room for more images now: this one was not added. You can go on without it.";

struct PostingType {
    const char* code;
    const char* label;     // as the page writes it
    int section;           // whose categories are offered; -1 when `category` is fixed
    const char* category;  // the one category of this type, or ""
    bool fourChoices;      // the community form of the category step
};

const PostingType kTypes[] = {
    {"jo", "job offered", 5, "", false},
    {"go", "gig offered", 6, "", false},
    {"rw", "resume / job wanted", -1, "res", false},
    {"ho", "housing offered", 2, "", false},
    {"hw", "housing wanted", -1, "hsw", false},
    {"fso", "for sale", 3, "", false},
    {"iw", " items wanted &amp; barter ", -1, "wan", false},
    {"so", "service offered", 4, "", false},
    {"pr", "personal / romance", 1, "", false},
    {"c", "community", 0, "", true},
    {"e", "event", -1, "eve", false},
};

const char* const kCommunityChoices[] = {"act", "laf", "pet", "vol"};

const PostingType* typeOf(const std::string& code) {
    for (const auto& t : kTypes) {
        if (code == t.code) return &t;
    }
    return nullptr;
}

// The steps of the chain. A form names its step only through its signature, made from the
// step's name; the steps run here in the order of their names, the order in which a signature
// is tried against the steps a session has reached.
enum class Step {
    Area,
    Captcha,
    Category,
    Compose,
    EmailWarning,
    Neighbourhood,
    Photos,
    Review,
    Seller,
    Terms,
    Type
};

const char* stepName(Step step) {
    switch (step) {
        case Step::Area:
            return "area";
        case Step::Captcha:
            return "captcha";
        case Step::Category:
            return "cat";
        case Step::Compose:
            return "edit";
        case Step::EmailWarning:
            return "emailwarn";
        case Step::Neighbourhood:
            return "hood";
        case Step::Photos:
            return "images";
        case Step::Review:
            return "preview";
        case Step::Seller:
            return "subcat";
        case Step::Terms:
            return "terms";
        case Step::Type:
            return "type";
    }
    return "";
}

// The text cut after `characters` UTF-8 characters; whether anything was cut in `cut`.
std::string firstCharacters(const std::string& text, std::size_t characters, bool* cut) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (seen++ == characters) {
            *cut = true;
            return text.substr(0, i);
        }
    }
    *cut = false;
    return text;
}

bool looksLikeEmail(const std::string& text) {
    size_t at = text.find('@');
    return at != std::string::npos && at > 0 && text.find('.', at) != std::string::npos &&
           text.find_first_of(" <>\"\r\n") == std::string::npos && text.back() != '.';
}

std::string trimmed(const std::string& text) {
    size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = text.find_last_not_of(" \t\r\n");
    return text.substr(b, e - b + 1);
}

// The pixel size a JPEG's frame header gives; 0 x 0 for other files.
std::pair<int, int> jpegPixelSize(const std::string& bytes) {
    size_t i = 2;
    if (bytes.size() < 4 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
        static_cast<unsigned char>(bytes[1]) != 0xD8)
        return {0, 0};
    auto byteAt = [&](size_t n) { return static_cast<unsigned char>(bytes[n]); };
    while (i + 9 < bytes.size()) {
        if (byteAt(i) != 0xFF) return {0, 0};
        unsigned char marker = byteAt(i + 1);
        size_t length = (static_cast<size_t>(byteAt(i + 2)) << 8) | byteAt(i + 3);
        bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame)
            return {(byteAt(i + 7) << 8) | byteAt(i + 8), (byteAt(i + 5) << 8) | byteAt(i + 6)};
        i += 2 + length;
    }
    return {0, 0};
}

bool isImage(const std::string& bytes) {
    return (bytes.size() > 3 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
            static_cast<unsigned char>(bytes[1]) == 0xD8 &&
            static_cast<unsigned char>(bytes[2]) == 0xFF) ||
           bytes.rfind("\x89PNG\r\n\x1a\n", 0) == 0;
}

std::string textToHtml(const std::string& text) {
    std::string out;
    for (char c : escapeHtml(text)) {
        if (c == '\r') continue;
        if (c == '\n')
            out += "<br>\n";
        else
            out += c;
    }
    return out;
}

}  // namespace

struct PostingService::Session {
    std::mutex lock;  // one request at a time per posting
    std::string token;
    int metro = 0;
    std::string signatureName;
    std::set<Step> reached;  // steps whose forms may be sent
    Step step = Step::Type;  // the page shown last

    const PostingType* type = nullptr;
    int category = -1;
    Listing::Seller seller = Listing::Seller::Owner;
    int subArea = -1;
    int neighbourhood = -1;
    std::string title, price, place, email, privacy = "C", body;
    bool emailAccepted = false;
    std::vector<std::string> photos;  // upload keys
    bool done = false;
    // Guarded by the service's lock: the photos' size while the posting is not made, whether
    // it is made, and whether the session has been dropped.
    std::size_t heldBytes = 0;
    bool made = false;
    bool dropped = false;
    std::uint64_t lastUse = 0;  // when it was started or asked for last
};

namespace {

using Session = PostingService::Session;

std::string signatureValue(const SiteImpl& site, const Session& s, Step step) {
    return hashToken(hashOf({site.tokenSeed, hashText(s.token), hashText(stepName(step))}), 16,
                     "0123456789ABCDEF");
}

std::string formOpen(const SiteImpl& site, const Session& s, Step step, bool multipart = false) {
    std::string out = "<form action=\"/k/" + s.token + "\" method=\"post\"";
    if (multipart) out += " enctype=\"multipart/form-data\"";
    out += ">\n<input type=\"hidden\" name=\"" + s.signatureName + "\" value=\"" +
           signatureValue(site, s, step) + "\">\n";
    return out;
}

HttpResponse page(const SiteImpl& site, const Session& s, const std::string& title,
                  const std::string& content, int status = 200) {
    const Metro& m = site.catalog.metros[static_cast<size_t>(s.metro)];
    std::string body = "<div class=\"bchead\"><a href=\"" + cityRoot(m.code) + "/\"><b>" + m.name +
                       " bazaarnest</b></a> &gt; <span>create posting</span></div>\n" + content;
    return HttpResponse::html(pageFrame("bazaarnest | " + m.name + " | " + title, "post", body),
                              status);
}

std::string errorList(const std::vector<std::string>& errors) {
    if (errors.empty()) return {};
    std::string out = "<ul class=\"errors\">\n";
    for (const auto& e : errors)
        out += "<li class=\"error\">" + escapeHtml(e) + "</li>\n";
    return out + "</ul>\n";
}

std::string radio(const std::string& name, const std::string& value, const std::string& label) {
    return "<label><input type=\"radio\" name=\"" + name + "\" value=\"" + value + "\">" + label +
           "</label><br>\n";
}

std::string continueButton(const std::string& value = "Continue") {
    return "<button type=\"submit\" name=\"go\" value=\"" + value + "\">" + value + "</button>\n";
}

const TestAccount* accountRecord(const std::string& email) {
    for (const auto& a : kTestAccounts) {
        if (a.email == email) return &a;
    }
    return nullptr;
}

// ---- the pages of the steps ---------------------------------------------------------------------

HttpResponse typePage(SiteImpl& site, Session& s) {
    s.step = Step::Type;
    std::string content =
        formOpen(site, s, Step::Type) + "<h3>What type of posting is this:</h3>\n<blockquote>\n";
    for (const auto& t : kTypes)
        content += radio("id", t.code, t.label);
    content += "</blockquote>\n" + continueButton() + "</form>\n";
    return page(site, s, "choose type", content);
}

HttpResponse categoryPage(SiteImpl& site, Session& s) {
    s.step = Step::Category;
    const Catalog& c = site.catalog;
    std::string content = formOpen(site, s, Step::Category);
    if (s.type->fourChoices) {
        content +=
            "<h3>These 4 categories work for community postings. Pick the one that fits "
            "best:</h3>\n<blockquote>\n";
        for (const char* code : kCommunityChoices) {
            const Category& cat = c.categories[static_cast<size_t>(c.categoryIndex(code))];
            content += radio("id", cat.code, cat.name);
        }
    } else {
        content += "<h3>Please choose a category:</h3>\n<blockquote>\n";
        for (const auto& cat : c.categories) {
            if (cat.section != s.type->section || cat.form == LinkForm::ApartmentIndex ||
                cat.code == "apt")
                continue;
            content += radio("id", cat.code, cat.name);
        }
    }
    content += "</blockquote>\n" + continueButton() + "</form>\n";
    return page(site, s, "choose category", content);
}

HttpResponse sellerPage(SiteImpl& site, Session& s) {
    s.step = Step::Seller;
    std::string content = formOpen(site, s, Step::Seller) +
                          "<h3>Which of these most closely matches your vehicle?</h3>\n"
                          "<blockquote>\n" +
                          radio("id", "cto", "cars &amp; trucks - by owner") +
                          radio("id", "ctd", "cars &amp; trucks - by dealer") + "</blockquote>\n" +
                          continueButton() + "</form>\n";
    return page(site, s, "choose category", content);
}

HttpResponse areaPage(SiteImpl& site, Session& s) {
    s.step = Step::Area;
    const Metro& m = site.catalog.metros[static_cast<size_t>(s.metro)];
    std::string content =
        formOpen(site, s, Step::Area) +
        "<h3>Please choose the area nearest you:</h3>\n<blockquote>\n"
        "<label><input type=\"radio\" name=\"n\" value=\"0\"><big>bypass this step"
        "</big></label><br>\n";
    for (size_t i = 0; i < m.subAreas.size(); ++i)
        content += radio("n", std::to_string(i + 1), m.subAreas[i].title);
    content += "</blockquote>\n" + continueButton() + "</form>\n";
    return page(site, s, "choose area", content);
}

HttpResponse neighbourhoodPage(SiteImpl& site, Session& s) {
    s.step = Step::Neighbourhood;
    const SubArea& a =
        site.catalog.metros[static_cast<size_t>(s.metro)].subAreas[static_cast<size_t>(s.subArea)];
    std::string content =
        formOpen(site, s, Step::Neighbourhood) +
        "<h3>Which of these locations fits best?</h3>\n<blockquote>\n"
        "<label><input type=\"radio\" name=\"n\" value=\"0\"><big>bypass this step"
        "</big></label><br>\n";
    for (size_t i = 0; i < a.neighbourhoods.size(); ++i)
        content += radio("n", std::to_string(i + 1), a.neighbourhoods[i]);
    content += "</blockquote>\n" + continueButton() + "</form>\n";
    return page(site, s, "choose location", content);
}

// What the compose form asks for a price with: nothing, "Ask" (size 4) or "Rent" (size 3).
std::string priceField(const SiteImpl& site, const Session& s) {
    const Category& cat = site.catalog.categories[static_cast<size_t>(s.category)];
    if (cat.maxPrice <= 0) return {};
    return cat.section == 2 ? "Rent" : "Ask";
}

std::string relayFor(const SiteImpl& site, const Session& s) {
    const Category& cat = site.catalog.categories[static_cast<size_t>(s.category)];
    return site.catalog.sections[static_cast<size_t>(cat.section)].relayPrefix + "-" +
           hashToken(hashText(s.token), 5) + "@" + std::string(kMailDomain);
}

HttpResponse composePage(SiteImpl& site, Session& s, const std::string& account,
                         const std::vector<std::string>& errors) {
    s.step = Step::Compose;
    std::string price = priceField(site, s);
    std::string content = formOpen(site, s, Step::Compose, true) + errorList(errors);
    content +=
        "<table class=\"compose\">\n<tr><td>Posting Title:</td><td><input type=\"text\" "
        "name=\"PostingTitle\" size=\"30\" maxlength=\"70\" value=\"" +
        escapeHtml(s.title) + "\"></td>\n";
    if (price == "Ask")
        content +=
            "<td>Price: $<input type=\"text\" size=\"4\" maxlength=\"11\" name=\"Ask\" value=\"" +
            escapeHtml(s.price) + "\"></td>\n";
    else if (price == "Rent")
        content +=
            "<td>Rent: $<input type=\"text\" size=\"3\" maxlength=\"11\" name=\"Rent\" value=\"" +
            escapeHtml(s.price) + "\"></td>\n";
    content +=
        "<td>Specific Location: <input type=\"text\" size=\"20\" maxlength=\"40\" "
        "name=\"GeographicArea\" value=\"" +
        escapeHtml(s.place) + "\"></td></tr>\n</table>\n";
    if (account.empty()) {
        // The confirmation field's attributes run over two lines, as the site has always
        // written them.
        content +=
            "<div class=\"email\">Your email address: <input type=\"text\" size=\"35\" "
            "name=\"FromEMail\" value=\"" +
            escapeHtml(s.email) +
            "\"> Type it again: "
            "<input type=\"text\" size=\"35\"\n name=\"ConfirmEMail\" value=\"" +
            escapeHtml(s.email) + "\"></div>\n";
    } else {
        content += "<div class=\"email\">Posting as " + escapeHtml(account) + "</div>\n";
    }
    auto privacy = [&](const char* value, const std::string& label) {
        return "<label><input type=\"radio\" name=\"Privacy\" value=\"" + std::string(value) +
               "\"" + (s.privacy == value ? " checked" : "") + "> " + label + "</label><br>\n";
    };
    content += "<div class=\"privacy\">\n" + privacy("C", "anonymize (" + relayFor(site, s) + ")") +
               privacy("A", "hide (no email)") + privacy("P", "show my real email address") +
               "</div>\n";
    content +=
        "<div>Posting Description:<br>\n<textarea rows=\"12\" cols=\"80\" name=\"PostingBody\" "
        "id=\"PostingBody\">" +
        escapeHtml(s.body) + "</textarea></div>\n" + continueButton() + "</form>\n";
    return page(site, s, "compose", content);
}

HttpResponse emailWarningPage(SiteImpl& site, Session& s) {
    s.step = Step::EmailWarning;
    std::string content =
        "<div class=\"warning\"><b>Warning:</b> your email address is included in the body of "
        "your posting, exposing you to phishing attacks and spam. Please go back and remove it, "
        "or continue anyway.</div>\n" +
        formOpen(site, s, Step::EmailWarning) +
        "<input type=\"hidden\" name=\"emailok\" value=\"yes\">\n" +
        continueButton("Continue anyway") + "</form>\n";
    return page(site, s, "email warning", content);
}

HttpResponse photoPage(SiteImpl& site, Session& s, const std::vector<std::string>& errors) {
    s.step = Step::Photos;
    std::string content = errorList(errors);
    content += "<h3>Add photos</h3>\n<div class=\"instructions\">You can add up to " +
               std::to_string(kMaxPhotos) + " images to be displayed with this posting.</div>\n";
    if (!s.photos.empty()) {
        content += "<div class=\"uploaded\">\n";
        for (const auto& key : s.photos)
            content += "<img src=\"http://" + std::string(kImageHost) + "/u/" + key +
                       ".jpg\" width=\"100\">\n";
        content += "</div>\n";
    }
    content += formOpen(site, s, Step::Photos, true) +
               "<input type=\"hidden\" name=\"a\" value=\"add\">\n"
               "<input type=\"file\" name=\"file\" accept=\"image/*\">\n" +
               continueButton("add image") + "</form>\n" + formOpen(site, s, Step::Photos, true) +
               "<input type=\"hidden\" name=\"a\" value=\"fin\">\n" +
               continueButton("Done with Images") + "</form>\n";
    return page(site, s, "add photos", content);
}

HttpResponse previewPage(SiteImpl& site, Session& s) {
    s.step = Step::Review;
    std::string content =
        "<h3>Please review and confirm your posting.</h3>\n" + formOpen(site, s, Step::Review) +
        "<input type=\"hidden\" name=\"a\" value=\"publish\">\n" + continueButton() + "</form>\n" +
        formOpen(site, s, Step::Review) + "<input type=\"hidden\" name=\"a\" value=\"edit\">\n" +
        continueButton("Edit Post") + "</form>\n";
    content += "<div class=\"preview\"><h2 class=\"postingtitle\">" + escapeHtml(s.title);
    if (!s.price.empty()) content += " - $" + escapeHtml(s.price);
    if (!s.place.empty()) content += " (" + escapeHtml(s.place) + ")";
    content += "</h2>\n<div class=\"body\">" + textToHtml(s.body) + "</div>\n";
    for (const auto& key : s.photos)
        content += "<img src=\"http://" + std::string(kImageHost) + "/u/" + key + ".jpg\">\n";
    content += "</div>\n";
    return page(site, s, "review", content);
}

HttpResponse termsPage(SiteImpl& site, Session& s) {
    s.step = Step::Terms;
    std::string content =
        "<h3>Terms of Use</h3>\n<div class=\"terms\">By posting on bazaarnest you agree to these "
        "terms. You are responsible for what you post, and you will not post anything unlawful, "
        "misleading or offensive.<br>\nMODIFICATIONS TO THIS AGREEMENT. We may change these terms "
        "from time to time; continuing to post means you accept the terms in force.</div>\n" +
        formOpen(site, s, Step::Terms) + "<input type=\"hidden\" name=\"a\" value=\"terms\">\n" +
        continueButton("ACCEPT the terms of use") + continueButton("DECLINE") + "</form>\n";
    return page(site, s, "terms of use", content);
}

HttpResponse captchaPage(SiteImpl& site, Session& s, const std::vector<std::string>& errors) {
    s.step = Step::Captcha;
    std::string content = errorList(errors) +
                          "<h3>To finalize your post, please type the words below.</h3>\n" +
                          formOpen(site, s, Step::Captcha) +
                          "<input type=\"hidden\" name=\"a\" value=\"captcha\">\n"
                          "<input type=\"hidden\" name=\"recaptcha_response_field\" "
                          "value=\"manual_challenge\">\n<iframe src=\"" +
                          captchaChallengeUrl(false) +
                          "\" height=\"300\" width=\"500\" frameborder=\"0\"></iframe><br>\n"
                          "<textarea name=\"recaptcha_challenge_field\" rows=\"3\" cols=\"40\">"
                          "</textarea>\n" +
                          continueButton() + "</form>\n";
    return page(site, s, "verify", content);
}

HttpResponse phonePage(SiteImpl& site, Session& s, const std::string& account, bool dealer) {
    std::string content;
    if (account.empty()) {
        content =
            "<h3>Account required</h3>\n<div>You need to have a bazaarnest account, "
            "verified by phone, to post in this category.</div>\n";
    } else if (dealer) {
        content =
            "<h3>Telephone Account Verification</h3>\n<div>Dealers must verify their "
            "account by phone before posting.</div>\n";
    } else {
        content =
            "<h3>Verification</h3>\n<div>Posting in this category needs to be "
            "authenticated by phone.</div>\n";
    }
    content += "<div><a href=\"https://" + std::string(kAccountHost) +
               "/\"><span>go to your "
               "account</span></a></div>\n";
    return page(site, s, "verification", content, 200);
}

HttpResponse refuse(int status, const std::string& reason) {
    return errorPage(status, {reason}, "posting error");
}

// Whether the form holds only the given fields (besides the signature), each at most once.
bool onlyFields(const FormFields& form, const Session& s,
                std::initializer_list<const char*> allowed, std::string* bad) {
    for (const auto& f : form) {
        bool known = f.name == s.signatureName;
        for (const char* a : allowed)
            known = known || f.name == a;
        if (!known || countFields(form, f.name) > 1) {
            *bad = f.name;
            return false;
        }
    }
    return true;
}

// ---- reading a session's page -------------------------------------------------------------------

HttpResponse shownPage(SiteImpl& site, Session& s, const std::string& account) {
    switch (s.step) {
        case Step::Type:
            return typePage(site, s);
        case Step::Category:
            return categoryPage(site, s);
        case Step::Seller:
            return sellerPage(site, s);
        case Step::Area:
            return areaPage(site, s);
        case Step::Neighbourhood:
            return neighbourhoodPage(site, s);
        case Step::EmailWarning:
            return emailWarningPage(site, s);
        case Step::Photos:
            return photoPage(site, s, {});
        case Step::Review:
            return previewPage(site, s);
        case Step::Terms:
            return termsPage(site, s);
        case Step::Captcha:
            return captchaPage(site, s, {});
        case Step::Compose:
            break;
    }
    return composePage(site, s, account, {});
}

// ---- the admin's switch -------------------------------------------------------------------------

// The page the admin asked the next post to answer with, taken off the list; "" for none.
std::string takeForcedPage(SiteImpl& site) {
    std::lock_guard<std::mutex> g(site.stateLock);
    auto comma = site.nextPostingPage.find(',');
    std::string forced = site.nextPostingPage.substr(0, comma);
    site.nextPostingPage = comma == std::string::npos ? "" : site.nextPostingPage.substr(comma + 1);
    return forced;
}

HttpResponse forcedPage(SiteImpl& site, Session& s, const std::string& account,
                        const std::string& forced) {
    // A step's page that is shown takes its form, as when the chain reaches it: posting can go
    // on through the page asked for.
    static const std::pair<const char*, Step> kFormPages[] = {
        {"type", Step::Type},       {"area", Step::Area},
        {"compose", Step::Compose}, {"emailwarning", Step::EmailWarning},
        {"photos", Step::Photos},   {"review", Step::Review},
        {"terms", Step::Terms},     {"captcha", Step::Captcha}};
    for (const auto& [name, step] : kFormPages)
        if (forced == name) s.reached.insert(step);
    if (forced == "type") return typePage(site, s);
    if (forced == "area") return areaPage(site, s);
    if (forced == "compose") return composePage(site, s, account, {});
    if (forced == "emailwarning") return emailWarningPage(site, s);
    if (forced == "photos") return photoPage(site, s, {});
    if (forced == "photosfull") return photoPage(site, s, {kNoRoomForPhotos});
    if (forced == "review") return previewPage(site, s);
    if (forced == "terms") return termsPage(site, s);
    if (forced == "captcha") return captchaPage(site, s, {});
    if (forced == "phone") return phonePage(site, s, account, true);
    if (forced == "sent") {
        std::string content =
            "<div><b>IMPORTANT - FURTHER ACTION IS REQUIRED TO COMPLETE YOUR REQUEST!</b>"
            "</div>\n<div>You should receive an email shortly, with a link to publish your "
            "posting.</div>\n";
        return page(site, s, "almost done", content);
    }
    if (forced == "empty") return HttpResponse::html("");
    return refuse(400, "The site could not take this posting.");
}

// ---- the steps of a post ------------------------------------------------------------------------

// One form sent to a session, with what every step reads of it.
struct Post {
    SiteImpl& site;
    Session& s;
    const std::string& account;
    const FormFields& form;
    std::string go;  // the button pressed
};

// The refusal of a form with other fields than `allowed`, or sent with another button than
// `button` (when one is given).
std::optional<HttpResponse> refuseUnexpected(const Post& p,
                                             std::initializer_list<const char*> allowed,
                                             const char* button = nullptr) {
    std::string bad;
    if (!onlyFields(p.form, p.s, allowed, &bad))
        return refuse(400, "Unexpected form field " + bad + ".");
    if (button && p.go != button) return refuse(400, "Unexpected button.");
    return std::nullopt;
}

// Where the chain goes once the category (and the seller) is known.
HttpResponse afterCategory(Post& p) {
    const Catalog& c = p.site.catalog;
    Session& s = p.s;
    const Category& cat = c.categories[static_cast<size_t>(s.category)];
    const TestAccount* a = accountRecord(p.account);
    bool verified = a && a->phoneVerified;
    if ((cat.section == 4 || (cat.code == "cta" && s.seller == Listing::Seller::Dealer)) &&
        !verified)
        return phonePage(p.site, s, p.account, cat.code == "cta");
    const Metro& m = c.metros[static_cast<size_t>(s.metro)];
    if (!m.subAreas.empty()) {
        s.reached.insert(Step::Area);
        return areaPage(p.site, s);
    }
    s.reached.insert(Step::Compose);
    return composePage(p.site, s, p.account, {});
}

HttpResponse typeStep(Post& p) {
    if (auto refusal = refuseUnexpected(p, {"id", "go"}, "Continue")) return *refusal;
    Session& s = p.s;
    const PostingType* t = typeOf(fieldValue(p.form, "id"));
    if (!t) return refuse(400, "Please choose a type of posting.");
    s.type = t;
    s.category = -1;
    s.seller = Listing::Seller::Owner;
    if (t->section >= 0) {
        s.reached.insert(Step::Category);
        return categoryPage(p.site, s);
    }
    s.category = p.site.catalog.categoryIndex(t->category);
    return afterCategory(p);
}

HttpResponse categoryStep(Post& p) {
    if (auto refusal = refuseUnexpected(p, {"id", "go"}, "Continue")) return *refusal;
    const Catalog& c = p.site.catalog;
    Session& s = p.s;
    std::string id = fieldValue(p.form, "id");
    if (!s.type) return refuse(400, "Please choose a type of posting first.");
    int index = c.categoryIndex(id);
    bool offered =
        index >= 0 && c.categories[static_cast<size_t>(index)].section == s.type->section;
    if (s.type->fourChoices) {
        offered = false;
        for (const char* code : kCommunityChoices)
            offered = offered || id == code;
    }
    if (!offered) return refuse(400, "Please choose one of the categories offered.");
    s.category = index;
    if (id == "cta") {
        s.reached.insert(Step::Seller);
        return sellerPage(p.site, s);
    }
    return afterCategory(p);
}

HttpResponse sellerStep(Post& p) {
    if (auto refusal = refuseUnexpected(p, {"id", "go"}, "Continue")) return *refusal;
    Session& s = p.s;
    std::string id = fieldValue(p.form, "id");
    if (!s.type) return refuse(400, "Please choose a type of posting first.");
    if (id != "cto" && id != "ctd")
        return refuse(400, "Please choose one of the categories offered.");
    s.category = p.site.catalog.categoryIndex("cta");
    s.seller = id == "ctd" ? Listing::Seller::Dealer : Listing::Seller::Owner;
    return afterCategory(p);
}

HttpResponse areaStep(Post& p) {
    if (auto refusal = refuseUnexpected(p, {"n", "go"}, "Continue")) return *refusal;
    Session& s = p.s;
    int n = std::atoi(fieldValue(p.form, "n").c_str());
    const Metro& m = p.site.catalog.metros[static_cast<size_t>(s.metro)];
    if (n < 0 || n > static_cast<int>(m.subAreas.size()) || fieldValue(p.form, "n").empty())
        return refuse(400, "Please choose an area.");
    s.subArea = n - 1;
    s.neighbourhood = -1;
    if (s.subArea >= 0 && !m.subAreas[static_cast<size_t>(s.subArea)].neighbourhoods.empty()) {
        s.reached.insert(Step::Neighbourhood);
        return neighbourhoodPage(p.site, s);
    }
    s.reached.insert(Step::Compose);
    return composePage(p.site, s, p.account, {});
}

HttpResponse neighbourhoodStep(Post& p) {
    if (auto refusal = refuseUnexpected(p, {"n", "go"}, "Continue")) return *refusal;
    Session& s = p.s;
    int n = std::atoi(fieldValue(p.form, "n").c_str());
    const Metro& m = p.site.catalog.metros[static_cast<size_t>(s.metro)];
    if (s.subArea < 0) return refuse(400, "Please choose an area first.");
    const SubArea& a = m.subAreas[static_cast<size_t>(s.subArea)];
    if (n < 0 || n > static_cast<int>(a.neighbourhoods.size()) || fieldValue(p.form, "n").empty())
        return refuse(400, "Please choose a location.");
    s.neighbourhood = n - 1;
    s.reached.insert(Step::Compose);
    return composePage(p.site, s, p.account, {});
}

HttpResponse composeStep(Post& p) {
    Session& s = p.s;
    const FormFields& form = p.form;
    std::string price = priceField(p.site, s);
    bool anonymous = p.account.empty();
    std::vector<const char*> allowed = {"PostingTitle", "GeographicArea", "FromEMail",
                                        "Privacy",      "PostingBody",    "go"};
    if (!price.empty()) allowed.push_back(price == "Ask" ? "Ask" : "Rent");
    if (anonymous) allowed.push_back("ConfirmEMail");
    for (const auto& f : form) {
        bool known =
            f.name == s.signatureName ||
            std::any_of(allowed.begin(), allowed.end(), [&](const char* a) { return f.name == a; });
        if (!known || countFields(form, f.name) > 1)
            return refuse(400, "Unexpected form field " + f.name + ".");
    }
    if (p.go != "Continue") return refuse(400, "Unexpected button.");
    // Each field is kept to its longest, so that the form shown again holds what may be sent.
    std::vector<std::string> errors;
    auto take = [&](const std::string& text, std::size_t most, const char* what) {
        bool cut = false;
        std::string kept = firstCharacters(text, most, &cut);
        if (cut)
            errors.push_back(std::string(what) + " is too long: it may have at most " +
                             std::to_string(most) + " characters.");
        return kept;
    };
    s.title = take(trimmed(fieldValue(form, "PostingTitle")), kMaxTitleCharacters, "Posting title");
    s.price = price.empty() ? std::string()
                            : take(trimmed(fieldValue(form, price)), kMaxPriceCharacters, "Price");
    s.place =
        take(trimmed(fieldValue(form, "GeographicArea")), kMaxPlaceCharacters, "Specific location");
    s.body =
        take(fieldValue(form, "PostingBody"), kMaxDescriptionCharacters, "Posting description");
    std::string privacy = fieldValue(form, "Privacy");
    s.privacy = privacy == "A" || privacy == "P" ? privacy : "C";
    std::size_t longFields = errors.size();
    s.email = anonymous ? take(trimmed(fieldValue(form, "FromEMail")), kMaxEmailCharacters,
                               "Email address")
                        : p.account;
    bool longEmail = errors.size() > longFields;
    if (s.title.empty()) errors.push_back("Posting title is required.");
    if (trimmed(s.body).empty()) errors.push_back("Posting description is required.");
    if (!s.price.empty() && s.price.find_first_not_of("0123456789") != std::string::npos)
        errors.push_back("Price must be a whole number.");
    if (anonymous && !longEmail) {
        if (!looksLikeEmail(s.email))
            errors.push_back("A valid email address is required.");
        else if (trimmed(fieldValue(form, "ConfirmEMail")) != s.email)
            errors.push_back("The two email addresses do not match.");
    }
    if (!errors.empty()) return composePage(p.site, s, p.account, errors);
    s.emailAccepted = false;
    if (containsIgnoringCase(s.body, s.email)) {
        s.reached.insert(Step::EmailWarning);
        return emailWarningPage(p.site, s);
    }
    s.reached.insert(Step::Photos);
    return photoPage(p.site, s, {});
}

HttpResponse emailWarningStep(Post& p) {
    if (auto refusal = refuseUnexpected(p, {"emailok", "go"})) return *refusal;
    if (fieldValue(p.form, "emailok") != "yes" || p.go != "Continue anyway")
        return refuse(400, "Unexpected button.");
    p.s.emailAccepted = true;
    p.s.reached.insert(Step::Photos);
    return photoPage(p.site, p.s, {});
}

// A photo added to the session, or the photos declared done.
HttpResponse photosStep(Post& p) {
    if (auto refusal = refuseUnexpected(p, {"a", "file", "go"})) return *refusal;
    SiteImpl& site = p.site;
    Session& s = p.s;
    std::string a = fieldValue(p.form, "a");
    if (a != "add") {
        if (a != "fin" || p.go != "Done with Images" || findField(p.form, "file"))
            return refuse(400, "Unexpected button.");
        s.reached.insert(Step::Review);
        return previewPage(site, s);
    }
    if (p.go != "add image") return refuse(400, "Unexpected button.");
    const FormField* file = findField(p.form, "file");
    if (!file || !file->isFile) return refuse(400, "The image file is missing.");
    if (!isImage(file->value)) return photoPage(site, s, {"That file is not an image we can use."});
    if (s.photos.size() >= kMaxPhotos)
        return photoPage(site, s,
                         {"You can add no more than " + std::to_string(kMaxPhotos) + " images."});
    if (file->value.size() > kMaxPhotoBytes)
        return photoPage(site, s,
                         {"That image is too large: an image may be at most " +
                          std::to_string(kMaxPhotoBytes >> 20) + " MB."});
    std::string key = s.token + "_" + std::to_string(s.photos.size() + 1);
    auto size = jpegPixelSize(file->value);
    switch (site.posting.keepPhoto(site, s, key, file->value, size.first, size.second)) {
        case PostingService::Kept::Yes:
            break;
        case PostingService::Kept::SessionGone:
            return refuse(404, "This posting session has ended. Please start again.");
        case PostingService::Kept::NoRoom:
            return photoPage(site, s, {kNoRoomForPhotos});
    }
    s.photos.push_back(key);
    return photoPage(site, s, {});
}

// The posting made: published at once for an account, or held until the link mailed to an
// anonymous poster is followed.
HttpResponse finishPosting(Post& p) {
    SiteImpl& site = p.site;
    const Catalog& c = site.catalog;
    Session& s = p.s;
    s.done = true;
    site.posting.postingMade(s);
    const Metro& m = c.metros[static_cast<size_t>(s.metro)];
    Listing listing;
    listing.metro = s.metro;
    listing.subArea = s.subArea;
    listing.category = s.category;
    listing.titleHtml = escapeHtml(s.title);
    listing.titleText = s.title;
    listing.price = s.price.empty() ? -1 : std::atoi(s.price.substr(0, 9).c_str());
    std::string place = s.place;
    if (place.empty() && s.neighbourhood >= 0)
        place = m.subAreas[static_cast<size_t>(s.subArea)]
                    .neighbourhoods[static_cast<size_t>(s.neighbourhood)];
    listing.placeHtml = escapeHtml(place);
    listing.bodyHtml = textToHtml(s.body);
    listing.bodyText = s.body;
    listing.images = static_cast<int>(s.photos.size());
    listing.uploadedImages = s.photos;
    listing.reply = Listing::Reply::Email;
    listing.relayAddress = relayFor(site, s);
    listing.seller = s.seller;
    if (!p.account.empty()) {
        std::vector<std::string> droppedPhotos;
        listing.id = site.listings.publish(listing, &droppedPhotos);
        site.posting.forgetPhotos(site, droppedPhotos);
        std::string url = listingUrl(c, listing);
        std::size_t kept;
        {
            std::lock_guard<std::mutex> g(site.stateLock);
            kept = site.postingBounds.count;
        }
        site.accounts.recordPosting(p.account, listing.id, listing.titleHtml, url, kept);
        std::string content =
            "<h3>Thanks for posting!</h3>\n<div>Your posting can be seen at <a href=\"" + url +
            "\">" + url + "</a>.</div>\n<div><a href=\"https://" + std::string(kAccountHost) +
            "/\"><span>manage your postings</span>"
            "</a></div>\n";
        return page(site, s, "posted", content);
    }
    std::string publishToken = site.newToken("publish", 20);
    std::string link = "https://" + std::string(kPostingHost) + "/p/" + publishToken;
    std::vector<std::string> droppedPhotos;
    {
        std::lock_guard<std::mutex> g(site.stateLock);
        site.holdPosting(publishToken, std::move(listing), droppedPhotos);
        site.sendMail({s.email, "POST/EDIT/DELETE: \"" + s.title + "\"", link});
    }
    site.posting.forgetPhotos(site, droppedPhotos);
    std::string content =
        "<h3>Thanks for posting with us.</h3>\n<div><b>IMPORTANT - FURTHER ACTION IS REQUIRED TO "
        "COMPLETE YOUR REQUEST!</b></div>\n<div>You should receive an email shortly, with a link "
        "to publish your ad.</div>\n<div>The email is sent to " +
        escapeHtml(s.email) + ".</div>\n";
    return page(site, s, "almost done", content);
}

// Once the terms are accepted: the captcha for those who must solve one, else the posting.
HttpResponse afterTerms(Post& p) {
    const TestAccount* record = accountRecord(p.account);
    if (p.account.empty() || (record && record->captchaAlways)) {
        p.s.reached.insert(Step::Captcha);
        return captchaPage(p.site, p.s, {});
    }
    return finishPosting(p);
}

HttpResponse reviewStep(Post& p) {
    if (auto refusal = refuseUnexpected(p, {"a", "go"})) return *refusal;
    std::string a = fieldValue(p.form, "a");
    if (a == "edit" && p.go == "Edit Post") return composePage(p.site, p.s, p.account, {});
    if (a != "publish" || p.go != "Continue") return refuse(400, "Unexpected button.");
    if (p.account.empty() || !p.site.accounts.acceptedTerms(p.account)) {
        p.s.reached.insert(Step::Terms);
        return termsPage(p.site, p.s);
    }
    return afterTerms(p);
}

HttpResponse termsStep(Post& p) {
    if (auto refusal = refuseUnexpected(p, {"a", "go"})) return *refusal;
    if (fieldValue(p.form, "a") != "terms") return refuse(400, "Unexpected button.");
    if (p.go == "DECLINE") {
        p.s.done = true;
        return refuse(403, "You must accept the terms of use to post.");
    }
    if (p.go != "ACCEPT the terms of use") return refuse(400, "Unexpected button.");
    if (!p.account.empty()) p.site.accounts.acceptTerms(p.account);
    return afterTerms(p);
}

HttpResponse captchaStep(Post& p) {
    if (auto refusal = refuseUnexpected(
            p, {"a", "recaptcha_challenge_field", "recaptcha_response_field", "go"}))
        return *refusal;
    if (fieldValue(p.form, "a") != "captcha" || p.go != "Continue")
        return refuse(400, "Unexpected button.");
    if (fieldValue(p.form, "recaptcha_response_field") != "manual_challenge" ||
        !p.site.captcha.consumeCode(fieldValue(p.form, "recaptcha_challenge_field")))
        return captchaPage(p.site, p.s, {"The verification code was not right. Please try again."});
    return finishPosting(p);
}

HttpResponse postToStep(Post& p, Step step) {
    switch (step) {
        case Step::Type:
            return typeStep(p);
        case Step::Category:
            return categoryStep(p);
        case Step::Seller:
            return sellerStep(p);
        default:
            break;
    }
    // Every later step builds on the category.
    if (p.s.category < 0) return refuse(400, "Please choose a category first.");
    switch (step) {
        case Step::Area:
            return areaStep(p);
        case Step::Neighbourhood:
            return neighbourhoodStep(p);
        case Step::Compose:
            return composeStep(p);
        case Step::EmailWarning:
            return emailWarningStep(p);
        case Step::Photos:
            return photosStep(p);
        case Step::Review:
            return reviewStep(p);
        case Step::Terms:
            return termsStep(p);
        case Step::Captcha:
            return captchaStep(p);
        default:
            return refuse(400, "Unexpected form.");
    }
}

// A form sent to a session: the step is the one whose signature the form carries.
HttpResponse post(SiteImpl& site, Session& s, const std::string& account,
                  const HttpRequest& request) {
    auto parsed = parseForm(request);
    if (!parsed) return refuse(400, "The form could not be read.");
    const FormFields& form = *parsed;
    const FormField* signature = findField(form, s.signatureName);
    if (!signature) return refuse(400, "The form is missing its signature field.");
    std::optional<Step> step;
    for (Step candidate : s.reached) {
        if (signature->value == signatureValue(site, s, candidate)) step = candidate;
    }
    if (!step) return refuse(403, "This form has expired or its signature is wrong.");
    Post p{site, s, account, form, fieldValue(form, "go")};
    return postToStep(p, *step);
}

// The link of the confirmation mail publishes a posting made without an account.
HttpResponse publishConfirmed(SiteImpl& site, const std::string& publishToken) {
    std::optional<Listing> held;
    {
        std::lock_guard<std::mutex> g(site.stateLock);
        held = site.takeHeldPosting(publishToken);
    }
    if (!held) return refuse(404, "This link has already been used or has expired.");
    Listing listing = std::move(*held);
    std::vector<std::string> droppedPhotos;
    listing.id = site.listings.publish(listing, &droppedPhotos);
    site.posting.forgetPhotos(site, droppedPhotos);
    std::string url = listingUrl(site.catalog, listing);
    std::string content =
        "<h3>Your posting is published.</h3>\n<div>Your posting can be seen "
        "at <a href=\"" +
        url + "\">" + url + "</a>.</div>\n";
    return HttpResponse::html(pageFrame("bazaarnest | posting published", "post", content));
}

// The non-empty parts of a path.
std::vector<std::string> pathParts(const std::string& path) {
    std::vector<std::string> parts;
    size_t at = 1;
    while (at < path.size()) {
        size_t slash = path.find('/', at);
        std::string part =
            path.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        if (!part.empty()) parts.push_back(part);
        if (slash == std::string::npos) break;
        at = slash + 1;
    }
    return parts;
}

}  // namespace

void PostingService::reset() {
    std::lock_guard<std::mutex> g(lock_);
    sessions_.clear();
    heldBytes_ = 0;
    keptBytes_ = 0;
}

void PostingService::countInto(StoreSizes& sizes) const {
    std::lock_guard<std::mutex> g(lock_);
    sizes.postingSessions = sessions_.size();
    sizes.photoBytes = keptBytes_;
}

bool PostingService::dropOldest(SiteImpl& site, const Session* keep) {
    auto oldest = sessions_.end();
    for (auto it = sessions_.begin(); it != sessions_.end(); ++it) {
        if (it->second.get() != keep &&
            (oldest == sessions_.end() || it->second->lastUse < oldest->second->lastUse))
            oldest = it;
    }
    if (oldest == sessions_.end()) return false;
    std::shared_ptr<Session> gone = oldest->second;
    sessions_.erase(oldest);
    gone->dropped = true;
    if (gone->made || gone->heldBytes == 0) return true;
    heldBytes_ -= gone->heldBytes;
    keptBytes_ -= gone->heldBytes;
    gone->heldBytes = 0;
    // Its photos were never published: their keys start with its token.
    std::string prefix = gone->token + "_";
    std::lock_guard<std::mutex> g(site.stateLock);
    for (auto u = site.uploads.lower_bound(prefix);
         u != site.uploads.end() && u->first.compare(0, prefix.size(), prefix) == 0;)
        u = site.uploads.erase(u);
    std::erase_if(site.uploadedPhotos, [&](const UploadedPhoto& photo) {
        return photo.key.compare(0, prefix.size(), prefix) == 0;
    });
    return true;
}

void PostingService::forgetPhotos(SiteImpl& site, const std::vector<std::string>& keys) {
    if (keys.empty()) return;
    std::lock_guard<std::mutex> g(lock_);
    std::lock_guard<std::mutex> state(site.stateLock);
    std::set<std::string> gone(keys.begin(), keys.end());
    for (const auto& key : gone) {
        auto it = site.uploads.find(key);
        if (it == site.uploads.end()) continue;
        keptBytes_ -= it->second.size();
        site.uploads.erase(it);
    }
    std::erase_if(site.uploadedPhotos,
                  [&](const UploadedPhoto& photo) { return gone.count(photo.key) > 0; });
}

PostingService::Kept PostingService::keepPhoto(SiteImpl& site, Session& session,
                                               const std::string& key, const std::string& bytes,
                                               int width, int height) {
    std::lock_guard<std::mutex> g(lock_);
    if (session.dropped) return Kept::SessionGone;
    // At the bound the new photo is refused rather than an older one dropped: those of
    // published postings are shown with them, and its poster can go on without it.
    if (keptBytes_ + bytes.size() > kMaxKeptPhotoBytes) return Kept::NoRoom;
    {
        std::lock_guard<std::mutex> state(site.stateLock);
        site.uploads[key] = bytes;
        site.uploadedPhotos.push_back({key, width, height});
    }
    session.heldBytes += bytes.size();
    heldBytes_ += bytes.size();
    keptBytes_ += bytes.size();
    while (heldBytes_ > kMaxHeldPhotoBytes && dropOldest(site, &session)) {
    }
    return Kept::Yes;
}

void PostingService::postingMade(Session& session) {
    std::lock_guard<std::mutex> g(lock_);
    session.made = true;
    heldBytes_ -= session.heldBytes;
    session.heldBytes = 0;
}

HttpResponse PostingService::startSession(SiteImpl& site, const std::string& metroCode) {
    int metro = site.catalog.metroIndex(metroCode);
    if (metro < 0) return refuse(404, "There is no bazaarnest site by that name.");
    auto s = std::make_shared<Session>();
    s->token = site.newToken("posting", 10);
    s->metro = metro;
    s->signatureName = "bnPostingSig_" + hashToken(hashOf({site.tokenSeed, hashText(s->token), 3}),
                                                   10, "ABCDEFGHJKLMNPQRSTUVWXYZ23456789");
    s->reached.insert(Step::Type);
    {
        std::lock_guard<std::mutex> g(lock_);
        while (sessions_.size() >= kMaxSessions && dropOldest(site, nullptr)) {
        }
        s->lastUse = ++uses_;
        sessions_[s->token] = s;
    }
    return typePage(site, *s);
}

std::shared_ptr<PostingService::Session> PostingService::sessionFor(const std::string& token) {
    std::lock_guard<std::mutex> g(lock_);
    auto it = sessions_.find(token);
    if (it == sessions_.end()) return nullptr;
    it->second->lastUse = ++uses_;
    return it->second;
}

HttpResponse PostingService::handle(SiteImpl& site, const HttpRequest& request) {
    std::vector<std::string> parts = pathParts(request.path);
    bool read = request.method == "GET" || request.method == "HEAD";
    std::string account = site.accounts.accountOf(request);

    if (parts.size() == 2 && parts[0] == "p" && read) return publishConfirmed(site, parts[1]);
    if (parts.size() == 2 && parts[0] == "c" && read) return startSession(site, parts[1]);
    if (parts.size() != 2 || parts[0] != "k") return refuse(404, "Page not found.");
    std::shared_ptr<Session> found = sessionFor(parts[1]);
    if (!found) return refuse(404, "This posting session has ended. Please start again.");
    Session& s = *found;
    // One request at a time per posting; other postings go on meanwhile.
    std::lock_guard<std::mutex> hold(s.lock);

    if (read) {
        if (s.done) return refuse(409, "This posting has already been submitted.");
        return shownPage(site, s, account);
    }
    if (request.method != "POST") return refuse(405, "That is not how this page is used.");
    if (s.done) return refuse(409, "This posting has already been submitted.");
    // The admin's switch: the next posts of any session answer with the pages asked for, one
    // each.
    std::string forced = takeForcedPage(site);
    if (!forced.empty()) return forcedPage(site, s, account, forced);
    return post(site, s, account, request);
}

}  // namespace bnsite
