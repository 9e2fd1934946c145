// Block walks over matches or segments, and replacement by what a block returns. A walk calls
// back into caller code for as long as it likes, so it must not hold the cache lock: it takes a
// private clone of the compiled pattern and a private copy of the subject and works on those.
#include <unicode/uregex.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Classes/MatchKit/MTKInternal.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"

namespace {

constexpr MTKRegexEnumerationOptions kKnownEnumerationOptions =
    MTKRegexEnumerationNoCapturedStrings | MTKRegexEnumerationReplacementStringOwned |
    MTKRegexEnumerationUncopiedCapturedStrings;

}  // namespace

// The private state of one walk: a clone of the cached pattern bound to a copy of the subject.
class MTKBlockEnumerationHelper : public NSObject {
    NS_OBJECT(MTKBlockEnumerationHelper, NSObject)

    // False when the pattern does not compile (*error set when asked) or the text cannot be set
    // up; an exception to raise is handed back through *exception.
    bool initWithRegex(NSString* regex, MTKRegexOptions options, NSString* string, NSRange range,
                       Ref<NSError>* error, Ref<NSObject>* exception) {
        UErrorCode status = U_ZERO_ERROR;
        {
            MTKLockSection lock;
            lock.lock();
            if (MTKCachedRegex* e =
                    mtk_findOrCompileCachedRegex(regex, options, error, exception)) {
                cachedRegex.icu_regex = uregex_clone(e->icu_regex, &status);
                cachedRegex.regexString = e->regexString;
                cachedRegex.regexString->retain();
                cachedRegex.regexHash = e->regexHash;
                cachedRegex.options = e->options;
                cachedRegex.captureCount = e->captureCount;
            }
            lock.unlock();
        }
        if (!cachedRegex.icu_regex || U_FAILURE(status)) {
            if (U_FAILURE(status)) *exception = mtk_makeICUException(regex, options, status);
            return false;
        }

        Ref<NSString> copy = string->copy();
        buffer.string = copy.get();
        buffer.string->retain();
        buffer.length = static_cast<NSInteger>(copy->length());
        buffer.uniChar = const_cast<char16_t*>(copy->charactersPtr());
        if (!buffer.uniChar) {
            buffer.uniChar = new char16_t[size_t(buffer.length) + 1];
            needToFreeBufferUniChar = true;
            if (buffer.length) copy->getCharacters(buffer.uniChar, NSMakeRange(0, buffer.length));
        }

        cachedRegex.setToString = buffer.string;
        cachedRegex.setToString->retain();
        cachedRegex.setToLength = static_cast<int32_t>(buffer.length);
        cachedRegex.setToUniChar = buffer.uniChar;
        cachedRegex.setToRange = range;
        const char16_t* text = buffer.uniChar ? buffer.uniChar + range.location : kMTKEmptyText;
        uregex_setText(cachedRegex.icu_regex, text, static_cast<int32_t>(range.length), &status);
        if (U_FAILURE(status)) {
            *exception = mtk_makeICUException(regex, options, status);
            return false;
        }
        if (status != U_ZERO_ERROR && error) {
            *error = mtk_makeNSError(kMTKErrorRangeFlag, regex, options, nullptr, status, string,
                                     range, 0, nullptr, nullptr, 0,
                                     NS("The ICU library returned an unexpected error."));
            return false;
        }
        return true;
    }

    void dealloc() override {
        if (cachedRegex.icu_regex) uregex_close(cachedRegex.icu_regex);
        cachedRegex.icu_regex = nullptr;
        if (cachedRegex.regexString) cachedRegex.regexString->release();
        if (cachedRegex.setToString) cachedRegex.setToString->release();
        cachedRegex = MTKCachedRegex{};
        if (needToFreeBufferUniChar) delete[] buffer.uniChar;
        if (buffer.string) buffer.string->release();
        buffer = MTKBuffer{};
        mtk_freeScratch(&scratchBuffer);
        NSObject::dealloc();
    }

