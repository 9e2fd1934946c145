// Named broadcasts within the process: a notification carries a name, a sender and optional user
// info; the notification center hands each posted notification to every observer registered for
// its name and sender, synchronously, on the posting thread.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "Foundation/NSObject.h"

class NSDictionary;
class NSString;

class NSNotification : public NSObject {
    NS_OBJECT(NSNotification, NSObject)
    static void describeClass(RuntimeClass& c);

    static Ref<NSNotification> notificationWithName(NSString* name, NSObject* object);
    static Ref<NSNotification> notificationWithName(NSString* name, NSObject* object,
                                                    NSDictionary* userInfo);
    // The name is required (nil raises NSInvalidArgumentException); the sender and the user info
    // are retained for the notification's life.
    bool initWithName(NSString* name, NSObject* object, NSDictionary* userInfo);

    Ref<NSString> name() { return name_; }
    Ref<NSObject> object() { return object_; }
    Ref<NSDictionary> userInfo() { return userInfo_; }

    Ref<NSString> description() override;
    // Notifications are immutable.
    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }

private:
    Ref<NSString> name_;
    Ref<NSObject> object_;
    Ref<NSDictionary> userInfo_;
};

class NSNotificationCenter : public NSObject {
    NS_OBJECT(NSNotificationCenter, NSObject)
    using Block = std::function<void(NSNotification*)>;

    // The process's shared center; it is never freed.
    static Ref<NSNotificationCenter> defaultCenter();

    // Registers `observer` to receive `selector` (taking the notification, or nothing) for
    // notifications named `name` (nil: every name) from `object` (nil: any sender). Neither the
    // observer nor the sender is retained; an observer that has gone away is never messaged and
    // its entries are dropped, and a sender that has gone away no longer matches anything. The
    // selector is sent through the runtime, so the observer's class registers it.
    virtual void addObserver(NSObject* observer, SEL selector, NSString* name, NSObject* object);
    // The block form. The center keeps the block until the returned token is passed to
    // removeObserver.
    virtual Ref<NSObject> addObserverForName(NSString* name, NSObject* object, Block block);
    // Removes every entry of the observer (or token).
    virtual void removeObserver(NSObject* observer);
    // Removes the observer's entries for that name and sender; nil for either matches all of them.
    virtual void removeObserver(NSObject* observer, NSString* name, NSObject* object);

    // Delivers to the observers that match when the post starts, in registration order, on the
    // calling thread. An observer removed during the delivery is not called afterwards; one added
    // during it waits for the next post. Exceptions raised by an observer reach the poster.
    virtual void postNotification(NSNotification* notification);
    void postNotificationName(NSString* name, NSObject* object);
    void postNotificationName(NSString* name, NSObject* object, NSDictionary* userInfo);

    // Entries held, dead observers not yet pruned included (a test aid).
    size_t registrationCount();

private:
    struct Registration;
    void add(std::shared_ptr<Registration> r);
    void prune();

    std::mutex mutex_;
    std::vector<std::shared_ptr<Registration>> registrations_;
};
