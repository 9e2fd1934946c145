#include "Foundation/NSNotification.h"

#include <algorithm>
#include <atomic>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

// ---- NSNotification -----------------------------------------------------------------------------

void NSNotification::describeClass(RuntimeClass& c) {
    c.property("name", &NSNotification::name);
    c.property("object", &NSNotification::object);
    c.property("userInfo", &NSNotification::userInfo);
}

Ref<NSNotification> NSNotification::notificationWithName(NSString* name, NSObject* object) {
    return notificationWithName(name, object, nullptr);
}

Ref<NSNotification> NSNotification::notificationWithName(NSString* name, NSObject* object,
                                                         NSDictionary* userInfo) {
    return make<NSNotification>(&NSNotification::initWithName, name, object, userInfo);
}

bool NSNotification::initWithName(NSString* name, NSObject* object, NSDictionary* userInfo) {
    if (!name) NSException::raise(NSInvalidArgumentException, NS("notification name is nil"));
    name_ = name->copy();
    object_ = object;
    userInfo_ = userInfo;
    return true;
}

Ref<NSString> NSNotification::description() {
    return NSString::stringWithFormat(NS("%@ {name = %@; object = %@; userInfo = %@}"),
                                      NSObject::description(), name_, object_, userInfo_);
}

// ---- NSNotificationCenter -----------------------------------------------------------------------

namespace {
// What addObserverForName hands back: the center keeps it (and so the block) until removed.
class NotificationObserverToken : public NSObject {
    NS_OBJECT(NotificationObserverToken, NSObject)
};
}  // namespace

struct NSNotificationCenter::Registration {
    // The observer is compared by address for removal (removal runs in the observer's dealloc,
    // when the weak reference already reads nil) and reached through the weak reference.
    NSObject* observerAddress = nullptr;
    Weak<NSObject> observer;
    Ref<NSObject> token;  // block form: the center owns the token
    SEL selector = nullptr;
    NSNotificationCenter::Block block;
    Ref<NSString> name;  // nil: every name
    // The sender filter: its address, and a weak reference so that a new object at the address
    // of a dead sender does not match.
    NSObject* objectAddress = nullptr;
    Weak<NSObject> object;
    // Set when removed, so that a delivery already holding the entry skips it.
    std::atomic<bool> removed{false};

    bool matches(NSString* nName, NSObject* nObject) {
        if (name && !name->isEqualToString(nName)) return false;
        if (objectAddress && (nObject != objectAddress || !object.is(nObject))) return false;
        return true;
    }
    // An entry whose observer or sender has gone can never be delivered again.
    bool dead() {
        if (!token && !observer.alive()) return true;
        return objectAddress && !object.alive();
    }
};

Ref<NSNotificationCenter> NSNotificationCenter::defaultCenter() {
    static NSNotificationCenter* center = [] {
        Ref<NSNotificationCenter> c = make<NSNotificationCenter>();
        c->makeImmortal();
        return c.get();
    }();
    return center;
}

void NSNotificationCenter::add(std::shared_ptr<Registration> r) {
    // Adding is a good moment to drop entries that can no longer fire; it keeps the list short
    // for observers that forgot to remove themselves.
    prune();
    std::lock_guard<std::mutex> guard(mutex_);
    registrations_.push_back(std::move(r));
}

void NSNotificationCenter::addObserver(NSObject* observer, SEL selector, NSString* name,
                                       NSObject* object) {
    if (!observer || !selector) {
        NSException::raise(NSInvalidArgumentException,
                           NS("addObserver needs an observer and a selector"));
    }
    auto r = std::make_shared<Registration>();
    r->observerAddress = observer;
    r->observer = observer;
    r->selector = selector;
    r->name = name ? name->copy() : nullptr;
    r->objectAddress = object;
    r->object = object;
    add(std::move(r));
}

Ref<NSObject> NSNotificationCenter::addObserverForName(NSString* name, NSObject* object,
                                                       Block block) {
    if (!block) NSException::raise(NSInvalidArgumentException, NS("addObserverForName: no block"));
    Ref<NSObject> token = make<NotificationObserverToken>();
    auto r = std::make_shared<Registration>();
    r->observerAddress = token.get();
    r->observer = token.get();
    r->token = token;
    r->block = std::move(block);
    r->name = name ? name->copy() : nullptr;
    r->objectAddress = object;
    r->object = object;
    add(std::move(r));
    return token;
}

void NSNotificationCenter::removeObserver(NSObject* observer) {
    removeObserver(observer, nullptr, nullptr);
}

void NSNotificationCenter::removeObserver(NSObject* observer, NSString* name, NSObject* object) {
    if (!observer) return;
    // Tokens and blocks are released after the mutex, since their destruction may run arbitrary
    // code (a block's captures), including calls back into the center.
    std::vector<std::shared_ptr<Registration>> dropped;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        std::erase_if(registrations_, [&](const std::shared_ptr<Registration>& e) {
            if (e->observerAddress != observer) return false;
            if (name && !(e->name && e->name->isEqualToString(name))) return false;
            if (object && e->objectAddress != object) return false;
            e->removed = true;
            dropped.push_back(e);
            return true;
        });
    }
}

void NSNotificationCenter::prune() {
    // Released after the mutex, like removed entries.
    std::vector<std::shared_ptr<Registration>> dropped;
    std::lock_guard<std::mutex> guard(mutex_);
    std::erase_if(registrations_, [&](const std::shared_ptr<Registration>& e) {
        if (!e->dead()) return false;
        e->removed = true;
        dropped.push_back(e);
        return true;
    });
}

void NSNotificationCenter::postNotification(NSNotification* notification) {
    if (!notification) NSException::raise(NSInvalidArgumentException, NS("notification is nil"));
    Ref<NSNotification> keep(notification);
    Ref<NSString> name = notification->name();
    Ref<NSObject> object = notification->object();

    std::vector<std::shared_ptr<Registration>> targets;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (auto& r : registrations_) {
            if (r->matches(name, object)) targets.push_back(r);
        }
    }

    bool sawDead = false;
    Value argument = Value::ofObject(notification);
    for (auto& r : targets) {
        if (r->removed.load(std::memory_order_acquire)) continue;
        if (r->block) {
            r->block(notification);
            continue;
        }
        Ref<NSObject> observer = r->observer.lock();
        if (!observer) {
            sawDead = true;
            continue;
        }
        // A handler without an argument ("overlayWasClosed") is sent without one.
        std::span<const Value> args(&argument, r->selector->keywordCount > 0 ? 1 : 0);
        invokeMethod(observer, r->selector, args);
    }
    if (sawDead) prune();
}

void NSNotificationCenter::postNotificationName(NSString* name, NSObject* object) {
    postNotificationName(name, object, nullptr);
}

void NSNotificationCenter::postNotificationName(NSString* name, NSObject* object,
                                                NSDictionary* userInfo) {
    postNotification(NSNotification::notificationWithName(name, object, userInfo));
}

size_t NSNotificationCenter::registrationCount() {
    std::lock_guard<std::mutex> guard(mutex_);
    return registrations_.size();
}
