#include "tools/services/AnalyticsModule.h"

#include <openssl/sha.h>

#include <chrono>
#include <ctime>

#include "analytics/TallyDebugKey.h"
#include "analytics/TallyHosts.h"
#include "tools/standin/JsonWriter.h"

namespace bnservices {

namespace {

// Kept per server, the most recent first to go.
constexpr std::size_t kKeptUploads = 500;

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

template <class T>
void keepRecent(std::vector<T>& list, T entry) {
    list.push_back(std::move(entry));
    if (list.size() > kKeptUploads) list.erase(list.begin());
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
    std::string type = request.header("Content-Type");
    if (!equalsIgnoringCase(type, "application/octet-stream")) {
        refusal =
            "field Content-Type at byte 0: must be application/octet-stream, not \"" + type + "\"";
    } else {
        decoded = decodeTallyUpload(request.body);
        refusal = decoded.error;
    }
    std::lock_guard<std::mutex> g(lock_);
    if (!decoded.value) {
        keepRecent(refusals_, Refusal{receivedNow(), refusal});
        HttpResponse answer = HttpResponse::plain(refusal + "\n", 400);
        answer.note = refusal;
        return answer;
    }
    keepRecent(uploads_, Upload{receivedNow(), std::move(*decoded.value)});
    // The ad client's reply joins this answer when the ad service stands.
    HttpResponse answer = HttpResponse::binary("", "application/octet-stream");
    answer.note = std::to_string(uploads_.back().upload.sessions.size()) + " session(s)";
    return answer;
}

std::optional<HttpResponse> AnalyticsModule::adminView(std::string_view view,
                                                       const FormFields& query) {
    if (view == "uploads") {
        standin::JsonWriter w;
        w.beginArray();
        for (const auto& u : uploads()) {
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
    return {"uploads                the decoded uploads, every field (JSON)",
            "refused                the refused uploads and why (JSON)",
            "debugkey?key=K&date=D  the debug key for API key K on D (MM-dd-yyyy, default\n"
            "                             today); the client takes it on D and the 7 days before"};
}

void AnalyticsModule::reset() {
    std::lock_guard<std::mutex> g(lock_);
    uploads_.clear();
    refusals_.clear();
}

std::vector<AnalyticsModule::Upload> AnalyticsModule::uploads() const {
    std::lock_guard<std::mutex> g(lock_);
    return uploads_;
}

std::vector<AnalyticsModule::Refusal> AnalyticsModule::refusals() const {
    std::lock_guard<std::mutex> g(lock_);
    return refusals_;
}

std::string AnalyticsModule::debugKey(const std::string& apiKey, const std::string& date) {
    std::string text = apiKey + tally_debug_key::kSeparator + date;
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
    return standin::hexText(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

BN_SERVICES_MODULE("analytics", AnalyticsModule)

}  // namespace bnservices
