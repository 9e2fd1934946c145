// The mediation layer's errors (one domain, numeric codes) and its level-filtered log.
#pragma once

#include "Foundation/NSError.h"
#include "Foundation/NSLog.h"

class NSDictionary;

extern NSString* const AdLoomErrorDomain;

enum AdLoomErrorCode : NSInteger {
    AdLoomConfigConnectionError = 10,
    AdLoomConfigStatusError = 11,
    AdLoomConfigParseError = 20,
    AdLoomConfigDataError = 30,
    AdLoomCustomAdConnectionError = 40,
    AdLoomCustomAdParseError = 50,
    AdLoomCustomAdDataError = 60,
    AdLoomCustomAdImageError = 70,
    AdLoomAdRequestIgnoredError = 80,
    AdLoomAdRequestInProgressError = 90,
    AdLoomAdRequestNoConfigError = 100,
    AdLoomAdRequestTooSoonError = 110,
    AdLoomAdRequestNoMoreAdNetworks = 120,
    AdLoomAdRequestNoNetworkError = 130,
    AdLoomAdRequestModalActiveError = 140,
};

class AdLoomError : public NSError {
    NS_OBJECT(AdLoomError, NSError)
    static Ref<AdLoomError> errorWithCode(NSInteger code, NSDictionary* userInfo);
    static Ref<AdLoomError> errorWithCode(NSInteger code, NSString* description);
    static Ref<AdLoomError> errorWithCode(NSInteger code, NSString* description,
                                          NSError* underlyingError);
    bool initWithCode(NSInteger code, NSDictionary* userInfo);
    bool initWithCode(NSInteger code, NSString* description);
    bool initWithCode(NSInteger code, NSString* description, NSError* underlyingError);
};

// The layer's one log level; a message prints when the level is at least its threshold.
inline constexpr unsigned AdLoomLogLevel = 40;
enum : unsigned {
    AdLoomLogLevelCritical = 10,
    AdLoomLogLevelError = 20,
    AdLoomLogLevelWarning = 30,
    AdLoomLogLevelDebug = 50,
};

namespace adloom_detail {
template <unsigned Threshold, class... A>
void logAt(NSString* format, const A&... args) {
    if constexpr (AdLoomLogLevel >= Threshold) {
        const FormatArg list[] = {FormatArg(args)..., FormatArg(nullptr)};
        NSLogv(format, list, sizeof...(A));
    }
}
}  // namespace adloom_detail

template <class... A>
void AdLoomLogCritical(NSString* format, const A&... args) {
    adloom_detail::logAt<AdLoomLogLevelCritical>(format, args...);
}
template <class... A>
void AdLoomLogError(NSString* format, const A&... args) {
    adloom_detail::logAt<AdLoomLogLevelError>(format, args...);
}
template <class... A>
void AdLoomLogWarning(NSString* format, const A&... args) {
    adloom_detail::logAt<AdLoomLogLevelWarning>(format, args...);
}
template <class... A>
void AdLoomLogDebug(NSString* format, const A&... args) {
    adloom_detail::logAt<AdLoomLogLevelDebug>(format, args...);
}
