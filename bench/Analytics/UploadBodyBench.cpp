// The upload body of a full store (50 saved records) and a current session of 1000 events,
// beside one plain copy of the same bytes: the body's cost as a multiple of a copy.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "analytics/TallySession.h"

namespace {

struct Store {
    Ref<NSMutableArray> sessions;
    Ref<NSData> body;
};

Store& store() {
    static Store s = [] {
        Store out;
        auto session = TallySession::createActiveTallySession(NS("bench-key"));
        session->setEventLoggingEnabled(true);
        auto params = NSMutableDictionary::dictionary();
        for (int i = 0; i < 5; ++i)
            params->setObject(NSNumber::numberWithInt(i), NSString::stringWithFormat(NS("p%d"), i));
        for (int i = 0; i < 1000; ++i)
            session->recordEvent(NSString::stringWithFormat(NS("event %d"), i % 90), params);
        for (int i = 0; i < 5; ++i)
            session->recordErrorWithExceptionString(NS("E1"), NS("failed"), NS("nil"));
        out.sessions = NSMutableArray::array();
        auto record = session->data();
        for (int i = 0; i < 50; ++i)
            out.sessions->addObject(NSData::dataWithData(record));
        out.sessions->addObject(session);
        out.body = TallySession::dataForSessions(out.sessions, false);
        return out;
    }();
    return s;
}

void BM_UploadBody(benchmark::State& state) {
    auto& s = store();
    for (auto _ : state)
        benchmark::DoNotOptimize(TallySession::dataForSessions(s.sessions, false));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(s.body->length()));
}
BENCHMARK(BM_UploadBody);

void BM_CopyOfTheBody(benchmark::State& state) {
    auto& s = store();
    std::vector<char> copy(s.body->length());
    for (auto _ : state) {
        std::memcpy(copy.data(), s.body->bytes(), copy.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(s.body->length()));
}
BENCHMARK(BM_CopyOfTheBody);

}  // namespace
