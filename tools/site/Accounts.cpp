// The secure account service: the browser cookie that a login needs, the login form and its
// answers (success, failure, captcha), the account page and logout.
#include "tools/site/Hash.h"
#include "tools/site/Html.h"
#include "tools/site/SiteInternal.h"

namespace bnsite {

namespace {

// A Set-Cookie value for the whole site (every host under the root domain), without Secure so
// that the app's logout, which deletes the root domain's cookies by an http URL, finds it. A
// session cookie unless `expired`.
std::string siteCookie(std::string_view name, std::string_view value, bool expired = false) {
    std::string out(name);
    out += "=";
    out += value;
    out += "; Domain=.";
    out += kSiteDomain;
    out += "; Path=/";
    if (expired) out += "; Expires=Thu, 01 Jan 1970 00:00:00 GMT";
    return out;
}

const char* const kBrowserCookie = "bn_browser";
const char* const kSessionCookie = "bn_session";

const TestAccount* findAccount(const std::string& nameLower) {
    for (const auto& a : kTestAccounts) {
        std::string email(a.email);
        if (nameLower == email || nameLower == email.substr(0, email.find('@'))) return &a;
    }
    return nullptr;
}

std::string trimmed(const std::string& text) {
    size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = text.find_last_not_of(" \t\r\n");
    return text.substr(b, e - b + 1);
}

std::string header() {
    return "<div class=\"bchead\"><a href=\"http://www.bazaarnest.test/\"><b>bazaarnest</b></a> "
           "&gt; <span>account</span></div>\n";
}

}  // namespace

std::string AccountService::accountOf(const HttpRequest& request) const {
    auto token = request.cookie(kSessionCookie);
    if (!token) return {};
    std::lock_guard<std::mutex> g(lock_);
    const std::string* account = sessions_.find(*token);
    return account ? *account : std::string();
}

bool AccountService::acceptedTerms(const std::string& account) const {
    std::lock_guard<std::mutex> g(lock_);
    return termsAccepted_.count(account) > 0;
}

void AccountService::acceptTerms(const std::string& account) {
    std::lock_guard<std::mutex> g(lock_);
    termsAccepted_.insert(account);
}

void AccountService::recordPosting(const std::string& account, std::uint32_t id, std::string title,
                                   std::string url, std::size_t kept) {
    std::lock_guard<std::mutex> g(lock_);
    auto& postings = postings_[account];
    postings.push_back({id, std::move(title), std::move(url)});
    while (postings.size() > std::max<std::size_t>(kept, 1))
        postings.erase(postings.begin());
}

void AccountService::reset() {
    std::lock_guard<std::mutex> g(lock_);
    browsers_.clear();
    sessions_.clear();
    failures_.clear();
    termsAccepted_.clear();
    postings_.clear();
}

void AccountService::countInto(StoreSizes& sizes) const {
    std::lock_guard<std::mutex> g(lock_);
    sizes.loginFailures = failures_.size();
    sizes.browsers = browsers_.size();
    sizes.loginSessions = sessions_.size();
}

HttpResponse AccountService::loginPage(SiteImpl& site, const std::vector<std::string>& errors,
                                       bool captcha, const std::string& name, int status) {
    (void)site;
    std::string body = header() + "<h3>Log in to your account</h3>\n";
    if (!errors.empty()) {
        body += "<ul class=\"errors\">\n";
        for (const auto& e : errors)
            body += "<li class=\"error\">" + escapeHtml(e) + "</li>\n";
        body += "</ul>\n";
    }
    body += "<form name=\"login\" action=\"https://" + std::string(kAccountHost) +
            "/login\" method=\"post\">\n"
            "<input type=\"hidden\" name=\"step\" value=\"confirmation\">\n"
            "<input type=\"hidden\" name=\"originalURI\" value=\"/\">\n"
            "<input type=\"hidden\" name=\"rt\" value=\"\">\n"
            "<input type=\"hidden\" name=\"rp\" value=\"\">\n"
            "<div>Email / Handle: <input type=\"text\" name=\"inputEmailHandle\" value=\"" +
            escapeHtml(name) +
            "\"></div>\n"
            "<div>Password: <input type=\"password\" name=\"inputPassword\" value=\"\"></div>\n";
    if (captcha) {
        body += "<div class=\"captcha\">Please prove you are a person:<br>\n<iframe src=\"" +
                captchaChallengeUrl(false) +
                "\" height=\"300\" width=\"500\" frameborder=\"0\"></iframe><br>\n"
                "<textarea name=\"recaptcha_challenge_field\" rows=\"3\" cols=\"40\"></textarea>\n"
                "<input type=\"hidden\" name=\"recaptcha_response_field\" "
                "value=\"manual_challenge\"></div>\n";
    }
    body += "<button type=\"submit\">Log In</button>\n</form>\n";
    return HttpResponse::html(pageFrame("bazaarnest account log in", "account", body), status);
}

HttpResponse AccountService::accountPage(SiteImpl& site, const std::string& account) {
    const TestAccount* a = findAccount(account);
    std::vector<Posted> postings;
    {
        std::lock_guard<std::mutex> g(lock_);
        auto it = postings_.find(account);
        if (it != postings_.end()) postings = it->second;
    }
    // Past the bounds of the store the oldest postings go, whatever their count here.
    std::erase_if(postings, [&](const Posted& p) { return !site.listings.keepsPosted(p.id); });
    std::string body = header();
    body += "<div class=\"account-header\">home of " + escapeHtml(account) + "</div>\n";
    body += "<div class=\"account-info\">Phone verified: " +
            std::string(a && a->phoneVerified ? "yes" : "no") + "</div>\n";
    if (postings.empty()) {
        body += "<div class=\"nopostings\">You have no postings.</div>\n";
    } else {
        body += "<table class=\"postings\">\n";
        for (const auto& p : postings) {
            body +=
                "<tr><td><a href=\"" + p.url + "\"><span>" + p.title + "</span></a></td></tr>\n";
        }
        body += "</table>\n";
    }
    body += "<div class=\"logout\"><a href=\"https://" + std::string(kAccountHost) +
            "/logout\"><span>log out</span></a></div>\n";
    return HttpResponse::html(pageFrame("bazaarnest account", "account", body));
}

HttpResponse AccountService::handle(SiteImpl& site, const HttpRequest& request) {
    const std::string& path = request.path;
    bool read = request.method == "GET" || request.method == "HEAD";
    if (read && (path == "/" || path == "/login")) {
        std::string account = accountOf(request);
        HttpResponse page =
            account.empty() ? loginPage(site, {}, false, "") : accountPage(site, account);
        auto browser = request.cookie(kBrowserCookie);
        bool known;
        {
            std::lock_guard<std::mutex> g(lock_);
            known = browser && browsers_.contains(*browser);
        }
        if (!known) {
            std::string token = site.newToken("browser", 16);
            {
                std::lock_guard<std::mutex> g(lock_);
                browsers_.put(token, true);
            }
            page.header("Set-Cookie", siteCookie(kBrowserCookie, token));
        }
        return page;
    }
    if (read && path == "/logout") {
        if (auto token = request.cookie(kSessionCookie)) {
            std::lock_guard<std::mutex> g(lock_);
            sessions_.erase(*token);
        }
        HttpResponse page = loginPage(site, {}, false, "");
        page.header("Set-Cookie", siteCookie(kSessionCookie, "", true));
        return page;
    }
    if (path != "/login") return errorPage(404, {"Page not found."}, "not found");
    if (request.method != "POST") return errorPage(405, {"That is not how this page is used."});

    auto form = parseForm(request);
    if (!form) return errorPage(400, {"The form could not be read."});
    static const char* const allowed[] = {"step",
                                          "originalURI",
                                          "rt",
                                          "rp",
                                          "inputEmailHandle",
                                          "inputPassword",
                                          "recaptcha_challenge_field",
                                          "recaptcha_response_field"};
    for (const auto& f : *form) {
        bool known = false;
        for (const char* name : allowed)
            known = known || f.name == name;
        if (!known) return errorPage(400, {"Unexpected form field " + f.name + "."});
        if (countFields(*form, f.name) > 1)
            return errorPage(400, {"Repeated form field " + f.name + "."});
    }
    for (const char* required : {"step", "originalURI", "inputEmailHandle", "inputPassword"}) {
        if (!findField(*form, required))
            return errorPage(400, {std::string("Missing form field ") + required + "."});
    }
    if (fieldValue(*form, "step") != "confirmation")
        return errorPage(400, {"This form has expired."});

    std::string typed = trimmed(fieldValue(*form, "inputEmailHandle"));
    std::string name = lowercase(typed);
    auto browser = request.cookie(kBrowserCookie);
    {
        std::lock_guard<std::mutex> g(lock_);
        if (!browser || !browsers_.contains(*browser)) {
            return loginPage(site, {"Your browser must accept cookies to log in."}, false, typed);
        }
    }
    const TestAccount* account = findAccount(name);
    bool answered = findField(*form, "recaptcha_challenge_field") != nullptr;
    // Failures count for an account, under whichever of its names; a name without an account
    // keeps nothing, however many are tried.
    std::string email = account ? std::string(account->email) : std::string();
    int failures = 0;
    if (account) {
        std::lock_guard<std::mutex> g(lock_);
        auto it = failures_.find(email);
        if (it != failures_.end()) failures = it->second;
    }
    bool needsCaptcha =
        (account && account->captchaAlways) || failures >= kLoginFailuresBeforeCaptcha;
    if (answered) {
        bool valid = fieldValue(*form, "recaptcha_response_field") == "manual_challenge" &&
                     site.captcha.consumeCode(fieldValue(*form, "recaptcha_challenge_field"));
        if (!valid) return loginPage(site, {"The verification code was not right."}, true, typed);
    } else if (needsCaptcha) {
        return loginPage(site, {"Please prove you are a person to log in."}, true, typed);
    }
    if (!account || fieldValue(*form, "inputPassword") != account->password) {
        if (account) {
            std::lock_guard<std::mutex> g(lock_);
            failures = ++failures_[email];
        }
        return loginPage(site, {"Invalid email address or password."},
                         failures >= kLoginFailuresBeforeCaptcha, typed);
    }
    std::string token = site.newToken("session", 24);
    {
        std::lock_guard<std::mutex> g(lock_);
        failures_.erase(email);
        sessions_.put(token, email);
    }
    HttpResponse page = accountPage(site, email);
    page.header("Set-Cookie", siteCookie(kSessionCookie, token));
    return page;
}

}  // namespace bnsite
