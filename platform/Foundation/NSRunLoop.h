// Run loops: one per thread, made on first use. A loop runs in one named mode at a time and
// serves only what was added for that mode: timers, sources (signalled or watching a file
// descriptor) and queued performs. Every wait follows the Clock: on the manual clock a loop waits
// until another source of work or a change of the clock wakes it, and never sleeps on its own.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Foundation/NSObject.h"

class NSArray;
class NSDate;
class NSRunLoop;
class NSThread;
class NSTimer;

extern NSString* const NSDefaultRunLoopMode;  // "kCFRunLoopDefaultMode"
extern NSString* const NSRunLoopCommonModes;  // "kCFRunLoopCommonModes"

// A unit of work that a run loop performs on its own thread once the source is signalled
// (from any thread). A source that is never signalled only keeps its loop from running dry.
class RunLoopSource : public NSObject {
    NS_OBJECT(RunLoopSource, NSObject)
    static Ref<RunLoopSource> sourceWithHandler(std::function<void()> handler);

    // Marks the source ready and wakes the loops it is on.
    void signal();
    bool isSignalled() { return signalled_.load(std::memory_order_acquire); }
    // Takes the source out of every loop and mode it is in.
    void invalidate();
    bool isValid() { return valid_.load(std::memory_order_acquire); }

    // Called on the loop's thread after signal(); the base calls the handler, if any.
    virtual void perform();

protected:
    friend class NSRunLoop;
    std::atomic<bool> signalled_{false};
    std::atomic<bool> valid_{true};
    std::function<void()> handler_;
    std::mutex loopsLock_;
    std::vector<Weak<NSRunLoop>> loops_;
};

// A source that watches a file descriptor: the loop polls it while running in one of the
// source's modes and performs the handler with the poll events that came up.
class RunLoopDescriptorSource : public RunLoopSource {
    NS_OBJECT(RunLoopDescriptorSource, RunLoopSource)
    // `events` is a poll(2) mask (POLLIN, POLLOUT).
    static Ref<RunLoopDescriptorSource> sourceWithDescriptor(
        int fd, short events, std::function<void(short revents)> handler);
    int descriptor() { return fd_; }
    short events() { return events_.load(std::memory_order_acquire); }
    // Changes what is watched; takes effect at the loop's next wait.
    void setEvents(short events);
    void perform() override;

private:
    friend class NSRunLoop;
    int fd_ = -1;
    std::atomic<short> events_{0};
    std::atomic<short> revents_{0};
    std::function<void(short)> onEvents_;
};

class NSRunLoop : public NSObject {
    NS_OBJECT(NSRunLoop, NSObject)
    static Ref<NSRunLoop> currentRunLoop();
    static Ref<NSRunLoop> mainRunLoop();

    // The mode the loop is running in, nil when it is not running.
    Ref<NSString> currentMode();
    // Modes that items added for NSRunLoopCommonModes also serve; the default mode is one.
    void addCommonMode(NSString* mode);

    // A timer belongs to one loop; it may be added for several modes. The loop retains it
    // until it is invalidated.
    void addTimer(NSTimer* timer, NSString* mode);
    void addSource(RunLoopSource* source, NSString* mode);
    void removeSource(RunLoopSource* source, NSString* mode);

    // Runs until the default mode has nothing left (which, for a loop with a source, is never).
    void run();
    // Runs the loop once in the mode: returns after one source or perform was handled, when
    // the date is reached, or when stopped. Returns false at once when the mode has nothing
    // to serve.
    bool runMode(NSString* mode, NSDate* limitDate);
    // Runs in the default mode until the date, or until the mode has nothing left.
    void runUntilDate(NSDate* limitDate);

