// HTTP authentication: an object made from a 401 or 407 response that knows the challenge's
// scheme, realm and parameters, and applies credentials to later requests (Basic, Digest with
// MD5 or MD5-sess and qop "auth" or "auth-int", and NTLM version 2).
//
// Of the schemes a response offers, the strongest one known is chosen: NTLM, then Digest, then
// Basic. A response with none of them gives an object that is not valid
// (kCFStreamErrorHTTPAuthenticationTypeUnsupported).
//
// Validity follows the exchange. The platform's streams update the object by themselves when a
// request it was applied to is answered; here the one who reads the answer hands it over with
// CFHTTPAuthenticationUpdateFromResponse. An object whose credentials were applied and then met
// with a new challenge of the same kind becomes invalid with
// kCFStreamErrorHTTPAuthenticationBadPassword, except that a Digest challenge marked
// "stale=true" takes the new nonce and stays valid, and an NTLM challenge carrying the server's
// message moves the handshake on to its last step.
#pragma once

#include "CFNetwork/CFHTTPMessage.h"
#include "CFNetwork/CFStream.h"

class CFHTTPAuthentication;
using CFHTTPAuthenticationRef = CFHTTPAuthentication*;

// The scheme names CFHTTPAuthenticationCopyMethod answers with.
extern NSString* const kCFHTTPAuthenticationSchemeBasic;      // "Basic"
extern NSString* const kCFHTTPAuthenticationSchemeDigest;     // "Digest"
extern NSString* const kCFHTTPAuthenticationSchemeNTLM;       // "NTLM"
extern NSString* const kCFHTTPAuthenticationSchemeNegotiate;  // "Negotiate"
extern NSString* const kCFHTTPAuthenticationSchemeKerberos;   // "Kerberos"

// Keys of a credential dictionary.
extern NSString* const kCFHTTPAuthenticationUsername;       // "kCFHTTPAuthenticationUsername"
extern NSString* const kCFHTTPAuthenticationPassword;       // "kCFHTTPAuthenticationPassword"
extern NSString* const kCFHTTPAuthenticationAccountDomain;  // "kCFHTTPAuthenticationAccountDomain"

// The error domain and codes of authentication failures (CFStreamError).
inline constexpr CFIndex kCFStreamErrorDomainHTTP = 4;
enum : int32_t {
    kCFStreamErrorHTTPAuthenticationTypeUnsupported = -1000,
    kCFStreamErrorHTTPAuthenticationBadUserName = -1001,
    kCFStreamErrorHTTPAuthenticationBadPassword = -1002,
};

// nil when the message is not a response; a response that is not a challenge (neither 401 nor
// 407) or offers no known scheme gives an invalid object.
Ref<CFHTTPAuthentication> CFHTTPAuthenticationCreateFromResponse(CFAllocatorRef alloc,
                                                                 CFHTTPMessageRef response);
// Whether credentials can be applied with the object; when not, `error` (may be null) says why.
bool CFHTTPAuthenticationIsValid(CFHTTPAuthenticationRef auth, CFStreamError* error);
// Whether the object is for the request's host and port (any request for a proxy challenge).
bool CFHTTPAuthenticationAppliesToRequest(CFHTTPAuthenticationRef auth, CFHTTPMessageRef request);
// True for connection-bound schemes (NTLM): their requests must go one after the other on one
// connection.
bool CFHTTPAuthenticationRequiresOrderedRequests(CFHTTPAuthenticationRef auth);
bool CFHTTPAuthenticationRequiresUserNameAndPassword(CFHTTPAuthenticationRef auth);
bool CFHTTPAuthenticationRequiresAccountDomain(CFHTTPAuthenticationRef auth);
// The realm of the challenge; nil when it names none (NTLM never does).
Ref<NSString> CFHTTPAuthenticationCopyRealm(CFHTTPAuthenticationRef auth);
// The scheme chosen, one of the names above; nil for an invalid object that has none.
Ref<NSString> CFHTTPAuthenticationCopyMethod(CFHTTPAuthenticationRef auth);
// The URLs of a Digest challenge's "domain" parameter, resolved against the request URL.
Ref<NSArray> CFHTTPAuthenticationCopyDomains(CFHTTPAuthenticationRef auth);

// Hands over a later response to a request the object was applied to (see above). A response
// already seen changes nothing; false when the object is (now) invalid.
bool CFHTTPAuthenticationUpdateFromResponse(CFHTTPAuthenticationRef auth,
                                            CFHTTPMessageRef response);

// Sets "Authorization" (or "Proxy-Authorization" for a proxy challenge) on the request. False
// (and `error` set when given) for an invalid object or missing credentials.
bool CFHTTPMessageApplyCredentials(CFHTTPMessageRef request, CFHTTPAuthenticationRef auth,
                                   NSString* username, NSString* password, CFStreamError* error);
// The same from a credential dictionary (the keys above; the account domain for NTLM).
bool CFHTTPMessageApplyCredentialDictionary(CFHTTPMessageRef request, CFHTTPAuthenticationRef auth,
                                            NSDictionary* dict, CFStreamError* error);
// Answers a failure response directly: makes an object from it and applies the credentials.
// With a scheme given, only that scheme is accepted; `forProxy` must match the response (407).
bool CFHTTPMessageAddAuthentication(CFHTTPMessageRef request,
                                    CFHTTPMessageRef authenticationFailureResponse,
                                    NSString* username, NSString* password,
                                    NSString* authenticationScheme, bool forProxy);

// The object; use it through the functions above.
class CFHTTPAuthentication : public NSObject {
    NS_OBJECT(CFHTTPAuthentication, NSObject)
    Ref<NSString> description() override;
    void dealloc() override;

    // ---- implementation ---------------------------------------------------------------------
    struct State;
    State* state = nullptr;
};
