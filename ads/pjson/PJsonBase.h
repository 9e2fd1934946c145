// The ad clients' JSON library: the parser PJsonParser, the writer PJsonWriter, the wrapper PJSON
// that holds one of each, and the one-call helpers on objects and strings. PJsonBase is what
// they share: the nesting limit and the trace of errors of the last call.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"

class NSArray;
class NSMutableArray;
class NSString;

// The library's error domain.
extern NSString* const PJSONErrorDomain;

// The error codes of the library.
enum PJsonErrorCode : unsigned {
    PJsonUnsupportedValue = 1,
    PJsonBadNumber = 2,
    PJsonParseError = 3,
    PJsonNotAContainer = 4,
    PJsonControlCharacter = 5,
    PJsonBadUnicodeEscape = 6,
    PJsonNestedTooDeep = 7,
    PJsonBadEscape = 8,
    PJsonTrailingComma = 9,
    PJsonGarbage = 10,
    PJsonEndOfInput = 11,
    PJsonNoInput = 12,
};

class PJsonBase : public NSObject {
    NS_OBJECT(PJsonBase, NSObject)
    static void describeClass(RuntimeClass& c);
    bool init() override;

    // The errors of the last call, root cause first; each later error holds the one before it
    // under NSUnderlyingErrorKey. nil when the last call succeeded. Clearing it and each error
    // added announce the key "errorTrace" to key-value observers.
    Ref<NSArray> errorTrace();
    void clearErrorTrace();
    void addErrorWithCode(unsigned code, NSString* description);

    // Nesting limit of objects and arrays, 512 by default; 0 means none.
    unsigned maxDepth() { return maxDepth_; }
    virtual void setMaxDepth(unsigned maxDepth) { maxDepth_ = maxDepth; }

protected:
    // Every error the library records comes here. `keepsCause` tells whether the error reports
    // the failure of an inner step (the error recorded just before it) rather than replacing
    // it; the trace chains every error, a single-error caller may keep only those causes.
    virtual void recordError(unsigned code, NSString* description, bool keepsCause);
    bool fail(unsigned code, NSString* description, bool keepsCause = false) {
        recordError(code, description, keepsCause);
        return false;
    }
    // Makes a copy of another trace this object's own.
    void setErrorTrace(NSArray* trace);
    // Steps into an object or array; false (with code 7) past a non-zero limit.
    bool enterContainer();

    uint32_t depth_ = 0;

private:
    Ref<NSMutableArray> errorTrace_;
    uint32_t maxDepth_ = 512;
};
