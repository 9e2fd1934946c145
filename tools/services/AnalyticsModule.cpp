#include "tools/services/AnalyticsModule.h"

#include <openssl/sha.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <type_traits>

#include "analytics/base/TallyDebugKey.h"
#include "analytics/base/TallyHosts.h"
#include "tools/standin/JsonWriter.h"

namespace bnservices {

namespace {

std::string receivedNow() {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    return standin::utcText(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

HttpResponse json(std::string body) {
    HttpResponse r;
    r.contentType = "application/json; charset=utf-8";
    r.body = std::move(body);
    return r;
}

// Today in the machine's time zone, as the client formats it.
std::string today() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char text[16];
    std::strftime(text, sizeof text, "%m-%d-%Y", &parts);
    return text;
}

bool isDate(const std::string& d) {
    if (d.size() != 10 || d[2] != '-' || d[5] != '-') return false;
    for (std::size_t i : {0u, 1u, 3u, 4u, 6u, 7u, 8u, 9u}) {
        if (d[i] < '0' || d[i] > '9') return false;
    }
    return true;
}

}  // namespace

std::vector<std::string> AnalyticsModule::hosts() const {
    return {tally_hosts::kAnalyticsHost};
}

HttpResponse AnalyticsModule::handle(const HttpRequest& request) {
    if (request.path != "/aap.do") return HttpResponse::plain("not found\n", 404);
    if (request.method != "POST") return HttpResponse::plain("uploads are posted\n", 405);
    std::string refusal;
    Decoded<TallyUpload> decoded;
    std::size_t sessions = 0;
    std::string type = request.header("Content-Type");
    if (!equalsIgnoringCase(type, "application/octet-stream")) {
        refusal =
            "field Content-Type at byte 0: must be application/octet-stream, not \"" + type + "\"";
    } else {
        // Checked without keeping its records; the body is what is kept.
        decoded = checkTallyUpload(request.body, &sessions);
        refusal = decoded.error;
    }
    std::lock_guard<std::mutex> g(lock_);
    if (!decoded.value) {
        refusals_.push(Refusal{receivedNow(), clipped(refusal)},
                       std::min(refusal.size(), kKeptText));
        HttpResponse answer = HttpResponse::plain(refusal + "\n", 400);
        answer.note = refusal;
        return answer;
    }
    uploads_.push(Stored{receivedNow(), request.body}, request.body.size());
    const TallyUpload& upload = *decoded.value;
    std::string note = std::to_string(sessions) + " session(s)";
    if (!upload.adsRequested) {
        HttpResponse answer = HttpResponse::binary("", "application/octet-stream");
        answer.note = note;
        return answer;
    }
    if (adOptions_.scenario == TallyAdScenario::FailureStatus) {
        HttpResponse answer = HttpResponse::plain("ads unavailable\n", 503);
        answer.note = note + ", ads: failure";
        return answer;
    }
    std::vector<std::int64_t> cached;
    for (const auto& [type, id] : upload.cachedImages)
        cached.push_back(id);
    HttpResponse answer =
        HttpResponse::binary(buildTallyAdReply(adOptions_, cached), "application/octet-stream");
    answer.note = note + ", ads: " + tallyAdScenarioName(adOptions_.scenario);
    return answer;
}

std::optional<HttpResponse> AnalyticsModule::adminView(std::string_view view,
                                                       const FormFields& query) {
    // The upload views go page by page (page= from 1, per= up to kUploadsPerPage, and within
    // kUploadPageBytes): one page decodes and writes only its own uploads.
    std::size_t page = 1, per = kUploadsPerPage;
    if (view == "uploads" || view == "impressions") {
        auto pageNumber = findField(query, "page")
                              ? standin::integerIn(fieldValue(query, "page"), 1, 1000000)
                              : std::optional<long long>(1);
        auto perPage = findField(query, "per")
                           ? standin::integerIn(fieldValue(query, "per"), 1, kUploadsPerPage)
                           : std::optional<long long>(kUploadsPerPage);
        if (!pageNumber || !perPage)
            return HttpResponse::plain(
                "page= counts from 1, per= is 1 to " + std::to_string(kUploadsPerPage) + "\n", 400);
        page = static_cast<std::size_t>(*pageNumber);
        per = static_cast<std::size_t>(*perPage);
    }
    if (view == "uploads") {
        standin::JsonWriter w;
        w.beginArray();
        for (const auto& u : uploadPage(page, per)) {
            w.beginObject().member("received", u.received);
            writeTallyUpload(w, u.upload);
            w.endObject();
        }
        w.endArray();
        return json(w.text());
    }
    if (view == "refused") {
        standin::JsonWriter w;
        w.beginArray();
        for (const auto& r : refusals())
            w.beginObject().member("received", r.received).member("reason", r.reason).endObject();
        w.endArray();
        return json(w.text());
    }
    if (view == "impressions") {
        standin::JsonWriter w;
        w.beginArray();
        for (const auto& u : uploadPage(page, per)) {
            for (const auto& session : u.upload.sessions) {
                for (const auto& m : session.impressions) {
                    w.beginObject().member("received", u.received).member("hook", m.hook);
                    w.member("adFormat", m.adFormat).member("adId", m.adId);
                    w.member("canvasId", m.canvasId).key("states").beginArray();
                    for (const auto& [state, offset] : m.states)
                        w.beginObject().member("state", state).member("offset", offset).endObject();
                    w.endArray().endObject();
                }
            }
        }
        w.endArray();
        return json(w.text());
    }
    if (view == "ads") {
        TallyAdReplyOptions options = adOptions();
        if (findField(query, "scenario") &&
            !parseTallyAdScenario(fieldValue(query, "scenario"), &options.scenario))
            return HttpResponse::plain(
                "scenario= is normal, error, unknown-tags, overrun, "
                "bad-hook, empty or failure\n",
                400);
        auto number = [&](const char* name, auto* target, long long low, long long high) {
            if (!findField(query, name)) return true;
            auto v = standin::integerIn(fieldValue(query, name), low, high);
            if (!v) return false;
            *target = static_cast<std::remove_pointer_t<decltype(target)>>(*v);
            return true;
        };
        if (!number("seed", &options.seed, 0, 1LL << 62) ||
            !number("refresh", &options.refreshSeconds, 0, 86400) ||
            !number("icons", &options.iconCount, 0, 200))
            return HttpResponse::plain("seed=, refresh= (seconds) and icons= are numbers\n", 400);
        if (findField(query, "click")) {
            // click=hook:action,hook:action; an empty hook name is the default hook.
            options.clickActions.clear();
            std::string list = fieldValue(query, "click");
            for (std::size_t at = 0; at <= list.size();) {
                std::size_t comma = std::min(list.find(',', at), list.size());
                std::string entry = list.substr(at, comma - at);
                std::size_t colon = entry.rfind(':');
                auto action = colon == std::string::npos
                                  ? std::nullopt
                                  : standin::integerIn(std::string_view(entry).substr(colon + 1),
                                                       INT32_MIN, INT32_MAX);
                if (!action) return HttpResponse::plain("click= is hook:action,...\n", 400);
                options.clickActions[entry.substr(0, colon)] = static_cast<int>(*action);
                at = comma + 1;
            }
        }
        setAdOptions(options);
        standin::JsonWriter w;
        w.beginObject().member("scenario", tallyAdScenarioName(options.scenario));
        w.member("seed", static_cast<std::int64_t>(options.seed));
        w.member("refresh", static_cast<std::int64_t>(options.refreshSeconds));
        w.member("icons", options.iconCount).key("click").beginObject();
        for (const auto& [hook, action] : options.clickActions)
            w.member(hook, action);
        w.endObject().endObject();
        return json(w.text());
    }
    if (view == "debugkey") {
        std::string key = fieldValue(query, "key");
        std::string date = findField(query, "date") ? fieldValue(query, "date") : today();
        if (key.empty()) return HttpResponse::plain("key= (the API key) is required\n", 400);
        if (!isDate(date)) return HttpResponse::plain("date= is MM-dd-yyyy\n", 400);
        return HttpResponse::plain(debugKey(key, date) + "\n");
    }
    return std::nullopt;
}

std::vector<std::string> AnalyticsModule::adminHelp() const {
    return {
        "uploads?page=N&per=M   the decoded uploads, every field (JSON), oldest first, 20\n"
        "                             (or M) a page, within 512 KB of upload bodies",
        "impressions?page=N&per=M  the ad impressions of those uploads, states in order (JSON)",
        "ads?scenario=S&seed=N&refresh=R&icons=I&click=hook:action,...\n"
        "                             how uploads asking for ads are answered (S: normal,\n"
        "                             error, unknown-tags, overrun, bad-hook, empty, failure)",
        "refused                the refused uploads and why (JSON)",
        "debugkey?key=K&date=D  the debug key for API key K on D (MM-dd-yyyy, default\n"
        "                             today); the client takes it on D and the 7 days before"};
}

void AnalyticsModule::reset() {
    std::lock_guard<std::mutex> g(lock_);
    uploads_.clear();
    refusals_.clear();
    adOptions_ = TallyAdReplyOptions{};
}

TallyAdReplyOptions AnalyticsModule::adOptions() const {
    std::lock_guard<std::mutex> g(lock_);
    return adOptions_;
}

void AnalyticsModule::setAdOptions(const TallyAdReplyOptions& options) {
    std::lock_guard<std::mutex> g(lock_);
    adOptions_ = options;
}

std::vector<AnalyticsModule::Upload> AnalyticsModule::uploads() const {
    std::vector<Stored> stored;
    {
        std::lock_guard<std::mutex> g(lock_);
        stored = uploads_.list();
    }
    return decoded(stored);
}

std::vector<AnalyticsModule::Upload> AnalyticsModule::uploadPage(std::size_t page,
                                                                 std::size_t per) const {
    std::vector<Stored> stored;
    {
        std::lock_guard<std::mutex> g(lock_);
        // Pages run front to back, each as full as its count and bytes allow.
        std::size_t first = 0;
        for (std::size_t number = 1; first < uploads_.size(); ++number) {
            std::size_t end = first, bytes = 0;
            while (end < uploads_.size() && end - first < per &&
                   (end == first || bytes + uploads_.bytesAt(end) <= kUploadPageBytes))
                bytes += uploads_.bytesAt(end++);
            if (number == page) {
                for (std::size_t i = first; i < end; ++i)
                    stored.push_back(uploads_[i]);
                break;
            }
            first = end;
        }
    }
    return decoded(stored);
}

std::vector<AnalyticsModule::Upload> AnalyticsModule::decoded(const std::vector<Stored>& stored) {
    std::vector<Upload> out;
    for (const auto& s : stored) {
        // Every kept body passed the same decoder when it came.
        if (auto upload = decodeTallyUpload(s.body); upload.value)
            out.push_back(Upload{s.received, std::move(*upload.value)});
    }
    return out;
}

std::size_t AnalyticsModule::keptBytes() const {
    std::lock_guard<std::mutex> g(lock_);
    return uploads_.bytes();
}

std::vector<AnalyticsModule::Refusal> AnalyticsModule::refusals() const {
    std::lock_guard<std::mutex> g(lock_);
    return refusals_.list();
}

std::string AnalyticsModule::debugKey(const std::string& apiKey, const std::string& date) {
    std::string text = apiKey + tally_debug_key::kSeparator + date;
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
    return standin::hexText(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

BN_SERVICES_MODULE("analytics", AnalyticsModule)

}  // namespace bnservices
