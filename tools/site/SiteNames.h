// The names under which the stand-in site and the outside services it stands in for answer.
// Everything lives under the reserved ".test" top-level domain, so that nothing can ever reach a
// real third-party host; the platform's host override (BAZAARNEST_HOSTS) points them all at the
// one loopback server. The app holds the same constants.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace bnsite {

// The site's root domain. City sites are its subdomains ("boston.bazaarnest.test"); the English
// version of a non-English city inserts "en" ("montreal.en.bazaarnest.test").
inline constexpr std::string_view kSiteDomain = "bazaarnest.test";
// The location index ("/about/sites") and the front page.
inline constexpr std::string_view kMainHost = "www.bazaarnest.test";
// The secure account service: "/" sets the browser cookie and shows the login form or the
// account page, "/login" takes the login form, "/logout" ends the session.
inline constexpr std::string_view kAccountHost = "accounts.bazaarnest.test";
// The secure posting pages: "/c/<city>" starts a posting, "/k/<session>" carries its steps.
inline constexpr std::string_view kPostingHost = "post.bazaarnest.test";
// Listing photos, thumbnails and uploaded images.
inline constexpr std::string_view kImageHost = "images.bazaarnest.test";
// Faults on demand, captcha answers and the confirmation mails, for tests and people.
inline constexpr std::string_view kAdminHost = "admin.bazaarnest.test";
// The forums, linked from the city pages: an index and a page a forum, with no posts.
inline constexpr std::string_view kForumsHost = "forums.bazaarnest.test";
// A poster's own site, which some listings' bodies link to for more details.
inline constexpr std::string_view kPosterSiteHost = "www.example.test";
// Relay addresses that stand for the posters' e-mail addresses.
inline constexpr std::string_view kMailDomain = "relay.bazaarnest.test";

// The captcha service: its current API host (API base "http://<host>/recaptcha/api/") and the
// former one (API base "http://<host>/"), which reply pages may still name.
inline constexpr std::string_view kCaptchaHost = "verify.captchaservice.test";
inline constexpr std::string_view kCaptchaFormerHost = "api.captchaservice.test";
inline constexpr std::string_view kCaptchaApiPath = "/recaptcha/api/";
// The site's public key, passed to the captcha service as "k".
inline constexpr std::string_view kCaptchaSiteKey = "bn-site-public-key-7d41";

// The page-simplifying service ("/gwt/x?u=<page url>&ct=pg1&whp=30").
inline constexpr std::string_view kSimplifierHost = "mobilize.pagesimplifier.test";

// The city the app falls back to when no location was chosen.
inline constexpr std::string_view kDefaultCity = "boston";

// The content seed used when none is given.
inline constexpr std::uint64_t kDefaultSeed = 20120301;

// The moment the generated content is written as of: 2012-03-01 12:00:00 UTC, the manual clock's
// start in the app's scripted runs. Listing times count back from it.
inline constexpr std::int64_t kContentEpochUnix = 1330603200;

// "http://<code>.bazaarnest.test", the site root of a city as the location index links it.
std::string cityRoot(std::string_view code);
// "<code>.bazaarnest.test", or "<code>.en.bazaarnest.test" for the English version.
std::string cityHost(std::string_view code, bool english = false);
// The captcha service's challenge page for the site key, on the current or the former API base.
std::string captchaChallengeUrl(bool formerBase = false);

// The host override that maps every name above to a server on 127.0.0.1:port.
std::string hostsOverrideFor(int port);

// Test accounts of the account service. Every one of them has the password "secret".
struct TestAccount {
    std::string_view email;
    std::string_view password;
    bool phoneVerified;  // may post in the categories that need a phone-verified account
    bool captchaAlways;  // the login form and every posting ask for a captcha
};
inline constexpr TestAccount kTestAccounts[] = {
    {"tester@example.test", "secret", false, false},
    {"verified@example.test", "secret", true, false},
    {"captcha@example.test", "secret", true, true},
};
// After this many failed logins in a row an account name must answer a captcha.
inline constexpr int kLoginFailuresBeforeCaptcha = 3;

}  // namespace bnsite