    MTKCachedRegex cachedRegex;
    MTKBuffer buffer;
    MTKScratch scratchBuffer;
    bool needToFreeBufferUniChar = false;
};

namespace {

// A string over a stretch of the walk's private text, re-pointed at each match without
// copying. It holds the walk's state, so that it never points at freed text, and the walk
// empties it when it ends.
class MTKNoCopyString : public NSString {
    NS_OBJECT(MTKNoCopyString, NSString)

    void point(MTKBlockEnumerationHelper* owner, NSRange r) {
        owner_ = owner;
        chars_ = owner->buffer.uniChar ? owner->buffer.uniChar + r.location : kMTKEmptyText;
        length_ = r.length;
        ++mutations_;
    }
    NSUInteger length() override { return length_; }
    char16_t characterAtIndex(NSUInteger index) override {
        if (index >= length_) {
            NSException::raise(NSRangeException,
                               NS("-[NSString characterAtIndex:]: Range or index out of bounds"));
        }
        return chars_[index];
    }
    void getCharacters(char16_t* out, NSRange range) override {
        if (uint64_t(range.location) + range.length > length_) {
            NSException::raise(
                NSRangeException,
                NS("-[NSString getCharacters:range:]: Range or index out of bounds"));
        }
        if (range.length) std::memcpy(out, chars_ + range.location, size_t(range.length) * 2);
    }
    const char16_t* charactersPtr() override { return chars_; }
    uint64_t mutationCount() override { return mutations_; }

private:
    Ref<MTKBlockEnumerationHelper> owner_;
    const char16_t* chars_ = kMTKEmptyText;
    NSUInteger length_ = 0;
    uint64_t mutations_ = 0;
};

// The strings and ranges handed to one block call.
struct BlockArguments {
    std::vector<NSString*> strings;
    std::vector<NSRange> ranges;
    std::vector<Ref<MTKNoCopyString>> noCopy;
};

}  // namespace

