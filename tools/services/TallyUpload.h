// The analytics vendor's upload body read back field by field: the envelope, each session
// record with its events, errors and ad impressions. Every multi-byte value is big-endian;
// strings are a ushort UTF-8 length and the bytes; timestamps are milliseconds since 1970.
//
// A body that breaks the format is refused with the field, the byte where that field starts and
// the reason: "field sessions[0].gender at byte 118: gender must be 0, 1 or 255".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin {
class JsonWriter;
}

namespace bnservices {

using StringPairs = std::vector<std::pair<std::string, std::string>>;

struct TallyUploadEvent {
    std::string name;
    StringPairs parameters;
    std::int64_t offset = 0;    // from the session's start, ms
    std::int64_t duration = 0;  // ms; 0 for an untimed or open event
};

struct TallyUploadError {
    std::int64_t time = 0;
    std::string id, message, exception;
};

struct TallyUploadImpression {
    std::string hook;
    int adFormat = 0;
    std::int64_t adId = 0;
    std::int64_t canvasId = 0;
    std::string cookie;                                // bytes
    std::vector<std::pair<int, std::int64_t>> states;  // state, offset in ms
};

struct TallyUploadRecord {
    unsigned version = 0;
    std::string appVersion;
    std::int64_t start = 0;
    std::int64_t length = 0;  // -1 without an end time
    std::int64_t paused = 0;
    std::string locale, timeZone;
    bool internetAvailable = false;
    std::string userID;
    bool constantFlag = false;  // always set by the client
    double latitude = 0, longitude = 0;
    float accuracy = 0;
    std::int32_t pageViews = 0;
    int reserved1 = 0, reserved2 = 0;
    int gender = 255;  // 1 male, 0 female, 255 not given
    bool ageGiven = false;
    std::int64_t age = 0;
    std::vector<std::pair<std::string, std::int32_t>> counts;
    std::vector<TallyUploadEvent> events;
    bool eventLogComplete = false;
    std::int32_t totalErrors = 0;
    std::vector<TallyUploadError> errors;
    std::vector<TallyUploadImpression> impressions;
};

struct TallyUpload {
    unsigned adsRequested = 0;
    std::int64_t imageCacheTime = 0;
    std::vector<std::pair<int, std::int64_t>> cachedImages;  // item type, id
    std::int64_t sentAt = 0;
    std::string apiKey, appVersion;
    int deviceIdType = 0;  // 0: phoneID, 1: tallyID
    std::string phoneID;   // type 0
    std::string tallyID;   // type 1: the 20 digest bytes
    std::int64_t firstStart = 0;
    std::int64_t sessionStart = 0;
    StringPairs properties;
    std::vector<TallyUploadRecord> sessions;
};

// Either the decoded value or why the bytes are not one.
template <class T>
struct Decoded {
    std::optional<T> value;
    std::string error;  // "field <name> at byte <n>: <reason>"
};

Decoded<TallyUpload> decodeTallyUpload(std::string_view body);
// The same checks, keeping the envelope's fields but no session record (their number goes to
// `sessions`): checking takes little memory whatever the body's shape, where the decoded records
// of small entries could take many times the body's size.
Decoded<TallyUpload> checkTallyUpload(std::string_view body, std::size_t* sessions);
// One session record alone (as the client files it), every byte of it.
Decoded<TallyUploadRecord> decodeTallyRecord(std::string_view bytes);

// Every field, as JSON; timestamps also as UTC text beside them (key + "UTC"). The upload's
// fields are written as members of the object the caller has begun; a record is an object.
void writeTallyUpload(standin::JsonWriter& json, const TallyUpload& upload);
void writeTallyRecord(standin::JsonWriter& json, const TallyUploadRecord& record);

}  // namespace bnservices
