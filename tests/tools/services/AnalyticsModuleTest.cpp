// The analytics service: uploads decoded field by field, malformed bodies refused with the field
// and byte that broke them, and the admin views of what came.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/HeapUse.h"
#include "support/services/RunningServices.h"
#include "tools/services/AnalyticsModule.h"
#include "tools/services/ServicesTesting.h"
#include "tools/services/TallyAdReply.h"
#include "tools/services/TallyUpload.h"
#include "tools/standin/JsonWriter.h"
#include "tools/standin/RequestReader.h"

namespace servicestest {

namespace {

// Builds bodies the way the client writes them: big-endian, strings with a ushort length.
class Bytes {
public:
    Bytes& be(std::uint64_t v, int count) {
        for (int i = count - 1; i >= 0; --i)
            out_ += static_cast<char>((v >> (8 * i)) & 0xFF);
        return *this;
    }
    Bytes& byte(int v) { return be(static_cast<std::uint64_t>(v), 1); }
    Bytes& ushort(unsigned v) { return be(v, 2); }
    Bytes& int32(std::int32_t v) { return be(static_cast<std::uint32_t>(v), 4); }
    Bytes& int64(std::int64_t v) { return be(static_cast<std::uint64_t>(v), 8); }
    Bytes& float64(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return be(bits, 8);
    }
    Bytes& float32(float v) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return be(bits, 4);
    }
    Bytes& string(const std::string& s) {
        ushort(static_cast<unsigned>(s.size()));
        out_ += s;
        return *this;
    }
    Bytes& raw(const std::string& s) {
        out_ += s;
        return *this;
    }
    std::size_t size() const { return out_.size(); }
    const std::string& str() const { return out_; }

private:
    std::string out_;
};

// What a record holds; the test changes one field at a time.
struct RecordFields {
    int internetAvailable = 1;
    int gender = 0;
    std::string locale = "en_US";
};

// A record's fields up to its events.
void writeRecordHead(Bytes& b, const RecordFields& f = {}) {
    b.ushort(1).string("1.4").int64(1330603200000).int64(61500).int64(2500);
    b.string(f.locale).string("America/New_York").byte(f.internetAvailable).string("user-7");
    b.byte(1).float64(42.36).float64(-71.06).float32(10.5f).int32(3);
    b.byte(0).byte(0).byte(f.gender).byte(1).int64(315532800000);
    b.ushort(1).string("Post Success").int32(2);
}

std::string writeRecordPrefix() {
    Bytes b;
    writeRecordHead(b);
    return b.str();
}

void writeRecord(Bytes& b, const RecordFields& f = {}) {
    writeRecordHead(b, f);
    b.ushort(1).string("Post Success").ushort(1).string("city").string("boston");
    b.int64(1500).int64(0);
    b.byte(0).int32(11);
    b.ushort(1)
        .int64(1330603201000)
        .string("POST Error Unknown")
        .string("http://x.test/")
        .string("NSRangeException: index 3");
    b.ushort(1).string("banner").byte(2).int64(77).int64(88).byte(2).raw("\x01\x02");
    b.ushort(1).byte(3).int64(1200);
}

struct EnvelopeFields {
    unsigned protocol = 15, platform = 2, agent = 42;
    unsigned idType = 0;
    std::string phoneID = "IPHONE0123";
};

std::string upload(const EnvelopeFields& e = {}, const RecordFields& r = {}, int sessions = 1) {
    Bytes b;
    b.ushort(e.protocol).ushort(1).int64(9000).ushort(1).byte(1).int64(555);
    b.ushort(e.platform).ushort(e.agent).int64(1330603260000);
    b.string("QX4ZR7TMB2WN9KEH5VDJ").string("1.4");
    b.ushort(e.idType);
    if (e.idType == 1)
        b.ushort(20).raw(std::string(20, '\x07'));
    else
        b.string(e.phoneID);
    b.int64(1330000000000).int64(1330603200000);
    b.ushort(1).string("device.model.1").string("iOS4Device");
    b.ushort(static_cast<unsigned>(sessions));
    for (int i = 0; i < sessions; ++i)
        writeRecord(b, r);
    return b.str();
}

Reply post(const std::string& body, const std::string& type = "application/octet-stream") {
    return request("POST", "analytics.tally.test", "/aap.do", body, {{"Content-Type", type}});
}

bnservices::AnalyticsModule& analytics() {
    return *services().module<bnservices::AnalyticsModule>("analytics");
}

// A valid upload of `events` events with 65,535 empty parameters each: four bytes a parameter,
// the densest shape the format allows.
std::string denseUpload(int events) {
    std::string record = writeRecordPrefix();
    Bytes b;
    b.ushort(static_cast<unsigned>(events));
    std::string out = record + b.str();
    const std::string parameters(65535 * 4, '\0');
    for (int i = 0; i < events; ++i) {
        Bytes event;
        event.string("e").ushort(65535);
        out += event.str() + parameters;
        out += Bytes().int64(1500).int64(0).str();
    }
    // No errors, no impressions.
    out += Bytes().byte(0).int32(0).ushort(0).ushort(0).str();
    std::string envelope = upload({}, {}, 0);
    envelope.back() = 1;  // one session, the dense one
    return envelope + out;
}

// The process's peak resident size since it was last restarted (VmHWM), in bytes.
[[maybe_unused]] std::size_t peakResidentBytes() {
    const std::string field = "VmHWM:";
    std::ifstream status("/proc/self/status");
    std::string name;
    std::size_t kilobytes = 0;
    while (status >> name) {
        if (name == field) {
            status >> kilobytes;
            return kilobytes * 1024;
        }
    }
    return 0;
}

std::size_t entries(const std::string& json) {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = json.find("\"received\"", at)) != std::string::npos; ++at)
        ++count;
    return count;
}

