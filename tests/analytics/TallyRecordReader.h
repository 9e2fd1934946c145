// Reads the analytics upload format back, field by field, so tests check what was recorded on
// the decoded records rather than on bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "Foundation/NSData.h"

namespace tally_test {

struct Reader {
    const uint8_t* p;
    size_t n, at = 0;
    explicit Reader(NSData* d) : p(static_cast<const uint8_t*>(d->bytes())), n(d->length()) {}
    uint64_t be(int bytes) {
        if (at + bytes > n) throw std::runtime_error("short data");
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | p[at++];
        return v;
    }
    int byte() { return static_cast<int>(be(1)); }
    unsigned ushort() { return static_cast<unsigned>(be(2)); }
    int32_t int32() { return static_cast<int32_t>(be(4)); }
    int64_t int64() { return static_cast<int64_t>(be(8)); }
    std::string string() {
        unsigned len = ushort();
        if (at + len > n) throw std::runtime_error("short string");
        std::string s(reinterpret_cast<const char*>(p + at), len);
        at += len;
        return s;
    }
};

struct Event {
    std::string name;
    std::vector<std::pair<std::string, std::string>> parameters;
    int64_t offset = 0, duration = 0;
};

struct Error {
    int64_t time;
    std::string id, message, exception;
};

struct Record {
    unsigned version;
    std::string appVersion;
    int64_t start, length, paused;
    std::string locale, timeZone;
    int internetAvailable;
    std::string userID;
    int32_t pageViews;
    int gender;
    bool ageGiven;
    int64_t age = 0;
    std::vector<std::pair<std::string, int32_t>> counts;
    std::vector<Event> events;
    bool eventLogComplete;
    int32_t totalErrors;
    std::vector<Error> errors;
    unsigned impressions;
};

inline Record readRecord(Reader& r) {
    Record s{};
    s.version = r.ushort();
    s.appVersion = r.string();
    s.start = r.int64();
    s.length = r.int64();
    s.paused = r.int64();
    s.locale = r.string();
    s.timeZone = r.string();
    s.internetAvailable = r.byte();
    s.userID = r.string();
    EXPECT_EQ(r.byte(), 1);
    r.int64();  // latitude
    r.int64();  // longitude
    r.int32();  // accuracy
    s.pageViews = r.int32();
    EXPECT_EQ(r.byte(), 0);
    EXPECT_EQ(r.byte(), 0);
    s.gender = r.byte();
    s.ageGiven = r.byte() == 1;
    if (s.ageGiven) s.age = r.int64();
    for (unsigned i = 0, c = r.ushort(); i < c; ++i) {
        auto name = r.string();
        s.counts.emplace_back(name, r.int32());
    }
    for (unsigned i = 0, c = r.ushort(); i < c; ++i) {
        Event e;
        e.name = r.string();
        for (unsigned k = 0, pc = r.ushort(); k < pc; ++k) {
            auto key = r.string();
            e.parameters.emplace_back(key, r.string());
        }
        e.offset = r.int64();
        e.duration = r.int64();
        s.events.push_back(e);
    }
    s.eventLogComplete = r.byte() == 1;
    s.totalErrors = r.int32();
    for (unsigned i = 0, c = r.ushort(); i < c; ++i) {
        Error e;
        e.time = r.int64();
        e.id = r.string();
        e.message = r.string();
        e.exception = r.string();
        s.errors.push_back(e);
    }
    s.impressions = r.ushort();
    for (unsigned i = 0; i < s.impressions; ++i) {
        r.string();
        r.byte();
        r.int64();
        r.int64();
        r.at += r.byte();
        for (unsigned k = 0, sc = r.ushort(); k < sc; ++k) {
            r.byte();
            r.int64();
        }
    }
    return s;
}

inline Record readRecord(NSData* d) {
    Reader r(d);
    auto s = readRecord(r);
    EXPECT_EQ(r.at, r.n) << "trailing bytes after the record";
    return s;
}

struct Envelope {
    unsigned adsFlag;
    int64_t imageCacheTime;
    unsigned cachedImages;
    int64_t sentAt;
    std::string apiKey, appVersion, phoneID;
    int64_t firstStart, sessionStart;
    std::vector<std::pair<std::string, std::string>> properties;
    std::vector<Record> sessions;
};

inline Envelope readEnvelope(NSData* d) {
    Reader r(d);
    Envelope e{};
    EXPECT_EQ(r.ushort(), 15u);
    e.adsFlag = r.ushort();
    e.imageCacheTime = r.int64();
    e.cachedImages = r.ushort();
    for (unsigned i = 0; i < e.cachedImages; ++i) {
        EXPECT_EQ(r.byte(), 1);
        r.int64();
    }
    EXPECT_EQ(r.ushort(), 2u);
    EXPECT_EQ(r.ushort(), 42u);
    e.sentAt = r.int64();
    e.apiKey = r.string();
    e.appVersion = r.string();
    EXPECT_EQ(r.ushort(), 0u);
    e.phoneID = r.string();
    e.firstStart = r.int64();
    e.sessionStart = r.int64();
    for (unsigned i = 0, c = r.ushort(); i < c; ++i) {
        auto key = r.string();
        e.properties.emplace_back(key, r.string());
    }
    for (unsigned i = 0, c = r.ushort(); i < c; ++i)
        e.sessions.push_back(readRecord(r));
    EXPECT_EQ(r.at, r.n) << "trailing bytes after the envelope";
    return e;
}

}  // namespace tally_test
