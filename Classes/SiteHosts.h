// The app's names for the classifieds site and the outside services it uses. Everything lives
// under the reserved ".test" top-level domain, so that nothing can ever reach a real third-party
// host; the platform's host override (BAZAARNEST_HOSTS) maps the names to wherever the site runs.
// The stand-in site holds the same names; keep the two in step.
#pragma once

#include <string_view>

#include "Foundation/NSString.h"

namespace SiteHosts {

// Each name comes as a compile-time view (for building URLs in C++) and as an immortal string
// (for the calls that take NSString).
#define SITE_HOSTS_NAME(constant, getter, text)        \
    inline constexpr std::string_view constant = text; \
    inline NSString* getter() {                        \
        return NS(text);                               \
    }

// The site's root domain. City sites are its subdomains ("boston.bazaarnest.test"); the English
// version of a non-English city inserts "en" ("montreal.en.bazaarnest.test").
SITE_HOSTS_NAME(kDomain, domain, "bazaarnest.test")
// The location index ("/about/sites") and the front page.
SITE_HOSTS_NAME(kMainHost, mainHost, "www.bazaarnest.test")
// The secure account service (login, account page, logout).
SITE_HOSTS_NAME(kAccountHost, accountHost, "accounts.bazaarnest.test")
// The secure posting pages.
SITE_HOSTS_NAME(kPostingHost, postingHost, "post.bazaarnest.test")
// Listing photos and thumbnails.
SITE_HOSTS_NAME(kImageHost, imageHost, "images.bazaarnest.test")
// Relay addresses that stand for the posters' e-mail addresses.
SITE_HOSTS_NAME(kMailDomain, mailDomain, "relay.bazaarnest.test")

// The captcha service: the current API host (API base "http://<host>/recaptcha/api/") and the
// former one (API base "http://<host>/"), which reply pages may still name.
SITE_HOSTS_NAME(kCaptchaHost, captchaHost, "verify.captchaservice.test")
SITE_HOSTS_NAME(kCaptchaFormerHost, captchaFormerHost, "api.captchaservice.test")
SITE_HOSTS_NAME(kCaptchaApiPath, captchaApiPath, "/recaptcha/api/")
// The site's public key, passed to the captcha service as "k".
SITE_HOSTS_NAME(kCaptchaSiteKey, captchaSiteKey, "bn-site-public-key-7d41")

// The page-simplifying service ("/gwt/x?u=<page url>&ct=pg1&whp=30").
SITE_HOSTS_NAME(kSimplifierHost, simplifierHost, "mobilize.pagesimplifier.test")

// The platform store's web host, named by the app's store page link in shared listings (nothing
// answers there: the link is only sent).
SITE_HOSTS_NAME(kStoreWebHost, storeWebHost, "itunes.appstore.test")

// The city the app falls back to when no location was chosen.
SITE_HOSTS_NAME(kDefaultCity, defaultCity, "boston")

#undef SITE_HOSTS_NAME

}  // namespace SiteHosts