class AnalyticsModuleTest : public ::testing::Test {
protected:
    void SetUp() override { services().reset(); }
};

TEST_F(AnalyticsModuleTest, DecodesEveryFieldOfAnUpload) {
    Reply reply = post(upload({}, {}, 2));
    EXPECT_EQ(reply.status, 200);
    // It asked for ads and holds image 555: the seeded ad reply without that image.
    EXPECT_EQ(reply.body, bnservices::buildTallyAdReply({}, {555}));
    auto uploads = analytics().uploads();
    ASSERT_EQ(uploads.size(), 1u);
    const bnservices::TallyUpload& u = uploads[0].upload;
    EXPECT_EQ(u.adsRequested, 1u);
    EXPECT_EQ(u.imageCacheTime, 9000);
    ASSERT_EQ(u.cachedImages.size(), 1u);
    EXPECT_EQ(u.cachedImages[0].second, 555);
    EXPECT_EQ(u.sentAt, 1330603260000);
    EXPECT_EQ(u.apiKey, "QX4ZR7TMB2WN9KEH5VDJ");
    EXPECT_EQ(u.phoneID, "IPHONE0123");
    EXPECT_EQ(u.firstStart, 1330000000000);
    EXPECT_EQ(u.properties.at(0).second, "iOS4Device");
    ASSERT_EQ(u.sessions.size(), 2u);
    const bnservices::TallyUploadRecord& s = u.sessions[1];
    EXPECT_EQ(s.appVersion, "1.4");
    EXPECT_EQ(s.length, 61500);
    EXPECT_EQ(s.paused, 2500);
    EXPECT_EQ(s.timeZone, "America/New_York");
    EXPECT_TRUE(s.internetAvailable);
    EXPECT_EQ(s.userID, "user-7");
    EXPECT_DOUBLE_EQ(s.latitude, 42.36);
    EXPECT_FLOAT_EQ(s.accuracy, 10.5f);
    EXPECT_EQ(s.pageViews, 3);
    EXPECT_EQ(s.gender, 0);
    EXPECT_TRUE(s.ageGiven);
    EXPECT_EQ(s.age, 315532800000);
    EXPECT_EQ(s.counts.at(0).second, 2);
    ASSERT_EQ(s.events.size(), 1u);
    EXPECT_EQ(s.events[0].parameters.at(0).second, "boston");
    EXPECT_EQ(s.events[0].offset, 1500);
    EXPECT_FALSE(s.eventLogComplete);
    EXPECT_EQ(s.totalErrors, 11);
    EXPECT_EQ(s.errors.at(0).exception, "NSRangeException: index 3");
    ASSERT_EQ(s.impressions.size(), 1u);
    EXPECT_EQ(s.impressions[0].cookie, "\x01\x02");
    EXPECT_EQ(s.impressions[0].states.at(0).second, 1200);

    // A device digest instead of the phone id.
    EnvelopeFields digest;
    digest.idType = 1;
    EXPECT_EQ(post(upload(digest)).status, 200);
    EXPECT_EQ(analytics().uploads().back().upload.tallyID, std::string(20, '\x07'));
}

