#include "CFNetwork/CFNetworkErrors.h"

#include <cerrno>
#include <cstring>

#include "CFNetwork/HTTPConnection.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"

CFIndex CFNetworkPlatformErrno(int systemErrno) {
    // Linux numbers the errors from 32 on differently from the platform.
    switch (systemErrno) {
        case EPERM:
            return kPOSIXErrorEPERM;
        case ENOENT:
            return kPOSIXErrorENOENT;
        case EINTR:
            return kPOSIXErrorEINTR;
        case EIO:
            return kPOSIXErrorEIO;
        case EBADF:
            return kPOSIXErrorEBADF;
        case ENOMEM:
            return kPOSIXErrorENOMEM;
        case EACCES:
            return kPOSIXErrorEACCES;
        case EINVAL:
            return kPOSIXErrorEINVAL;
        case EMFILE:
            return kPOSIXErrorEMFILE;
        case EPIPE:
            return kPOSIXErrorEPIPE;
        case EAGAIN:
            return kPOSIXErrorEAGAIN;
        case EINPROGRESS:
            return kPOSIXErrorEINPROGRESS;
        case EADDRINUSE:
            return kPOSIXErrorEADDRINUSE;
        case EADDRNOTAVAIL:
            return kPOSIXErrorEADDRNOTAVAIL;
        case ENETDOWN:
            return kPOSIXErrorENETDOWN;
        case ENETUNREACH:
            return kPOSIXErrorENETUNREACH;
        case ENETRESET:
            return kPOSIXErrorENETRESET;
        case ECONNABORTED:
            return kPOSIXErrorECONNABORTED;
        case ECONNRESET:
            return kPOSIXErrorECONNRESET;
        case ENOBUFS:
            return kPOSIXErrorENOBUFS;
        case ENOTCONN:
            return kPOSIXErrorENOTCONN;
        case ETIMEDOUT:
            return kPOSIXErrorETIMEDOUT;
        case ECONNREFUSED:
            return kPOSIXErrorECONNREFUSED;
        case EHOSTDOWN:
            return kPOSIXErrorEHOSTDOWN;
        case EHOSTUNREACH:
            return kPOSIXErrorEHOSTUNREACH;
        default:
            return kPOSIXErrorEIO;
    }
}

namespace cfnet {

Ref<NSError> posixError(int systemErrno) {
    auto info = NSDictionary::dictionaryWithObject(NSString::fromUTF8(std::strerror(systemErrno)),
                                                   NSLocalizedDescriptionKey);
    return NSError::errorWithDomain(NSPOSIXErrorDomain, CFNetworkPlatformErrno(systemErrno), info);
}

Ref<NSError> networkError(NSInteger code, const char* description, NSDictionary* extra) {
    auto info = NSMutableDictionary::dictionary();
    if (extra) info->addEntriesFromDictionary(extra);
    info->setObject(NSString::fromUTF8(description), NSLocalizedDescriptionKey);
    return NSError::errorWithDomain(kCFErrorDomainCFNetwork, code, info);
}

Ref<NSError> connectionLostError() {
    return networkError(kCFURLErrorNetworkConnectionLost, "The network connection was lost.");
}

Ref<NSError> brokenPipeError() {
    return posixError(EPIPE);
}

}  // namespace cfnet