    enum RunResult { RunFinished = 1, RunStopped = 2, RunTimedOut = 3, RunHandledSource = 4 };
    // The general form: run in the mode for at most `seconds` of clock time.
    RunResult runInMode(NSString* mode, NSTimeInterval seconds, bool returnAfterSourceHandled);
    // Makes the innermost run of this loop return; from any thread. A stop while the loop is
    // not running ends its next run after one pass.
    void stop();
    void wakeUp();
    // Wake-ups of other loops that the callouts of a run-loop pass ask for are held until the
    // pass ends, so that a thread handing several pieces of work to another wakes it once. Code
    // that blocks the thread (a lock, a condition, a wait for another thread) calls this first.
    static void flushDeferredWakeUps();
    // Whether the loop's thread is blocked waiting for work (or for the time of its next
    // timer): anything another thread hands it from now on wakes it through its descriptor.
    bool isWaiting();
    // How many times another thread has written the loop's wake-up descriptor: each is a
    // wake-up of a thread that was blocked. Work handed to a loop that is awake needs none.
    uint64_t descriptorWakeUps();
    // The fire date of the next valid timer of the mode, or nil.
    Ref<NSDate> limitDateForMode(NSString* mode);
    // Blocks the calling thread (which must be the loop's) for at most `realSeconds` of real
    // time, until something in the mode is ready or the loop is woken. For tests that wait on
    // real input while the manual clock stands still.
    void waitForWork(NSString* mode, double realSeconds);
    // For tests on the manual clock: whether the whole process is at rest, so that moving the
    // clock on needs no wait in real time. At rest means no network work in flight, no thread
    // of the platform at work, and no loop with work ready in the mode it runs in (`caller`, the
    // calling thread's loop, in `callerMode`). `nextWake` gets the earliest time at which a loop
    // or a sleeping thread has something to do (infinity when none).
    static bool processAtRest(NSRunLoop* caller, NSString* callerMode, NSTimeInterval* nextWake);
    // The same, whatever network work is in flight: every thread waits (for a reply, a timer or
    // a wake-up) and no loop has work ready.
    static bool threadsAtRest(NSRunLoop* caller, NSString* callerMode, NSTimeInterval* nextWake);

    // Queued work, run in order on the loop's thread the next time it runs in one of the modes
    // (common modes when none are given).
    void performBlock(std::function<void()> block);
    void performBlock(std::function<void()> block, NSArray* modes);
    // Queued as performBlock queues it, but wakes nobody: it runs in the loop's next pass,
    // whatever brings that about (work queued after it, which runs after it, or a timer). For
    // news that likely matters to nobody, so that it costs the loop no wake-up of its own; the
    // poster must make sure that something wakes the loop later.
    void performBlockWithoutWakeUp(std::function<void()> block, NSArray* modes);
    // The platform's performSelector:target:argument:order:modes:; order breaks ties.
    void performSelector(SEL selector, NSObject* target, NSObject* argument, NSUInteger order,
                         NSArray* modes);
    void cancelPerformSelector(SEL selector, NSObject* target, NSObject* argument);
    void cancelPerformSelectorsWithTarget(NSObject* target);

    // Runs `block` on the main thread: inline when the caller is the main thread and waits,
    // otherwise queued to the main loop (common modes); with `wait` the caller blocks until it
    // has run.
    static void performOnMainThread(std::function<void()> block, bool wait);
    // The same for any thread's loop.
    void performOnLoop(std::function<void()> block, bool wait, NSArray* modes);

    // Internal.
    bool init() override;
    void dealloc() override;
    bool isCurrent();
    struct State;
    // The delayed performs of NSObject, kept so that they can be cancelled.
    void addDelayedPerform(NSTimer* timer, NSObject* target, SEL selector, NSObject* argument);
    void cancelDelayedPerforms(NSObject* target, bool anySelector, SEL selector,
                               NSObject* argument);

private:
    friend class NSThread;
    friend class NSTimer;
    friend class RunLoopSource;
    friend class RunLoopDescriptorSource;
    void timerChanged();
    // Whether work added now must wake the loop: not when the loop's own thread adds it.
    bool wakeNeeded();
    void fireDueTimers(const std::u16string* mode);
    bool runPerforms(const std::u16string* mode);
    bool runSignalledSources(const std::u16string* mode);
    static void pollOnce(State& st, const std::u16string* mode, int timeoutMs);
    void removeTimer(NSTimer* timer);
    void removeSourceEverywhere(RunLoopSource* source);
    void setOwner(uint64_t threadSerial);

    std::shared_ptr<State> state_;
    uint64_t clockListener_ = 0;
};
