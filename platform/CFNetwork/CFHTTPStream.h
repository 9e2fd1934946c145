// HTTP read streams: a stream that sends one request message and reads its response. Reading
// gives the response body, decoded from chunked transfer coding but otherwise as sent (gzip is
// left to the caller). Nothing is followed or answered automatically: no redirects, cookies or
// authentication.
//
// Event order for a client: kCFStreamEventOpenCompleted once the connection is up (after the
// proxy and TLS handshakes); kCFStreamEventHasBytesAvailable once the response head is complete
// and body bytes wait (again after each read that leaves bytes behind); then exactly one of
// kCFStreamEventEndEncountered and kCFStreamEventErrorOccurred. A response without a body
// (HEAD, 1xx, 204, 304, "Content-Length: 0") goes straight to the end event. The response
// message (kCFStreamPropertyHTTPResponseHeader) is there, head complete, from the first
// bytes-available or end event on.
//
// Body framing: chunked, Content-Length, or to the close of the connection (HTTP/1.0 and
// responses without a length). The request gets a "Host" field when it has none, and a
// "Content-Length" (or, for a streamed body of unknown length on HTTP/1.1, chunked coding).
#pragma once

#include "CFNetwork/CFHTTPMessage.h"
#include "CFNetwork/CFStream.h"

// A stream for the request and its body (CFHTTPMessageSetBody), nil without a request.
Ref<CFReadStream> CFReadStreamCreateForHTTPRequest(CFAllocatorRef alloc, CFHTTPMessageRef request);
// A stream whose body is pulled from `requestBody` in pieces as the connection takes them;
// the message's own body is ignored. With a Content-Length field the body is that many bytes of
// the stream, which is read no further, and a stream that ends before them fails the request
// (kCFURLErrorRequestBodyStreamExhausted) unless the server has begun its answer (an interim 1xx
// response is none); without one it goes chunked (HTTP/1.0: to the stream's end). The body stream
// is opened by the HTTP stream, read on the run loop the HTTP stream is scheduled on, and closed
// when the stream is done with it. It may be any NSInputStream subclass.
Ref<CFReadStream> CFReadStreamCreateForStreamedHTTPRequest(CFAllocatorRef alloc,
                                                           CFHTTPMessageRef requestHeaders,
                                                           NSInputStream* requestBody);

// ---- properties of HTTP read streams -----------------------------------------------------
// The response message (a CFHTTPMessage), nil until its head is complete. Read only.
extern NSString* const kCFStreamPropertyHTTPResponseHeader;
// The URL the response came from (an NSURL). Read only.
extern NSString* const kCFStreamPropertyHTTPFinalURL;
// The request as sent (a CFHTTPMessage, with the fields the stream added). Read only.
extern NSString* const kCFStreamPropertyHTTPFinalRequest;
// kCFBooleanTrue to keep the connection open after the response and hand it to a later
// stream with the same scheme, host, port, proxy, TLS settings and custom properties. Off by
// default. A kept connection that turns out to be dead when reused ends the later stream with
// the "new connection" errors of CFNetworkErrors.h.
extern NSString* const kCFStreamPropertyHTTPAttemptPersistentConnection;
// kCFBooleanTrue when the request went out on a kept connection taken from the pool,
// kCFBooleanFalse when it went out (or was to go out) on a connection of its own. Read only,
// and still there after the stream has failed or been closed. A kept connection is looked at
// before it is handed out: one the server has closed, or with bytes waiting, is closed instead.
extern NSString* const kCFStreamPropertyHTTPConnectionReused;
// Whether `stream`, failed with `error`, may send its request once more, on a new connection
// (other kept ones may be as dead): the one rule for every caller. The errors are those a lost
// connection gives here: kCFURLErrorNetworkConnectionLost (a reset included), kPOSIXErrorEPIPE
// and kPOSIXErrorENOTCONN. The request must have gone out on a kept connection (the server may
// have closed it idle as the request came; on a connection of its own it may have read the
// whole request) and no byte of the answer may have come (even a part of the status line says
// the server read it). Then it goes again when its method may be applied twice (GET, HEAD,
// OPTIONS, TRACE, PUT, DELETE; the names compare exactly), or when not all of it was sent: a
// server may take a request it read whole, act on it and close without answering, so a POST
// sent whole is the caller's failure.
bool CFHTTPReadStreamMaySendAgain(CFReadStream* stream, NSError* error);
// Body bytes handed to the network so far (an NSNumber, 64-bit). Read only.
extern NSString* const kCFStreamPropertyHTTPRequestBytesWrittenCount;
// Accepted for the platform's sake; redirects are never followed here.
extern NSString* const kCFStreamPropertyHTTPShouldAutoredirect;
// A proxy dictionary with kCFStreamPropertyHTTPProxyHost/Port (used for "http" URLs) and
// kCFStreamPropertyHTTPSProxyHost/Port (used, with CONNECT, for "https" URLs). The keys are
// those of CFNetworkCopySystemProxySettings, so that dictionary can be passed as it is.
extern NSString* const kCFStreamPropertyHTTPProxy;
extern NSString* const kCFStreamPropertyHTTPProxyHost;   // "HTTPProxy"
extern NSString* const kCFStreamPropertyHTTPProxyPort;   // "HTTPPort"
extern NSString* const kCFStreamPropertyHTTPSProxyHost;  // "HTTPSProxy"
extern NSString* const kCFStreamPropertyHTTPSProxyPort;  // "HTTPSPort"
// Any other key (not a kCF... name) is a custom property: stored, read back, and part of the
// identity of a kept connection, so that streams carrying different values never share one.
