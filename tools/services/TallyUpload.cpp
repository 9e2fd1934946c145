#include "tools/services/TallyUpload.h"

#include <cstring>
#include <type_traits>

#include "tools/standin/JsonWriter.h"

namespace bnservices {

namespace {

struct Refusal {
    std::string text;
};

// A field's name as a reader takes it: text, or a function that makes it, called only when a
// refusal needs it (the names of list items take longer to make than their bytes take to read).
class FieldName {
public:
    FieldName(const char* text) : literal_(text) {}
    FieldName(const std::string& text) : text_(&text) {}
    template <class Make>
    requires std::is_invocable_r_v<std::string, const Make&> FieldName(const Make& make)
        : make_(&make), call_([](const void* m) { return (*static_cast<const Make*>(m))(); }) {}

    std::string text() const {
        if (literal_) return literal_;
        if (text_) return *text_;
        return call_(make_);
    }

private:
    const char* literal_ = nullptr;
    const std::string* text_ = nullptr;
    const void* make_ = nullptr;
    std::string (*call_)(const void*) = nullptr;
};

// Reads the body front to back; every read names its field, so that a refusal says which field
// broke the format and where it starts.
class Reader {
public:
    // Without `keep`, the lists of the session records (events and their parameters, counts,
    // errors, impressions) are read and checked but not kept: a dense body of small entries
    // would otherwise take many times its size.
    explicit Reader(std::string_view bytes, bool keep = true) : bytes_(bytes), keep_(keep) {}
    bool keeps() const { return keep_; }

    [[noreturn]] void fail(const FieldName& field, std::size_t at, const std::string& reason) {
        throw Refusal{"field " + field.text() + " at byte " + std::to_string(at) + ": " + reason};
    }

