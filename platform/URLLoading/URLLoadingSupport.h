// Pieces of URL loading shared by the connection and its tests. Internal to URLLoading.
#pragma once

#include <string>
#include <string_view>

#include "Foundation/NSObject.h"

class NSError;
class NSString;
class NSURL;

namespace urlload {

// An NSURLErrorDomain error for the URL, with the platform's description of the code and the
// underlying error when there is one.
Ref<NSError> urlError(NSInteger code, NSURL* url, NSError* underlying = nullptr);

// The NSURLErrorDomain code for an error of an HTTP read stream. `connected` tells whether the
// connection was up when it failed (a reset then means a lost connection, not a refused one).
NSInteger urlErrorCodeForStreamError(NSError* streamError, bool connected);

// Inflates a body sent with "Content-Encoding" gzip or deflate, piece by piece. Deflate bodies
// come as zlib data or, from some servers, as raw deflate data; both are read.
class ContentDecoder {
public:
    enum class Coding { Identity, Gzip, Deflate };
    ContentDecoder() = default;
    ~ContentDecoder();
    ContentDecoder(const ContentDecoder&) = delete;
    ContentDecoder& operator=(const ContentDecoder&) = delete;

    // The coding named by a Content-Encoding value; Identity for none or one not known.
    static Coding codingFor(NSString* contentEncoding);
    void reset(Coding coding);
    Coding coding() const { return coding_; }
    // Appends the decoded form of the bytes to `out`; false once the data is damaged.
    bool feed(const void* bytes, size_t length, std::string& out);
    // Whether the body ended where its coding says it ends (or nothing was sent at all).
    bool finish();

private:
    void release();
    Coding coding_ = Coding::Identity;
    void* stream_ = nullptr;  // z_stream
    bool started_ = false;
    bool ended_ = false;
    bool failed_ = false;
    std::string pending_;  // the first bytes of a deflate body, until its form is known
};

}  // namespace urlload
