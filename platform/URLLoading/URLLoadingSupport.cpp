#include "URLLoading/URLLoadingSupport.h"

#include <zlib.h>

#include <cctype>

#include "CFNetwork/CFNetworkErrors.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLError.h"

namespace urlload {

namespace {

NSString* descriptionFor(NSInteger code) {
    switch (code) {
        case NSURLErrorCancelled:
            return NS("cancelled");
        case NSURLErrorBadURL:
            return NS("bad URL");
        case NSURLErrorTimedOut:
            return NS("The request timed out.");
        case NSURLErrorUnsupportedURL:
            return NS("unsupported URL");
        case NSURLErrorCannotFindHost:
            return NS("A server with the specified hostname could not be found.");
        case NSURLErrorCannotConnectToHost:
            return NS("Could not connect to the server.");
        case NSURLErrorNetworkConnectionLost:
            return NS("The network connection was lost.");
        case NSURLErrorHTTPTooManyRedirects:
            return NS("too many HTTP redirects");
        case NSURLErrorResourceUnavailable:
            return NS("resource unavailable");
        case NSURLErrorNotConnectedToInternet:
            return NS("The Internet connection appears to be offline.");
        case NSURLErrorBadServerResponse:
            return NS("bad server response");
        case NSURLErrorUserCancelledAuthentication:
            return NS("cancelled");
        case NSURLErrorCannotDecodeRawData:
            return NS("cannot decode raw data");
        case NSURLErrorServerCertificateHasBadDate:
            return NS("The certificate for this server has expired.");
        case NSURLErrorServerCertificateUntrusted:
            return NS("The certificate for this server is invalid.");
        case NSURLErrorSecureConnectionFailed:
            return NS(
                "An SSL error has occurred and a secure connection to the server cannot "
                "be made.");
        default:
            return NS("unknown error");
    }
}

}  // namespace

Ref<NSError> urlError(NSInteger code, NSURL* url, NSError* underlying) {
    auto info = NSMutableDictionary::dictionary();
    info->setObject(descriptionFor(code), NSLocalizedDescriptionKey);
    if (url) {
        info->setObject(url, NSURLErrorFailingURLErrorKey);
        info->setObject(url->absoluteString(), NSURLErrorFailingURLStringErrorKey);
    }
    if (underlying) info->setObject(underlying, NSUnderlyingErrorKey);
    return NSError::errorWithDomain(NSURLErrorDomain, code, info);
}

NSInteger urlErrorCodeForStreamError(NSError* streamError, bool connected) {
    if (!streamError) return NSURLErrorUnknown;
    Ref<NSString> domain = streamError->domain();
    NSInteger code = streamError->code();
    if (domain && domain->isEqualToString(NSOSStatusErrorDomain)) {
        switch (code) {
            case errSSLCertExpired:
            case errSSLCertNotYetValid:
                return NSURLErrorServerCertificateHasBadDate;
            case errSSLNoRootCert:
            case errSSLUnknownRootCert:
            case errSSLXCertChainInvalid:
            case errSSLBadCert:
                return NSURLErrorServerCertificateUntrusted;
            default:
                return NSURLErrorSecureConnectionFailed;
        }
    }
    if (domain && domain->isEqualToString(NSPOSIXErrorDomain)) {
        switch (code) {
            case kPOSIXErrorENETDOWN:
            case kPOSIXErrorENETUNREACH:
                return NSURLErrorNotConnectedToInternet;
            case kPOSIXErrorECONNRESET:
            case kPOSIXErrorEPIPE:
            case kPOSIXErrorENOTCONN:
            case kPOSIXErrorECONNABORTED:
                return connected ? NSURLErrorNetworkConnectionLost : NSURLErrorCannotConnectToHost;
            case kPOSIXErrorETIMEDOUT:
                return NSURLErrorTimedOut;
            default:
                return connected ? NSURLErrorNetworkConnectionLost : NSURLErrorCannotConnectToHost;
        }
    }
    if (domain && domain->isEqualToString(kCFErrorDomainCFNetwork)) {
        switch (code) {
            case kCFHostErrorHostNotFound:
            case kCFHostErrorUnknown:
                return NSURLErrorCannotFindHost;
            case kCFErrorHTTPBadURL:
                return NSURLErrorBadURL;
            case kCFErrorHTTPParseFailure:
                return NSURLErrorBadServerResponse;
            case kCFErrorHTTPConnectionLost:
                return NSURLErrorNetworkConnectionLost;
            case kCFErrorHTTPProxyConnectionFailure:
            case kCFErrorHTTPSProxyConnectionFailure:
                return NSURLErrorCannotConnectToHost;
            default:
                // The URL loading codes travel in this domain as they are.
                if (code <= -998 && code >= -3007) return code;
                return connected ? NSURLErrorNetworkConnectionLost : NSURLErrorCannotConnectToHost;
        }
    }
    return NSURLErrorUnknown;
}

// ---- ContentDecoder ---------------------------------------------------------------------------

ContentDecoder::~ContentDecoder() {
    release();
}

void ContentDecoder::release() {
    if (stream_) {
        auto* z = static_cast<z_stream*>(stream_);
        inflateEnd(z);
        delete z;
        stream_ = nullptr;
    }
}

ContentDecoder::Coding ContentDecoder::codingFor(NSString* contentEncoding) {
    if (!contentEncoding) return Coding::Identity;
    std::string v;
    for (char c : contentEncoding->utf8())
        if (c != ' ' && c != '\t')
            v += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (v == "gzip" || v == "x-gzip") return Coding::Gzip;
    if (v == "deflate") return Coding::Deflate;
    return Coding::Identity;
}

void ContentDecoder::reset(Coding coding) {
    release();
    coding_ = coding;
    started_ = ended_ = failed_ = false;
    pending_.clear();
}

bool ContentDecoder::feed(const void* bytes, size_t length, std::string& out) {
    if (failed_) return false;
    if (coding_ == Coding::Identity) {
        out.append(static_cast<const char*>(bytes), length);
        return true;
    }
    if (length == 0) return true;
    const char* in = static_cast<const char*>(bytes);
    if (!stream_) {
        int windowBits = 15 + 16;  // gzip
        if (coding_ == Coding::Deflate) {
            // A zlib header is two bytes whose value is a multiple of 31 with method 8.
            pending_.append(in, length);
            if (pending_.size() < 2) return true;
            auto b0 = static_cast<unsigned char>(pending_[0]);
            auto b1 = static_cast<unsigned char>(pending_[1]);
            bool zlibHeader = (b0 & 0x0f) == 8 && ((b0 << 8) | b1) % 31 == 0;
            windowBits = zlibHeader ? 15 : -15;
        }
        auto* z = new z_stream{};
        if (inflateInit2(z, windowBits) != Z_OK) {
            delete z;
            failed_ = true;
            return false;
        }
        stream_ = z;
        if (!pending_.empty()) {
            std::string first;
            first.swap(pending_);
            return feed(first.data(), first.size(), out);
        }
    }
    started_ = true;
    if (ended_) return true;  // bytes after the end of the data are ignored
    auto* z = static_cast<z_stream*>(stream_);
    z->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
    z->avail_in = static_cast<uInt>(length);
    char buffer[16384];
    while (z->avail_in > 0 || z->avail_out == 0) {
        z->next_out = reinterpret_cast<Bytef*>(buffer);
        z->avail_out = sizeof buffer;
        int rc = inflate(z, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - z->avail_out);
        if (rc == Z_STREAM_END) {
            ended_ = true;
            break;
        }
        if (rc == Z_BUF_ERROR && z->avail_in == 0) break;
        if (rc != Z_OK) {
            failed_ = true;
            return false;
        }
        if (z->avail_in == 0 && z->avail_out != 0) break;
    }
    return true;
}

bool ContentDecoder::finish() {
    if (failed_) return false;
    if (coding_ == Coding::Identity) return true;
    if (!stream_) return pending_.empty();  // nothing at all is an empty body
    return ended_;
}

}  // namespace urlload