    std::uint64_t bigEndian(const FieldName& field, int count) {
        if (at_ + static_cast<std::size_t>(count) > bytes_.size()) fail(field, at_, "short data");
        std::uint64_t v = 0;
        for (int i = 0; i < count; ++i)
            v = v << 8 | static_cast<unsigned char>(bytes_[at_++]);
        return v;
    }
    int byte(const FieldName& field) { return static_cast<int>(bigEndian(field, 1)); }
    unsigned ushort(const FieldName& field) { return static_cast<unsigned>(bigEndian(field, 2)); }
    std::int32_t int32(const FieldName& field) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(bigEndian(field, 4)));
    }
    std::int64_t int64(const FieldName& field) {
        return static_cast<std::int64_t>(bigEndian(field, 8));
    }
    double float64(const FieldName& field) {
        std::uint64_t bits = bigEndian(field, 8);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    float float32(const FieldName& field) {
        auto bits = static_cast<std::uint32_t>(bigEndian(field, 4));
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    bool boolean(const FieldName& field) {
        std::size_t start = at_;
        int v = byte(field);
        if (v != 0 && v != 1) fail(field, start, "bool must be 0 or 1, not " + std::to_string(v));
        return v == 1;
    }
    void constant(const FieldName& field, unsigned expected) {
        std::size_t start = at_;
        unsigned v = ushort(field);
        if (v != expected)
            fail(field, start,
                 "must be " + std::to_string(expected) + ", not " + std::to_string(v));
    }
    std::string bytes(const FieldName& field, std::size_t count, std::size_t start) {
        if (at_ + count > bytes_.size()) fail(field, start, "short data");
        std::string out(bytes_.substr(at_, count));
        at_ += count;
        return out;
    }
    std::string string(const FieldName& field) {
        std::size_t start = at_;
        std::string out = bytes(field, ushort(field), start);
        if (!standin::isValidUtf8(out)) fail(field, start, "bad UTF-8");
        return out;
    }
    std::string tinyData(const FieldName& field) {
        std::size_t start = at_;
        return bytes(field, static_cast<std::size_t>(byte(field)), start);
    }
    std::string shortData(const FieldName& field) {
        std::size_t start = at_;
        return bytes(field, ushort(field), start);
    }
    void end() {
        if (at_ != bytes_.size())
            fail("end", at_, std::to_string(bytes_.size() - at_) + " trailing bytes");
    }
    std::size_t at() const { return at_; }

private:
    std::string_view bytes_;
    bool keep_;
    std::size_t at_ = 0;
};

std::string item(const std::string& list, std::size_t index, const char* field) {
    return list + "[" + std::to_string(index) + "]." + field;
}

TallyUploadImpression readImpression(Reader& r, const std::string& at) {
    TallyUploadImpression m;
    m.hook = r.string(at + ".hook");
    std::size_t start = r.at();
    m.adFormat = r.byte(at + ".adFormat");
    if (m.adFormat > 3)
        r.fail(at + ".adFormat", start,
               "ad format must be 0 to 3, not " + std::to_string(m.adFormat));
    m.adId = r.int64(at + ".adId");
    m.canvasId = r.int64(at + ".canvasId");
    m.cookie = r.tinyData(at + ".cookie");
    start = r.at();
    unsigned states = r.ushort(at + ".states");
    if (states == 0) r.fail(at + ".states", start, "an impression has at least one state");
    std::int64_t last = 0;
    for (unsigned i = 0; i < states; ++i) {
        std::string field = item(at + ".states", i, "state");
        start = r.at();
        int state = r.byte(field);
        if (state > 8) r.fail(field, start, "state must be 0 to 8, not " + std::to_string(state));
        field = item(at + ".states", i, "offset");
        start = r.at();
        std::int64_t offset = r.int64(field);
        if (i > 0 && offset < last) r.fail(field, start, "states go in time order");
        last = offset;
        if (r.keeps()) m.states.emplace_back(state, offset);
    }
    return m;
}

TallyUploadRecord readRecord(Reader& r, const std::string& at) {
    TallyUploadRecord s;
    auto f = [&](const char* name) { return at + "." + name; };
    s.version = r.ushort(f("version"));
    s.appVersion = r.string(f("appVersion"));
    s.start = r.int64(f("start"));
    s.length = r.int64(f("length"));
    s.paused = r.int64(f("paused"));
    s.locale = r.string(f("locale"));
    s.timeZone = r.string(f("timeZone"));
    s.internetAvailable = r.boolean(f("internetAvailable"));
    s.userID = r.string(f("userID"));
    s.constantFlag = r.boolean(f("constantFlag"));
    s.latitude = r.float64(f("latitude"));
    s.longitude = r.float64(f("longitude"));
    s.accuracy = r.float32(f("accuracy"));
    s.pageViews = r.int32(f("pageViews"));
    s.reserved1 = r.byte(f("reserved1"));
    s.reserved2 = r.byte(f("reserved2"));
    std::size_t genderAt = r.at();
    s.gender = r.byte(f("gender"));
    if (s.gender != 0 && s.gender != 1 && s.gender != 255)
        r.fail(f("gender"), genderAt,
               "gender must be 0, 1 or 255, not " + std::to_string(s.gender));
    s.ageGiven = r.boolean(f("ageGiven"));
    if (s.ageGiven) s.age = r.int64(f("age"));
    unsigned counts = r.ushort(f("counts"));
    for (unsigned i = 0; i < counts; ++i) {
        std::string name = r.string(item(f("counts"), i, "name"));
        std::int32_t count = r.int32(item(f("counts"), i, "count"));
        if (r.keeps()) s.counts.emplace_back(std::move(name), count);
    }
    unsigned events = r.ushort(f("events"));
    for (unsigned i = 0; i < events; ++i) {
        std::string e = f("events") + "[" + std::to_string(i) + "]";
        TallyUploadEvent event;
        event.name = r.string(e + ".name");
        unsigned parameters = r.ushort(e + ".parameters");
        for (unsigned k = 0; k < parameters; ++k) {
            std::string key = r.string([&] { return item(e + ".parameters", k, "key"); });
            std::string value = r.string([&] { return item(e + ".parameters", k, "value"); });
            if (r.keeps()) event.parameters.emplace_back(std::move(key), std::move(value));
        }
        event.offset = r.int64(e + ".offset");
        event.duration = r.int64(e + ".duration");
        if (r.keeps()) s.events.push_back(std::move(event));
    }
    s.eventLogComplete = r.boolean(f("eventLogComplete"));
    s.totalErrors = r.int32(f("totalErrors"));
    unsigned errors = r.ushort(f("errors"));
    for (unsigned i = 0; i < errors; ++i) {
        TallyUploadError e;
        e.time = r.int64(item(f("errors"), i, "time"));
        e.id = r.string(item(f("errors"), i, "id"));
        e.message = r.string(item(f("errors"), i, "message"));
        e.exception = r.string(item(f("errors"), i, "exception"));
        if (r.keeps()) s.errors.push_back(std::move(e));
    }
    unsigned impressions = r.ushort(f("impressions"));
    for (unsigned i = 0; i < impressions; ++i) {
        TallyUploadImpression m =
            readImpression(r, f("impressions") + "[" + std::to_string(i) + "]");
        if (r.keeps()) s.impressions.push_back(std::move(m));
    }
    return s;
}

TallyUpload readUpload(Reader& r, std::size_t* sessionCount = nullptr) {
    TallyUpload u;
    r.constant("protocol", 15);
    u.adsRequested = r.ushort("adsRequested");
    u.imageCacheTime = r.int64("imageCacheTime");
    unsigned images = r.ushort("cachedImages");
    for (unsigned i = 0; i < images; ++i) {
        int type = r.byte(item("cachedImages", i, "type"));
        u.cachedImages.emplace_back(type, r.int64(item("cachedImages", i, "id")));
    }
    r.constant("platform", 2);
    r.constant("agentVersion", 42);
    u.sentAt = r.int64("sentAt");
    u.apiKey = r.string("apiKey");
    u.appVersion = r.string("appVersion");
    std::size_t typeAt = r.at();
    u.deviceIdType = static_cast<int>(r.ushort("deviceIdType"));
    std::size_t idAt = r.at();
    if (u.deviceIdType == 0) {
        u.phoneID = r.string("deviceId");
        if (u.phoneID.rfind("IPHONE", 0) != 0)
            r.fail("deviceId", idAt, "a phone id starts with \"IPHONE\"");
    } else if (u.deviceIdType == 1) {
        u.tallyID = r.shortData("deviceId");
        if (u.tallyID.size() != 20)
            r.fail("deviceId", idAt,
                   "a device digest is 20 bytes, not " + std::to_string(u.tallyID.size()));
    } else {
        r.fail("deviceIdType", typeAt, "must be 0 or 1, not " + std::to_string(u.deviceIdType));
    }
    u.firstStart = r.int64("firstStart");
    u.sessionStart = r.int64("sessionStart");
    unsigned properties = r.ushort("properties");
    for (unsigned i = 0; i < properties; ++i) {
        std::string key = r.string(item("properties", i, "key"));
        u.properties.emplace_back(key, r.string(item("properties", i, "value")));
    }
    unsigned sessions = r.ushort("sessions");
    if (sessionCount) *sessionCount = sessions;
    for (unsigned i = 0; i < sessions; ++i) {
        TallyUploadRecord record = readRecord(r, "sessions[" + std::to_string(i) + "]");
        if (r.keeps()) u.sessions.push_back(std::move(record));
    }
    r.end();
    return u;
}

void writeTime(standin::JsonWriter& json, const char* key, std::int64_t milliseconds) {
    json.member(key, milliseconds);
    json.member(std::string(key) + "UTC", standin::utcText(milliseconds));
}

void writePairs(standin::JsonWriter& json, const char* key, const StringPairs& pairs) {
    json.key(key).beginObject();
    for (const auto& [k, v] : pairs)
        json.member(k, v);
    json.endObject();
}

}  // namespace

Decoded<TallyUpload> decodeTallyUpload(std::string_view body) {
    Reader r(body);
    try {
        return {readUpload(r), {}};
    } catch (const Refusal& refusal) {
        return {std::nullopt, refusal.text};
    }
}

Decoded<TallyUpload> checkTallyUpload(std::string_view body, std::size_t* sessions) {
    Reader r(body, false);
    try {
        return {readUpload(r, sessions), {}};
    } catch (const Refusal& refusal) {
        return {std::nullopt, refusal.text};
    }
}

Decoded<TallyUploadRecord> decodeTallyRecord(std::string_view bytes) {
    Reader r(bytes);
    try {
        TallyUploadRecord record = readRecord(r, "record");
        r.end();
        return {std::move(record), {}};
    } catch (const Refusal& refusal) {
        return {std::nullopt, refusal.text};
    }
}

void writeTallyRecord(standin::JsonWriter& json, const TallyUploadRecord& s) {
    json.beginObject();
    json.member("version", s.version).member("appVersion", s.appVersion);
    writeTime(json, "start", s.start);
    json.member("length", s.length).member("paused", s.paused);
    json.member("locale", s.locale).member("timeZone", s.timeZone);
    json.member("internetAvailable", s.internetAvailable).member("userID", s.userID);
    json.member("constantFlag", s.constantFlag);
    json.member("latitude", s.latitude).member("longitude", s.longitude);
    json.member("accuracy", static_cast<double>(s.accuracy));
    json.member("pageViews", s.pageViews);
    json.member("reserved1", s.reserved1).member("reserved2", s.reserved2);
    json.member("gender", s.gender).member("ageGiven", s.ageGiven);
    if (s.ageGiven) writeTime(json, "age", s.age);
    json.key("counts").beginObject();
    for (const auto& [name, count] : s.counts)
        json.member(name, count);
    json.endObject();
    json.key("events").beginArray();
    for (const auto& e : s.events) {
        json.beginObject().member("name", e.name);
        writePairs(json, "parameters", e.parameters);
        json.member("offset", e.offset).member("duration", e.duration).endObject();
    }
    json.endArray();
    json.member("eventLogComplete", s.eventLogComplete).member("totalErrors", s.totalErrors);
    json.key("errors").beginArray();
    for (const auto& e : s.errors) {
        json.beginObject();
        writeTime(json, "time", e.time);
        json.member("id", e.id).member("message", e.message).member("exception", e.exception);
        json.endObject();
    }
    json.endArray();
    json.key("impressions").beginArray();
    for (const auto& m : s.impressions) {
        json.beginObject().member("hook", m.hook).member("adFormat", m.adFormat);
        json.member("adId", m.adId).member("canvasId", m.canvasId);
        json.member("cookie", standin::hexText(m.cookie));
        json.key("states").beginArray();
        for (const auto& [state, offset] : m.states)
            json.beginObject().member("state", state).member("offset", offset).endObject();
        json.endArray().endObject();
    }
    json.endArray();
    json.endObject();
}

void writeTallyUpload(standin::JsonWriter& json, const TallyUpload& u) {
    json.member("adsRequested", u.adsRequested);
    json.member("imageCacheTime", u.imageCacheTime);
    json.key("cachedImages").beginArray();
    for (const auto& [type, id] : u.cachedImages)
        json.beginObject().member("type", type).member("id", id).endObject();
    json.endArray();
    writeTime(json, "sentAt", u.sentAt);
    json.member("apiKey", u.apiKey).member("appVersion", u.appVersion);
    json.member("deviceIdType", u.deviceIdType);
    if (u.deviceIdType == 0)
        json.member("phoneID", u.phoneID);
    else
        json.member("tallyID", standin::hexText(u.tallyID));
    writeTime(json, "firstStart", u.firstStart);
    writeTime(json, "sessionStart", u.sessionStart);
    writePairs(json, "properties", u.properties);
    json.key("sessions").beginArray();
    for (const auto& s : u.sessions)
        writeTallyRecord(json, s);
    json.endArray();
}

}  // namespace bnservices
