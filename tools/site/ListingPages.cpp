// A listing's own page and its reply page with the two forms behind it: revealing the poster's
// relay address after a captcha, and answering through the site.
#include "tools/site/Hash.h"
#include "tools/site/Html.h"
#include "tools/site/SiteInternal.h"

namespace bnsite {

namespace {

std::string breadcrumbs(const Catalog& c, const Listing& l) {
    const Metro& m = c.metros[static_cast<size_t>(l.metro)];
    const Category& cat = c.categories[static_cast<size_t>(l.category)];
    const Section& s = c.sections[static_cast<size_t>(cat.section)];
    std::string root = cityRoot(m.code);
    std::string out =
        "<div class=\"bchead\"><a href=\"" + root + "/\"><b>" + m.name + " bazaarnest</b></a>";
    if (!s.allCode.empty())
        out += " &gt; <a href=\"" + root + "/" + s.allCode + "/\"><b>" + s.name + "</b></a>";
    out += " &gt; <a href=\"" + root + "/" + cat.code + "/\"><b>" + cat.name + "</b></a></div>\n";
    return out;
}

std::string messageFieldName(std::uint64_t seed, std::uint32_t id) {
    return "reply_body_" + hashToken(hashOf({seed, id, 31}), 6);
}

bool looksLikeEmail(const std::string& text) {
    size_t at = text.find('@');
    return at != std::string::npos && at > 0 && text.find('.', at) != std::string::npos &&
           text.find_first_of(" <>\"\r\n") == std::string::npos && text.back() != '.';
}

// The listing a reply page or form is about, or the error page that answers instead.
std::optional<Listing> replyTarget(SiteImpl& site, int metro, std::uint32_t id,
                                   HttpResponse* refusal) {
    auto listing = site.listings.byId(id);
    if (!listing || listing->metro != metro) {
        *refusal = errorPage(404, {"There is no such posting."}, "not found");
        return std::nullopt;
    }
    if (listing->status != Listing::Status::Live) {
        *refusal = errorPage(410, {"This posting has expired."}, "expired");
        return std::nullopt;
    }
    return listing;
}

}  // namespace

std::string replyKeyFor(std::uint64_t seed, std::uint32_t id) {
    return hashToken(hashOf({seed, id, 29}), 16, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
}

HttpResponse listingPage(SiteImpl& site, int metro, std::uint32_t id) {
    const Catalog& c = site.catalog;
    auto found = site.listings.byId(id);
    if (!found || found->metro != metro)
        return errorPage(404, {"There is no such posting on this site."}, "not found");
    const Listing& l = *found;
    std::string body = breadcrumbs(c, l);
    if (l.status == Listing::Status::Expired) {
        body +=
            "<h2>This posting has expired.</h2>\n<div class=\"expired\">(The title on the "
            "listings page will be removed in just a few minutes.)</div>\n";
        return HttpResponse::html(pageFrame("bazaarnest: expired posting", "posting", body));
    }
    if (l.status == Listing::Status::Removed) {
        body += "<div class=\"removed\">This posting has been flagged for removal.</div>\n";
        return HttpResponse::html(pageFrame("bazaarnest: removed posting", "posting", body));
    }
    std::string heading = l.titleHtml;
    if (l.price >= 0) heading += " - $" + std::to_string(l.price);
    if (!l.placeHtml.empty()) heading += " (" + l.placeHtml + ")";
    body += "<h2 class=\"postingtitle\">" + heading + "</h2>\n";
    body += "<div class=\"postinginfos\"><span class=\"postingdate\">Date: " + listingTime(l, c) +
            "</span></div>\n";
    if (l.reply != Listing::Reply::Form) {
        body += "<div class=\"returnemail\">Reply to: <a href=\"mailto:" + l.relayAddress + "\">" +
                l.relayAddress +
                "</a> <sup>[<a href=\"http://www.bazaarnest.test/about/help/replying\"><span>"
                "Errors when replying to ads?</span></a>]</sup></div>\n";
    }
    if (l.reply != Listing::Reply::Email) {
        body += "<form id=\"reply\" action=\"/reply/" + std::to_string(l.id) +
                "\" method=\"get\"><input type=\"submit\" value=\"reply to this post\"></form>\n";
    }
    body += "<hr>\n<div id=\"userbody\">\n" + l.bodyHtml + "\n";
    if (!l.oldFormat) {
        body += "<!-- START BZTAGS -->\n<ul class=\"blurbs\">\n";
        if (!l.placeHtml.empty())
            body += "<li> <!-- BZTAGS:location -->Location: " + l.placeHtml + "</li>\n";
        body +=
            "<li>it's NOT ok to contact this poster with services or other commercial "
            "interests</li>\n";
        if (l.phonePlace == Listing::PhonePlace::Tags)
            body += "<li>Contact phone: " + l.phone + "</li>\n";
        body += "</ul>\n<!-- END BZTAGS -->\n";
    }
    std::vector<std::string> images = listingImageUrls(l);
    if (!images.empty()) {
        body += "<table summary=\"bazaarnest hosted images\">\n";
        for (size_t i = 0; i < images.size(); ++i) {
            body += "<tr><td align=\"center\"><img src=\"" + images[i] + "\" alt=\"image " +
                    std::to_string(l.id) + "-" + std::to_string(i + 1) + "\"></td></tr>\n";
        }
        body += "</table>\n<!--\nimgList = new Array(";
        for (size_t i = 0; i < images.size(); ++i)
            body += (i ? ",\"" : "\"") + images[i] + "\"";
        body += ");\n-->\n";
    }
    body += "</div>\n";
    if (l.phonePlace == Listing::PhonePlace::AfterTags)
        body += "<div class=\"contact\">Questions about this item? Phone " + l.phone + "</div>\n";
    body += "<span class=\"postingidtext\">PostingID: " + std::to_string(l.id) + "</span>\n";
    return HttpResponse::html(pageFrame(l.titleHtml, "posting", body));
}

HttpResponse replyPage(SiteImpl& site, int metro, std::uint32_t id) {
    HttpResponse refusal;
    auto l = replyTarget(site, metro, id, &refusal);
    if (!l) return refusal;
    std::string ids = std::to_string(id);
    // Reply pages of even postings still name the captcha service's former address.
    std::string captchaUrl = captchaChallengeUrl(id % 2 == 0);
    std::string body = breadcrumbs(site.catalog, *l);
    body += "<h3 class=\"replyhead\">reply to: " + l->titleHtml + "</h3>\n";
    body += "<form id=\"showemail\" action=\"/reply/" + ids +
            "/email\" method=\"post\">\n"
            "<input type=\"hidden\" name=\"replyKey\" value=\"" +
            replyKeyFor(site.options.seed, id) +
            "\">\n<div class=\"instructions\">To see the poster's address, solve the captcha and "
            "copy its code into the box.</div>\n<iframe src=\"" +
            captchaUrl +
            "\" height=\"300\" width=\"500\" frameborder=\"0\"></iframe><br>\n"
            "<textarea name=\"recaptcha_challenge_field\" rows=\"3\" cols=\"40\"></textarea>\n"
            "<input type=\"hidden\" name=\"recaptcha_response_field\" value=\"manual_challenge\">\n"
            "<input type=\"submit\" value=\"show email address\">\n</form>\n<hr>\n";
    // The reply form names its whole address: the app posts to it as it stands.
    body += "<form name=\"formEmail\" action=\"" +
            cityRoot(site.catalog.metros[static_cast<size_t>(metro)].code) + "/reply/" + ids +
            "/send\" method=\"post\" enctype=\"multipart/form-data\">\n"
            "<input type=\"hidden\" name=\"oid\" value=\"" +
            ids +
            "\">\n"
            "<input type=\"hidden\" name=\"layout\" value=\"\">\n"
            "<input type=\"hidden\" name=\"pageState\" value=\"reply\">\n"
            "<div>Your email address: <input type=\"text\" name=\"from\" size=\"35\" "
            "value=\"\"></div>\n"
            "<div>Type it again: <input type=\"text\" name=\"fromVerify\" size=\"35\" "
            "value=\"\"></div>\n"
            "<div>Your message:<br><textarea rows=\"8\" cols=\"60\" name=\"" +
            messageFieldName(site.options.seed, id) +
            "\"></textarea></div>\n"
            "<div>Code from the captcha above:<br><textarea name=\"recaptcha_challenge_field\" "
            "rows=\"3\" cols=\"40\"></textarea></div>\n"
            "<input type=\"hidden\" name=\"recaptcha_response_field\" value=\"manual_challenge\">\n"
            "<input type=\"submit\" value=\"send reply\">\n</form>\n";
    return HttpResponse::html(pageFrame("bazaarnest: reply to " + l->titleHtml, "reply", body));
}

HttpResponse replyEmailPost(SiteImpl& site, const HttpRequest& request, int metro,
                            std::uint32_t id) {
    HttpResponse refusal;
    auto l = replyTarget(site, metro, id, &refusal);
    if (!l) return refusal;
    auto form = parseForm(request);
    if (!form) return errorPage(400, {"The form could not be read."});
    for (const auto& f : *form) {
        if (f.name != "replyKey" && f.name != "recaptcha_challenge_field" &&
            f.name != "recaptcha_response_field")
            return errorPage(400, {"Unexpected form field " + f.name + "."});
    }
    if (fieldValue(*form, "replyKey") != replyKeyFor(site.options.seed, id))
        return errorPage(403, {"This form has expired. Please reload the reply page."});
    if (fieldValue(*form, "recaptcha_response_field") != "manual_challenge" ||
        !site.captcha.consumeCode(fieldValue(*form, "recaptcha_challenge_field")))
        return errorPage(403, {"Incorrect verification code. Please try again."});
    std::string body = breadcrumbs(site.catalog, *l);
    body += "<h3 class=\"replyhead\">reply to: " + l->titleHtml + "</h3>\n";
    body += "<div class=\"returnemail\">Reply to: <a href=\"mailto:" + l->relayAddress + "\">" +
            l->relayAddress + "</a></div>\n";
    return HttpResponse::html(pageFrame("bazaarnest: reply to " + l->titleHtml, "reply", body));
}

HttpResponse replySendPost(SiteImpl& site, const HttpRequest& request, int metro,
                           std::uint32_t id) {
    HttpResponse refusal;
    auto l = replyTarget(site, metro, id, &refusal);
    if (!l) return refusal;
    auto form = parseForm(request);
    if (!form) return errorPage(400, {"The form could not be read."});
    const std::string messageName = messageFieldName(site.options.seed, id);
    for (const auto& f : *form) {
        if (f.name != "oid" && f.name != "layout" && f.name != "pageState" && f.name != "from" &&
            f.name != "fromVerify" && f.name != messageName &&
            f.name != "recaptcha_challenge_field" && f.name != "recaptcha_response_field")
            return errorPage(400, {"Unexpected form field " + f.name + "."});
    }
    std::vector<std::string> errors;
    if (fieldValue(*form, "oid") != std::to_string(id) || fieldValue(*form, "pageState") != "reply")
        errors.push_back("This form does not belong to this posting.");
    std::string from = fieldValue(*form, "from");
    if (!looksLikeEmail(from))
        errors.push_back("Please enter a valid email address.");
    else if (fieldValue(*form, "fromVerify") != from)
        errors.push_back("The two email addresses do not match.");
    std::string message = fieldValue(*form, messageName);
    if (message.find_first_not_of(" \t\r\n") == std::string::npos)
        errors.push_back("Please enter a message.");
    if (errors.empty() &&
        (fieldValue(*form, "recaptcha_response_field") != "manual_challenge" ||
         !site.captcha.consumeCode(fieldValue(*form, "recaptcha_challenge_field"))))
        errors.push_back("Incorrect verification code. Please try again.");
    if (!errors.empty()) return errorPage(400, errors, "your reply was not sent");
    {
        std::lock_guard<std::mutex> g(site.stateLock);
        site.sendMail({l->relayAddress, "Re: " + l->titleText, ""});
    }
    std::string body = breadcrumbs(site.catalog, *l);
    body +=
        "<h3 class=\"replyhead\">Your reply has been sent.</h3>\n<div>Thank you for using "
        "bazaarnest.</div>\n";
    return HttpResponse::html(pageFrame("bazaarnest: reply sent", "reply", body));
}

}  // namespace bnsite
