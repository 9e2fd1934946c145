// Threads. Every thread, the main one and those not started here included, has an NSThread
// object and a run loop made on first use. The main thread is the process's first thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "Foundation/NSObject.h"

class NSDate;
class NSMutableDictionary;
class NSRunLoop;

class NSThread : public NSObject {
    NS_OBJECT(NSThread, NSObject)
    static Ref<NSThread> currentThread();
    static Ref<NSThread> mainThread();
    static bool isMainThread();
    static bool isMultiThreaded();
    // Starts a thread that calls the target's method (registered with the runtime) with the
    // argument; target and argument are retained until it ends.
    static void detachNewThreadSelector(SEL selector, NSObject* target, NSObject* argument);
    static Ref<NSThread> detachNewThreadWithBlock(std::function<void()> block);
    // Waits on the clock: with the manual clock, until another thread moves it far enough.
    static void sleepForTimeInterval(NSTimeInterval seconds);
    static void sleepUntilDate(NSDate* date);

    bool initWithTarget(NSObject* target, SEL selector, NSObject* argument);
    bool initWithBlock(std::function<void()> block);

    void start();
    // The thread's body; the base calls the target or the block. Runs inside a release pool.
    virtual void main();
    void cancel() { cancelled_ = true; }
    bool isCancelled() { return cancelled_; }
    bool isExecuting();
    bool isFinished();
    // The instance's answer to isMainThread (the class method has the same name).
    bool isMain();
    Ref<NSString> name();
    void setName(NSString* name);
    Ref<NSMutableDictionary> threadDictionary();
    double threadPriority() { return priority_; }
    void setThreadPriority(double p) { priority_ = p; }

    // Blocks until a started thread has returned from main and then ended, its thread-local
    // storage freed with it (shutdown and tests: nothing of it is left for the leak check).
    void waitUntilFinished();
    // The thread's run loop, made on first use.
    Ref<NSRunLoop> runLoop();

private:
    friend class NSRunLoop;
    enum class Phase { New, Running, Finished };
    void run();
    static Ref<NSThread>& currentSlot();

    std::mutex lock_;
    std::condition_variable changed_;
    Phase phase_ = Phase::New;
    std::atomic<bool> cancelled_{false};
    bool isMain_ = false;
    uint64_t serial_ = 0;  // unique per thread object, for telling loops' owners apart
    double priority_ = 0.5;
    Ref<NSObject> target_;
    SEL selector_ = nullptr;
    Ref<NSObject> argument_;
    std::function<void()> block_;
    Ref<NSString> name_;
    Ref<NSMutableDictionary> dictionary_;
    Ref<NSRunLoop> runLoop_;
    // The system thread, joined by the first wait for it, else let go when the object goes.
    std::mutex joinLock_;
    std::thread system_;

protected:
    void dealloc() override;
};
