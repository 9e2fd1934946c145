// The property keys and values, with the platform's strings.
#include "CFNetwork/CFHTTPStream.h"
#include "CFNetwork/CFNetworkErrors.h"
#include "CFNetwork/CFProxySupport.h"
#include "CFNetwork/CFSocketStream.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"

NSString* const kCFStreamPropertyHTTPResponseHeader = NS("kCFStreamPropertyHTTPResponseHeader");
NSString* const kCFStreamPropertyHTTPFinalURL = NS("kCFStreamPropertyHTTPFinalURL");
NSString* const kCFStreamPropertyHTTPFinalRequest = NS("kCFStreamPropertyHTTPFinalRequest");
NSString* const kCFStreamPropertyHTTPAttemptPersistentConnection =
    NS("kCFStreamPropertyHTTPAttemptPersistentConnection");
NSString* const kCFStreamPropertyHTTPConnectionReused = NS("kCFStreamPropertyHTTPConnectionReused");
NSString* const kCFStreamPropertyHTTPRequestBytesWrittenCount =
    NS("kCFStreamPropertyHTTPRequestBytesWrittenCount");
NSString* const kCFStreamPropertyHTTPShouldAutoredirect =
    NS("kCFStreamPropertyHTTPShouldAutoredirect");
NSString* const kCFStreamPropertyHTTPProxy = NS("kCFStreamPropertyHTTPProxy");
NSString* const kCFStreamPropertyHTTPProxyHost = NS("HTTPProxy");
NSString* const kCFStreamPropertyHTTPProxyPort = NS("HTTPPort");
NSString* const kCFStreamPropertyHTTPSProxyHost = NS("HTTPSProxy");
NSString* const kCFStreamPropertyHTTPSProxyPort = NS("HTTPSPort");

NSString* const kCFStreamPropertySSLSettings = NS("kCFStreamPropertySSLSettings");
NSString* const kCFStreamSSLValidatesCertificateChain = NS("kCFStreamSSLValidatesCertificateChain");
NSString* const kCFStreamSSLPeerName = NS("kCFStreamSSLPeerName");
NSString* const kCFStreamSSLLevel = NS("kCFStreamSSLLevel");
NSString* const kCFStreamSSLAllowsExpiredCertificates = NS("kCFStreamSSLAllowsExpiredCertificates");
NSString* const kCFStreamSSLAllowsExpiredRoots = NS("kCFStreamSSLAllowsExpiredRoots");
NSString* const kCFStreamSSLAllowsAnyRoot = NS("kCFStreamSSLAllowsAnyRoot");
NSString* const kCFStreamSSLCertificates = NS("kCFStreamSSLCertificates");
NSString* const kCFStreamSSLIsServer = NS("kCFStreamSSLIsServer");
NSString* const kCFStreamPropertySocketSecurityLevel = NS("kCFStreamPropertySocketSecurityLevel");
NSString* const kCFStreamSocketSecurityLevelNone = NS("kCFStreamSocketSecurityLevelNone");
NSString* const kCFStreamSocketSecurityLevelSSLv2 = NS("kCFStreamSocketSecurityLevelSSLv2");
NSString* const kCFStreamSocketSecurityLevelSSLv3 = NS("kCFStreamSocketSecurityLevelSSLv3");
NSString* const kCFStreamSocketSecurityLevelTLSv1 = NS("kCFStreamSocketSecurityLevelTLSv1");
NSString* const kCFStreamSocketSecurityLevelNegotiatedSSL =
    NS("kCFStreamSocketSecurityLevelNegotiatedSSL");

NSString* const kCFStreamPropertySOCKSProxy = NS("kCFStreamPropertySOCKSProxy");
NSString* const kCFStreamPropertySOCKSProxyHost = NS("SOCKSProxy");
NSString* const kCFStreamPropertySOCKSProxyPort = NS("SOCKSPort");
NSString* const kCFStreamPropertySOCKSVersion = NS("kCFStreamPropertySOCKSVersion");
NSString* const kCFStreamSocketSOCKSVersion4 = NS("kCFStreamSocketSOCKSVersion4");
NSString* const kCFStreamSocketSOCKSVersion5 = NS("kCFStreamSocketSOCKSVersion5");
NSString* const kCFStreamPropertySOCKSUser = NS("kCFStreamPropertySOCKSUser");
NSString* const kCFStreamPropertySOCKSPassword = NS("kCFStreamPropertySOCKSPassword");

NSString* const kCFNetworkProxiesHTTPEnable = NS("HTTPEnable");
NSString* const kCFNetworkProxiesHTTPProxy = NS("HTTPProxy");
NSString* const kCFNetworkProxiesHTTPPort = NS("HTTPPort");
NSString* const kCFNetworkProxiesHTTPSEnable = NS("HTTPSEnable");
NSString* const kCFNetworkProxiesHTTPSProxy = NS("HTTPSProxy");
NSString* const kCFNetworkProxiesHTTPSPort = NS("HTTPSPort");
NSString* const kCFNetworkProxiesSOCKSEnable = NS("SOCKSEnable");
NSString* const kCFNetworkProxiesSOCKSProxy = NS("SOCKSProxy");
NSString* const kCFNetworkProxiesSOCKSPort = NS("SOCKSPort");
NSString* const kCFNetworkProxiesExceptionsList = NS("ExceptionsList");
NSString* const kCFNetworkProxiesProxyAutoConfigEnable = NS("ProxyAutoConfigEnable");
NSString* const kCFNetworkProxiesProxyAutoConfigURLString = NS("ProxyAutoConfigURLString");

NSString* const kCFProxyTypeKey = NS("kCFProxyTypeKey");
NSString* const kCFProxyHostNameKey = NS("kCFProxyHostNameKey");
NSString* const kCFProxyPortNumberKey = NS("kCFProxyPortNumberKey");
NSString* const kCFProxyAutoConfigurationURLKey = NS("kCFProxyAutoConfigurationURLKey");
NSString* const kCFProxyUsernameKey = NS("kCFProxyUsernameKey");
NSString* const kCFProxyPasswordKey = NS("kCFProxyPasswordKey");
NSString* const kCFProxyTypeNone = NS("kCFProxyTypeNone");
NSString* const kCFProxyTypeHTTP = NS("kCFProxyTypeHTTP");
NSString* const kCFProxyTypeHTTPS = NS("kCFProxyTypeHTTPS");
NSString* const kCFProxyTypeSOCKS = NS("kCFProxyTypeSOCKS");
NSString* const kCFProxyTypeAutoConfigurationURL = NS("kCFProxyTypeAutoConfigurationURL");

NSString* const kCFErrorDomainCFNetwork = NS("kCFErrorDomainCFNetwork");
NSString* const kCFErrorDomainPOSIX = NS("NSPOSIXErrorDomain");
NSString* const kCFErrorDomainOSStatus = NS("NSOSStatusErrorDomain");
NSString* const kCFGetAddrInfoFailureKey = NS("kCFGetAddrInfoFailureKey");
NSString* const kCFStreamErrorDomainKey = NS("kCFStreamErrorDomainKey");
NSString* const kCFStreamErrorCodeKey = NS("kCFStreamErrorCodeKey");
