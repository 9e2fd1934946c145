#include <gtest/gtest.h>

#include <unicode/utypes.h>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "MatchKitTesting.h"

namespace {

std::string info(NSError* e, const char* key) {
    return text(e->userInfo()->objectForKey(str(key)));
}

TEST(MatchKitErrors, PatternThatDoesNotCompile) {
    Ref<NSError> error;
    EXPECT_EQ(componentsMatchedByRegex(NS("abc"), NS("a(bc"), 0, NSMakeRange(0, 3), 0, &error),
              nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(text(error->domain()), "MTKICURegexErrorDomain");
    EXPECT_EQ(error->code(), U_REGEX_MISMATCHED_PAREN);
    EXPECT_EQ(info(error, "MTKICURegexRegex"), "a(bc");
    EXPECT_EQ(info(error, "MTKICURegexRegexOptions"), "0");
    EXPECT_EQ(info(error, "MTKICURegexErrorCode"), std::to_string(U_REGEX_MISMATCHED_PAREN));
    EXPECT_EQ(info(error, "MTKICURegexErrorName"), "U_REGEX_MISMATCHED_PAREN");
    EXPECT_EQ(info(error, "MTKICURegexLine"), "1");
    EXPECT_EQ(info(error, "MTKICURegexOffset"), "4");
    EXPECT_EQ(info(error, "MTKICURegexPreContext"), "a(bc");
    EXPECT_EQ(info(error, "MTKICURegexPostContext"), "");
    EXPECT_EQ(info(error, "NSLocalizedFailureReason"),
              "The error U_REGEX_MISMATCHED_PAREN occurred at line 1, column 4: a(bc<<HERE>>");
    EXPECT_EQ(text(error->localizedDescription()),
              "There was an error compiling the regular expression.");
    // The keys stand in the documented order.
    EXPECT_EQ(strings(error->userInfo()->allKeys()),
              (Strings{"MTKICURegexRegex", "MTKICURegexRegexOptions", "MTKICURegexErrorCode",
                       "MTKICURegexErrorName", "MTKICURegexLine", "MTKICURegexOffset",
                       "MTKICURegexPreContext", "MTKICURegexPostContext",
                       "NSLocalizedFailureReason", "NSLocalizedDescription"}));

    // Every operation answers its empty result.
    EXPECT_EQ(rangeOfRegex(NS("abc"), NS("a(bc")), kNotFound);
    EXPECT_FALSE(isMatchedByRegex(NS("abc"), NS("a(bc")));
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(NS("abc"), NS("a(bc"), NS("x")), nullptr);
    auto m = NSMutableString::stringWithString(NS("abc"));
    EXPECT_EQ(replaceOccurrencesOfRegex(m, NS("a(bc"), NS("x")), -1);
    EXPECT_EQ(text(m), "abc");
}

TEST(MatchKitErrors, ArgumentErrorsNameTheMethod) {
    EXPECT_EQ(raisedReason([] { rangeOfRegex(NS("abc"), nullptr); }),
              "*** -[NSString rangeOfRegex:]: The regular expression argument is NULL.");
    EXPECT_EQ(raisedName([] { rangeOfRegex(NS("abc"), nullptr); }), "NSInvalidArgumentException");
    EXPECT_EQ(raisedReason([] { captureCountForRegex(nullptr); }),
              "*** +[NSString captureCountForRegex:]: The regular expression argument is NULL.");
    EXPECT_EQ(raisedName([] { componentsMatchedByRegex(nullptr, NS("a")); }),
              "NSInternalInconsistencyException");
    auto m = NSMutableString::stringWithString(NS("abc"));
    EXPECT_EQ(raisedReason(
                  [&] { replaceOccurrencesOfRegex(m, NS("a"), static_cast<NSString*>(nullptr)); }),
              "*** -[NSMutableString replaceOccurrencesOfRegex:withString:]: The replacement "
              "string argument is NULL.");
    EXPECT_EQ(raisedReason([] {
                  dictionaryByMatchingRegex(NS("a"), NS("(a)"), 0, NSMakeRange(0, 1), nullptr,
                                            nullptr, nullptr, 0);
              }),
              "*** -[NSString dictionaryByMatchingRegex:options:range:error:withKeys:forCaptures:"
              "count:]: The keys argument is NULL.");
    EXPECT_EQ(mtk_makeReason(nullptr, nullptr, NS("m"))->utf8(), "*** -[<NULL> :NULL:]: m");
}

TEST(MatchKitErrors, RecordedErrorsAreRaisedAfterUnlocking) {
    // Each raise leaves the cache usable: the next call works.
    EXPECT_EQ(raisedReason([] { rangeOfRegex(NS("abc"), NS("b"), NSMakeRange(2, 2)); }),
              "*** -[NSString rangeOfRegex:inRange:]: Range or index out of bounds.");
    EXPECT_EQ(rangeOfRegex(NS("abc"), NS("b"), NSMakeRange(1, 2)), NSMakeRange(1, 1));
    // A range whose end wraps around 32 bits is still beyond the subject.
    EXPECT_EQ(raisedName([] { rangeOfRegex(NS("abc"), NS("b"), NSMakeRange(2, 0xFFFFFFF0)); }),
              "NSRangeException");
    EXPECT_EQ(raisedName([] { rangeOfRegex(NS("abc"), NS("b"), NSMakeRange(4, NSUIntegerMax)); }),
              "NSRangeException");

    // A capture equal to the count is valid, one above is not.
    EXPECT_EQ(rangeOfRegex(NS("ab"), NS("(a)(b)"), 2), NSMakeRange(1, 1));
    EXPECT_EQ(raisedReason([] { rangeOfRegex(NS("ab"), NS("(a)(b)"), 3); }),
              "*** -[NSString rangeOfRegex:capture:]: The capture argument is not valid.");
    EXPECT_EQ(raisedName([] { componentsMatchedByRegex(NS("ab"), NS("(a)"), -1); }),
              "NSInvalidArgumentException");

    NSString* keys[] = {NS("k"), nullptr};
    NSInteger captures[] = {1, 1};
    EXPECT_EQ(raisedReason([&] {
                  dictionaryByMatchingRegex(NS("a"), NS("(a)"), 0, NSMakeRange(0, 1), nullptr, keys,
                                            captures, 2);
              }),
              "*** -[NSString dictionaryByMatchingRegex:options:range:error:withKeys:forCaptures:"
              "count:]: The capture key (key 2 of 2) is NULL.");
    NSInteger bad[] = {5};
    EXPECT_EQ(raisedReason([&] {
                  arrayOfDictionariesByMatchingRegex(NS("a"), NS("(a)"), 0, NSMakeRange(0, 1),
                                                     nullptr, keys, bad, 1);
              }),
              "*** -[NSString arrayOfDictionariesByMatchingRegex:options:range:error:withKeys:"
              "forCaptures:count:]: The capture argument 5 (capture 1 of 1) for key 'k' is not "
              "valid.");

    // A subject too long for ICU is refused before its text is touched.
    auto huge = FragmentedString::withUTF8("abc");
    huge->pretendLength(0x7fffffff);
    EXPECT_EQ(raisedReason([&] { isMatchedByRegex(huge, NS("a")); }),
              "*** -[FragmentedString isMatchedByRegex:]: String length exceeds INT_MAX.");
    EXPECT_TRUE(isMatchedByRegex(NS("abc"), NS("a")));
}

TEST(MatchKitErrors, ICUFailureDuringAnOperation) {
    // The template names a group the pattern does not have.
    Ref<NSException> e =
        raisedBy([] { stringByReplacingOccurrencesOfRegex(NS("abc"), NS("(b)"), NS("$7")); });
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(text(e->name()), "MTKICURegexException");
    EXPECT_EQ(text(e->reason()),
              "*** -[NSString stringByReplacingOccurrencesOfRegex:withString:]: ICU regular "
              "expression error #8, U_INDEX_OUTOFBOUNDS_ERROR.");
    EXPECT_EQ(text(e->userInfo()->objectForKey(NS("MTKICURegexRegex"))), "(b)");
    EXPECT_EQ(text(e->userInfo()->objectForKey(NS("NSLocalizedFailureReason"))),
              "The error U_INDEX_OUTOFBOUNDS_ERROR occurred.");
    auto m = NSMutableString::stringWithString(NS("abc"));
    EXPECT_EQ(raisedName([&] { replaceOccurrencesOfRegex(m, NS("(b)"), NS("$7")); }),
              "MTKICURegexException");
    EXPECT_EQ(text(m), "abc");
    EXPECT_EQ(text(stringByReplacingOccurrencesOfRegex(NS("abc"), NS("(b)"), NS("[$1]"))), "a[b]c");
}

TEST(MatchKitErrors, InternalChecksGoToTheAssertionHandler) {
    NSRange range = NSMakeRange(0, 1);
    EXPECT_EQ(raisedReason([&] {
                  mtk_performRegexOp(NS("a"), "rangeOfRegex:", 9, NS("a"), 0, 0, NS("a"), &range,
                                     nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr);
              }),
              "Unknown regexOp code.");
    auto record = mtk_makeAssertion("void f()", 12, NS("why"));
    EXPECT_EQ(text(record->objectForKey(NS("exceptionName"))), "NSInternalInconsistencyException");
    EXPECT_EQ(text(record->objectForKey(NS("file"))), "Classes/MatchKit");
    EXPECT_TRUE(isMatchedByRegex(NS("a"), NS("a")));
}

TEST(MatchKitErrors, NSErrorBuilder) {
    auto e = mtk_makeNSError(kMTKErrorRangeFlag | kMTKErrorCountFlag, NS("x"), 2, nullptr, 0,
                             NS("subject"), NSMakeRange(1, 2), 3, NS("t"), nullptr, 0, nullptr,
                             {NS("extraKey"), NS("extraValue")});
    EXPECT_EQ(text(e->localizedDescription()), "No description of this error is available.");
    EXPECT_EQ(text(e->userInfo()->objectForKey(NS("MTKICURegexReplacedCount"))), "3");
    EXPECT_EQ(text(e->userInfo()->objectForKey(NS("extraKey"))), "extraValue");
    EXPECT_NE(e->userInfo()->objectForKey(NS("MTKICURegexSubjectRange")), nullptr);
    EXPECT_EQ(e->userInfo()->objectForKey(NS("MTKICURegexEnumerationOptions")), nullptr);
}

}  // namespace
