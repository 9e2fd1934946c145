// The errors HTTP read streams report (CFReadStreamCopyError).
//
// - NSPOSIXErrorDomain: socket errors, with the PLATFORM's errno numbers (the kPOSIX... names
//   below), which differ from this system's: ECONNREFUSED is 61, not 111.
// - kCFErrorDomainCFNetwork: name lookup (kCFHostErrorUnknown, with the resolver's code under
//   kCFGetAddrInfoFailureKey), proxies, kCFURLErrorNetworkConnectionLost (-1005), and
//   kCFURLErrorRequestBodyStreamExhausted (-1021) for a streamed body short of its length.
// - NSOSStatusErrorDomain: TLS failures, codes -9818 to -9800 (errSSL... below).
//
// A connection lost before its response is complete surfaces as kCFURLErrorNetworkConnectionLost
// (the peer closed or reset it), or as kPOSIXErrorEPIPE when the request could not be written
// to it. These are the errors a client retries on a new connection; a kept connection that the
// server closed while it was idle gives exactly these when reused.
#pragma once

#include "CFNetwork/CFStream.h"

extern NSString* const kCFErrorDomainCFNetwork;   // "kCFErrorDomainCFNetwork"
extern NSString* const kCFErrorDomainPOSIX;       // NSPOSIXErrorDomain
extern NSString* const kCFErrorDomainOSStatus;    // NSOSStatusErrorDomain
extern NSString* const kCFGetAddrInfoFailureKey;  // "kCFGetAddrInfoFailureKey"
extern NSString* const kCFStreamErrorDomainKey;   // "kCFStreamErrorDomainKey"
extern NSString* const kCFStreamErrorCodeKey;     // "kCFStreamErrorCodeKey"

using CFNetworkErrors = CFIndex;
enum : CFNetworkErrors {
    kCFHostErrorHostNotFound = 1,
    kCFHostErrorUnknown = 2,
    kCFSOCKSErrorUnknownClientVersion = 100,
    kCFSOCKSErrorUnsupportedServerVersion = 101,
    kCFSOCKS5ErrorBadState = 122,
    kCFSOCKS5ErrorBadResponseAddr = 123,
    kCFSOCKS5ErrorBadCredentials = 124,
    kCFSOCKS5ErrorUnsupportedNegotiationMethod = 125,
    kCFSOCKS5ErrorNoAcceptableMethod = 126,
    kCFErrorHTTPAuthenticationTypeUnsupported = 300,
    kCFErrorHTTPBadCredentials = 301,
    kCFErrorHTTPConnectionLost = 302,
    kCFErrorHTTPParseFailure = 303,
    kCFErrorHTTPRedirectionLoopDetected = 304,
    kCFErrorHTTPBadURL = 305,
    kCFErrorHTTPProxyConnectionFailure = 306,
    kCFErrorHTTPBadProxyCredentials = 307,
    kCFErrorPACFileError = 308,
    kCFErrorPACFileAuth = 309,
    kCFErrorHTTPSProxyConnectionFailure = 310,
    kCFURLErrorUnknown = -998,
    kCFURLErrorCancelled = -999,
    kCFURLErrorBadURL = -1000,
    kCFURLErrorTimedOut = -1001,
    kCFURLErrorUnsupportedURL = -1002,
    kCFURLErrorCannotFindHost = -1003,
    kCFURLErrorCannotConnectToHost = -1004,
    kCFURLErrorNetworkConnectionLost = -1005,
    kCFURLErrorDNSLookupFailed = -1006,
    kCFURLErrorBadServerResponse = -1011,
    kCFURLErrorRequestBodyStreamExhausted = -1021,
    kCFURLErrorSecureConnectionFailed = -1200,
};

// The platform's errno numbers, as NSPOSIXErrorDomain codes carry them.
enum : CFIndex {
    kPOSIXErrorEPERM = 1,
    kPOSIXErrorENOENT = 2,
    kPOSIXErrorEINTR = 4,
    kPOSIXErrorEIO = 5,
    kPOSIXErrorEBADF = 9,
    kPOSIXErrorENOMEM = 12,
    kPOSIXErrorEACCES = 13,
    kPOSIXErrorEINVAL = 22,
    kPOSIXErrorEMFILE = 24,
    kPOSIXErrorEPIPE = 32,
    kPOSIXErrorEAGAIN = 35,
    kPOSIXErrorEINPROGRESS = 36,
    kPOSIXErrorEADDRINUSE = 48,
    kPOSIXErrorEADDRNOTAVAIL = 49,
    kPOSIXErrorENETDOWN = 50,
    kPOSIXErrorENETUNREACH = 51,
    kPOSIXErrorENETRESET = 52,
    kPOSIXErrorECONNABORTED = 53,
    kPOSIXErrorECONNRESET = 54,
    kPOSIXErrorENOBUFS = 55,
    kPOSIXErrorENOTCONN = 57,
    kPOSIXErrorETIMEDOUT = 60,
    kPOSIXErrorECONNREFUSED = 61,
    kPOSIXErrorEHOSTDOWN = 64,
    kPOSIXErrorEHOSTUNREACH = 65,
};
// This system's errno value as the platform numbers it (EIO for one it has no name for).
CFIndex CFNetworkPlatformErrno(int systemErrno);

// Secure-transport status codes (NSOSStatusErrorDomain).
enum : CFIndex {
    errSSLProtocol = -9800,
    errSSLNegotiation = -9801,
    errSSLFatalAlert = -9802,
    errSSLWouldBlock = -9803,
    errSSLSessionNotFound = -9804,
    errSSLClosedGraceful = -9805,
    errSSLClosedAbort = -9806,
    errSSLXCertChainInvalid = -9807,
    errSSLBadCert = -9808,
    errSSLCrypto = -9809,
    errSSLInternal = -9810,
    errSSLModuleAttach = -9811,
    errSSLUnknownRootCert = -9812,
    errSSLNoRootCert = -9813,
    errSSLCertExpired = -9814,
    errSSLCertNotYetValid = -9815,
    errSSLClosedNoNotify = -9816,
    errSSLBufferOverflow = -9817,
    errSSLBadCipherSuite = -9818,
};
