// Errors and exceptions of the layer: every report is made here, so that all of them carry the
// same user-info keys and the same reason format.
#include <unicode/utypes.h>

#include <cstdlib>

#include "Classes/MatchKit/MTKInternal.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSException.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSValue.h"
#include "Foundation/Runtime.h"

NSString* const MTKICURegexErrorDomain = NS("MTKICURegexErrorDomain");
NSString* const MTKICURegexException = NS("MTKICURegexException");

NSString* const MTKICURegexRegexErrorKey = NS("MTKICURegexRegex");
NSString* const MTKICURegexRegexOptionsErrorKey = NS("MTKICURegexRegexOptions");
NSString* const MTKICURegexErrorCodeErrorKey = NS("MTKICURegexErrorCode");
NSString* const MTKICURegexErrorNameErrorKey = NS("MTKICURegexErrorName");
NSString* const MTKICURegexSubjectStringErrorKey = NS("MTKICURegexSubjectString");
NSString* const MTKICURegexSubjectRangeErrorKey = NS("MTKICURegexSubjectRange");
NSString* const MTKICURegexReplacementStringErrorKey = NS("MTKICURegexReplacementString");
NSString* const MTKICURegexReplacedStringErrorKey = NS("MTKICURegexReplacedString");
NSString* const MTKICURegexReplacedCountErrorKey = NS("MTKICURegexReplacedCount");
NSString* const MTKICURegexEnumerationOptionsErrorKey = NS("MTKICURegexEnumerationOptions");
NSString* const MTKICURegexLineErrorKey = NS("MTKICURegexLine");
NSString* const MTKICURegexOffsetErrorKey = NS("MTKICURegexOffset");
NSString* const MTKICURegexPreContextErrorKey = NS("MTKICURegexPreContext");
NSString* const MTKICURegexPostContextErrorKey = NS("MTKICURegexPostContext");

namespace {

// The user info may hold at most this many entries.
constexpr NSUInteger kMaxUserInfoEntries = 62;

Ref<NSString> errorName(int32_t status) {
    return NSString::stringWithUTF8String(u_errorName(static_cast<UErrorCode>(status)));
}

// A context string of the parse-error record, up to its terminating zero.
Ref<NSString> contextString(const char16_t* units) {
    NSUInteger n = 0;
    while (n < U_PARSE_CONTEXT_LEN && units[n])
        ++n;
    return NSString::stringWithCharacters(units, n);
}

void put(NSMutableDictionary* info, NSObject* key, NSObject* value) {
    if (key && value && info->count() < kMaxUserInfoEntries) info->setObject(value, key);
}

// Keys 1 to 4 of the layer's user info.
void putPattern(NSMutableDictionary* info, NSString* regex, MTKRegexOptions options,
                int32_t status) {
    put(info, MTKICURegexRegexErrorKey, regex ? regex : NS("<NULL regex>"));
    put(info, MTKICURegexRegexOptionsErrorKey, NSNumber::numberWithUnsignedInt(options));
    put(info, MTKICURegexErrorCodeErrorKey, NSNumber::numberWithInt(status));
    put(info, MTKICURegexErrorNameErrorKey, errorName(status));
}

// Keys 11 and 12: the parse position and the failure reason.
void putParseError(NSMutableDictionary* info, const UParseError* pe, int32_t status) {
    bool known = pe && pe->line != -1;
    if (known) {
        put(info, MTKICURegexLineErrorKey, NSNumber::numberWithInt(pe->line));
        put(info, MTKICURegexOffsetErrorKey, NSNumber::numberWithInt(pe->offset));
        put(info, MTKICURegexPreContextErrorKey, contextString(pe->preContext));
        put(info, MTKICURegexPostContextErrorKey, contextString(pe->postContext));
        put(info, NSLocalizedFailureReasonErrorKey,
            NSString::stringWithFormat(
                NS("The error %@ occurred at line %d, column %d: %@<<HERE>>%@"), errorName(status),
                pe->line, pe->offset, contextString(pe->preContext),
                contextString(pe->postContext)));
    } else {
        put(info, NSLocalizedFailureReasonErrorKey,
            NSString::stringWithFormat(NS("The error %@ occurred."), errorName(status)));
    }
}

// The platform's assertion handler, as it behaves by default: log the failure, then raise
// NSInternalInconsistencyException with the description.
[[noreturn]] void handleFailureInFunction(NSString* function, NSString* file, NSInteger line,
                                          NSString* description) {
    NSLog(NS("*** Assertion failure in %@, %@:%ld"), function, file, static_cast<long>(line));
    NSException::raiseWithReason(NSInternalInconsistencyException, description, nullptr);
}

}  // namespace

Ref<NSString> mtk_makeReason(NSObject* self, const char* selector, NSString* message) {
    bool isClass = dynamic_cast<RuntimeClass*>(self) != nullptr;
    Ref<NSString> className;
    if (!self) {
        className = NS("<NULL>");
    } else if (isClass) {
        className = NSString::fromUTF8(static_cast<RuntimeClass*>(self)->name());
    } else {
        className = self->className();
    }
    Ref<NSString> sel = selector ? NSString::fromUTF8(selector) : Ref<NSString>(NS(":NULL:"));
    return NSString::stringWithFormat(NS("*** %c[%@ %@]: %@"), isClass ? '+' : '-', className, sel,
                                      message);
}

