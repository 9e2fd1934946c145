#include "Foundation/NSThread.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "Foundation/Clock.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "Foundation/ThreadActivity.h"

namespace {
std::atomic<uint64_t> nextSerial{1};
std::atomic<bool> multiThreaded{false};
}  // namespace

Ref<NSThread>& NSThread::currentSlot() {
    thread_local Ref<NSThread> current;
    return current;
}

namespace {
// Bumped in the child of a fork, whose one thread is the main thread whatever it was before.
std::atomic<unsigned> forkGeneration{0};
}  // namespace

bool NSThread::isMainThread() {
    // Asked on every hand-off to the main thread: worked out once per thread (and again after a
    // fork), not with two system calls each time. The process's first thread carries the
    // process id as its thread id.
    static const bool watchingForks = [] {
        ::pthread_atfork(nullptr, nullptr, [] { forkGeneration.fetch_add(1); });
        return true;
    }();
    (void)watchingForks;
    thread_local unsigned knownGeneration = ~0u;
    thread_local bool isMain = false;
    unsigned generation = forkGeneration.load(std::memory_order_relaxed);
    if (knownGeneration != generation) {
        isMain = static_cast<pid_t>(::syscall(SYS_gettid)) == ::getpid();
        knownGeneration = generation;
    }
    return isMain;
}

bool NSThread::isMultiThreaded() {
    return multiThreaded.load();
}

Ref<NSThread> NSThread::mainThread() {
    static NSThread* main = [] {
        auto* t = new NSThread();
        t->makeImmortal();
        t->isMain_ = true;
        t->serial_ = nextSerial++;
        t->phase_ = Phase::Running;
        t->name_ = NS("main");
        return t;
    }();
    return Ref<NSThread>(main);
}

Ref<NSThread> NSThread::currentThread() {
    Ref<NSThread>& slot = currentSlot();
    if (!slot) {
        if (isMainThread()) {
            slot = mainThread();
        } else {
            // A thread not started here gets its object on first use; it goes with the thread.
            auto t = alloc<NSThread>();
            t->serial_ = nextSerial++;
            t->phase_ = Phase::Running;
            multiThreaded = true;
            slot = t;
        }
    }
    return slot;
}

void NSThread::detachNewThreadSelector(SEL selector, NSObject* target, NSObject* argument) {
    make<NSThread>(&NSThread::initWithTarget, target, selector, argument)->start();
}

Ref<NSThread> NSThread::detachNewThreadWithBlock(std::function<void()> block) {
    auto t = make<NSThread>(&NSThread::initWithBlock, std::move(block));
    t->start();
    return t;
}

void NSThread::sleepForTimeInterval(NSTimeInterval seconds) {
    sleepUntilDate(NSDate::dateWithTimeIntervalSinceNow(seconds));
}

void NSThread::sleepUntilDate(NSDate* date) {
    NSRunLoop::flushDeferredWakeUps();
    NSTimeInterval until = date ? date->timeIntervalSinceReferenceDate() : Clock::now();
    std::mutex lock;
    std::condition_variable changed;
    uint64_t listener = Clock::addListener([&] {
        std::lock_guard<std::mutex> g(lock);
        changed.notify_all();
    });
    {
        // Asleep until a time of the clock: idle, with a time to be woken at.
        thread_activity::Waiting waiting(until);
        std::unique_lock<std::mutex> g(lock);
        for (;;) {
            NSTimeInterval now = Clock::now();
            if (now >= until) break;
            if (Clock::isManual()) {
                changed.wait(g);
            } else {
                changed.wait_for(g, std::chrono::duration<double>(until - now));
            }
        }
    }
    Clock::removeListener(listener);
}

bool NSThread::initWithTarget(NSObject* target, SEL selector, NSObject* argument) {
    target_ = target;
    selector_ = selector;
    argument_ = argument;
    serial_ = nextSerial++;
    return true;
}

bool NSThread::initWithBlock(std::function<void()> block) {
    block_ = std::move(block);
    serial_ = nextSerial++;
    return true;
}

void NSThread::start() {
    {
        std::lock_guard<std::mutex> g(lock_);
        if (phase_ != Phase::New || isMain_) {
            NSException::raise(NSInvalidArgumentException,
                               NS("*** -[NSThread start]: attempt to start the thread again"));
        }
        phase_ = Phase::Running;
    }
    if (serial_ == 0) serial_ = nextSerial++;
    multiThreaded = true;
    Ref<NSThread> self(this);
    thread_activity::handOff();
    std::lock_guard<std::mutex> j(joinLock_);
    system_ = std::thread([self] { self->run(); });
}

void NSThread::dealloc() {
    {
        // The last reference may go on the thread itself, as it ends.
        std::lock_guard<std::mutex> j(joinLock_);
        if (system_.joinable()) system_.detach();
    }
    NSObject::dealloc();
}

void NSThread::run() {
    currentSlot() = Ref<NSThread>(this);
    struct Finish {
        NSThread* t;
        ~Finish() {
            std::lock_guard<std::mutex> g(t->lock_);
            t->phase_ = Phase::Finished;
            t->changed_.notify_all();
        }
    } finish{this};
    thread_activity::AtWork atWork;
    thread_activity::takeOver();
    NSAutoreleasePool pool;
    main();
}

void NSThread::main() {
    if (block_) {
        block_();
    } else if (target_ && selector_) {
        Value args[] = {Value::ofObject(argument_)};
        invokeMethod(target_, selector_, args);
    }
    // What the thread was started with lives as long as the thread's work, no longer.
    block_ = nullptr;
    target_ = nullptr;
    argument_ = nullptr;
}

bool NSThread::isExecuting() {
    std::lock_guard<std::mutex> g(lock_);
    return phase_ == Phase::Running;
}

bool NSThread::isFinished() {
    std::lock_guard<std::mutex> g(lock_);
    return phase_ == Phase::Finished;
}

bool NSThread::isMain() {
    return isMain_;
}

Ref<NSString> NSThread::name() {
    std::lock_guard<std::mutex> g(lock_);
    return name_;
}

void NSThread::setName(NSString* name) {
    Ref<NSString> copy = name ? name->copy() : nullptr;
    std::lock_guard<std::mutex> g(lock_);
    name_ = copy;
}

Ref<NSMutableDictionary> NSThread::threadDictionary() {
    std::lock_guard<std::mutex> g(lock_);
    if (!dictionary_) dictionary_ = NSMutableDictionary::dictionary();
    return dictionary_;
}

void NSThread::waitUntilFinished() {
    NSRunLoop::flushDeferredWakeUps();
    {
        std::unique_lock<std::mutex> g(lock_);
        changed_.wait(g, [this] { return phase_ == Phase::Finished || phase_ == Phase::New; });
    }
    std::lock_guard<std::mutex> j(joinLock_);
    if (system_.joinable() && system_.get_id() != std::this_thread::get_id()) system_.join();
}

Ref<NSRunLoop> NSThread::runLoop() {
    std::lock_guard<std::mutex> g(lock_);
    if (!runLoop_) {
        runLoop_ = make<NSRunLoop>();
        runLoop_->setOwner(serial_);
    }
    return runLoop_;
}
