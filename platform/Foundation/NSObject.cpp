#include "Foundation/NSObject.h"

#include <algorithm>
#include <vector>

#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

using objc_detail::kDeallocating;
using objc_detail::kImmortal;

NSRange NSIntersectionRange(NSRange a, NSRange b) {
    NSUInteger lo = std::max(a.location, b.location);
    NSUInteger hi = std::min(NSMaxRange(a), NSMaxRange(b));
    return hi > lo ? NSMakeRange(lo, hi - lo) : NSMakeRange(0, 0);
}

NSRange NSUnionRange(NSRange a, NSRange b) {
    NSUInteger lo = std::min(a.location, b.location);
    NSUInteger hi = std::max(NSMaxRange(a), NSMaxRange(b));
    return NSMakeRange(lo, hi - lo);
}

// ---- reference counting ----------------------------------------------------------------------

bool objectTryRetain(NSObject* o) noexcept {
    uint32_t n = o->refs_.load(std::memory_order_relaxed);
    for (;;) {
        if (n >= kImmortal) return true;
        if (n == 0 || n >= kDeallocating) return false;
        if (o->refs_.compare_exchange_weak(n, n + 1, std::memory_order_acquire)) return true;
    }
}

void NSObject::retain() noexcept {
    objc_detail::retainObject(this);
}
void NSObject::release() noexcept {
    objc_detail::releaseObject(this);
}

NSUInteger NSObject::retainCount() noexcept {
    uint32_t n = refs_.load(std::memory_order_relaxed);
    if (n >= kImmortal) return NSUIntegerMax;
    if (n >= kDeallocating) return 1;
    return n;
}

void NSObject::makeImmortal() noexcept {
    refs_.store(kImmortal, std::memory_order_relaxed);
}
bool NSObject::isImmortal() noexcept {
    return refs_.load(std::memory_order_relaxed) >= kImmortal;
}

namespace {
void zeroWeakReferences(std::atomic<objc_detail::WeakCell*>& slot) noexcept {
    // Most objects never had a weak reference: a plain read spares them the atomic exchange.
    // Weak references are only taken by holders of a strong one, so none can appear meanwhile.
    if (!slot.load(std::memory_order_acquire)) return;
    objc_detail::WeakCell* cell = slot.exchange(nullptr, std::memory_order_acq_rel);
    if (!cell) return;
    cell->lock();
    cell->object.store(nullptr, std::memory_order_release);
    cell->unlock();
    objc_detail::dropWeakCell(cell);
}
}  // namespace

namespace objc_detail {
// NSKeyValueObserving.cpp: objects with observers, and their table's entry going.
extern std::atomic<uint32_t> observedObjectCount;
void forgetObservations(NSObject* object) noexcept;
}  // namespace objc_detail

void NSObject::destroy() noexcept {
    refs_.store(kDeallocating, std::memory_order_relaxed);
    zeroWeakReferences(weak_);
    dealloc();
    zeroWeakReferences(weak_);  // weak references taken by dealloc() itself
    if (objc_detail::observedObjectCount.load(std::memory_order_relaxed) != 0)
        objc_detail::forgetObservations(this);
    delete this;
}

NSObject::~NSObject() = default;

// ---- weak references -------------------------------------------------------------------------

objc_detail::WeakCell* objectWeakCell(NSObject* o) noexcept {
    objc_detail::WeakCell* cell = o->weak_.load(std::memory_order_acquire);
    if (!cell) {
        auto* fresh = new objc_detail::WeakCell();
        fresh->object.store(o, std::memory_order_relaxed);
        if (o->weak_.compare_exchange_strong(cell, fresh, std::memory_order_acq_rel)) {
            cell = fresh;
        } else {
            delete fresh;
        }
    }
    return cell;
}

objc_detail::WeakCell* objc_detail::weakCellOf(NSObject* o) noexcept {
    WeakCell* cell = objectWeakCell(o);
    cell->holders.fetch_add(1, std::memory_order_relaxed);
    return cell;
}

