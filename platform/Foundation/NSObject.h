// The root of every reference type: intrusive reference counting, zeroing weak references,
// two-phase destruction and the hooks the object runtime (Runtime.h) hangs off.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <type_traits>
#include <typeinfo>
#include <utility>

// The platform's scalar types. Its integers are 32 bits wide: ranges, counts and NSNotFound keep
// the values that stored files and callers expect.
using NSInteger = int32_t;
using NSUInteger = uint32_t;
using NSTimeInterval = double;
inline constexpr NSInteger NSIntegerMax = INT32_MAX;
inline constexpr NSInteger NSIntegerMin = INT32_MIN;
inline constexpr NSUInteger NSUIntegerMax = UINT32_MAX;
inline constexpr NSInteger NSNotFound = NSIntegerMax;

enum NSComparisonResult : NSInteger {
    NSOrderedAscending = -1,
    NSOrderedSame = 0,
    NSOrderedDescending = 1,
};

struct NSRange {
    NSUInteger location = 0;
    NSUInteger length = 0;
    friend bool operator==(const NSRange&, const NSRange&) = default;
};
inline constexpr NSRange NSMakeRange(NSUInteger loc, NSUInteger len) {
    return NSRange{loc, len};
}
inline constexpr NSUInteger NSMaxRange(NSRange r) {
    return r.location + r.length;
}
inline constexpr bool NSLocationInRange(NSUInteger loc, NSRange r) {
    return loc >= r.location && loc - r.location < r.length;
}
inline constexpr bool NSEqualRanges(NSRange a, NSRange b) {
    return a == b;
}
NSRange NSIntersectionRange(NSRange a, NSRange b);
NSRange NSUnionRange(NSRange a, NSRange b);

inline constexpr std::nullptr_t nil = nullptr;

class NSObject;
class NSString;
class NSArray;
class NSDictionary;
class NSThread;
class NSMethodSignature;
class RuntimeClass;
struct Selector;
using Class = RuntimeClass*;
using SEL = const Selector*;

namespace objc_detail {
// The object behind a pointer: a plain upcast for subclasses of NSObject, a cross-cast for
// protocol classes (abstract interfaces that objects implement alongside NSObject).
template <class T>
inline NSObject* objectOf(T* p) {
    if constexpr (std::is_base_of_v<NSObject, T>) {
        return const_cast<NSObject*>(static_cast<const NSObject*>(p));
    } else {
        return const_cast<NSObject*>(dynamic_cast<const NSObject*>(p));
    }
}
// Inline (defined after NSObject): every Ref copy and destruction goes through them.
inline void retainObject(NSObject* o) noexcept;
inline void releaseObject(NSObject* o) noexcept;
inline void retainUnshared(NSObject* o) noexcept;
inline void releaseUnshared(NSObject* o) noexcept;
// The memory of objects (ObjectMemory.cpp): recently freed small blocks are kept by the thread
// that freed them for its next objects.
void* allocateObject(size_t size);
void freeObject(void* p) noexcept;
// Whether freed blocks are kept: not under the address sanitizer, so that it still sees each
// object's memory freed and catches use after free.
bool objectBlocksAreKept() noexcept;
struct WeakCell;
}  // namespace objc_detail

// Owning pointer: retains on copy, releases on destruction, nil when empty. It converts to a raw
// pointer for passing as an argument; never keep such a raw pointer past the owning Ref.
// It carries the NSObject base beside the typed pointer, so that a Ref to a class that is only
// declared can still be copied and destroyed (members of forward-declared types in headers).
template <class T>
class Ref {
public:
    using element_type = T;

