// Proxy settings and proxy lists.
//
// The system settings come from the environment, read at each call (and parsed again only when
// a variable has changed): http_proxy, https_proxy, all_proxy (an "http://", "socks5://" or
// "socks://" URL) and no_proxy (a comma list of host names or ".suffix"/"*.suffix" patterns;
// "*" alone exempts everything), in lower or upper case.
#pragma once

#include "CFNetwork/CFStream.h"

class RunLoopSource;

// Keys of the settings dictionary.
extern NSString* const kCFNetworkProxiesHTTPEnable;                // "HTTPEnable", NSNumber 0/1
extern NSString* const kCFNetworkProxiesHTTPProxy;                 // "HTTPProxy"
extern NSString* const kCFNetworkProxiesHTTPPort;                  // "HTTPPort", NSNumber
extern NSString* const kCFNetworkProxiesHTTPSEnable;               // "HTTPSEnable"
extern NSString* const kCFNetworkProxiesHTTPSProxy;                // "HTTPSProxy"
extern NSString* const kCFNetworkProxiesHTTPSPort;                 // "HTTPSPort"
extern NSString* const kCFNetworkProxiesSOCKSEnable;               // "SOCKSEnable"
extern NSString* const kCFNetworkProxiesSOCKSProxy;                // "SOCKSProxy"
extern NSString* const kCFNetworkProxiesSOCKSPort;                 // "SOCKSPort"
extern NSString* const kCFNetworkProxiesExceptionsList;            // "ExceptionsList"
extern NSString* const kCFNetworkProxiesProxyAutoConfigEnable;     // "ProxyAutoConfigEnable"
extern NSString* const kCFNetworkProxiesProxyAutoConfigURLString;  // "ProxyAutoConfigURLString"

// Keys and values of one entry of a proxy list.
extern NSString* const kCFProxyTypeKey;
extern NSString* const kCFProxyHostNameKey;
extern NSString* const kCFProxyPortNumberKey;
extern NSString* const kCFProxyAutoConfigurationURLKey;
extern NSString* const kCFProxyUsernameKey;
extern NSString* const kCFProxyPasswordKey;
extern NSString* const kCFProxyTypeNone;
extern NSString* const kCFProxyTypeHTTP;
extern NSString* const kCFProxyTypeHTTPS;
extern NSString* const kCFProxyTypeSOCKS;
extern NSString* const kCFProxyTypeAutoConfigurationURL;

// The current settings (never nil).
Ref<NSDictionary> CFNetworkCopySystemProxySettings();
// The proxies to try for the URL under the settings, best first: a one-entry list of
// kCFProxyTypeNone when none applies. "https" URLs use the HTTPS proxy, others the HTTP proxy;
// a SOCKS proxy serves both when the other is not set.
Ref<NSArray> CFNetworkCopyProxiesForURL(NSURL* url, NSDictionary* proxySettings);

// Proxy auto-configuration scripts cannot be run here (there is no script engine): both forms
// report kCFErrorPACFileError.
Ref<NSArray> CFNetworkCopyProxiesForAutoConfigurationScript(NSString* proxyAutoConfigurationScript,
                                                            NSURL* targetURL, Ref<NSError>* error);
using CFProxyAutoConfigurationResultCallback = void (*)(void* client, NSArray* proxyList,
                                                        NSError* error);
// A source to add to a run loop; once added it calls back there with the error.
Ref<RunLoopSource> CFNetworkExecuteProxyAutoConfigurationURL(
    NSURL* proxyAutoConfigURL, NSURL* targetURL, CFProxyAutoConfigurationResultCallback cb,
    CFStreamClientContext* clientContext);
