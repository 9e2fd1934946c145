// Reads the analytics upload format back with the stand-in analytics service's decoder, so
// tests check what was recorded on the decoded records rather than on bytes, and a body the
// service would refuse fails the test with the field that broke it.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "Foundation/NSData.h"
#include "tools/services/TallyUpload.h"

namespace tally_test {

using Record = bnservices::TallyUploadRecord;
using Envelope = bnservices::TallyUpload;
using Event = bnservices::TallyUploadEvent;

inline std::string_view bytesOf(NSData* d) {
    return {static_cast<const char*>(d->bytes()), d->length()};
}

inline Record readRecord(NSData* d) {
    auto decoded = bnservices::decodeTallyRecord(bytesOf(d));
    EXPECT_TRUE(decoded.value) << decoded.error;
    return decoded.value.value_or(Record{});
}

inline Envelope readEnvelope(NSData* d) {
    auto decoded = bnservices::decodeTallyUpload(bytesOf(d));
    EXPECT_TRUE(decoded.value) << decoded.error;
    return decoded.value.value_or(Envelope{});
}

}  // namespace tally_test
