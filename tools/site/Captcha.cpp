// The captcha service in its form for pages without scripts: a challenge page with an image of
// two words, the image, and the answer check that hands out a verification code for the site.
#include <cctype>

#include "tools/site/Hash.h"
#include "tools/site/Html.h"
#include "tools/site/SiteInternal.h"

namespace bnsite {

namespace {

const char* const kWords[] = {
    "olive",  "castle", "river",  "meadow", "candle", "harbor", "pepper", "silver",
    "window", "garden", "orange", "pillow", "marble", "copper", "forest", "basket",
    "ticket", "violet", "button", "saddle", "cotton", "parrot", "rocket", "tunnel",
    "walnut", "pencil", "velvet", "anchor", "bottle", "cactus", "dragon", "falcon",
    "ginger", "hammer", "island", "jacket", "kettle", "ladder", "mirror", "napkin",
    "oyster", "pocket", "quartz", "rabbit", "salmon", "turnip", "valley", "wizard",
    "yellow", "zipper", "beacon", "cherry", "donkey", "engine", "fabric", "goblet",
    "hollow", "icicle", "jungle", "kitten", "lemon",  "mango",  "nectar", "pebble",
};

const char* const kTokenAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-";

// Lower case, words split at white space only (a "+" that arrives decoded is part of a word),
// single spaces.
std::string normalisedAnswer(std::string_view text) {
    std::string out;
    bool space = false;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            space = !out.empty();
            continue;
        }
        if (space) out += ' ';
        space = false;
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

}  // namespace

std::string CaptchaService::newChallenge() {
    std::lock_guard<std::mutex> g(lock_);
    std::uint64_t n = challenges_++;
    std::string challenge = "03" + hashToken(hashOf({seed_, 0xCA, n}), 38, kTokenAlphabet);
    Rng rng(hashOf({seed_, 0xA5, n}));
    // The second word is drawn first: the order the stored pages were made with, which one
    // expression left to each compiler.
    std::string second = rng.pick(kWords);
    std::string answer = std::string(rng.pick(kWords)) + " " + second;
    challengesKept_.put(challenge, {answer, true});
    last_ = answer;
    return challenge;
}

std::optional<std::string> CaptchaService::answerFor(const std::string& challenge) const {
    std::lock_guard<std::mutex> g(lock_);
    const Challenge* kept = challengesKept_.find(challenge);
    if (!kept) return std::nullopt;
    return kept->answer;
}

std::optional<std::string> CaptchaService::lastAnswer() const {
    std::lock_guard<std::mutex> g(lock_);
    if (last_.empty()) return std::nullopt;
    return last_;
}

std::string CaptchaService::issueCode() {
    std::lock_guard<std::mutex> g(lock_);
    std::string code = "bnv" + hashToken(hashOf({seed_, 0xC0DE, codes_++}), 41, kTokenAlphabet);
    validCodes_.put(code, true);
    return code;
}

bool CaptchaService::consumeCode(const std::string& code) {
    std::lock_guard<std::mutex> g(lock_);
    return validCodes_.erase(code);
}

void CaptchaService::countInto(StoreSizes& sizes) const {
    std::lock_guard<std::mutex> g(lock_);
    sizes.captchaChallenges = challengesKept_.size();
    sizes.captchaCodes = validCodes_.size();
}

void CaptchaService::reset() {
    std::lock_guard<std::mutex> g(lock_);
    // After a reset the challenges (and their words) come in the same order as after a start.
    challenges_ = 0;
    codes_ = 0;
    challengesKept_.clear();
    last_.clear();
    validCodes_.clear();
}

HttpResponse CaptchaService::challengePage(const std::string& challenge,
                                           const std::string& notice) {
    std::string body = "<form action=\"\" method=\"post\">\n";
    if (!notice.empty()) body += "<div class=\"error\">" + notice + "</div>\n";
    body +=
        "<center><img width=\"300\" height=\"57\" alt=\"\" src=\"image?c=" + challenge +
        "\"></center>\n<label for=\"recaptcha_response_field\">Type the two words:</label><br>\n"
        "<input type=\"text\" name=\"recaptcha_response_field\" id=\"recaptcha_response_field\" "
        "autocomplete=\"off\" size=\"30\">\n"
        "<input type=\"hidden\" name=\"recaptcha_challenge_field\" "
        "id=\"recaptcha_challenge_field\" value=\"" +
        challenge +
        "\">\n"
        "<input type=\"submit\" name=\"submit\" value=\"I'm a human\">\n</form>\n";
    return HttpResponse::html(pageFrame("captcha", "captcha", body));
}

HttpResponse CaptchaService::handle(SiteImpl& site, const HttpRequest& request) {
    (void)site;
    const std::string& path = request.path;
    FormFields query = parseQuery(request.query);
    if (endsWith(path, "/image")) {
        if (request.method != "GET" && request.method != "HEAD")
            return errorPage(405, {"Images are only read."});
        std::string challenge = fieldValue(query, "c");
        auto answer = answerFor(challenge);
        if (!answer) return errorPage(404, {"No such challenge."}, "not found");
        HttpResponse r = HttpResponse::binary(
            encodeJpeg(captchaImage(*answer, hashText(challenge, seed_)), 75), "image/jpeg");
        r.note = "captcha answer: " + *answer;
        return r;
    }
    if (!endsWith(path, "/noscript")) return errorPage(404, {"Page not found."}, "not found");
    if (fieldValue(query, "k").empty()) return errorPage(400, {"Invalid site key."});
    if (request.method == "GET" || request.method == "HEAD")
        return challengePage(newChallenge(), "");
    if (request.method != "POST") return errorPage(405, {"That is not how this page is used."});

    auto form = parseForm(request);
    if (!form) return errorPage(400, {"The form could not be read."});
    std::string challenge = fieldValue(*form, "recaptcha_challenge_field");
    std::string response = normalisedAnswer(fieldValue(*form, "recaptcha_response_field"));
    bool right = false;
    {
        std::lock_guard<std::mutex> g(lock_);
        auto* kept = challengesKept_.find(challenge);
        if (kept && kept->open) {
            right = !response.empty() && response == kept->answer;
            kept->open = false;  // a challenge is answered once, right or wrong
        }
    }
    if (!right) return challengePage(newChallenge(), "Incorrect. Please try again.");
    std::string body =
        "<div class=\"instructions\">Copy this code and paste it in the empty box "
        "below.</div>\n<textarea rows=\"5\" cols=\"100\">" +
        issueCode() + "</textarea>\n<div class=\"note\">The code works once.</div>\n";
    return HttpResponse::html(pageFrame("captcha", "captcha", body));
}

}  // namespace bnsite
