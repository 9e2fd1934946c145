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
// The clone's record borrows its strings and text from the fields that own them here.
class MTKBlockEnumerationHelper : public NSObject {
    NS_OBJECT(MTKBlockEnumerationHelper, NSObject)

    // False when the pattern does not compile (*error set when asked) or the text cannot be set
    // up; an exception to raise is handed back through *exception.
    bool initWithRegex(NSString* regex, MTKRegexOptions options, NSString* string, NSRange range,
                       Ref<NSError>* error, Ref<NSObject>* exception) {
        UErrorCode status = U_ZERO_ERROR;
        if (!cloneCachedRegex(regex, options, error, exception, &status)) {
            if (U_FAILURE(status)) *exception = mtk_makeICUException(regex, options, status);
            return false;
        }
        copySubject(string);

        cachedRegex.setToString = subject_.get();
        cachedRegex.setToLength = static_cast<int32_t>(subject_->length());
        cachedRegex.setToUniChar = text_;
        cachedRegex.setToRange = range;
        uregex_setText(cachedRegex.icu_regex, text_ + range.location,
                       static_cast<int32_t>(range.length), &status);
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

    // The walk's private copy of the subject's text.
    const char16_t* text() const { return text_; }

    MTKCachedRegex cachedRegex;

private:
    struct RegexCloser {
        void operator()(URegularExpression* r) const { uregex_close(r); }
    };

    // Takes a clone of the cached pattern under the cache lock; false when there is none.
    bool cloneCachedRegex(NSString* regex, MTKRegexOptions options, Ref<NSError>* error,
                          Ref<NSObject>* exception, UErrorCode* status) {
        MTKLockSection lock;
        lock.lock();
        if (MTKCachedRegex* e = mtk_findOrCompileCachedRegex(regex, options, error, exception)) {
            icuRegex_.reset(uregex_clone(e->icu_regex, status));
            pattern_ = e->regexString;
            cachedRegex.regexHash = e->regexHash;
            cachedRegex.options = e->options;
            cachedRegex.captureCount = e->captureCount;
        }
        lock.unlock();
        cachedRegex.icu_regex = icuRegex_.get();
        cachedRegex.regexString = pattern_.get();
        return icuRegex_ && U_SUCCESS(*status);
    }

    // An immutable copy of the subject, and its units copied out when it keeps none in place.
    void copySubject(NSString* string) {
        subject_ = string->copy();
        text_ = subject_->charactersPtr();
        if (!text_) {
            const auto length = subject_->length();
            units_.resize(size_t(length));
            if (length) subject_->getCharacters(units_.data(), NSMakeRange(0, length));
            text_ = units_.c_str();
        }
    }

    std::unique_ptr<URegularExpression, RegexCloser> icuRegex_;
    Ref<NSString> pattern_;
    Ref<NSString> subject_;
    std::u16string units_;
    const char16_t* text_ = kMTKEmptyText;
};

namespace {

// A string over a stretch of the walk's private text, re-pointed at each match without
// copying. It holds the walk's state, so that it never points at freed text, and the walk
// empties it when it ends.
class MTKNoCopyString : public NSString {
    NS_OBJECT(MTKNoCopyString, NSString)