Ref<NSObject> mtk_performEnumerationUsingBlock(
    NSObject* self, const char* selector, int regexOp, NSString* regex, MTKRegexOptions options,
    NSString* subject, NSRange range, int blockEnumerationOp,
    MTKRegexEnumerationOptions enumerationOptions, NSInteger* replacedCount, Ref<NSError>* error,
    const MTKEnumerationBlock* enumerationBlock, const MTKReplacementBlock* replacementBlock) {
    const bool replacing = blockEnumerationOp == kMTKBlockEnumerationReplaceOp;
    if (replacedCount) *replacedCount = -1;
    mtk_requireRegexAndSubject(self, selector, regex, subject);
    const MTKRegexEnumerationOptions noStrings = MTKRegexEnumerationNoCapturedStrings;
    const MTKRegexEnumerationOptions fastStrings = MTKRegexEnumerationUncopiedCapturedStrings;
    if (((enumerationOptions & noStrings) && (enumerationOptions & fastStrings)) ||
        (!replacing && (enumerationOptions & MTKRegexEnumerationReplacementStringOwned)) ||
        (enumerationOptions & ~kKnownEnumerationOptions)) {
        mtk_raiseArgument(self, selector, NSInvalidArgumentException,
                          NS("The MTKRegexEnumerationOptions argument is not valid."));
    }
    if ((replacing && !(replacementBlock && *replacementBlock)) ||
        (!replacing && !(enumerationBlock && *enumerationBlock))) {
        mtk_raiseArgument(self, selector, NSInvalidArgumentException,
                          NS("The block argument is NULL."));
    }
    NSUInteger length = subject->length();
    if (range.length == NSUIntegerMax && range.location <= length)
        range.length = length - range.location;
    if (uint64_t(range.location) + range.length > length) {
        mtk_raiseArgument(self, selector, NSRangeException, NS("Range or index out of bounds."));
    }
    if (length >= 0x7fffffff) {
        mtk_raiseArgument(self, selector, NSRangeException, NS("String length exceeds INT_MAX."));
    }
    if (blockEnumerationOp != kMTKBlockEnumerationMatchOp && !replacing) {
        mtk_raiseRecorded(self, selector, MTK_ASSERTION(NS("Unknown blockEnumerationOp code.")));
    }

    Ref<NSObject> exception;
    auto helper = alloc<MTKBlockEnumerationHelper>();
    if (!helper->initWithRegex(regex, options, subject, range, error, &exception)) {
        mtk_raiseRecorded(self, selector, exception);
        return nullptr;
    }
    MTKCachedRegex* e = &helper->cachedRegex;
    const auto groups = static_cast<NSUInteger>(std::max(e->captureCount, 0));
    const NSUInteger passed = groups + 1;
    const bool wantStrings = !(enumerationOptions & noStrings);
    const bool fast = (enumerationOptions & fastStrings) != 0;
    const bool segments = (regexOp & kMTKMaskOp) == kMTKSplitOp;

    // Everything made for the block lives until the walk ends.
    std::vector<Ref<NSString>> keepAlive;
    BlockArguments args;
    args.strings.assign(passed + 5, nullptr);
    args.ranges.assign(passed + 5, NSMakeRange(NSNotFound, NSNotFound));
    if (fast) {
        for (NSUInteger i = 0; i < passed; ++i) {
            args.noCopy.push_back(alloc<MTKNoCopyString>());
            args.strings[i] = args.noCopy.back().get();
        }
    }

    std::u16string replaced;
    NSUInteger copiedUpTo = range.location;  // replacing: subject text appended so far
    NSInteger count = 0;
    bool stop = false;
    UErrorCode status = U_ZERO_ERROR;
    const char16_t* text = helper->buffer.uniChar;

    // Calls the block with the given ranges (passed of them).
    auto call = [&](const NSRange* ranges) {
        for (NSUInteger i = 0; i < passed; ++i) {
            args.ranges[i] = ranges[i];
            if (!wantStrings) continue;
            NSRange r = ranges[i];
            bool empty = r.length == 0 || r.location == static_cast<NSUInteger>(NSNotFound);
            if (fast) {
                args.noCopy[i]->point(helper, empty ? NSRange{} : r);
            } else {
                Ref<NSString> s = empty
                                      ? Ref<NSString>(NS(""))
                                      : NSString::stringWithCharacters(text + r.location, r.length);
                args.strings[i] = s.get();
                keepAlive.push_back(std::move(s));
            }
        }
        NSString* const* strings = wantStrings ? args.strings.data() : nullptr;
        if (!replacing) {
            (*enumerationBlock)(static_cast<NSInteger>(passed), strings, args.ranges.data(), &stop);
            return;
        }
        Ref<NSString> out =
            (*replacementBlock)(static_cast<NSInteger>(passed), strings, args.ranges.data(), &stop);
        if (out) {
            replaced += out->u16();
            keepAlive.push_back(std::move(out));
        }
    };

    std::vector<NSRange> current(passed);
    // The groups of the match just found, after current[0]; false when ICU failed.
    auto readGroups = [&] {
        for (NSUInteger g = 1; g <= groups; ++g)
            current[g] = mtk_groupRange(e, static_cast<int32_t>(g), &status);
        return U_SUCCESS(status);
    };
    NSRange search = range;
    if (!segments) {
        while (!stop) {
            NSRange match = mtk_findNextMatch(e, &search, true, &status);
            if (U_FAILURE(status) || match.location == static_cast<NSUInteger>(NSNotFound)) break;
            current[0] = match;
            if (!readGroups()) break;
            if (replacing) {
                replaced.append(text + copiedUpTo, match.location - copiedUpTo);
                copiedUpTo = NSMaxRange(match);
            }
            ++count;
            call(current.data());
        }
    } else {
        // Empty segments are held back until a later segment shows they are not trailing ones.
        std::vector<std::vector<NSRange>> pending;
        NSUInteger previousEnd = range.location;
        while (!stop) {
            NSUInteger position = search.location;
            NSRange match = mtk_findNextMatch(e, &search, true, &status);
            if (U_FAILURE(status) || match.location == static_cast<NSUInteger>(NSNotFound)) break;
            if (match.length == 0 && match.location == position) continue;
            current[0] = NSMakeRange(previousEnd, match.location - previousEnd);
            if (!readGroups()) break;
            previousEnd = NSMaxRange(match);
            if (current[0].length == 0) {
                pending.push_back(current);
                continue;
            }
            for (size_t i = 0; i < pending.size() && !stop; ++i)
                call(pending[i].data());
            pending.clear();
            if (!stop) call(current.data());
        }
        NSUInteger end = NSMaxRange(range);
        if (!stop && U_SUCCESS(status) && end > previousEnd) {
            for (size_t i = 0; i < pending.size() && !stop; ++i)
                call(pending[i].data());
            if (!stop) {
                current[0] = NSMakeRange(previousEnd, end - previousEnd);
                for (NSUInteger g = 1; g <= groups; ++g)
                    current[g] = kMTKNotFoundRange;
                call(current.data());
            }
        }
    }

    if (U_FAILURE(status)) exception = mtk_makeICUException(regex, options, status);
    Ref<NSObject> result;
    if (!exception) {
        if (!replacing) {
            result = helper;
        } else {
            Ref<NSString> text16;
            if (count == 0) {
                text16 = NSString::stringWithCharacters(text + range.location, range.length);
            } else {
                replaced.append(text + copiedUpTo, NSMaxRange(range) - copiedUpTo);
                text16 = NSString::adoptUnits(std::move(replaced));
            }
            result = text16;
            if (replacedCount) *replacedCount = count;
        }
    }
    // Strings re-pointed without copying are emptied, so nothing reads a walk that is over.
    for (auto& s : args.noCopy)
        s->point(helper, NSRange{});
    mtk_raiseRecorded(self, selector, exception);
    if (!result && error) {
        *error = mtk_makeNSError(
            replacing ? kMTKErrorRangeFlag | kMTKErrorCountFlag | kMTKErrorEnumerationOptionsFlag
                      : kMTKErrorRangeFlag | kMTKErrorEnumerationOptionsFlag,
            regex, options, nullptr, status, subject, range, count, nullptr, nullptr,
            enumerationOptions, NS("An unexpected error occurred."));
    }
    return result;
}

