// What the engine's tests share: a delegate and a progress receiver that record what they hear
// (and on which thread), and ways to wait for the network thread.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSError.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "external/nk-http-request/Classes/NKFormDataRequest.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/http/TestServer.h"

namespace enginetest {

inline Ref<NSURL> urlOf(const std::string& text) {
    return NSURL::URLWithString(str(text));
}

// Records the four request events by name, in order.
class Recorder : public NSObject, public NKHTTPRequestDelegate {
    NS_OBJECT(Recorder, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"requestStarted:", "requestReceivedResponseHeaders:", "requestFinished:",
                      "requestFailed:"});
    }
    void requestStarted(NKHTTPRequest* r) override { note("started", r); }
    void requestReceivedResponseHeaders(NKHTTPRequest* r) override { note("headers", r); }
    void requestFinished(NKHTTPRequest* r) override { note("finished", r); }
    void requestFailed(NKHTTPRequest* r) override { note("failed", r); }

    size_t count(const std::string& name) const {
        size_t n = 0;
        for (auto& e : events)
            n += e == name;
        return n;
    }
    bool ended() const { return count("finished") + count("failed") > 0; }

    std::vector<std::string> events;
    bool calledOffMainThread = false;

private:
    void note(const char* name, NKHTTPRequest*) {
        if (!NSThread::isMainThread()) calledOffMainThread = true;
        events.push_back(name);
    }
};

// Records byte counts and progress values.
class ProgressRecorder : public NSObject, public NKProgressDelegate {
    NS_OBJECT(ProgressRecorder, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"setProgress:", "request:didReceiveBytes:", "request:didSendBytes:",
                      "request:incrementDownloadSizeBy:", "request:incrementUploadSizeBy:"});
    }
    void setProgress(float p) override { progress.push_back(p); }
    void request(NKHTTPRequest*, long long bytes) override { received += bytes; }
    void requestDidSendBytes(NKHTTPRequest*, long long bytes) override { sent += bytes; }
    void requestIncrementDownloadSizeBy(NKHTTPRequest*, long long n) override { downloadSize += n; }
    void requestIncrementUploadSizeBy(NKHTTPRequest*, long long n) override { uploadSize += n; }

    std::vector<float> progress;
    long long received = 0, sent = 0, downloadSize = 0, uploadSize = 0;
};

// Runs the main loop until the recorder heard the end of its request.
inline bool waitForEnd(Recorder* r, double seconds = 10.0) {
    return runLoopUntil([r] { return r->ended(); }, seconds);
}

// Waits until the network thread has served everything that is due at the current clock time
// and sits waiting again (the main loop keeps running meanwhile).
inline bool settleNetworkThread(double seconds = 5.0) {
    Ref<NSRunLoop> loop = NKHTTPRequest::threadForRequest(nullptr)->runLoop();
    return runLoopUntil(
        [&] {
            Ref<NSDate> next = loop->limitDateForMode(NSDefaultRunLoopMode);
            bool nothingDue = !next || next->timeIntervalSinceReferenceDate() > Clock::now();
            return nothingDue && loop->isWaiting();
        },
        seconds);
}

// Lets real time pass on the main loop (for work that must not happen).
inline void runFor(double seconds) {
    runLoopUntil([] { return false; }, seconds);
}

inline void clearCookies() {
    NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
    NKHTTPRequest::setSessionCookies(nullptr);
}

inline std::string bodyOf(const std::string& echoed) {
    size_t at = echoed.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : echoed.substr(at + 4);
}

inline std::string textOf(NKHTTPRequest* r) {
    Ref<NSString> s = r->responseString();
    return s ? s->utf8() : std::string("(nil)");
}

}  // namespace enginetest