TEST_F(AnalyticsModuleTest, RefusesMalformedUploadsNamingTheFieldAndByte) {
    // The record of the first session starts after the envelope's fixed part.
    const std::size_t record = upload({}, {}, 0).size();
    auto refusal = [](const std::string& body,
                      const std::string& type = "application/octet-stream") {
        Reply r = post(body, type);
        EXPECT_EQ(r.status, 400);
        return r.body;
    };
    EXPECT_EQ(
        refusal(upload(), "text/plain"),
        "field Content-Type at byte 0: must be application/octet-stream, not \"text/plain\"\n");
    EnvelopeFields e;
    e.protocol = 14;
    EXPECT_EQ(refusal(upload(e)), "field protocol at byte 0: must be 15, not 14\n");
    e = {};
    e.platform = 1;
    EXPECT_EQ(refusal(upload(e)), "field platform at byte 23: must be 2, not 1\n");
    e = {};
    e.agent = 41;
    EXPECT_EQ(refusal(upload(e)), "field agentVersion at byte 25: must be 42, not 41\n");
    e = {};
    e.idType = 3;
    EXPECT_EQ(refusal(upload(e)), "field deviceIdType at byte 62: must be 0 or 1, not 3\n");
    e = {};
    e.phoneID = "ANDROID1";
    EXPECT_EQ(refusal(upload(e)), "field deviceId at byte 64: a phone id starts with \"IPHONE\"\n");
    RecordFields r;
    r.internetAvailable = 2;
    std::size_t internet = record + 2 + 5 + 24 + 7 + 18;
    EXPECT_EQ(refusal(upload({}, r)), "field sessions[0].internetAvailable at byte " +
                                          std::to_string(internet) +
                                          ": bool must be 0 or 1, not 2\n");
    r = {};
    r.gender = 7;
    std::size_t gender = internet + 1 + 8 + 1 + 16 + 4 + 4 + 2;
    EXPECT_EQ(refusal(upload({}, r)), "field sessions[0].gender at byte " + std::to_string(gender) +
                                          ": gender must be 0, 1 or 255, not 7\n");
    r = {};
    r.locale = "en\xff";
    EXPECT_EQ(refusal(upload({}, r)), "field sessions[0].locale at byte " +
                                          std::to_string(record + 2 + 5 + 24) + ": bad UTF-8\n");
    std::string whole = upload();
    EXPECT_EQ(refusal(whole.substr(0, whole.size() - 3)),
              "field sessions[0].impressions[0].states[0].offset at byte " +
                  std::to_string(whole.size() - 8) + ": short data\n");
    EXPECT_EQ(refusal(whole + "xy"),
              "field end at byte " + std::to_string(whole.size()) + ": 2 trailing bytes\n");

    // A digest that is not 20 bytes long.
    Bytes shortDigest;
    std::string head = upload({}, {}, 0).substr(0, 62);
    shortDigest.raw(head).ushort(1).ushort(19).raw(std::string(19, 'x'));
    EXPECT_EQ(refusal(shortDigest.str()),
              "field deviceId at byte 64: a device digest is 20 bytes, not 19\n");

    EXPECT_TRUE(analytics().uploads().empty());
    EXPECT_EQ(analytics().refusals().size(), 12u);
    EXPECT_EQ(get("analytics.tally.test", "/aap.do").status, 405);
    EXPECT_EQ(post(upload()).status, 200);  // the refusals left nothing behind
}

