// The admin host: faults on demand, gates, captcha answers and the mails the site "sent", for
// tests that drive the program from outside and for people trying the app by hand.
#include <sstream>

#include "tools/site/Html.h"
#include "tools/site/SiteInternal.h"

namespace bnsite {

namespace {

const char* const kTitle = "bazaarnest stand-in site: admin\n\n";
const char* const kHelp =
    "GET /captcha?c=CHALLENGE       the two words a captcha challenge expects\n"
    "GET /code                      a fresh verification code, as after a right answer\n"
    "GET /mail                      the mails the site sent (to, subject, link)\n"
    "GET /accounts                  the test accounts\n"
    "GET /reset                     forgets postings, logins and sessions\n"
    "GET /posting-page?p=PAGE,...   the next posts to the posting host answer with the PAGEs:\n"
    "                               type, area, compose, emailwarning, photos, review, terms,\n"
    "                               photosfull, captcha, phone, sent, empty, error\n"
    "GET /uploads                   the photos posted: key, width x height\n";

}  // namespace

HttpResponse SiteImpl::adminHost(const HttpRequest& request) {
    if (request.method != "GET" && request.method != "HEAD")
        return HttpResponse::plain("only GET\n", 405);
    FormFields q = parseQuery(request.query);
    const std::string& path = request.path;
    if (path == "/" || path == "/help")
        return HttpResponse::plain(std::string(kTitle) + kFaultAdminHelp + kHelp);
    if (auto page = faultAdminPage(faults(), request)) return *page;
    if (path == "/captcha") {
        auto answer = captcha.answerFor(fieldValue(q, "c"));
        if (!answer) return HttpResponse::plain("no such challenge\n", 404);
        return HttpResponse::plain(*answer + "\n");
    }
    if (path == "/code") return HttpResponse::plain(captcha.issueCode() + "\n");
    if (path == "/mail") {
        std::string out;
        std::lock_guard<std::mutex> g(stateLock);
        for (const auto& m : mails)
            out += m.to + "\t" + m.subject + "\t" + m.link + "\n";
        return HttpResponse::plain(out);
    }
    if (path == "/accounts") {
        std::ostringstream out;
        for (const auto& a : kTestAccounts) {
            out << a.email << "\t" << a.password << (a.phoneVerified ? "\tphone verified" : "")
                << (a.captchaAlways ? "\tcaptcha always" : "") << "\n";
        }
        return HttpResponse::plain(out.str());
    }
    if (path == "/posting-page") {
        std::lock_guard<std::mutex> g(stateLock);
        nextPostingPage = fieldValue(q, "p");
        return HttpResponse::plain("next posting page: " + nextPostingPage + "\n");
    }
    if (path == "/uploads") {
        std::ostringstream out;
        std::lock_guard<std::mutex> g(stateLock);
        for (const auto& u : uploadedPhotos)
            out << u.key << "\t" << u.width << " x " << u.height << "\n";
        return HttpResponse::plain(out.str());
    }
    if (path == "/reset") {
        resetState();
        return HttpResponse::plain("reset\n");
    }
    return HttpResponse::plain("unknown admin page; see /\n", 404);
}

}  // namespace bnsite