// ---- the block operations -----------------------------------------------------------------

namespace {

constexpr NSRange kWholeSubject = {0, NSUIntegerMax};

bool enumerate(NSString* subject, const char* selector, int regexOp, NSString* regex,
               MTKRegexOptions options, NSRange range, Ref<NSError>* error,
               MTKRegexEnumerationOptions enumerationOptions, const MTKEnumerationBlock& block) {
    return mtk_performEnumerationUsingBlock(subject, selector, regexOp, regex, options, subject,
                                            range, kMTKBlockEnumerationMatchOp, enumerationOptions,
                                            nullptr, error, &block, nullptr) != nullptr;
}

Ref<NSString> replaceByBlock(NSString* subject, const char* selector, NSString* regex,
                             MTKRegexOptions options, NSRange range, Ref<NSError>* error,
                             MTKRegexEnumerationOptions enumerationOptions,
                             const MTKReplacementBlock& block, NSInteger* count) {
    return cast<NSString>(mtk_performEnumerationUsingBlock(
        subject, selector, kMTKCapturesArrayOp, regex, options, subject, range,
        kMTKBlockEnumerationReplaceOp, enumerationOptions, count, error, nullptr, &block));
}

NSInteger replaceInPlaceByBlock(NSMutableString* subject, const char* selector, NSString* regex,
                                MTKRegexOptions options, NSRange range, Ref<NSError>* error,
                                MTKRegexEnumerationOptions enumerationOptions,
                                const MTKReplacementBlock& block) {
    NSInteger count = -1;
    Ref<NSString> result = replaceByBlock(subject, selector, regex, options, range, error,
                                          enumerationOptions, block, &count);
    if (!result) return -1;
    if (count > 0) {
        if (range.length == NSUIntegerMax) range.length = subject->length() - range.location;
        subject->replaceCharactersInRange(range, result);
    }
    return count;
}

}  // namespace

