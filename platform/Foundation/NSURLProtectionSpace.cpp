#include "Foundation/NSURLProtectionSpace.h"

#include "Foundation/NSString.h"

NSString* const NSURLProtectionSpaceHTTP = NS("http");
NSString* const NSURLProtectionSpaceHTTPS = NS("https");
NSString* const NSURLProtectionSpaceFTP = NS("ftp");
NSString* const NSURLProtectionSpaceHTTPProxy = NS("http");
NSString* const NSURLProtectionSpaceHTTPSProxy = NS("https");
NSString* const NSURLProtectionSpaceFTPProxy = NS("ftp");
NSString* const NSURLProtectionSpaceSOCKSProxy = NS("SOCKS");

NSString* const NSURLAuthenticationMethodDefault = NS("NSURLAuthenticationMethodDefault");
NSString* const NSURLAuthenticationMethodHTTPBasic = NS("NSURLAuthenticationMethodHTTPBasic");
NSString* const NSURLAuthenticationMethodHTTPDigest = NS("NSURLAuthenticationMethodHTTPDigest");
NSString* const NSURLAuthenticationMethodHTMLForm = NS("NSURLAuthenticationMethodHTMLForm");
NSString* const NSURLAuthenticationMethodNTLM = NS("NSURLAuthenticationMethodNTLM");
NSString* const NSURLAuthenticationMethodNegotiate = NS("NSURLAuthenticationMethodNegotiate");
NSString* const NSURLAuthenticationMethodClientCertificate =
    NS("NSURLAuthenticationMethodClientCertificate");
NSString* const NSURLAuthenticationMethodServerTrust = NS("NSURLAuthenticationMethodServerTrust");

namespace {

Ref<NSString> copied(NSString* s) {
    return s ? cast<NSString>(s->copy()) : nullptr;
}

bool sameText(NSString* a, NSString* b) {
    if (!a || !b) return !a && !b;
    return a->isEqualToString(b);
}

}  // namespace

bool NSURLProtectionSpace::initWithHost(NSString* host, NSInteger port, NSString* protocol,
                                        NSString* realm, NSString* authenticationMethod) {
    host_ = copied(host);
    port_ = port;
    protocol_ = copied(protocol);
    realm_ = copied(realm);
    authenticationMethod_ = authenticationMethod ? copied(authenticationMethod)
                                                 : Ref<NSString>(NSURLAuthenticationMethodDefault);
    isProxy_ = false;
    return true;
}

bool NSURLProtectionSpace::initWithProxyHost(NSString* host, NSInteger port, NSString* proxyType,
                                             NSString* realm, NSString* authenticationMethod) {
    initWithHost(host, port, proxyType, realm, authenticationMethod);
    isProxy_ = true;
    return true;
}

bool NSURLProtectionSpace::receivesCredentialSecurely() {
    if (protocol_ && protocol_->lowercaseString()->isEqualToString(NS("https"))) return true;
    for (NSString* method :
         {NSURLAuthenticationMethodHTTPDigest, NSURLAuthenticationMethodNTLM,
          NSURLAuthenticationMethodNegotiate, NSURLAuthenticationMethodClientCertificate,
          NSURLAuthenticationMethodServerTrust})
        if (sameText(authenticationMethod_, method)) return true;
    return false;
}

bool NSURLProtectionSpace::isEqual(NSObject* other) {
    if (other == this) return true;
    auto o = as<NSURLProtectionSpace>(other);
    if (!o) return false;
    bool sameHost = (!host_ || !o->host_)
                        ? !host_ && !o->host_
                        : host_->caseInsensitiveCompare(o->host_) == NSOrderedSame;
    return sameHost && port_ == o->port_ && isProxy_ == o->isProxy_ &&
           sameText(protocol_, o->protocol_) && sameText(realm_, o->realm_) &&
           sameText(authenticationMethod_, o->authenticationMethod_);
}

NSUInteger NSURLProtectionSpace::hash() {
    NSUInteger h = host_ ? host_->lowercaseString()->hash() : 0;
    return h ^ (static_cast<NSUInteger>(port_) * 31u) ^ (realm_ ? realm_->hash() * 7u : 0u) ^
           (isProxy_ ? 0x5bd1e995u : 0u);
}

Ref<NSObject> NSURLProtectionSpace::copyWithZone() {
    return Ref<NSObject>(this);  // immutable
}

Ref<NSString> NSURLProtectionSpace::description() {
    return NSString::stringWithFormat(
        NS("<NSURLProtectionSpace %@: %@ %@:%d realm %@, %@>"),
        isProxy_ ? NS("proxy") : NS("server"), protocol_ ? protocol_.get() : NS("(none)"),
        host_ ? host_.get() : NS("(none)"), static_cast<int>(port_),
        realm_ ? realm_.get() : NS("(none)"), authenticationMethod_.get());
}