void objc_detail::dropWeakCell(WeakCell* cell) noexcept {
    if (cell->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete cell;
}

NSObject* objc_detail::lockWeakCell(WeakCell* cell) noexcept {
    cell->lock();
    NSObject* o = cell->object.load(std::memory_order_acquire);
    if (o && !objectTryRetain(o)) o = nullptr;
    cell->unlock();
    return o;
}

// ---- release pools ---------------------------------------------------------------------------

namespace {
struct ThreadPools {
    std::vector<NSObject*> pending;
    NSAutoreleasePool* top = nullptr;
    ~ThreadPools() {
        // Objects handed to a pool that was never drained are released when the thread ends.
        while (!pending.empty()) {
            NSObject* o = pending.back();
            pending.pop_back();
            o->release();
        }
    }
};
ThreadPools& threadPools() {
    thread_local ThreadPools pools;
    return pools;
}

void releaseDownTo(std::vector<NSObject*>& pending, size_t mark) {
    // Releasing may autorelease more objects; keep going until the pool is back at its mark.
    while (pending.size() > mark) {
        NSObject* o = pending.back();
        pending.pop_back();
        o->release();
    }
}
}  // namespace

NSAutoreleasePool::NSAutoreleasePool() {
    ThreadPools& p = threadPools();
    outer_ = p.top;
    mark_ = p.pending.size();
    p.top = this;
}

NSAutoreleasePool::~NSAutoreleasePool() {
    ThreadPools& p = threadPools();
    releaseDownTo(p.pending, mark_);
    p.top = outer_;
}

void NSAutoreleasePool::drain() {
    releaseDownTo(threadPools().pending, mark_);
}

void NSAutoreleasePool::addObject(NSObject* o) {
    o->retain();
    threadPools().pending.push_back(o);
}

size_t NSAutoreleasePool::pendingCount() {
    return threadPools().pending.size();
}

NSObject* NSObject::autorelease() {
    NSAutoreleasePool::addObject(this);
    return this;
}

// ---- identity and description ----------------------------------------------------------------

Class NSObject::staticClass() {
    static Class cls = objc_detail::makeClassObject("NSObject", nullptr, typeid(NSObject),
                                                    &objc_detail::allocAs<NSObject>, nullptr);
    return cls;
}

Class NSObject::getClass() {
    return staticClass();
}

bool NSObject::isEqual(NSObject* other) {
    return other == this;
}

NSUInteger NSObject::hash() {
    auto v = reinterpret_cast<uintptr_t>(this);
    return static_cast<NSUInteger>(v ^ (v >> 32));
}

Ref<NSString> NSObject::description() {
    return NSString::stringWithFormat(NS("<%@: %p>"), className(), static_cast<void*>(this));
}

Ref<NSString> NSObject::debugDescription() {
    return description();
}

Ref<NSObject> NSObject::copyWithZone() {
    NSException::raise(NSInvalidArgumentException,
                       NS("-[%@ copyWithZone:]: unrecognized selector sent to instance %p"),
                       className(), static_cast<void*>(this));
}

Ref<NSObject> NSObject::mutableCopyWithZone() {
    NSException::raise(NSInvalidArgumentException,
                       NS("-[%@ mutableCopyWithZone:]: unrecognized selector sent to instance %p"),
                       className(), static_cast<void*>(this));
}

bool NSObject::isKindOfClass(Class cls) {
    return cls && getClass()->isSubclassOfClass(cls);
}

bool NSObject::isMemberOfClass(Class cls) {
    return getClass() == cls;
}

bool objectsEqual(NSObject* a, NSObject* b) {
    if (a == b) return true;
    if (!a || !b) return false;
    return a->isEqual(b);
}

// ---- the UI framework's URL of an object ------------------------------------------------------

namespace {
NSObject::URLValueFunction& urlValueDefault() {
    static NSObject::URLValueFunction* function = new NSObject::URLValueFunction;
    return *function;
}
}  // namespace

Ref<NSString> NSObject::URLValue() {
    return URLValueWithName(nullptr);
}

Ref<NSString> NSObject::URLValueWithName(NSString* name) {
    auto& function = urlValueDefault();
    return function ? function(this, name) : nullptr;
}

void NSObject::installURLValueDefault(URLValueFunction function) {
    urlValueDefault() = std::move(function);
}
