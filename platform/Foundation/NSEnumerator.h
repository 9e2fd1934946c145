// Enumerators over collections, the options of block enumeration, and C++ range-for support
// shared by the collection classes.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;

using NSEnumerationOptions = NSUInteger;
enum : NSEnumerationOptions {
    NSEnumerationConcurrent = 1u << 0,  // accepted; the blocks still run one after another
    NSEnumerationReverse = 1u << 1,
};

// Hands out a collection's objects one at a time. Concrete enumerators keep their collection
// alive for as long as they exist.
class NSEnumerator : public NSObject {
    NS_OBJECT(NSEnumerator, NSObject)
    // The next object, or nil once all have been handed out.
    virtual Ref<NSObject> nextObject();
    // The objects not handed out yet, in order; the enumerator is exhausted afterwards.
    virtual Ref<NSArray> allObjects();

    // for (NSObject* o : *enumerator): each object stays retained until the next step.
    class iterator {
    public:
        struct sentinel {};
        explicit iterator(NSEnumerator* e) : e_(e) { current_ = e_ ? e_->nextObject() : nullptr; }
        NSObject* operator*() const { return current_.get(); }
        iterator& operator++() {
            current_ = e_->nextObject();
            return *this;
        }
        bool operator==(sentinel) const { return !current_; }

    private:
        Ref<NSEnumerator> e_;
        Ref<NSObject> current_;
    };
    iterator begin() { return iterator(this); }
    iterator::sentinel end() { return {}; }
};

// Range-for directly over a Ref to a collection or enumerator, e.g. for (auto* o : array). Use
// this form for a temporary (for (auto* o : dict->allKeys())): it keeps the object alive for the
// whole loop, where dereferencing the temporary (*dict->allKeys()) would not.
template <class T>
requires requires(T& t) {
    t.begin();
    t.end();
}
auto begin(const Ref<T>& r) {
    return r->begin();
}
template <class T>
requires requires(T& t) {
    t.begin();
    t.end();
}
auto end(const Ref<T>& r) {
    return r->end();
}
