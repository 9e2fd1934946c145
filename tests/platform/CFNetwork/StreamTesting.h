// Driving an HTTP read stream from a test the way the request engine does: scheduled on the
// current run loop, one buffer read per bytes-available event.
#pragma once

#include <string>
#include <vector>

#include "CFNetwork/CFNetwork.h"

struct StreamRun {
    std::vector<CFStreamEventType> events;
    std::string body;
    Ref<NSError> error;
    Ref<CFHTTPMessage> response;
    bool ended = false;
    bool failed = false;
    size_t readSize = 16384;
    // Bytes-written counts seen at each event, to check they only grow.
    std::vector<unsigned long long> written;
    bool done() const { return ended || failed; }
};

// Opens the stream on the current run loop in `mode` and runs that mode until the stream ends
// or fails (or `seconds` of real time pass). The stream is left open, as a client leaves a
// stream whose connection it wants kept; it is unscheduled and its client removed.
StreamRun runStream(CFReadStream* stream, double seconds = 5.0, NSString* mode = nullptr);
// A GET for the URL text.
Ref<CFHTTPMessage> request(const std::string& url, const char* method = "GET");
// Whether the error is one of those a client retries on a new connection.
bool isNewConnectionError(NSError* error);
