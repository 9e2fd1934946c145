// The admin host: faults on demand, gates, captcha answers and the mails the site "sent", for
// tests that drive the program from outside and for people trying the app by hand.
#include <sstream>

#include "tools/site/Html.h"
#include "tools/site/SiteInternal.h"

namespace bnsite {

namespace {

const char* const kHelp =
    "bazaarnest stand-in site: admin\n"
    "\n"
    "GET /faults                    the faults in force\n"
    "GET /faults?path=P&...         adds a fault for requests whose path starts with P:\n"
    "      host=PATTERN               only for that host (\"*\" matches any run)\n"
    "      status=N                   answer N with the site's error page\n"
    "      delay=SECONDS              answer that much later (real time)\n"
    "      gate=NAME                  hold the answer until the gate opens\n"
    "      truncate=N                 send only N bytes of the body, then close\n"
    "      drop=1 | reset=1           close without answering (orderly or with a reset)\n"
    "      count=N                    only for the next N requests\n"
    "GET /faults/clear              removes every fault\n"
    "GET /gates/open?name=NAME      lets every held request of the gate through (also\n"
    "    /gates/close, /gates/release?name=NAME&count=N)\n"
    "GET /captcha?c=CHALLENGE       the two words a captcha challenge expects\n"
    "GET /code                      a fresh verification code, as after a right answer\n"
    "GET /mail                      the mails the site sent (to, subject, link)\n"
    "GET /accounts                  the test accounts\n"
    "GET /reset                     forgets postings, logins and sessions\n";

double number(const FormFields& q, std::string_view name) {
    return std::strtod(fieldValue(q, name).c_str(), nullptr);
}

}  // namespace

HttpResponse SiteImpl::adminHost(const HttpRequest& request) {
    if (request.method != "GET" && request.method != "HEAD")
        return HttpResponse::plain("only GET\n", 405);
    FormFields q = parseQuery(request.query);
    const std::string& path = request.path;
    if (path == "/" || path == "/help") return HttpResponse::plain(kHelp);
    if (path == "/faults") {
        if (findField(q, "path") || findField(q, "host")) {
            Fault f;
            f.host = fieldValue(q, "host");
            f.path = fieldValue(q, "path");
            if (f.path.empty()) f.path = "/";
            f.status = static_cast<int>(number(q, "status"));
            f.delaySeconds = number(q, "delay");
            f.gate = fieldValue(q, "gate");
            if (findField(q, "truncate")) {
                f.delivery = Fault::Delivery::Truncate;
                f.truncateAt = static_cast<std::size_t>(number(q, "truncate"));
            }
            if (fieldValue(q, "drop") == "1") f.delivery = Fault::Delivery::Drop;
            if (fieldValue(q, "reset") == "1") f.delivery = Fault::Delivery::Reset;
            if (findField(q, "count")) f.remaining = static_cast<int>(number(q, "count"));
            if (f.status != 0 && (f.status < 100 || f.status > 599))
                return HttpResponse::plain("status must be 100 to 599\n", 400);
            faults.add(f);
        }
        std::string out;
        for (const auto& f : faults.list())
            out += f.describe() + "\n";
        return HttpResponse::plain(out.empty() ? "no faults\n" : out);
    }
    if (path == "/faults/clear") {
        faults.clear();
        return HttpResponse::plain("no faults\n");
    }
    if (path.rfind("/gates/", 0) == 0) {
        std::string name = fieldValue(q, "name");
        if (name.empty()) return HttpResponse::plain("name= is required\n", 400);
        auto gate = faults.gate(name);
        std::string action = path.substr(7);
        if (action == "open")
            gate->open();
        else if (action == "close")
            gate->close();
        else if (action == "release")
            gate->release(static_cast<std::size_t>(std::max(1.0, number(q, "count"))));
        else
            return HttpResponse::plain("unknown gate action\n", 404);
        return HttpResponse::plain(name + ": " + (gate->isOpen() ? "open" : "closed") + ", " +
                                   std::to_string(gate->waiting()) + " waiting, " +
                                   std::to_string(gate->passed()) + " passed\n");
    }
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
    if (path == "/reset") {
        resetState();
        return HttpResponse::plain("reset\n");
    }
    return HttpResponse::plain("unknown admin page; see /\n", 404);
}

}  // namespace bnsite