    constexpr Ref() noexcept = default;
    constexpr Ref(std::nullptr_t) noexcept {}
    Ref(T* p) noexcept : p_(p), o_(p ? objc_detail::objectOf(p) : nullptr) {
        if (o_) objc_detail::retainObject(o_);
    }
    Ref(const Ref& o) noexcept : p_(o.p_), o_(o.o_) {
        if (o_) objc_detail::retainObject(o_);
    }
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)), o_(std::exchange(o.o_, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ref(const Ref<U>& o) noexcept : p_(o.get()), o_(o.object()) {
        if (o_) objc_detail::retainObject(o_);
    }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ref(Ref<U>&& o) noexcept : p_(o.get()), o_(o.object()) {
        o.release_ownership_();
    }
    ~Ref() {
        if (o_) objc_detail::releaseObject(o_);
    }
    Ref& operator=(const Ref& o) noexcept {
        Ref(o).swap(*this);
        return *this;
    }
    Ref& operator=(Ref&& o) noexcept {
        Ref(std::move(o)).swap(*this);
        return *this;
    }

    // Takes over a reference that the caller already owns (a fresh allocation).
    static Ref adopt(T* p) noexcept {
        Ref r;
        r.p_ = p;
        r.o_ = p ? objc_detail::objectOf(p) : nullptr;
        return r;
    }

    // A new reference to an object that no other thread can reach yet: one the caller made and
    // has not handed out (see objc_detail::retainUnshared).
    static Ref unshared(T* p) noexcept {
        Ref r;
        r.p_ = p;
        r.o_ = p ? objc_detail::objectOf(p) : nullptr;
        if (r.o_) objc_detail::retainUnshared(r.o_);
        return r;
    }

    // Takes over a reference to `o`, already owned, seen as `p`.
    static Ref adoptPair(T* p, NSObject* o) noexcept {
        Ref r;
        r.p_ = p;
        r.o_ = o;
        return r;
    }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    operator T*() const noexcept { return p_; }
    // The same object seen as its NSObject base.
    NSObject* object() const noexcept { return o_; }
    void swap(Ref& o) noexcept {
        std::swap(p_, o.p_);
        std::swap(o_, o.o_);
    }

    // Internal: forget the pointer without releasing (the moved-from side of a conversion).
    void release_ownership_() noexcept {
        p_ = nullptr;
        o_ = nullptr;
    }

private:
    T* p_ = nullptr;
    NSObject* o_ = nullptr;
};

// Zeroing weak pointer: lock() yields the object while it lives and nil once its dealloc began.
// Every delegate, listener, observer and back-pointer that is not retained is one of these.
template <class T>
class Weak {
public:
    Weak() noexcept = default;
    Weak(std::nullptr_t) noexcept {}
    Weak(T* p) noexcept { assign(p); }
    Weak(const Ref<T>& r) noexcept { assign(r.get()); }
    Weak(const Weak& o) noexcept : cell_(o.cell_), p_(o.p_) { addCell(); }
    Weak& operator=(const Weak& o) noexcept {
        if (this != &o) {
            dropCell();
            cell_ = o.cell_;
            p_ = o.p_;
            addCell();
        }
        return *this;
    }
    Weak& operator=(T* p) noexcept {
        dropCell();
        assign(p);
        return *this;
    }
    Weak& operator=(const Ref<T>& r) noexcept { return *this = r.get(); }
    ~Weak() { dropCell(); }

    // A retained reference to the object, or nil once it is gone.
    Ref<T> lock() const noexcept;
    // True while the object lives. Another thread may end it right after; lock() to use it.
    bool alive() const noexcept;
    // Whether this refers to p (compared by address; true for nil against an empty Weak).
    bool is(const T* p) const noexcept { return p == (alive() ? p_ : nullptr); }
    void reset() noexcept {
        dropCell();
        cell_ = nullptr;
        p_ = nullptr;
    }

private:
    void assign(T* p) noexcept;
    void addCell() noexcept;
    void dropCell() noexcept;

    objc_detail::WeakCell* cell_ = nullptr;
    T* p_ = nullptr;
};

// Allocates a default-constructed object with a retain count of one (no initialiser has run).
template <class T>
Ref<T> alloc() {
    return Ref<T>::adopt(new T());
}

// alloc + init(): the form for plain initialisation.
template <class T>
Ref<T> make() {
    Ref<T> r = alloc<T>();
    // Returned by name, so that the reference moves out: the conditional form copied it, an
    // atomic retain and release for every object made.
    if (!r->init()) return nullptr;
    return r;
}

// alloc + a named initialiser, e.g. make<MyView>(&UIView::initWithFrame, frame). Initialisers
// return false for failure, which yields nil.
template <class T, class B, class... P, class... A>
Ref<T> make(bool (B::*initializer)(P...), A&&... args) {
    static_assert(std::is_base_of_v<B, T>, "initialiser of an unrelated class");
    Ref<T> r = alloc<T>();
    if (!(r.get()->*initializer)(std::forward<A>(args)...)) return nullptr;
    return r;
}

// Makes an immutable shared value immortal and hands it out as a plain pointer, for a static
// that must neither be released at exit nor reset between tests:
// `static UIImage* const image = immortal(decodeImage());` (nil stays nil).
template <class T>
T* immortal(Ref<T> object) {
    if (object) object->makeImmortal();
    return object.get();
}

// The class of a type and its registration with the runtime. Every class declares itself with
// NS_OBJECT(Name, Super) at the top of its body. A class that must be reachable by name (methods,
// properties, respondsToSelector: answers) also defines
//     static void describeClass(RuntimeClass& c);
// which runs once, when the class object is first made.
#define NS_OBJECT(Name, Super)                                           \
public:                                                                  \
    using super = Super;                                                 \
    static Class staticClass() {                                         \
        static Class cls = ::objc_detail::makeClass<Name, Super>(#Name); \
        return cls;                                                      \
    }                                                                    \
    Class getClass() override {                                          \
        return staticClass();                                            \
    }                                                                    \
                                                                         \
public:

namespace objc_detail {
using AllocFn = Ref<NSObject> (*)();
using DescribeFn = void (*)(RuntimeClass&);
Class makeClassObject(const char* name, Class super, const std::type_info& type, AllocFn alloc,
                      DescribeFn describe);

template <class N>
Ref<NSObject> allocAs() {
    return Ref<NSObject>(alloc<N>());
}

template <class N, class S>
Class makeClass(const char* name) {
    AllocFn allocFn = nullptr;
    if constexpr (!std::is_abstract_v<N> && std::is_default_constructible_v<N>) {
        allocFn = &allocAs<N>;
    }
    DescribeFn describe = nullptr;
    if (&N::describeClass != &S::describeClass) describe = &N::describeClass;
    return makeClassObject(name, S::staticClass(), typeid(N), allocFn, describe);
}
}  // namespace objc_detail

class NSObject {
public:
    NSObject() noexcept = default;
    NSObject(const NSObject&) = delete;
    NSObject& operator=(const NSObject&) = delete;
    virtual ~NSObject();

    static Class staticClass();
    virtual Class getClass();
    static void describeClass(RuntimeClass&) {}

    static void* operator new(size_t size) { return objc_detail::allocateObject(size); }
    static void operator delete(void* p) noexcept { objc_detail::freeObject(p); }
    // Construction in memory from allocateObject (objects with room of their own after them).
    static void* operator new(size_t, void* where) noexcept { return where; }

    // Reference counting. An immortal object (a shared instance or a literal) ignores both and
    // reports NSUIntegerMax.
    void retain() noexcept;
    void release() noexcept;
    NSUInteger retainCount() noexcept;
    void makeImmortal() noexcept;
    bool isImmortal() noexcept;
    // Hands one reference to the current thread's release pool; the object lives at least until
    // the pool drains (the end of the current run-loop pass).
    NSObject* autorelease();

    // Initialisation after alloc(); false means the initialiser failed and the result is nil.
    virtual bool init() { return true; }
    // First phase of destruction: runs when the count reaches zero, derived class first, each
    // class calling its base's dealloc() last. The C++ destructors run after it.
    virtual void dealloc() {}

    virtual bool isEqual(NSObject* other);
    virtual NSUInteger hash();
    virtual Ref<NSString> description();
    virtual Ref<NSString> debugDescription();

    // The UI framework's URL for the object (from the generator its URL map keeps for the
    // object's class or a superclass; the named one with a name). Nil until the framework
    // installs its answer; classes may answer otherwise.
    virtual Ref<NSString> URLValue();
    virtual Ref<NSString> URLValueWithName(NSString* name);
    using URLValueFunction = std::function<Ref<NSString>(NSObject* object, NSString* name)>;
    static void installURLValueDefault(URLValueFunction function);

    // NSCopying / NSMutableCopying. The base raises NSInvalidArgumentException: only classes
    // that adopt the protocols override these.
    Ref<NSObject> copy() { return copyWithZone(); }
    Ref<NSObject> mutableCopy() { return mutableCopyWithZone(); }
    virtual Ref<NSObject> copyWithZone();
    virtual Ref<NSObject> mutableCopyWithZone();

    // Runtime queries, answered from the class's registration (see Runtime.h).
    Ref<NSString> className();
    bool isKindOfClass(Class cls);
    bool isMemberOfClass(Class cls);
    // The class's registration answers by default; a class that answers probes for another
    // object overrides it (respondsTo() and the runtime's callers ask through it).
    virtual bool respondsToSelector(SEL sel);
    Ref<NSMethodSignature> methodSignatureForSelector(SEL sel);
    Ref<NSObject> performSelector(SEL sel);
    Ref<NSObject> performSelector(SEL sel, NSObject* arg);
    Ref<NSObject> performSelector(SEL sel, NSObject* arg1, NSObject* arg2);

    // Delayed and cross-thread performing, served by the run loops (NSRunLoop.cpp). The
    // receiver and argument are retained until the call has run or was cancelled.
    // After a delay on the current thread's loop (default mode, or the given modes):
    void performSelector(SEL sel, NSObject* arg, NSTimeInterval delay);
    void performSelector(SEL sel, NSObject* arg, NSTimeInterval delay, NSArray* modes);
    // Cancels this thread's delayed performs for the target (all, or those of the selector
    // whose argument is equal).
    static void cancelPreviousPerformRequestsWithTarget(NSObject* target);
    static void cancelPreviousPerformRequestsWithTarget(NSObject* target, SEL sel, NSObject* arg);
    // On the main thread (common modes); with `wait`, the caller blocks until it ran, and a
    // caller that is the main thread runs it at once.
    void performSelectorOnMainThread(SEL sel, NSObject* arg, bool wait);
    void performSelectorOnMainThread(SEL sel, NSObject* arg, bool wait, NSArray* modes);
    void performSelector(SEL sel, NSThread* thread, NSObject* arg, bool wait);
    void performSelectorInBackground(SEL sel, NSObject* arg);

    // Key-value coding over registered properties (numbers are boxed as NSNumber). An unknown
    // key raises "NSUnknownKeyException".
    virtual Ref<NSObject> valueForKey(NSString* key);
    virtual void setValue(NSObject* value, NSString* key);
    Ref<NSObject> valueForKeyPath(NSString* keyPath);
    virtual Ref<NSObject> valueForUndefinedKey(NSString* key);
    virtual void setValueForUndefinedKey(NSObject* value, NSString* key);

    // Key-value observing (NSKeyValueObserving.h has the options and change keys). An observer
    // of a key path hears of every announced change of the path's first key on this object.
    // Removing an observer that is not registered for the path raises NSRangeException.
    void addObserver(NSObject* observer, NSString* keyPath, NSUInteger options, void* context);
    void removeObserver(NSObject* observer, NSString* keyPath);
    // Announce a change of the key, before and after it; observers are told on this thread.
    virtual void willChangeValueForKey(NSString* key);
    virtual void didChangeValueForKey(NSString* key);
    // An observer's news. The base raises NSInternalInconsistencyException: an object that
    // observes answers it.
    virtual void observeValueForKeyPath(NSString* keyPath, NSObject* object, NSDictionary* change,
                                        void* context);

private:
    friend void objc_detail::retainObject(NSObject*) noexcept;
    friend void objc_detail::releaseObject(NSObject*) noexcept;
    friend void objc_detail::retainUnshared(NSObject*) noexcept;
    friend void objc_detail::releaseUnshared(NSObject*) noexcept;
    friend bool objectTryRetain(NSObject*) noexcept;
    friend objc_detail::WeakCell* objectWeakCell(NSObject*) noexcept;
    void destroy() noexcept;

    std::atomic<uint32_t> refs_{1};
    std::atomic<objc_detail::WeakCell*> weak_{nullptr};
};

// Retains the object unless its destruction has begun; true when it did.
bool objectTryRetain(NSObject* o) noexcept;

namespace objc_detail {
// Counts at or above kImmortal never change; a count in [kDeallocating, kImmortal) marks an
// object whose destruction has begun, so that retains and releases made by its own dealloc()
// can neither revive it nor free it twice.
inline constexpr uint32_t kImmortal = 0xC0000000u;
inline constexpr uint32_t kDeallocating = 0x40000000u;

inline void retainObject(NSObject* o) noexcept {
    if (o->refs_.load(std::memory_order_relaxed) >= kImmortal) return;
    o->refs_.fetch_add(1, std::memory_order_relaxed);
}

inline void releaseObject(NSObject* o) noexcept {
    const uint32_t n = o->refs_.load(std::memory_order_acquire);
    if (n >= kImmortal) return;
    // The last reference, and no weak one: nobody else can reach the object to retain it, so
    // the atomic decrement (the dearest part of freeing an object) can be skipped. The acquire
    // read pairs with the releases that brought the count down to one.
    if (n == 1 && !o->weak_.load(std::memory_order_acquire)) {
        o->destroy();
        return;
    }
    if (o->refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) o->destroy();
}

// Retain and release of an object that no other thread can reach yet: made by the caller, held
// only by what the caller is still building, no weak reference taken. A plain increment or
// decrement serves, without the locked instruction (a reader that shares one key object among
// hundreds of dictionaries pays that on every one). Once the objects are handed out, by any
// means that carries them to another thread, the ordinary atomic operations take over.
inline void retainUnshared(NSObject* o) noexcept {
    const uint32_t n = o->refs_.load(std::memory_order_relaxed);
    if (n >= kImmortal) return;
    o->refs_.store(n + 1, std::memory_order_relaxed);
}

inline void releaseUnshared(NSObject* o) noexcept {
    const uint32_t n = o->refs_.load(std::memory_order_relaxed);
    if (n >= kImmortal) return;
    if (n == 1) {
        o->destroy();
        return;
    }
    o->refs_.store(n - 1, std::memory_order_relaxed);
}
}  // namespace objc_detail

namespace objc_detail {
// Shared between an object and its weak references; outlives the object while any Weak holds it.
struct WeakCell {
    std::atomic<NSObject*> object{nullptr};
    std::atomic<uint32_t> holders{1};  // the object itself counts as one
    std::atomic_flag busy = ATOMIC_FLAG_INIT;
    void lock() noexcept {
        while (busy.test_and_set(std::memory_order_acquire)) {
        }
    }
    void unlock() noexcept { busy.clear(std::memory_order_release); }
};
void dropWeakCell(WeakCell* cell) noexcept;
WeakCell* weakCellOf(NSObject* o) noexcept;
NSObject* lockWeakCell(WeakCell* cell) noexcept;  // retained object or nullptr
}  // namespace objc_detail

template <class T>
void Weak<T>::assign(T* p) noexcept {
    p_ = p;
    cell_ = p ? objc_detail::weakCellOf(objc_detail::objectOf(p)) : nullptr;
}
template <class T>
void Weak<T>::addCell() noexcept {
    if (cell_) cell_->holders.fetch_add(1, std::memory_order_relaxed);
}
template <class T>
void Weak<T>::dropCell() noexcept {
    if (cell_) objc_detail::dropWeakCell(cell_);
}
template <class T>
Ref<T> Weak<T>::lock() const noexcept {
    if (!cell_) return nullptr;
    NSObject* o = objc_detail::lockWeakCell(cell_);
    if (!o) return nullptr;
    return Ref<T>::adoptPair(p_, o);
}
template <class T>
bool Weak<T>::alive() const noexcept {
    return cell_ && cell_->object.load(std::memory_order_acquire) != nullptr;
}

// Checked downcasts: the object as T (a class or a protocol) or nil when it is not one.
template <class T, class U>
Ref<T> as(U* p) {
    return Ref<T>(dynamic_cast<T*>(p));
}
template <class T, class U>
Ref<T> as(const Ref<U>& p) {
    return Ref<T>(dynamic_cast<T*>(p.get()));
}
template <class T, class U>
bool is(U* p) {
    return dynamic_cast<T*>(p) != nullptr;
}
template <class T, class U>
bool is(const Ref<U>& p) {
    return dynamic_cast<T*>(p.get()) != nullptr;
}
// An unchecked downcast for when the type is known.
template <class T, class U>
Ref<T> cast(const Ref<U>& p) {
    return Ref<T>(static_cast<T*>(p.get()));
}

// respondsToSelector: for any object pointer, protocol types included; false for nil.
template <class T>
bool respondsTo(T* p, SEL sel) {
    return p && objc_detail::objectOf(p)->respondsToSelector(sel);
}

// Equality in the platform's sense: both nil, or isEqual:.
bool objectsEqual(NSObject* a, NSObject* b);

// Release pools. The run loop wraps every pass in one; code may push its own for a scope.
class NSAutoreleasePool final {
public:
    NSAutoreleasePool();
    ~NSAutoreleasePool();
    NSAutoreleasePool(const NSAutoreleasePool&) = delete;
    NSAutoreleasePool& operator=(const NSAutoreleasePool&) = delete;
    // Releases what the pool holds now; the pool stays in place.
    void drain();
    static void addObject(NSObject* o);
    // Objects waiting in all of this thread's pools (a test aid).
    static size_t pendingCount();

private:
    NSAutoreleasePool* outer_;
    size_t mark_;
};

template <class T>
struct std::hash<Ref<T>> {
    size_t operator()(const Ref<T>& r) const noexcept { return std::hash<T*>()(r.get()); }
};
