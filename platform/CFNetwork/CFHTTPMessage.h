// HTTP messages: a request (method, URL, version, headers, body) or a response (status,
// status line, version, headers, body). A response read from the network is parsed into one
// of these, header by header, until its head is complete.
//
// Header names keep their place and are looked up without regard to case by the functions
// below. A response read from the network also files its names in their canonical
// capitalisation ("content-length" becomes "Content-Length"), so that the dictionary of
// CFHTTPMessageCopyAllHeaderFields, which compares keys exactly, finds the usual names;
// repeated fields are joined with ", " as HTTP allows.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "CFNetwork/CFStream.h"

class CFHTTPMessage;
using CFHTTPMessageRef = CFHTTPMessage*;

extern NSString* const kCFHTTPVersion1_0;  // "HTTP/1.0"
extern NSString* const kCFHTTPVersion1_1;  // "HTTP/1.1"

// nil when the method or URL is missing, or the URL has no scheme and host.
Ref<CFHTTPMessage> CFHTTPMessageCreateRequest(CFAllocatorRef alloc, NSString* requestMethod,
                                              NSURL* url, NSString* httpVersion);
// statusDescription nil gives the usual reason phrase for the code.
Ref<CFHTTPMessage> CFHTTPMessageCreateResponse(CFAllocatorRef alloc, CFIndex statusCode,
                                               NSString* statusDescription, NSString* httpVersion);
// An empty message to be filled with CFHTTPMessageAppendBytes.
Ref<CFHTTPMessage> CFHTTPMessageCreateEmpty(CFAllocatorRef alloc, bool isRequest);
Ref<CFHTTPMessage> CFHTTPMessageCreateCopy(CFAllocatorRef alloc, CFHTTPMessageRef message);

bool CFHTTPMessageIsRequest(CFHTTPMessageRef message);
Ref<NSString> CFHTTPMessageCopyVersion(CFHTTPMessageRef message);
Ref<NSData> CFHTTPMessageCopyBody(CFHTTPMessageRef message);
void CFHTTPMessageSetBody(CFHTTPMessageRef message, NSData* bodyData);
// nil when the message has no such field.
Ref<NSString> CFHTTPMessageCopyHeaderFieldValue(CFHTTPMessageRef message, NSString* headerField);
// Every field, names as stored, in the order they were first set.
Ref<NSDictionary> CFHTTPMessageCopyAllHeaderFields(CFHTTPMessageRef message);
// Sets or (with a nil value) removes a field. A name set again replaces the value of the field
// spelled exactly so; a name differing only in case is a field of its own.
void CFHTTPMessageSetHeaderFieldValue(CFHTTPMessageRef message, NSString* headerField,
                                      NSString* value);
// Parses bytes read from the network into the message; false on a malformed head.
bool CFHTTPMessageAppendBytes(CFHTTPMessageRef message, const uint8_t* newBytes, CFIndex numBytes);
// True once the status (or request) line and every header line have arrived.
bool CFHTTPMessageIsHeaderComplete(CFHTTPMessageRef message);
// The whole message as it goes on the wire (head, then the body when set).
Ref<NSData> CFHTTPMessageCopySerializedMessage(CFHTTPMessageRef message);

// Requests.
Ref<NSURL> CFHTTPMessageCopyRequestURL(CFHTTPMessageRef request);
Ref<NSString> CFHTTPMessageCopyRequestMethod(CFHTTPMessageRef request);

// Responses. The status code is 0 until the status line has been read.
CFIndex CFHTTPMessageGetResponseStatusCode(CFHTTPMessageRef response);
// The whole status line, e.g. "HTTP/1.1 200 OK".
Ref<NSString> CFHTTPMessageCopyResponseStatusLine(CFHTTPMessageRef response);

class CFHTTPMessage : public NSObject {
    NS_OBJECT(CFHTTPMessage, NSObject)
    Ref<NSString> description() override;

    // ---- implementation, for the functions above and the HTTP stream ----------------------
    struct Field {
        std::string name;
        std::string value;
    };
    bool isRequest = true;
    std::string method;   // requests
    Ref<NSURL> url;       // requests
    std::string version;  // "HTTP/1.1"
    int statusCode = 0;   // responses
    std::string statusLine;
    std::vector<Field> fields;
    Ref<NSData> body;
    bool headerComplete = false;
    // Whether names are filed in canonical capitalisation (parsed responses).
    bool canonicalNames = false;
    std::string pending;  // bytes of an incomplete head line being parsed
    bool failed = false;

    // Case-insensitive lookup; nullptr when absent.
    const std::string* field(std::string_view name) const;
    // Replaces the field spelled exactly so, or appends it; with canonicalNames, a field of
    // the same name in any case is joined with ", ".
    void setField(std::string name, std::string value);
    void addParsedField(std::string_view name, std::string_view value);
    void removeField(const std::string& name);
    // Feeds head bytes; returns how many were consumed (the rest is body). -1 on a bad head.
    long parseHead(const char* bytes, size_t length);
    // One complete head line, its line break removed; false on a bad line, `ended` at the blank
    // line that closes the head.
    bool parseLine(std::string_view line, bool& ended);
};

// "content-type" -> "Content-Type"; "www-authenticate" -> "WWW-Authenticate".
std::string CFHTTPCanonicalHeaderName(std::string_view name);
