// The one way to hold a process-wide instance (a shared cache, a default centre, a session).
//
//     Ref<Thing> Thing::shared() {
//         static ProcessWide<Thing> slot;             // or ProcessWide<Thing> slot{makeThing}
//         return slot.get();
//     }
//
// A slot of an object class holds a Ref<T>; a slot of a plain C++ type (a few flags and counters)
// holds a std::shared_ptr<T> made with make_shared<T>().
//
// The instance is made on first use (by make<T>() or the factory given) and held until the
// process ends: the slot itself is never destroyed, so nothing runs at exit while other threads
// may still use it. Every slot that made an instance is registered, and
// resetProcessWideInstances() drops them all, newest first, so that the next use starts afresh;
// the test programs call it after each test so that no test sees what an earlier one left.
#pragma once

#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

#include "Foundation/NSObject.h"

namespace processwide_detail {
class Slot {
public:
    virtual void drop() = 0;

protected:
    ~Slot() = default;
};
// Adds a slot to the registry (once per slot, when it first holds an instance).
void enroll(Slot* slot);
}  // namespace processwide_detail

// Drops the instance of every registered slot, the most recently enrolled first. Meant for the
// point between two tests, when no other thread is using the instances.
void resetProcessWideInstances();

template <class T>
class ProcessWide {
public:
    using Handle = std::conditional_t<std::is_base_of_v<NSObject, T>, Ref<T>, std::shared_ptr<T>>;
    using Factory = Handle (*)();
    // Stops what an instance has running (timers, connections) when a reset drops it, as those
    // would otherwise keep it alive and acting into the next test.
    using Retire = void (*)(T*);

    explicit ProcessWide(Factory factory = nullptr, Retire retire = nullptr)
        : state_(new State(factory, retire)) {}
    ProcessWide(const ProcessWide&) = delete;
    ProcessWide& operator=(const ProcessWide&) = delete;

    // The instance, made now if there is none.
    Handle get() {
        std::lock_guard lock(state_->lock);
        if (!state_->instance) state_->hold(state_->factory ? state_->factory() : makeDefault());
        return state_->instance;
    }
    // The instance, made by `maker` (any callable returning a Handle) if there is none.
    template <class F>
    Handle getOr(F&& maker) {
        std::lock_guard lock(state_->lock);
        if (!state_->instance) state_->hold(std::forward<F>(maker)());
        return state_->instance;
    }
    // The instance if one was made, else nil.
    Handle peek() {
        std::lock_guard lock(state_->lock);
        return state_->instance;
    }
    // Puts `next` in place and gives back the one it replaces (released by the caller, outside
    // the slot's lock, as its dealloc may use other slots).
    Handle exchange(Handle next) {
        std::lock_guard lock(state_->lock);
        Handle previous = std::move(state_->instance);
        state_->hold(std::move(next));
        return previous;
    }
    // Drops the instance as a reset of every slot would, retiring it first.
    void reset() { state_->drop(); }

private:
    static Handle makeDefault() {
        if constexpr (std::is_base_of_v<NSObject, T>)
            return make<T>();
        else
            return std::make_shared<T>();
    }
    struct State final : processwide_detail::Slot {
        State(Factory f, Retire r) : factory(f), retire(r) {}
        void hold(Handle next) {
            instance = std::move(next);
            if (instance && !enrolled) {
                enrolled = true;
                processwide_detail::enroll(this);
            }
        }
        void drop() override {
            Handle previous;
            {
                std::lock_guard guard(lock);
                previous = std::move(instance);
            }
            if (previous && retire) retire(previous.get());
        }
        Factory factory;
        Retire retire;
        std::mutex lock;
        Handle instance;
        bool enrolled = false;
    };
    // Leaked on purpose: the slot outlives every static destructor.
    State* const state_;
};
