// Socket-level stream properties: TLS settings and SOCKS proxies.
#pragma once

#include "CFNetwork/CFStream.h"

// ---- TLS --------------------------------------------------------------------------------
// An NSDictionary with the keys below. Without it an "https" stream verifies the server's
// certificate chain against the trust anchors and its name against the URL's host.
// Trust anchors: the system's default store, plus the PEM file named by the environment
// variable BAZAARNEST_CA_FILE when set.
extern NSString* const kCFStreamPropertySSLSettings;
// kCFBooleanFalse: accept any certificate (no chain or name check). Default true.
extern NSString* const kCFStreamSSLValidatesCertificateChain;
// The name to send as SNI and to check the certificate against; kCFNull: no name check
// (SNI still carries the URL's host). Default: the URL's host.
extern NSString* const kCFStreamSSLPeerName;
// One of the security levels below (kCFStreamSocketSecurityLevel...); any level negotiates the
// best TLS version both ends allow.
extern NSString* const kCFStreamSSLLevel;
// While validating: accept an expired (or not yet valid) leaf / root certificate, or a chain
// whose root is not a trust anchor (self-signed included). Each default false.
extern NSString* const kCFStreamSSLAllowsExpiredCertificates;
extern NSString* const kCFStreamSSLAllowsExpiredRoots;
extern NSString* const kCFStreamSSLAllowsAnyRoot;
// The client identity: an NSArray whose first element is an NSData holding the PEM of the
// client certificate and its private key; further NSData elements (PEM certificates) are sent
// as its chain.
extern NSString* const kCFStreamSSLCertificates;
extern NSString* const kCFStreamSSLIsServer;
extern NSString* const kCFStreamPropertySocketSecurityLevel;
extern NSString* const kCFStreamSocketSecurityLevelNone;
extern NSString* const kCFStreamSocketSecurityLevelSSLv2;
extern NSString* const kCFStreamSocketSecurityLevelSSLv3;
extern NSString* const kCFStreamSocketSecurityLevelTLSv1;
extern NSString* const kCFStreamSocketSecurityLevelNegotiatedSSL;

// ---- SOCKS ------------------------------------------------------------------------------
// An NSDictionary with kCFStreamPropertySOCKSProxyHost and ...Port (SOCKS5, no
// authentication, the host name resolved by the proxy).
extern NSString* const kCFStreamPropertySOCKSProxy;
extern NSString* const kCFStreamPropertySOCKSProxyHost;  // "SOCKSProxy"
extern NSString* const kCFStreamPropertySOCKSProxyPort;  // "SOCKSPort"
extern NSString* const kCFStreamPropertySOCKSVersion;
extern NSString* const kCFStreamSocketSOCKSVersion4;
extern NSString* const kCFStreamSocketSOCKSVersion5;
extern NSString* const kCFStreamPropertySOCKSUser;
extern NSString* const kCFStreamPropertySOCKSPassword;
