// A protection space: the server (host, port, protocol) or proxy (host, port, proxy type) and
// realm that credentials belong to, with the authentication method they are for. Immutable.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;
class NSString;

// Protocols of a server space.
extern NSString* const NSURLProtectionSpaceHTTP;   // "http"
extern NSString* const NSURLProtectionSpaceHTTPS;  // "https"
extern NSString* const NSURLProtectionSpaceFTP;    // "ftp"
// Types of a proxy space.
extern NSString* const NSURLProtectionSpaceHTTPProxy;   // "http"
extern NSString* const NSURLProtectionSpaceHTTPSProxy;  // "https"
extern NSString* const NSURLProtectionSpaceFTPProxy;    // "ftp"
extern NSString* const NSURLProtectionSpaceSOCKSProxy;  // "SOCKS"

// Authentication methods.
extern NSString* const NSURLAuthenticationMethodDefault;    // "NSURLAuthenticationMethodDefault"
extern NSString* const NSURLAuthenticationMethodHTTPBasic;  // "NSURLAuthenticationMethodHTTPBasic"
extern NSString* const
    NSURLAuthenticationMethodHTTPDigest;                    // "NSURLAuthenticationMethodHTTPDigest"
extern NSString* const NSURLAuthenticationMethodHTMLForm;   // "NSURLAuthenticationMethodHTMLForm"
extern NSString* const NSURLAuthenticationMethodNTLM;       // "NSURLAuthenticationMethodNTLM"
extern NSString* const NSURLAuthenticationMethodNegotiate;  // "NSURLAuthenticationMethodNegotiate"
extern NSString* const NSURLAuthenticationMethodClientCertificate;
extern NSString* const NSURLAuthenticationMethodServerTrust;

class NSURLProtectionSpace : public NSObject {
    NS_OBJECT(NSURLProtectionSpace, NSObject)
    // initWithHost:port:protocol:realm:authenticationMethod:. A nil method means the default.
    bool initWithHost(NSString* host, NSInteger port, NSString* protocol, NSString* realm,
                      NSString* authenticationMethod);
    // initWithProxyHost:port:type:realm:authenticationMethod:
    bool initWithProxyHost(NSString* host, NSInteger port, NSString* proxyType, NSString* realm,
                           NSString* authenticationMethod);

    Ref<NSString> host() { return host_; }
    NSInteger port() { return port_; }
    // The protocol of a server space, nil for a proxy space.
    Ref<NSString> protocol() { return isProxy_ ? nullptr : protocol_; }
    // The type of a proxy space, nil for a server space.
    Ref<NSString> proxyType() { return isProxy_ ? protocol_ : nullptr; }
    Ref<NSString> realm() { return realm_; }
    Ref<NSString> authenticationMethod() { return authenticationMethod_; }
    bool isProxy() { return isProxy_; }
    // Whether a password given for this space travels protected: over https, or with a method
    // that never sends it as it is (Digest, NTLM, Negotiate, certificates).
    bool receivesCredentialSecurely();
    // Client-certificate spaces only; none here.
    Ref<NSArray> distinguishedNames() { return nullptr; }

    // Equal when host (without regard to case), port, protocol or proxy type, realm and method
    // are equal and both are server spaces or both proxy spaces.
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    Ref<NSObject> copyWithZone() override;
    Ref<NSString> description() override;

private:
    Ref<NSString> host_;
    NSInteger port_ = 0;
    Ref<NSString> protocol_;  // the proxy type for a proxy space
    Ref<NSString> realm_;
    Ref<NSString> authenticationMethod_;
    bool isProxy_ = false;
};
