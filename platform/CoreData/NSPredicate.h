// Predicates of the small form the app's queries use: comparisons of a key with a value,
// "key == value" or "key != value" ("=" and "<>" are the same operators), joined by AND (or
// "&&") and optionally parenthesised. The value is a bound argument (%@ for an object, %d, %i,
// %ld, %lld, %u, %f for numbers; %K stands for a key), nil (or NULL), TRUE/YES/FALSE/NO, a
// number, or a quoted string. A key compared with nil matches missing values; "!=" also
// matches them. Anything else raises NSInvalidArgumentException ("Unable to parse the format
// string").
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "Foundation/NSString.h"

class NSArray;

class NSPredicate : public NSObject {
    NS_OBJECT(NSPredicate, NSObject)

    template <class... A>
    static Ref<NSPredicate> predicateWithFormat(NSString* format, const A&... args) {
        FormatArg list[] = {FormatArg(args)..., FormatArg(nullptr)};
        return predicateWithFormatArgs(format, list, sizeof...(A));
    }
    static Ref<NSPredicate> predicateWithFormatArgs(NSString* format, const FormatArg* args,
                                                    size_t count);
    // The arguments as an array (NSNull stands for nil).
    static Ref<NSPredicate> predicateWithFormatArgumentArray(NSString* format, NSArray* args);
    // A predicate that every object (YES) or none (NO) satisfies.
    static Ref<NSPredicate> predicateWithValue(bool value);

    // Whether the object's values (valueForKey:) satisfy the predicate.
    bool evaluateWithObject(NSObject* object);
    // The predicate written back with its values ("region == \"US\"").
    Ref<NSString> predicateFormat();
    Ref<NSString> description() override { return predicateFormat(); }

    // ---- internal ------------------------------------------------------------------------
    struct Comparison {
        Ref<NSString> key;
        Ref<NSObject> value;  // nil for nil
        bool equal = true;    // == or !=
    };
    // Every comparison must hold (an empty list holds for every object, unless `never`).
    const std::vector<Comparison>& comparisons() const { return terms_; }
    bool isNever() const { return never_; }
    void setTerms(std::vector<Comparison> terms, bool never);

private:
    std::vector<Comparison> terms_;
    bool never_ = false;
};

// Whether two values are equal as predicates compare them: nil equals only nil, numbers by
// value, other objects by isEqual:.
bool NSPredicateValuesEqual(NSObject* a, NSObject* b);

// The NSArray and NSSet filtering of the platform, as free functions.
Ref<NSArray> filteredArrayUsingPredicate(NSArray* array, NSPredicate* predicate);