TEST_F(AnalyticsModuleTest, AdminViewsShowUploadsRefusalsAndDebugKeys) {
    post(upload());
    post("x");
    Reply uploads = admin("/analytics/uploads");
    EXPECT_EQ(uploads.status, 200);
    EXPECT_NE(uploads.head.find("application/json"), std::string::npos);
    for (const char* part :
         {"\"apiKey\": \"QX4ZR7TMB2WN9KEH5VDJ\"", "\"sentAtUTC\": \"2012-03-01T12:01:00.000Z\"",
          "\"city\": \"boston\"", "\"exception\": \"NSRangeException: index 3\"",
          "\"cookie\": \"0102\"", "\"Post Success\": 2", "\"gender\": 0", "\"paused\": 2500"})
        EXPECT_NE(uploads.body.find(part), std::string::npos) << part << "\n" << uploads.body;
    Reply refused = admin("/analytics/refused");
    EXPECT_NE(refused.body.find("\"reason\": \"field protocol at byte 0: short data\""),
              std::string::npos)
        << refused.body;

    std::string key = admin("/analytics/debugkey?key=K1&date=03-01-2012").body;
    EXPECT_EQ(key, bnservices::AnalyticsModule::debugKey("K1", "03-01-2012") + "\n");
    EXPECT_EQ(key.size(), 41u);
    EXPECT_NE(key, admin("/analytics/debugkey?key=K1&date=03-02-2012").body);
    EXPECT_NE(key, admin("/analytics/debugkey?key=K2&date=03-01-2012").body);
    EXPECT_EQ(admin("/analytics/debugkey?key=K1&date=3-1-2012").status, 400);
    EXPECT_EQ(admin("/analytics/debugkey").status, 400);
    EXPECT_NE(admin("/").body.find("GET /analytics/uploads"), std::string::npos);
}

TEST(TallyRecordDecoding, AStoredRecordDecodesAloneAndJsonKeepsEveryField) {
    Bytes b;
    writeRecord(b);
    auto decoded = bnservices::decodeTallyRecord(b.str());
    ASSERT_TRUE(decoded.value) << decoded.error;
    EXPECT_EQ(decoded.value->errors.at(0).id, "POST Error Unknown");
    EXPECT_EQ(bnservices::decodeTallyRecord(b.str() + "z").error,
              "field end at byte " + std::to_string(b.size()) + ": 1 trailing bytes");
    standin::JsonWriter w;
    bnservices::writeTallyRecord(w, *decoded.value);
    for (const char* part :
         {"\"startUTC\": \"2012-03-01T12:00:00.000Z\"", "\"ageUTC\": \"1980-01-01T00:00:00.000Z\"",
          "\"length\": 61500", "\"constantFlag\": true", "\"accuracy\": 10.5", "\"adId\": 77",
          "\"canvasId\": 88", "\"state\": 3"})
        EXPECT_NE(w.text().find(part), std::string::npos) << part << "\n" << w.text();
}

TEST_F(AnalyticsModuleTest, AdRepliesFollowTheScenarioSetOnTheAdminHostOrInProcess) {
    using bnservices::TallyAdScenario;
    Reply set =
        admin("/analytics/ads?scenario=error&seed=7&refresh=5&click=:2,Tally_Canvas_Hook_1:4");
    EXPECT_EQ(set.status, 200);
    EXPECT_NE(set.body.find("\"scenario\": \"error\""), std::string::npos) << set.body;
    auto options = analytics().adOptions();
    EXPECT_EQ(options.scenario, TallyAdScenario::ErrorChunk);
    EXPECT_EQ(options.seed, 7u);
    EXPECT_EQ(options.refreshSeconds, 5u);
    EXPECT_EQ(options.clickActions.at(""), 2);
    EXPECT_EQ(options.clickActions.at("Tally_Canvas_Hook_1"), 4);
    EXPECT_EQ(post(upload()).body, bnservices::buildTallyAdReply(options, {555}));

    EXPECT_EQ(admin("/analytics/ads?scenario=sideways").status, 400);
    EXPECT_EQ(admin("/analytics/ads?seed=x").status, 400);
    EXPECT_EQ(admin("/analytics/ads?click=nocolon").status, 400);

    EXPECT_EQ(admin("/analytics/ads?scenario=failure").status, 200);
    EXPECT_EQ(post(upload()).status, 503);
    EXPECT_EQ(admin("/analytics/ads?scenario=empty").status, 200);
    Reply empty = post(upload());
    EXPECT_EQ(empty.status, 200);
    EXPECT_EQ(empty.body, "");

    bnservices::TallyAdReplyOptions overrun;
    overrun.scenario = TallyAdScenario::Overrun;
    analytics().setAdOptions(overrun);
    EXPECT_EQ(post(upload()).body, bnservices::buildTallyAdReply(overrun, {555}));
    // A reset brings the seeded reply back.
    services().reset();
    EXPECT_EQ(analytics().adOptions().scenario, TallyAdScenario::Normal);
}