bool enumerateStringsMatchedByRegex(NSString* subject, NSString* regex,
                                    const MTKEnumerationBlock& block) {
    return enumerate(subject, "enumerateStringsMatchedByRegex:usingBlock:", kMTKCapturesArrayOp,
                     regex, 0, kWholeSubject, nullptr, 0, block);
}

bool enumerateStringsMatchedByRegex(NSString* subject, NSString* regex, MTKRegexOptions options,
                                    NSRange range, Ref<NSError>* error,
                                    MTKRegexEnumerationOptions enumerationOptions,
                                    const MTKEnumerationBlock& block) {
    return enumerate(subject,
                     "enumerateStringsMatchedByRegex:options:inRange:error:enumerationOptions:"
                     "usingBlock:",
                     kMTKCapturesArrayOp, regex, options, range, error, enumerationOptions, block);
}

bool enumerateStringsSeparatedByRegex(NSString* subject, NSString* regex,
                                      const MTKEnumerationBlock& block) {
    return enumerate(subject, "enumerateStringsSeparatedByRegex:usingBlock:", kMTKSplitOp, regex, 0,
                     kWholeSubject, nullptr, 0, block);
}

bool enumerateStringsSeparatedByRegex(NSString* subject, NSString* regex, MTKRegexOptions options,
                                      NSRange range, Ref<NSError>* error,
                                      MTKRegexEnumerationOptions enumerationOptions,
                                      const MTKEnumerationBlock& block) {
    return enumerate(subject,
                     "enumerateStringsSeparatedByRegex:options:inRange:error:enumerationOptions:"
                     "usingBlock:",
                     kMTKSplitOp, regex, options, range, error, enumerationOptions, block);
}

Ref<NSString> stringByReplacingOccurrencesOfRegex(NSString* subject, NSString* regex,
                                                  const MTKReplacementBlock& block) {
    return replaceByBlock(subject, "stringByReplacingOccurrencesOfRegex:usingBlock:", regex, 0,
                          kWholeSubject, nullptr, 0, block, nullptr);
}

Ref<NSString> stringByReplacingOccurrencesOfRegex(NSString* subject, NSString* regex,
                                                  MTKRegexOptions options, NSRange range,
                                                  Ref<NSError>* error,
                                                  MTKRegexEnumerationOptions enumerationOptions,
                                                  const MTKReplacementBlock& block) {
    return replaceByBlock(subject,
                          "stringByReplacingOccurrencesOfRegex:options:inRange:error:"
                          "enumerationOptions:usingBlock:",
                          regex, options, range, error, enumerationOptions, block, nullptr);
}

NSInteger replaceOccurrencesOfRegex(NSMutableString* subject, NSString* regex,
                                    const MTKReplacementBlock& block) {
    return replaceInPlaceByBlock(subject, "replaceOccurrencesOfRegex:usingBlock:", regex, 0,
                                 kWholeSubject, nullptr, 0, block);
}

NSInteger replaceOccurrencesOfRegex(NSMutableString* subject, NSString* regex,
                                    MTKRegexOptions options, NSRange range, Ref<NSError>* error,
                                    MTKRegexEnumerationOptions enumerationOptions,
                                    const MTKReplacementBlock& block) {
    return replaceInPlaceByBlock(
        subject,
        "replaceOccurrencesOfRegex:options:inRange:error:enumerationOptions:usingBlock:", regex,
        options, range, error, enumerationOptions, block);
}