Ref<NSException> mtk_makeICUException(NSString* regex, MTKRegexOptions options, int32_t status) {
    auto info = NSMutableDictionary::dictionary();
    putPattern(info, regex, options, status);
    putParseError(info, nullptr, status);
    auto reason = NSString::stringWithFormat(NS("ICU regular expression error #%d, %s."), status,
                                             u_errorName(static_cast<UErrorCode>(status)));
    return NSException::exceptionWithName(MTKICURegexException, reason, info);
}

Ref<NSError> mtk_makeNSError(int flags, NSString* regex, MTKRegexOptions options,
                             const UParseError* parseError, int32_t status, NSString* subject,
                             NSRange range, NSInteger count, NSString* replacement,
                             NSString* replaced, MTKRegexEnumerationOptions enumerationOptions,
                             NSString* description, std::initializer_list<NSObject*> extra) {
    auto info = NSMutableDictionary::dictionary();
    putPattern(info, regex, options, status);
    put(info, MTKICURegexSubjectStringErrorKey, subject);
    if (flags & kMTKErrorRangeFlag)
        put(info, MTKICURegexSubjectRangeErrorKey, NSValue::valueWithRange(range));
    put(info, MTKICURegexReplacementStringErrorKey, replacement);
    put(info, MTKICURegexReplacedStringErrorKey, replaced);
    if (flags & kMTKErrorCountFlag)
        put(info, MTKICURegexReplacedCountErrorKey, NSNumber::numberWithInt(count));
    if (flags & kMTKErrorEnumerationOptionsFlag) {
        put(info, MTKICURegexEnumerationOptionsErrorKey,
            NSNumber::numberWithUnsignedInt(enumerationOptions));
    }
    putParseError(info, parseError, status);
    for (auto it = extra.begin(); it != extra.end() && it + 1 != extra.end(); it += 2) {
        if (!it[0] || !it[1]) break;
        put(info, it[0], it[1]);
    }
    Ref<NSString> text = description;
    if (!text) {
        text = status != 0
                   ? NSString::stringWithFormat(NS("ICU regular expression error #%d, %s."), status,
                                                u_errorName(static_cast<UErrorCode>(status)))
                   : Ref<NSString>(NS("No description of this error is available."));
    }
    put(info, NSLocalizedDescriptionKey, text);
    return NSError::errorWithDomain(MTKICURegexErrorDomain, status, info);
}

Ref<NSDictionary> mtk_makeAssertion(const char* function, long line, NSString* description) {
    auto record = NSMutableDictionary::dictionary();
    record->setObject(description, NS("description"));
    record->setObject(NSString::fromUTF8(function ? function : "<unknown>"), NS("function"));
    record->setObject(NS("Classes/MatchKit"), NS("file"));
    record->setObject(NSNumber::numberWithLong(line), NS("line"));
    record->setObject(NSInternalInconsistencyException, NS("exceptionName"));
    return record;
}

void mtk_raiseRecorded(NSObject* self, const char* selector, NSObject* recorded) {
    if (!recorded) return;
    if (auto* record = dynamic_cast<NSDictionary*>(recorded)) {
        auto description = as<NSString>(record->objectForKey(NS("description")));
        auto function = as<NSString>(record->objectForKey(NS("function")));
        auto file = as<NSString>(record->objectForKey(NS("file")));
        auto line = as<NSNumber>(record->objectForKey(NS("line")));
        const char* missing = !description ? "description != NULL"
                              : !function  ? "function != NULL"
                              : !file      ? "file != NULL"
                              : !line      ? "line != NULL"
                                           : nullptr;
        if (missing) {
            // A malformed record is a bug in this layer, not in its caller.
            NSLog(NS("%@:%ld: Invalid parameter not satisfying: %s\n"),
                  NSString::fromUTF8(__FILE__), static_cast<long>(__LINE__), missing);
            std::abort();
        }
        handleFailureInFunction(function, file, line->intValue(), description);
    }
    if (auto* e = dynamic_cast<NSException*>(recorded)) {
        NSException::raiseWithReason(e->name(), mtk_makeReason(self, selector, e->reason()),
                                     e->userInfo());
    }
}

void mtk_raiseArgument(NSObject* self, const char* selector, NSString* name, NSString* message) {
    NSException::raiseWithReason(name, mtk_makeReason(self, selector, message), nullptr);
}

void mtk_requireRegexAndSubject(NSObject* self, const char* selector, NSString* regex,
                                NSString* subject) {
    if (!regex) {
        mtk_raiseArgument(self, selector, NSInvalidArgumentException,
                          NS("The regular expression argument is NULL."));
    }
    if (!subject) {
        mtk_raiseArgument(self, selector, NSInternalInconsistencyException,
                          NS("The match string argument is NULL."));
    }
}