TEST_F(AnalyticsModuleTest, ImpressionsAreCheckedAndListed) {
    ASSERT_EQ(post(upload()).status, 200);
    Reply listed = admin("/analytics/impressions");
    EXPECT_NE(listed.body.find("\"hook\": \"banner\""), std::string::npos) << listed.body;
    EXPECT_NE(listed.body.find("\"state\": 3"), std::string::npos) << listed.body;
    // The record's last state: its code byte, then its eight offset bytes.
    std::string bad = upload();
    bad[bad.size() - 9] = 9;
    Reply refused = post(bad);
    EXPECT_EQ(refused.status, 400);
    EXPECT_NE(refused.body.find("states[0].state at byte " + std::to_string(bad.size() - 9) +
                                ": state must be 0 to 8, not 9"),
              std::string::npos)
        << refused.body;
}

const std::string kClick =
    "?apik=K&cid=9&adid=101&pid=IPHONEabc&sid=1&its=2&hid=a%20b&ac=0aff&ats=3";

TEST_F(AnalyticsModuleTest, CanvasPagesCheckEveryKeyAndLinkToTheReferral) {
    Reply page = get("ads.tally.test", "/getCanvas.do" + kClick);
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("http://ads.tally.test/getIPhoneApp.do?adid=102&amp;apik=K"),
              std::string::npos)
        << page.body;
    EXPECT_NE(page.body.find("hid=a%20b"), std::string::npos);
    EXPECT_EQ(get("ads.tally.test", "/getCanvasLandscape.do" + kClick).status, 200);
    for (std::string key : {"apik", "cid", "adid", "pid", "sid", "its", "hid", "ac", "ats"}) {
        std::string query = kClick;
        std::size_t at = query.find(key + "=");
        query.replace(at, key.size(), "x" + key.substr(1));
        Reply refused = get("ads.tally.test", "/getCanvas.do" + query);
        EXPECT_EQ(refused.status, 400) << key;
        EXPECT_EQ(refused.body, "key " + key + " must appear once\n");
    }
    EXPECT_EQ(get("ads.tally.test", "/getCanvas.do?" + kClick.substr(1) + "x").status, 400);

    Reply first = get("ads.tally.test", "/getIPhoneApp.do" + kClick);
    EXPECT_EQ(first.status, 302);
    EXPECT_NE(first.head.find("Location: http://ads.tally.test/referral.do?adid=101"),
              std::string::npos);
    Reply second = get("ads.tally.test", "/referral.do?adid=101");
    EXPECT_NE(second.head.find("Location: http://store.tally.test/app/101"), std::string::npos);
    EXPECT_EQ(get("store.tally.test", "/app/101").status, 200);

    // A failing canvas page, from the fault table.
    standin::Fault fault;
    fault.host = "ads.tally.test";
    fault.path = "/getCanvas.do";
    fault.status = 500;
    services().addFault(fault);
    EXPECT_EQ(get("ads.tally.test", "/getCanvas.do" + kClick).status, 500);
    EXPECT_EQ(get("ads.tally.test", "/getCanvasLandscape.do" + kClick).status, 200);
    services().clearFaults();
}

}  // namespace

}  // namespace servicestest

