#include "analytics/base/TallyUtil.h"

#include <atomic>
#include <cstdio>
#include <vector>

#include "CommonCrypto/CommonDigest.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDateFormatter.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSException.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSNumberFormatter.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSTimeZone.h"
#include "UIKit/UIView.h"

namespace {
std::atomic<bool> debugUnlocked{false};
std::atomic<bool> showErrorInLog{false};

Ref<NSString> logFilePath() {
    auto dirs = NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true);
    if (!dirs || dirs->count() == 0) return nullptr;
    return NSString::stringWithFormat(NS("%@/tally.logfile.txt"), dirs->objectAtIndex(0));
}
}  // namespace

Ref<NSString> TallyUtil::debugKeyFor(NSString* apiKey, NSDate* date) {
    auto formatter = make<NSDateFormatter>();
    formatter->setTimeZone(NSTimeZone::localTimeZone());
    formatter->setDateFormat(NS("MM-dd-yyyy"));
    auto text = NSString::stringWithFormat(NS("%@%s%@"), apiKey, kDebugKeySeparator,
                                           formatter->stringFromDate(date));
    const char* utf8 = text->UTF8String();
    unsigned char digest[CC_SHA1_DIGEST_LENGTH];
    CC_SHA1(utf8, static_cast<CC_LONG>(std::char_traits<char>::length(utf8)), digest);
    char hex[2 * CC_SHA1_DIGEST_LENGTH + 1];
    for (int i = 0; i < CC_SHA1_DIGEST_LENGTH; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return NSString::stringWithUTF8String(hex);
}

void TallyUtil::unlockDebugMode(NSString* key, NSString* apiKey) {
    debugUnlocked = false;
    if (!key) return;
    auto now = NSDate::date();
    for (int day = 0; day <= 7; ++day) {
        auto candidate = debugKeyFor(apiKey, now->dateByAddingTimeInterval(day * 86400.0));
        if (key->isEqualToString(candidate)) {
            debugUnlocked = true;
            return;
        }
    }
}

bool TallyUtil::isDebugModeUnlocked() {
    return debugUnlocked;
}

void TallyUtil::logToFile(NSString* message) {
    NSAutoreleasePool pool;
    auto path = logFilePath();
    FILE* file = path ? std::fopen(path->UTF8String(), "a") : nullptr;
    if (!file) {
        NSLogMessage(NS("Tally: logToFile: Failed to open log file"));
        return;
    }
    auto pieces = (message ? message : NS(""))
                      ->componentsSeparatedByCharactersInSet(NSCharacterSet::controlCharacterSet());
    for (auto* piece : *pieces) {
        auto line = transposeEncode(
            NSString::stringWithFormat(NS("%@ %@"), NSDate::date()->description(), piece));
        std::fputs(line->UTF8String(), file);
        std::fputc('\n', file);
    }
    std::fclose(file);
}

Ref<NSString> TallyUtil::transposeEncode(NSString* string) {
    NSUInteger n = string ? string->length() : 0;
    std::vector<char16_t> out;
    out.reserve(n);
    for (NSUInteger column = 0; column < 7; ++column)
        for (NSUInteger i = column; i < n; i += 7)
            out.push_back(string->characterAtIndex(i));
    return NSString::stringWithCharacters(out.data(), static_cast<NSUInteger>(out.size()));
}

Ref<NSString> TallyUtil::transposeDecode(NSString* string) {
    NSUInteger n = string ? string->length() : 0;
    std::vector<char16_t> out(n);
    NSUInteger at = 0;
    // Column c holds the characters c, c + 7, ... of the original, in order.
    for (NSUInteger column = 0; column < 7; ++column)
        for (NSUInteger i = column; i < n; i += 7)
            out[i] = string->characterAtIndex(at++);
    return NSString::stringWithCharacters(out.data(), n);
}

void TallyUtil::setShowErrorInLogEnabled(bool enabled) {
    showErrorInLog = enabled;
}

void TallyUtil::handleException(NSObject* object) {
    if (!isDebugModeUnlocked()) return;
    if (auto e = as<NSException>(object)) {
        logToFile(NS("Tally: Caught Exception in Tally Analytics Code"));
        logToFile(NS("Tally: -----------------------------------------"));
        logToFile(
            NSString::stringWithFormat(NS("Tally: Name:%@ Reason:%@"), e->name(), e->reason()));
        logToFile(NSString::stringWithFormat(NS("Tally: %@"), e->userInfo()));
    } else if (auto err = as<NSError>(object)) {
        logToFile(NS("Tally: Caught Error in Tally Analytics Code"));
        logToFile(NS("Tally: -----------------------------------------"));
        logToFile(NSString::stringWithFormat(NS("Tally: Code:%d Domain:%@"),
                                             static_cast<int>(err->code()), err->domain()));
        logToFile(NSString::stringWithFormat(NS("Tally: %@"), err->userInfo()));
    } else {
        logToFile(NS("Tally: Caught Error in Tally Analytics Code"));
        logToFile(NSString::stringWithFormat(NS("Tally: %@"), object));
    }
}

CGRect TallyUtil::screenBounds(NSString* orientation) {
    return canvasInLandscape(orientation) ? CGRectMake(0, 0, 480, 320) : CGRectMake(0, 0, 320, 480);
}

bool TallyUtil::canvasInLandscape(NSString* orientation) {
    return canvasInLandscapeRight(orientation) || canvasInLandscapeLeft(orientation);
}

bool TallyUtil::canvasInLandscapeRight(NSString* orientation) {
    return orientation &&
           orientation->caseInsensitiveCompare(NS("landscapeRight")) == NSOrderedSame;
}

bool TallyUtil::canvasInLandscapeLeft(NSString* orientation) {
    return orientation && orientation->caseInsensitiveCompare(NS("landscapeLeft")) == NSOrderedSame;
}

void TallyUtil::removeViewFromSuperview(UIView* view) {
    if (view) view->removeFromSuperview();
}

Ref<NSNumber> TallyUtil::convertStrToNum(NSString* string) {
    auto formatter = make<NSNumberFormatter>();
    formatter->setNumberStyle(NSNumberFormatterDecimalStyle);
    return string ? formatter->numberFromString(string) : nullptr;
}
