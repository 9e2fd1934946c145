#include "Foundation/NSKeyValueObserving.h"

#include <atomic>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"

NSString* const NSKeyValueChangeKindKey = NS("kind");
NSString* const NSKeyValueChangeNewKey = NS("new");
NSString* const NSKeyValueChangeOldKey = NS("old");
NSString* const NSKeyValueChangeNotificationIsPriorKey = NS("notificationIsPriorKey");

namespace objc_detail {
// How many objects have observers; read without the lock, so that objects nobody observes pay
// one load for an announcement or their destruction.
std::atomic<uint32_t> observedObjectCount{0};
void forgetObservations(NSObject* object) noexcept;
}  // namespace objc_detail

namespace {

struct Observation {
    Weak<NSObject> observer;
    NSObject* observerAddress;  // for removal, also once the observer is gone
    std::string keyPath;
    std::string firstKey;
    NSUInteger options;
    void* context;
};

struct Observed {
    std::vector<Observation> observations;
    // Values read before a change, per key and then per key path, for the observers that asked
    // for them (a stack, for a change announced inside another of the same key).
    using Values = std::unordered_map<std::string, Ref<NSObject>>;
    std::unordered_map<std::string, std::vector<Values>> oldValues;
};

std::mutex& tableLock() {
    static std::mutex lock;
    return lock;
}

std::unordered_map<NSObject*, Observed>& table() {
    static auto* observed = new std::unordered_map<NSObject*, Observed>();
    return *observed;
}

// One observer to tell, taken out of the table so that it is told without the lock.
struct Delivery {
    Ref<NSObject> observer;
    Ref<NSString> keyPath;
    NSUInteger options;
    void* context;
};

std::vector<Delivery> observersOf(NSObject* object, const std::string& key) {
    std::vector<Delivery> out;
    std::lock_guard<std::mutex> hold(tableLock());
    auto it = table().find(object);
    if (it == table().end()) return out;
    auto& list = it->second.observations;
    for (auto o = list.begin(); o != list.end();) {
        auto observer = o->observer.lock();
        if (!observer) {
            o = list.erase(o);
            continue;
        }
        if (o->firstKey == key) {
            out.push_back({observer, NSString::fromUTF8(o->keyPath), o->options, o->context});
        }
        ++o;
    }
    return out;
}

Ref<NSObject> orNull(const Ref<NSObject>& value) {
    return value ? value : Ref<NSObject>(NSNull::null());
}

void tell(NSObject* object, const Delivery& d, const Observed::Values* old, bool prior) {
    auto change = NSMutableDictionary::dictionaryWithCapacity(3);
    change->setObject(NSNumber::numberWithUnsignedInt(NSKeyValueChangeSetting).get(),
                      NSKeyValueChangeKindKey);
    if (prior)
        change->setObject(NSNumber::numberWithBool(true).get(),
                          NSKeyValueChangeNotificationIsPriorKey);
    else if (d.options & NSKeyValueObservingOptionNew)
        change->setObject(orNull(object->valueForKeyPath(d.keyPath.get())).get(),
                          NSKeyValueChangeNewKey);
    if (old && (d.options & NSKeyValueObservingOptionOld)) {
        auto value = old->find(d.keyPath->utf8());
        if (value != old->end())
            change->setObject(orNull(value->second).get(), NSKeyValueChangeOldKey);
    }
    d.observer->observeValueForKeyPath(d.keyPath.get(), object, change.get(), d.context);
}

std::string firstKeyOf(const std::string& keyPath) {
    return keyPath.substr(0, keyPath.find('.'));
}

}  // namespace

void objc_detail::forgetObservations(NSObject* object) noexcept {
    if (observedObjectCount.load(std::memory_order_relaxed) == 0) return;
    std::lock_guard<std::mutex> hold(tableLock());
    if (table().erase(object)) observedObjectCount.fetch_sub(1, std::memory_order_relaxed);
}

void NSObject::addObserver(NSObject* observer, NSString* keyPath, NSUInteger options,
                           void* context) {
    if (!observer || !keyPath) return;
    std::string path = keyPath->utf8();
    {
        std::lock_guard<std::mutex> hold(tableLock());
        auto [it, added] = table().try_emplace(this);
        if (added) objc_detail::observedObjectCount.fetch_add(1, std::memory_order_relaxed);
        it->second.observations.push_back(
            {Weak<NSObject>(observer), observer, path, firstKeyOf(path), options, context});
    }
    if (options & NSKeyValueObservingOptionInitial)
        tell(this, {Ref<NSObject>(observer), NSString::fromUTF8(path), options, context}, nullptr,
             false);
}

void NSObject::removeObserver(NSObject* observer, NSString* keyPath) {
    std::string path = keyPath ? keyPath->utf8() : std::string();
    {
        std::lock_guard<std::mutex> hold(tableLock());
        auto it = table().find(this);
        if (it != table().end()) {
            auto& list = it->second.observations;
            // The latest registration goes first, as a nested add and remove expect.
            for (auto o = list.rbegin(); o != list.rend(); ++o) {
                if (o->observerAddress != observer || o->keyPath != path) continue;
                list.erase(std::next(o).base());
                if (list.empty()) {
                    table().erase(it);
                    objc_detail::observedObjectCount.fetch_sub(1, std::memory_order_relaxed);
                }
                return;
            }
        }
    }
    NSException::raise(NSRangeException,
                       NS("Cannot remove an observer <%@ %p> for the key path \"%@\" from <%@ %p> "
                          "because it is not registered as an observer."),
                       observer ? observer->className().get() : NS("nil"),
                       static_cast<void*>(observer), keyPath, className(),
                       static_cast<void*>(this));
}

void NSObject::willChangeValueForKey(NSString* key) {
    if (objc_detail::observedObjectCount.load(std::memory_order_relaxed) == 0 || !key) return;
    std::string k = key->utf8();
    auto observers = observersOf(this, k);
    if (observers.empty()) return;
    Observed::Values old;
    for (auto& d : observers)
        if (d.options & NSKeyValueObservingOptionOld)
            old.try_emplace(d.keyPath->utf8(), valueForKeyPath(d.keyPath.get()));
    for (auto& d : observers)
        if (d.options & NSKeyValueObservingOptionPrior) tell(this, d, &old, true);
    std::lock_guard<std::mutex> hold(tableLock());
    if (auto it = table().find(this); it != table().end())
        it->second.oldValues[k].push_back(std::move(old));
}

void NSObject::didChangeValueForKey(NSString* key) {
    if (objc_detail::observedObjectCount.load(std::memory_order_relaxed) == 0 || !key) return;
    std::string k = key->utf8();
    Observed::Values old;
    bool hasOld = false;
    {
        std::lock_guard<std::mutex> hold(tableLock());
        auto it = table().find(this);
        if (it == table().end()) return;
        auto values = it->second.oldValues.find(k);
        if (values != it->second.oldValues.end() && !values->second.empty()) {
            old = std::move(values->second.back());
            values->second.pop_back();
            hasOld = true;
            if (values->second.empty()) it->second.oldValues.erase(values);
        }
    }
    for (auto& d : observersOf(this, k))
        tell(this, d, hasOld ? &old : nullptr, false);
}

void NSObject::observeValueForKeyPath(NSString* keyPath, NSObject* object, NSDictionary*, void*) {
    NSException::raise(NSInternalInconsistencyException,
                       NS("<%@ %p>: An -observeValueForKeyPath:ofObject:change:context: message "
                          "was received but not handled. Key path: %@ Observed object: %@"),
                       className(), static_cast<void*>(this), keyPath, object);
}