    void point(MTKBlockEnumerationHelper* owner, NSRange r) {
        owner_ = owner;
        chars_ = owner->text() + r.location;
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

// Raises for arguments no walk can take; an open-ended range is closed at the subject's end.
void requireWalkArguments(NSObject* self, const char* selector, NSString* regex, NSString* subject,
                          NSRange* range, int blockEnumerationOp,
                          MTKRegexEnumerationOptions enumerationOptions,
                          const MTKEnumerationBlock* enumerationBlock,
                          const MTKReplacementBlock* replacementBlock) {
    const bool replacing = blockEnumerationOp == kMTKBlockEnumerationReplaceOp;
    mtk_requireRegexAndSubject(self, selector, regex, subject);
    if (((enumerationOptions & MTKRegexEnumerationNoCapturedStrings) &&
         (enumerationOptions & MTKRegexEnumerationUncopiedCapturedStrings)) ||
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
    if (range->length == NSUIntegerMax && range->location <= length)
        range->length = length - range->location;
    if (uint64_t(range->location) + range->length > length) {
        mtk_raiseArgument(self, selector, NSRangeException, NS("Range or index out of bounds."));
    }
    if (length >= 0x7fffffff) {
        mtk_raiseArgument(self, selector, NSRangeException, NS("String length exceeds INT_MAX."));
    }
    if (blockEnumerationOp != kMTKBlockEnumerationMatchOp && !replacing) {
        mtk_raiseRecorded(self, selector, MTK_ASSERTION(NS("Unknown blockEnumerationOp code.")));
    }
}

// One walk over the matches or the segments of a bound private pattern, calling the block for
// each and, when replacing, building the new text as it goes.
class BlockWalk {
public:
    BlockWalk(MTKBlockEnumerationHelper* helper, NSRange range,
              MTKRegexEnumerationOptions enumerationOptions,
              const MTKEnumerationBlock* enumerationBlock,
              const MTKReplacementBlock* replacementBlock)
        : helper_(helper),
          e_(&helper->cachedRegex),
          text_(helper->text()),
          range_(range),
          groups_(static_cast<NSUInteger>(std::max(e_->captureCount, 0))),
          passed_(groups_ + 1),
          wantStrings_(!(enumerationOptions & MTKRegexEnumerationNoCapturedStrings)),
          fast_((enumerationOptions & MTKRegexEnumerationUncopiedCapturedStrings) != 0),
          enumerationBlock_(enumerationBlock),
          replacementBlock_(replacementBlock),
          copiedUpTo_(range.location),
          current_(passed_) {
        args_.strings.assign(passed_ + 5, nullptr);
        args_.ranges.assign(passed_ + 5, NSMakeRange(NSNotFound, NSNotFound));
        if (fast_) {
            for (NSUInteger i = 0; i < passed_; ++i) {
                args_.noCopy.push_back(alloc<MTKNoCopyString>());
                args_.strings[i] = args_.noCopy.back().get();
            }
        }
    }
    BlockWalk(const BlockWalk&) = delete;
    BlockWalk& operator=(const BlockWalk&) = delete;

    void walkMatches() {
        NSRange search = range_;
        while (!stop_) {
            NSRange match = mtk_findNextMatch(e_, &search, true, &status_);
            if (U_FAILURE(status_) || match.location == static_cast<NSUInteger>(NSNotFound)) break;
            current_[0] = match;
            if (!readGroups()) break;
            if (replacing()) {
                replaced_.append(text_ + copiedUpTo_, match.location - copiedUpTo_);
                copiedUpTo_ = NSMaxRange(match);
            }
            ++count_;
            call(current_.data());
        }
    }

    void walkSegments() {
        // Empty segments are held back until a later segment shows they are not trailing ones.
        std::vector<std::vector<NSRange>> pending;
        NSRange search = range_;
        NSUInteger previousEnd = range_.location;
        while (!stop_) {
            NSUInteger position = search.location;
            NSRange match = mtk_findNextMatch(e_, &search, true, &status_);
            if (U_FAILURE(status_) || match.location == static_cast<NSUInteger>(NSNotFound)) break;
            if (match.length == 0 && match.location == position) continue;
            current_[0] = NSMakeRange(previousEnd, match.location - previousEnd);
            if (!readGroups()) break;
            previousEnd = NSMaxRange(match);
            if (current_[0].length == 0) {
                pending.push_back(current_);
                continue;
            }
            callAll(pending);
            pending.clear();
            if (!stop_) call(current_.data());
        }
        NSUInteger end = NSMaxRange(range_);
        if (stop_ || U_FAILURE(status_) || end <= previousEnd) return;
        callAll(pending);
        if (stop_) return;
        current_[0] = NSMakeRange(previousEnd, end - previousEnd);
        for (NSUInteger g = 1; g <= groups_; ++g)
            current_[g] = kMTKNotFoundRange;
        call(current_.data());
    }

    // The new text: the subject's range with every match replaced by what the block gave.
    Ref<NSString> replacedText() {
        if (count_ == 0)
            return NSString::stringWithCharacters(text_ + range_.location, range_.length);
        replaced_.append(text_ + copiedUpTo_, NSMaxRange(range_) - copiedUpTo_);
        return NSString::adoptUnits(std::move(replaced_));
    }

    // Strings re-pointed without copying are emptied, so nothing reads a walk that is over.
    void emptyUncopiedStrings() {
        for (auto& s : args_.noCopy)
            s->point(helper_, NSRange{});
    }

    UErrorCode status() const { return status_; }
    NSInteger count() const { return count_; }

private:
    bool replacing() const { return replacementBlock_ != nullptr; }

    // The groups of the match just found, after current_[0]; false when ICU failed.
    bool readGroups() {
        for (NSUInteger g = 1; g <= groups_; ++g)
            current_[g] = mtk_groupRange(e_, static_cast<int32_t>(g), &status_);
        return U_SUCCESS(status_);
    }

    void callAll(std::vector<std::vector<NSRange>>& pending) {
        for (size_t i = 0; i < pending.size() && !stop_; ++i)
            call(pending[i].data());
    }

    // Calls the block with the given ranges (passed_ of them).
    void call(const NSRange* ranges) {
        for (NSUInteger i = 0; i < passed_; ++i) {
            args_.ranges[i] = ranges[i];
            if (wantStrings_) args_.strings[i] = stringFor(i, ranges[i]);
        }
        NSString* const* strings = wantStrings_ ? args_.strings.data() : nullptr;
        const auto passed = static_cast<NSInteger>(passed_);
        if (!replacing()) {
            (*enumerationBlock_)(passed, strings, args_.ranges.data(), &stop_);
            return;
        }
        Ref<NSString> out = (*replacementBlock_)(passed, strings, args_.ranges.data(), &stop_);
        if (out) {
            replaced_ += out->u16();
            keepAlive_.push_back(std::move(out));
        }
    }

    // The string handed to the block as argument i for the range r.
    NSString* stringFor(NSUInteger i, NSRange r) {
        bool empty = r.length == 0 || r.location == static_cast<NSUInteger>(NSNotFound);
        if (fast_) {
            args_.noCopy[i]->point(helper_, empty ? NSRange{} : r);
            return args_.noCopy[i].get();
        }
        Ref<NSString> s = empty ? Ref<NSString>(NS(""))
                                : NSString::stringWithCharacters(text_ + r.location, r.length);
        keepAlive_.push_back(std::move(s));
        return keepAlive_.back().get();
    }

    MTKBlockEnumerationHelper* helper_;
    MTKCachedRegex* e_;
    const char16_t* text_;
    const NSRange range_;
    const NSUInteger groups_;
    const NSUInteger passed_;
    const bool wantStrings_;
    const bool fast_;
    const MTKEnumerationBlock* enumerationBlock_;
    const MTKReplacementBlock* replacementBlock_;

    BlockArguments args_;
    // Everything made for the block lives until the walk ends.
    std::vector<Ref<NSString>> keepAlive_;
    std::u16string replaced_;
    NSUInteger copiedUpTo_;  // replacing: subject text appended so far
    NSInteger count_ = 0;
    bool stop_ = false;
    UErrorCode status_ = U_ZERO_ERROR;
    std::vector<NSRange> current_;
};

}  // namespace

Ref<NSObject> mtk_performEnumerationUsingBlock(
    NSObject* self, const char* selector, int regexOp, NSString* regex, MTKRegexOptions options,
    NSString* subject, NSRange range, int blockEnumerationOp,
    MTKRegexEnumerationOptions enumerationOptions, NSInteger* replacedCount, Ref<NSError>* error,
    const MTKEnumerationBlock* enumerationBlock, const MTKReplacementBlock* replacementBlock) {
    const bool replacing = blockEnumerationOp == kMTKBlockEnumerationReplaceOp;
    if (replacedCount) *replacedCount = -1;
    requireWalkArguments(self, selector, regex, subject, &range, blockEnumerationOp,
                         enumerationOptions, enumerationBlock, replacementBlock);

    Ref<NSObject> exception;
    auto helper = alloc<MTKBlockEnumerationHelper>();
    if (!helper->initWithRegex(regex, options, subject, range, error, &exception)) {
        mtk_raiseRecorded(self, selector, exception);
        return nullptr;
    }
    Ref<NSObject> result;
    UErrorCode status = U_ZERO_ERROR;
    NSInteger count = 0;
    {
        BlockWalk walk(helper.get(), range, enumerationOptions,
                       replacing ? nullptr : enumerationBlock,
                       replacing ? replacementBlock : nullptr);
        if ((regexOp & kMTKMaskOp) == kMTKSplitOp)
            walk.walkSegments();
        else
            walk.walkMatches();
        status = walk.status();
        count = walk.count();
        if (U_FAILURE(status)) exception = mtk_makeICUException(regex, options, status);
        if (!exception && !replacing) {
            result = helper;
        } else if (!exception) {
            result = walk.replacedText();
            if (replacedCount) *replacedCount = count;
        }
        walk.emptyUncopiedStrings();
    }
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