namespace servicestest {

namespace {

// What a module holds is what it counts as kept: the bodies that came (the latest alone when it
// is over Kept's cap), not their records decoded, which take many times their size for a body of
// small entries. Counted on the allocator around a module of the test's own, so that the server's
// threads and buffers play no part.
TEST_F(AnalyticsModuleTest, UploadsOfAnyShapeKeepTheMemoryWithinTheCap) {
#if defined(BN_UNDER_ASAN)
    // The sanitizer checks parameters many times slower: a tenth of them, still over the cap.
    const std::string dense = denseUpload(36);
#else
    const std::string dense = denseUpload(120);
    ASSERT_GT(dense.size(), 30u * 1000 * 1000);
#endif
    ASSERT_GT(dense.size(), bnservices::kKeptBytes);
    ASSERT_LE(dense.size(), standin::kMaxRequestBody);
    standin::HttpRequest request;
    request.method = "POST";
    request.path = "/aap.do";
    request.headers = {{"Content-Type", "application/octet-stream"}};
    request.body = dense;
    {
        bnservices::AnalyticsModule module;
        // The second takes the first one's place; what it holds besides its bodies is their
        // bookkeeping.
        const auto before = static_cast<long long>(standintest::liveHeapBytes());
        for (int i = 0; i < 2; ++i)
            ASSERT_EQ(module.handle(request).status, 200);
        const long long held = static_cast<long long>(standintest::liveHeapBytes()) - before;
        EXPECT_EQ(module.keptBytes(), dense.size());
        EXPECT_LT(held, static_cast<long long>(module.keptBytes() + 1024 * 1024))
            << "holds " << held / (1024 * 1024) << " MB";
        // A small upload after it takes its place: the cap holds the latest whole uploads.
        const std::string small = upload();
        request.body = small;
        ASSERT_EQ(module.handle(request).status, 200);
        EXPECT_EQ(module.keptBytes(), small.size());
        auto listed = module.adminView("uploads", {});
        ASSERT_TRUE(listed);
        EXPECT_EQ(entries(listed->body), 1u);
        EXPECT_NE(listed->body.find("IPHONE0123"), std::string::npos)
            << listed->body.substr(0, 300);
    }

#if !defined(BN_UNDER_ASAN)
    // Through the server, four at once, each checked without being decoded whole. (The sanitizer
    // checks too slowly for four dense uploads at once, and holds freed memory back.)
    std::ofstream("/proc/self/clear_refs") << "5";  // restarts the peak
    std::size_t startOfPeak = peakResidentBytes();
    std::vector<std::thread> posts;
    for (int i = 0; i < 4; ++i)
        posts.emplace_back([&] { EXPECT_EQ(post(dense).status, 200); });
    for (auto& t : posts)
        t.join();
    EXPECT_EQ(analytics().keptBytes(), dense.size());
    // Each request holds its body as read, a copy to keep and the test's own request; the
    // allocator's arenas keep some of what was freed besides.
    std::size_t peak = peakResidentBytes();
    EXPECT_LT(peak, startOfPeak + 4 * 6 * dense.size())
        << "peaked " << (peak - startOfPeak) / (1024 * 1024) << " MB over the start";
#endif
}

TEST_F(AnalyticsModuleTest, TheAdminViewsListUploadsPageByPage) {
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(post(upload()).status, 200);
    EXPECT_EQ(entries(admin("/analytics/uploads").body), 3u);
    EXPECT_EQ(entries(admin("/analytics/uploads?per=2").body), 2u);
    EXPECT_EQ(entries(admin("/analytics/uploads?page=2&per=2").body), 1u);
    EXPECT_EQ(entries(admin("/analytics/uploads?page=3&per=2").body), 0u);
    EXPECT_EQ(entries(admin("/analytics/impressions?per=1").body), 1u);
    EXPECT_EQ(admin("/analytics/uploads?page=0").status, 400);
    EXPECT_EQ(admin("/analytics/uploads?per=21").status, 400);
    // The decoded uploads are read back whole.
    auto uploads = analytics().uploads();
    ASSERT_EQ(uploads.size(), 3u);
    ASSERT_EQ(uploads[0].upload.sessions.size(), 1u);
    EXPECT_EQ(uploads[0].upload.sessions[0].events[0].parameters[0].second, "boston");

    // A page also ends where its bodies would pass 512 KB: written out, they take several
    // times that.
    const std::string dense = denseUpload(1);
    const std::size_t fit = bnservices::kUploadPageBytes / dense.size();
    ASSERT_GE(fit, 1u);
    ASSERT_LT(fit + 1, bnservices::kUploadsPerPage);
    analytics().reset();
    for (std::size_t i = 0; i <= fit; ++i)
        ASSERT_EQ(post(dense).status, 200);
    Reply first = admin("/analytics/uploads");
    EXPECT_EQ(entries(first.body), fit);
    EXPECT_LT(first.body.size(), 8 * bnservices::kUploadPageBytes);
    EXPECT_EQ(entries(admin("/analytics/uploads?page=2").body), 1u);
    EXPECT_EQ(entries(admin("/analytics/uploads?page=3").body), 0u);
    EXPECT_EQ(entries(admin("/analytics/uploads?per=1&page=2").body), 1u);
}

}  // namespace

}  // namespace servicestest
