#include "Foundation/NSRunLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <limits>
#include <thread>
#include <unordered_set>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NetworkWork.h"
#include "Foundation/Runtime.h"
#include "Foundation/ThreadActivity.h"

NSString* const NSDefaultRunLoopMode = NS("kCFRunLoopDefaultMode");
NSString* const NSRunLoopCommonModes = NS("kCFRunLoopCommonModes");

namespace {
// A mode is known by its interned name: equal names are one string for the life of the process,
// so modes compare as pointers and the items of a loop carry them without copying text (every
// perform names its modes, and each pass asks of each item whether it runs in the mode).
using ModeName = const std::u16string*;

ModeName internMode(std::u16string text) {
    struct Table {
        std::mutex lock;
        std::unordered_set<std::u16string> names;  // nodes: their strings never move
    };
    static Table* table = new Table;  // loops may outlive static destruction
    std::lock_guard<std::mutex> g(table->lock);
    return &*table->names.insert(std::move(text)).first;
}

const ModeName kCommonModes = internMode(u"kCFRunLoopCommonModes");
const ModeName kDefaultMode = internMode(u"kCFRunLoopDefaultMode");
constexpr NSTimeInterval kForever = std::numeric_limits<double>::infinity();

ModeName modeName(NSString* mode) {
    // The two names nearly every caller passes are known without reading their text.
    if (!mode || mode == NSDefaultRunLoopMode) return kDefaultMode;
    if (mode == NSRunLoopCommonModes) return kCommonModes;
    return internMode(mode->u16());
}

// The modes of an item: few (one or two nearly always), so kept in place rather than allocated.
class ModeSet {
public:
    ModeSet() = default;
    ModeSet(std::initializer_list<ModeName> names) {
        for (ModeName n : names)
            insert(n);
    }
    bool count(ModeName m) const {
        return std::find(inPlace_.begin(), inPlace_.begin() + inPlaceCount_, m) !=
                   inPlace_.begin() + inPlaceCount_ ||
               std::find(more_.begin(), more_.end(), m) != more_.end();
    }
    void insert(ModeName m) {
        if (count(m)) return;
        if (inPlaceCount_ < inPlace_.size()) {
            inPlace_[inPlaceCount_++] = m;
        } else {
            more_.push_back(m);
        }
    }
    void erase(ModeName m) {
        auto end = inPlace_.begin() + inPlaceCount_;
        auto it = std::find(inPlace_.begin(), end, m);
        if (it != end) {
            std::move(it + 1, end, it);
            --inPlaceCount_;
            if (!more_.empty()) {
                inPlace_[inPlaceCount_++] = more_.front();
                more_.erase(more_.begin());
            }
            return;
        }
        std::erase(more_, m);
    }
    bool empty() const { return inPlaceCount_ == 0; }

private:
    std::array<ModeName, 3> inPlace_{};
    size_t inPlaceCount_ = 0;
    std::vector<ModeName> more_;  // only past the places above
};

// The modes of a perform or timer; none given means the common modes.
ModeSet modesFrom(NSArray* modes) {
    ModeSet out;
    if (!modes) return {kCommonModes};
    for (NSObject* m : *modes) {
        if (auto* s = dynamic_cast<NSString*>(m)) out.insert(modeName(s));
    }
    return out;
}

// A caller blocked until its perform has run (or the loop went away).
struct Waiter {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    void finish() {
        std::lock_guard<std::mutex> g(lock);
        finished = true;
        done.notify_all();
    }
    void wait() {
        NSRunLoop::flushDeferredWakeUps();
        std::unique_lock<std::mutex> g(lock);
        done.wait(g, [this] { return finished; });
    }
};

struct PerformItem {
    uint64_t seq = 0;
    NSUInteger order = 0;
    ModeSet modes;
    std::function<void()> block;
    std::shared_ptr<Waiter> waiter;
    // Set for performSelector:target:argument:order:modes:, so that it can be cancelled.
    Ref<NSObject> target;
    SEL selector = nullptr;
    Ref<NSObject> argument;
};

struct TimerEntry {
    Ref<NSTimer> timer;
    ModeSet modes;
};

struct SourceEntry {
    Ref<RunLoopSource> source;
    ModeSet modes;
};

// performSelector:withObject:afterDelay: requests, kept so that they can be cancelled.
struct DelayedPerform {
    Ref<NSTimer> timer;
    NSObject* target;  // identity only; the timer's block retains it
    SEL selector;
    Ref<NSObject> argument;
};

void writeWake(int fd) {
    uint64_t one = 1;
    ssize_t n = ::write(fd, &one, sizeof one);
    (void)n;  // a full counter already means "wake up"
}

void drainWake(int fd) {
    // One read takes the whole count and resets it.
    uint64_t value;
    ssize_t n = ::read(fd, &value, sizeof value);
    (void)n;
}
}  // namespace

struct NSRunLoop::State : std::enable_shared_from_this<NSRunLoop::State> {
    std::mutex lock;
    int wakeFd = -1;
    uint64_t ownerSerial = 0;
    // The thread that runs the loop (set when it first runs). Its own wake-ups need no
    // descriptor: it is awake, and looks at selfWake before it waits.
    std::atomic<std::thread::id> runningThread{};
    std::atomic<bool> selfWake{false};
    // Another thread asked for a wake-up since the loop last looked at its work. A loop that is
    // awake reads this before it waits, so only a loop about to block (`sleeping`) needs the
    // descriptor written; both sides use sequentially consistent order, so that of "asked,
    // then is it sleeping?" and "sleeping, then was I asked?" at least one sees the other.
    std::atomic<bool> wakeAsked{false};
    std::atomic<bool> sleeping{false};
    std::atomic<bool> blocked{false};  // in poll with a time-out, past every look at the work
    std::atomic<uint64_t> descriptorWrites{0};
    // The descriptor has been written and not yet drained: a further write wakes nobody.
    std::atomic<bool> wakePending{false};
    ModeSet commonModes{kDefaultMode};
    std::vector<TimerEntry> timers;
    std::vector<SourceEntry> sources;
    std::deque<PerformItem> performs;
    std::vector<DelayedPerform> delayed;
    std::vector<ModeName> modeStack;
    std::atomic<bool> stopRequested{false};
    uint64_t nextSeq = 0;

    ~State() {
        if (wakeFd >= 0) ::close(wakeFd);
    }
    void wake();
    // Wakes the loop's thread now, from wherever: a loop that is not about to block finds the
    // request before it does, so only a sleeping one costs a write (and its thread a read).
    void wakeNow() {
        wakeAsked.store(true);
        if (!sleeping.load()) return;
        if (!wakePending.exchange(true)) {
            descriptorWrites.fetch_add(1, std::memory_order_relaxed);
            writeWake(wakeFd);
        }
    }

    // Whether items added for `modes` are served while the loop runs in `mode`. Caller locks.
    bool applies(const ModeSet& modes, ModeName mode) const {
        return modes.count(mode) || (modes.count(kCommonModes) && commonModes.count(mode));
    }
    // Anything the mode can serve. Caller locks.
    bool hasWork(ModeName mode) const {
        for (const auto& t : timers) {
            if (t.timer->isValid() && applies(t.modes, mode)) return true;
        }
        for (const auto& s : sources) {
            if (s.source->isValid() && applies(s.modes, mode)) return true;
        }
        for (const auto& p : performs) {
            if (applies(p.modes, mode)) return true;
        }
        return false;
    }
    // The earliest fire time of the mode's valid timers. Caller locks.
    NSTimeInterval nextFireTime(ModeName mode) const {
        NSTimeInterval next = kForever;
        for (const auto& t : timers) {
            if (t.timer->isValid() && applies(t.modes, mode))
                next = std::min(next, t.timer->fireTime());
        }
        return next;
    }
    void pruneTimers(std::vector<Ref<NSObject>>& released) {
        for (auto it = timers.begin(); it != timers.end();) {
            if (!it->timer->isValid()) {
                released.push_back(it->timer);
                it = timers.erase(it);
            } else {
                ++it;
            }
        }
        for (auto it = delayed.begin(); it != delayed.end();) {
            if (!it->timer->isValid()) {
                released.push_back(it->argument);
                it = delayed.erase(it);
            } else {
                ++it;
            }
        }
    }
};

namespace {
// Wake-ups of other loops asked for during a pass of this thread's loop are sent when the pass
// ends (or before this thread blocks), not one by one as its callouts queue work: the other
// thread is woken once, and does not wake only to wait for a lock a callout still holds.
struct DeferredWakes {
    int passes = 0;
    std::vector<std::shared_ptr<NSRunLoop::State>> loops;
};
thread_local DeferredWakes tDeferred;

class PassScope {
public:
    PassScope() { ++tDeferred.passes; }
    ~PassScope() {
        --tDeferred.passes;
        NSRunLoop::flushDeferredWakeUps();
    }
    PassScope(const PassScope&) = delete;
    PassScope& operator=(const PassScope&) = delete;
};
}  // namespace

void NSRunLoop::State::wake() {
    thread_activity::touch();
    if (runningThread.load(std::memory_order_relaxed) == std::this_thread::get_id()) {
        selfWake.store(true, std::memory_order_release);
        return;
    }
    if (tDeferred.passes > 0) {
        auto& loops = tDeferred.loops;
        if (std::find_if(loops.begin(), loops.end(), [this](auto& l) { return l.get() == this; }) ==
            loops.end())
            loops.push_back(shared_from_this());
        return;
    }
    wakeNow();
}

void NSRunLoop::flushDeferredWakeUps() {
    if (tDeferred.loops.empty()) return;
    std::vector<std::shared_ptr<State>> loops;
    loops.swap(tDeferred.loops);
    for (auto& st : loops)
        st->wakeNow();
}

namespace {
// Keeps the mode stack right whatever a callout throws.
class ModeScope {
public:
    ModeScope(NSRunLoop::State& st, ModeName mode) : st_(st) {
        std::lock_guard<std::mutex> g(st_.lock);
        st_.modeStack.push_back(mode);
    }
    ~ModeScope() {
        std::lock_guard<std::mutex> g(st_.lock);
        st_.modeStack.pop_back();
    }

private:
    NSRunLoop::State& st_;
};

}  // namespace

// Waits for the wake descriptor or the mode's descriptors; marks the descriptors that came up.
void NSRunLoop::pollOnce(State& st, const std::u16string* mode, int timeoutMs) {
    std::vector<Ref<RunLoopDescriptorSource>> watched;
    std::vector<pollfd> fds;
    fds.push_back(pollfd{st.wakeFd, POLLIN, 0});
    // From here on a wake-up from another thread writes the descriptor; one asked for before
    // is seen below and makes this a look rather than a wait.
    if (timeoutMs != 0) st.sleeping.store(true);
    {
        std::lock_guard<std::mutex> g(st.lock);
        for (const auto& p : st.performs) {
            if (st.applies(p.modes, mode)) timeoutMs = 0;
        }
        for (const auto& s : st.sources) {
            if (s.source->isValid() && s.source->isSignalled() && st.applies(s.modes, mode))
                timeoutMs = 0;
        }
        for (const auto& s : st.sources) {
            auto* d = dynamic_cast<RunLoopDescriptorSource*>(s.source.get());
            if (!d || !d->isValid() || !st.applies(s.modes, mode)) continue;
            short events = d->events();
            if (events == 0 || d->descriptor() < 0) continue;
            watched.emplace_back(d);
            fds.push_back(pollfd{d->descriptor(), events, 0});
        }
    }
    if (st.selfWake.exchange(false)) timeoutMs = 0;
    if (st.wakeAsked.exchange(false)) timeoutMs = 0;
    if (timeoutMs != 0) flushDeferredWakeUps();
    int n;
    if (timeoutMs != 0) {
        thread_activity::Waiting waiting;
        st.blocked.store(true, std::memory_order_release);
        n = ::poll(fds.data(), fds.size(), timeoutMs);
        st.blocked.store(false, std::memory_order_relaxed);
    } else {
        n = ::poll(fds.data(), fds.size(), timeoutMs);
    }
    st.sleeping.store(false, std::memory_order_relaxed);
    if (n <= 0) return;
    if (fds[0].revents) {
        drainWake(st.wakeFd);
        // Before the pass that looks at the work: a wake-up asked for after this point writes
        // again.
        st.wakePending.store(false);
    }
    for (size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].revents) watched[i - 1]->revents_.store(fds[i].revents);
        if (fds[i].revents) watched[i - 1]->signalled_.store(true, std::memory_order_release);
    }
}

// ---- sources ---------------------------------------------------------------------------------

Ref<RunLoopSource> RunLoopSource::sourceWithHandler(std::function<void()> handler) {
    auto s = make<RunLoopSource>();
    s->handler_ = std::move(handler);
    return s;
}

void RunLoopSource::signal() {
    signalled_.store(true, std::memory_order_release);
    std::vector<Weak<NSRunLoop>> loops;
    {
        std::lock_guard<std::mutex> g(loopsLock_);
        loops = loops_;
    }
    for (auto& w : loops) {
        if (auto loop = w.lock(); loop && loop->wakeNeeded()) loop->wakeUp();
    }
}

void RunLoopSource::invalidate() {
    if (!valid_.exchange(false)) return;
    std::vector<Weak<NSRunLoop>> loops;
    {
        std::lock_guard<std::mutex> g(loopsLock_);
        loops.swap(loops_);
    }
    Ref<RunLoopSource> keep(this);
    for (auto& w : loops) {
        if (auto loop = w.lock()) loop->removeSourceEverywhere(this);
    }
}

void RunLoopSource::perform() {
    if (handler_) handler_();
}

Ref<RunLoopDescriptorSource> RunLoopDescriptorSource::sourceWithDescriptor(
    int fd, short events, std::function<void(short)> handler) {
    auto s = make<RunLoopDescriptorSource>();
    s->fd_ = fd;
    s->events_.store(events);
    s->onEvents_ = std::move(handler);
    return s;
}

void RunLoopDescriptorSource::setEvents(short events) {
    events_.store(events, std::memory_order_release);
    std::vector<Weak<NSRunLoop>> loops;
    {
        std::lock_guard<std::mutex> g(loopsLock_);
        loops = loops_;
    }
    for (auto& w : loops) {
        if (auto loop = w.lock()) loop->wakeUp();  // the next wait polls the new mask
    }
}

void RunLoopDescriptorSource::perform() {
    short revents = revents_.exchange(0);
    if (onEvents_) onEvents_(revents);
}

// ---- the loop --------------------------------------------------------------------------------

namespace {
// Every loop's state, for looking at the whole process at once.
struct LoopRegistry {
    std::mutex lock;
    std::vector<std::weak_ptr<NSRunLoop::State>> states;
};
LoopRegistry& loopRegistry() {
    static LoopRegistry* r = new LoopRegistry;  // loops may outlive static destruction
    return *r;
}
}  // namespace

bool NSRunLoop::init() {
    state_ = std::make_shared<State>();
    {
        auto& r = loopRegistry();
        std::lock_guard<std::mutex> g(r.lock);
        std::erase_if(r.states, [](auto& w) { return w.expired(); });
        r.states.push_back(state_);
    }
    state_->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (state_->wakeFd < 0) return false;
    std::weak_ptr<State> weak = state_;
    clockListener_ = Clock::addListener([weak] {
        if (auto st = weak.lock()) st->wake();
    });
    return true;
}

void NSRunLoop::dealloc() {
    Clock::removeListener(clockListener_);
    std::vector<TimerEntry> timers;
    std::vector<SourceEntry> sources;
    std::deque<PerformItem> performs;
    std::vector<DelayedPerform> delayed;
    {
        std::lock_guard<std::mutex> g(state_->lock);
        timers.swap(state_->timers);
        sources.swap(state_->sources);
        performs.swap(state_->performs);
        delayed.swap(state_->delayed);
    }
    // What was scheduled here can never run now: timers let go of their targets, and callers
    // waiting on a perform are released.
    for (auto& t : timers)
        t.timer->invalidate();
    for (auto& d : delayed)
        d.timer->invalidate();
    for (auto& p : performs) {
        if (p.waiter) p.waiter->finish();
    }
    NSObject::dealloc();
}

Ref<NSRunLoop> NSRunLoop::currentRunLoop() {
    return NSThread::currentThread()->runLoop();
}

Ref<NSRunLoop> NSRunLoop::mainRunLoop() {
    return NSThread::mainThread()->runLoop();
}

void NSRunLoop::setOwner(uint64_t threadSerial) {
    state_->ownerSerial = threadSerial;
}

bool NSRunLoop::isCurrent() {
    return NSThread::currentThread()->serial_ == state_->ownerSerial;
}

Ref<NSString> NSRunLoop::currentMode() {
    std::lock_guard<std::mutex> g(state_->lock);
    if (state_->modeStack.empty()) return nullptr;
    return NSString::fromUTF16(*state_->modeStack.back());
}

void NSRunLoop::addCommonMode(NSString* mode) {
    {
        std::lock_guard<std::mutex> g(state_->lock);
        state_->commonModes.insert(modeName(mode));
    }
    wakeUp();
}

void NSRunLoop::addTimer(NSTimer* timer, NSString* mode) {
    if (!timer) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[NSRunLoop addTimer:forMode:]: nil timer argument"));
    }
    if (!timer->isValid()) return;
    if (auto other = timer->loop_.lock(); other && other.get() != this) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[NSRunLoop addTimer:forMode:]: timer is already scheduled on "
                              "another run loop"));
    }
    timer->loop_ = this;
    {
        std::lock_guard<std::mutex> g(state_->lock);
        auto it = std::find_if(state_->timers.begin(), state_->timers.end(),
                               [timer](const TimerEntry& e) { return e.timer.get() == timer; });
        if (it == state_->timers.end()) {
            state_->timers.push_back(TimerEntry{Ref<NSTimer>(timer), {modeName(mode)}});
        } else {
            it->modes.insert(modeName(mode));
        }
    }
    wakeUp();
}

void NSRunLoop::removeTimer(NSTimer* timer) {
    Ref<NSTimer> released;
    {
        std::lock_guard<std::mutex> g(state_->lock);
        auto it = std::find_if(state_->timers.begin(), state_->timers.end(),
                               [timer](const TimerEntry& e) { return e.timer.get() == timer; });
        if (it != state_->timers.end()) {
            released = std::move(it->timer);
            state_->timers.erase(it);
        }
    }
    wakeUp();
}

void NSRunLoop::timerChanged() {
    // The loop's own thread is not waiting while it changes a timer, and it reads the timers
    // again before it next waits: only other threads need to wake it.
    if (wakeNeeded()) wakeUp();
}

bool NSRunLoop::wakeNeeded() {
    return state_->runningThread.load(std::memory_order_acquire) != std::this_thread::get_id();
}

void NSRunLoop::addSource(RunLoopSource* source, NSString* mode) {
    if (!source || !source->isValid()) return;
    {
        std::lock_guard<std::mutex> g(state_->lock);
        auto it = std::find_if(state_->sources.begin(), state_->sources.end(),
                               [source](const SourceEntry& e) { return e.source.get() == source; });
        if (it == state_->sources.end()) {
            state_->sources.push_back(SourceEntry{Ref<RunLoopSource>(source), {modeName(mode)}});
        } else {
            it->modes.insert(modeName(mode));
        }
    }
    {
        std::lock_guard<std::mutex> g(source->loopsLock_);
        bool known = false;
        for (auto& w : source->loops_)
            known = known || w.is(this);
        if (!known) source->loops_.emplace_back(this);
    }
    wakeUp();
}

void NSRunLoop::removeSource(RunLoopSource* source, NSString* mode) {
    Ref<RunLoopSource> released;
    bool gone = false;
    {
        std::lock_guard<std::mutex> g(state_->lock);
        auto it = std::find_if(state_->sources.begin(), state_->sources.end(),
                               [source](const SourceEntry& e) { return e.source.get() == source; });
        if (it == state_->sources.end()) return;
        it->modes.erase(modeName(mode));
        if (it->modes.empty()) {
            released = std::move(it->source);
            state_->sources.erase(it);
            gone = true;
        }
    }
    if (gone) {
        std::lock_guard<std::mutex> g(source->loopsLock_);
        auto& loops = source->loops_;
        loops.erase(std::remove_if(loops.begin(), loops.end(),
                                   [this](Weak<NSRunLoop>& w) { return w.is(this); }),
                    loops.end());
    }
    wakeUp();
}

void NSRunLoop::removeSourceEverywhere(RunLoopSource* source) {
    Ref<RunLoopSource> released;
    {
        std::lock_guard<std::mutex> g(state_->lock);
        auto it = std::find_if(state_->sources.begin(), state_->sources.end(),
                               [source](const SourceEntry& e) { return e.source.get() == source; });
        if (it == state_->sources.end()) return;
        released = std::move(it->source);
        state_->sources.erase(it);
    }
    wakeUp();
}

void NSRunLoop::wakeUp() {
    state_->wake();
}

bool NSRunLoop::isWaiting() {
    return state_->blocked.load(std::memory_order_acquire);
}

uint64_t NSRunLoop::descriptorWakeUps() {
    return state_->descriptorWrites.load(std::memory_order_relaxed);
}

void NSRunLoop::stop() {
    state_->stopRequested.store(true, std::memory_order_release);
    wakeUp();
}

Ref<NSDate> NSRunLoop::limitDateForMode(NSString* mode) {
    NSTimeInterval next;
    {
        std::lock_guard<std::mutex> g(state_->lock);
        next = state_->nextFireTime(modeName(mode));
    }
    if (next == kForever) return nullptr;
    return NSDate::dateWithTimeIntervalSinceReferenceDate(next);
}

void NSRunLoop::run() {
    Ref<NSDate> forever = NSDate::distantFuture();
    while (runMode(NSDefaultRunLoopMode, forever)) {
    }
}

bool NSRunLoop::runMode(NSString* mode, NSDate* limitDate) {
    NSTimeInterval seconds =
        limitDate ? limitDate->timeIntervalSinceReferenceDate() - Clock::now() : 0;
    if (limitDate && limitDate->timeIntervalSinceReferenceDate() >=
                         NSDate::distantFuture()->timeIntervalSinceReferenceDate()) {
        seconds = kForever;
    }
    return runInMode(mode, seconds, true) != RunFinished;
}

void NSRunLoop::runUntilDate(NSDate* limitDate) {
    NSTimeInterval until = limitDate ? limitDate->timeIntervalSinceReferenceDate() : 0;
    while (Clock::now() < until && runMode(NSDefaultRunLoopMode, limitDate)) {
    }
}

NSRunLoop::RunResult NSRunLoop::runInMode(NSString* modeObject, NSTimeInterval seconds,
                                          bool returnAfterSourceHandled) {
    State& st = *state_;
    ModeName mode = modeName(modeObject);
    if (mode == kCommonModes) return RunFinished;  // a set of modes, not one to run in
    Ref<NSRunLoop> keep(this);
    {
        std::lock_guard<std::mutex> g(st.lock);
        if (!st.hasWork(mode)) return RunFinished;
    }
    NSTimeInterval deadline =
        seconds == kForever ? kForever : Clock::now() + std::max(0.0, seconds);
    st.runningThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    ModeScope scope(st, mode);
    for (;;) {
        bool handled = false;
        // The pass looks at everything other threads asked to be seen so far.
        st.wakeAsked.exchange(false);
        {
            // Each pass has its own release pool: what it autoreleases lives to its end.
            NSAutoreleasePool pool;
            PassScope pass;
            fireDueTimers(mode);
            handled = runPerforms(mode);
            handled = runSignalledSources(mode) || handled;
        }
        // What this thread changed during the pass (a stop, a timer, a signalled source, a
        // perform for itself) is read below before the loop waits: no extra look is needed.
        st.selfWake.store(false, std::memory_order_relaxed);
        if (handled && returnAfterSourceHandled) return RunHandledSource;
        if (st.stopRequested.exchange(false)) return RunStopped;
        NSTimeInterval next;
        {
            std::lock_guard<std::mutex> g(st.lock);
            if (!st.hasWork(mode)) return RunFinished;
            next = st.nextFireTime(mode);
        }
        NSTimeInterval now = Clock::now();
        if (now >= deadline) return RunTimedOut;
        NSTimeInterval until = std::min(deadline, next);
        int timeoutMs;
        if (until <= now) {
            timeoutMs = 0;
        } else if (Clock::isManual() || until == kForever) {
            timeoutMs = -1;  // the clock's listener wakes us when the manual time moves
        } else {
            timeoutMs = static_cast<int>(std::min(std::ceil((until - now) * 1000.0), 2.0e9));
        }
        pollOnce(st, mode, timeoutMs);
    }
}

void NSRunLoop::waitForWork(NSString* mode, double realSeconds) {
    state_->runningThread.store(std::this_thread::get_id(), std::memory_order_release);
    pollOnce(*state_, modeName(mode), static_cast<int>(std::max(0.0, realSeconds) * 1000.0));
}

bool NSRunLoop::processAtRest(NSRunLoop* caller, NSString* callerMode, NSTimeInterval* nextWake) {
    if (NetworkWork::inFlight() > 0) return false;
    return threadsAtRest(caller, callerMode, nextWake);
}

bool NSRunLoop::threadsAtRest(NSRunLoop* caller, NSString* callerMode, NSTimeInterval* nextWake) {
    const ModeName callerModeName = modeName(callerMode);
    std::vector<std::shared_ptr<State>> states;
    {
        auto& r = loopRegistry();
        std::lock_guard<std::mutex> g(r.lock);
        for (auto& w : r.states) {
            if (auto st = w.lock()) states.push_back(std::move(st));
        }
    }
    const uint64_t before = thread_activity::epoch();
    const NSTimeInterval now = Clock::now();
    NSTimeInterval next = thread_activity::earliestWake();
    bool rest = next > now;
    for (auto& st : states) {
        std::lock_guard<std::mutex> g(st->lock);
        ModeName mode = nullptr;
        if (caller && st == caller->state_) {
            mode = callerModeName;
        } else if (!st->modeStack.empty()) {
            mode = st->modeStack.back();
        } else {
            continue;  // not running: nothing of it can run until its thread runs it
        }
        for (const auto& p : st->performs)
            rest = rest && !st->applies(p.modes, mode);
        for (const auto& src : st->sources) {
            rest = rest && !(src.source->isValid() && src.source->isSignalled() &&
                             st->applies(src.modes, mode));
        }
        NSTimeInterval fire = st->nextFireTime(mode);
        rest = rest && fire > now;
        next = std::min(next, fire);
    }
    rest = rest && thread_activity::atWork() == 0;
    // Anything that moved while we looked may have given a thread work.
    if (thread_activity::epoch() != before) return false;
    if (nextWake) *nextWake = next;
    return rest;
}

// ---- a pass ----------------------------------------------------------------------------------

void NSRunLoop::fireDueTimers(const std::u16string* mode) {
    State& st = *state_;
    NSTimeInterval now = Clock::now();
    std::vector<Ref<NSTimer>> due;
    std::vector<Ref<NSObject>> released;
    {
        std::lock_guard<std::mutex> g(st.lock);
        st.pruneTimers(released);
        for (const auto& t : st.timers) {
            if (t.timer->fireTime() <= now && st.applies(t.modes, mode)) due.push_back(t.timer);
        }
    }
    std::stable_sort(due.begin(), due.end(), [](const Ref<NSTimer>& a, const Ref<NSTimer>& b) {
        return a->fireTime() < b->fireTime();
    });
    for (auto& t : due) {
        // An earlier timer's callout may have invalidated or moved this one.
        if (t->isValid() && t->fireTime() <= now) t->fireFromLoop(now);
    }
}

bool NSRunLoop::runPerforms(const std::u16string* mode) {
    State& st = *state_;
    // Only what was queued before this pass: a perform that queues another does not run the
    // loop forever inside one pass. Each is taken off the queue just before it runs (lowest
    // order first, then in the order queued), so that a callout which runs the loop itself
    // (a modal wait, a synchronous load) still finds the performs queued behind it.
    uint64_t boundary;
    {
        std::lock_guard<std::mutex> g(st.lock);
        boundary = st.nextSeq;
    }
    bool ran = false;
    for (;;) {
        PerformItem item;
        {
            std::lock_guard<std::mutex> g(st.lock);
            auto chosen = st.performs.end();
            // The queue is in the order queued, so the scan ends at the pass's boundary, and at
            // the first order-0 perform (none can come before it): a long backlog is not walked
            // again for every perform taken.
            for (auto it = st.performs.begin(); it != st.performs.end(); ++it) {
                if (it->seq >= boundary) break;
                if (!st.applies(it->modes, mode)) continue;
                if (chosen == st.performs.end() || it->order < chosen->order) {
                    chosen = it;
                    if (it->order == 0) break;
                }
            }
            if (chosen == st.performs.end()) break;
            item = std::move(*chosen);
            st.performs.erase(chosen);
        }
        ran = true;
        // Should the callout throw, the caller waiting on it is released; what has not run
        // yet is still queued.
        struct Release {
            std::shared_ptr<Waiter>& waiter;
            ~Release() {
                if (waiter) waiter->finish();
            }
        } release{item.waiter};
        if (item.block) item.block();
    }
    return ran;
}

bool NSRunLoop::runSignalledSources(const std::u16string* mode) {
    State& st = *state_;
    std::vector<Ref<RunLoopSource>> ready;
    {
        std::lock_guard<std::mutex> g(st.lock);
        for (const auto& s : st.sources) {
            if (s.source->isValid() && s.source->isSignalled() && st.applies(s.modes, mode))
                ready.push_back(s.source);
        }
    }
    bool handled = false;
    for (auto& s : ready) {
        if (s->isValid() && s->signalled_.exchange(false)) {
            s->perform();
            handled = true;
        }
    }
    return handled;
}

// ---- performs --------------------------------------------------------------------------------

void NSRunLoop::performBlock(std::function<void()> block) {
    performBlock(std::move(block), nullptr);
}

namespace {
// Queues a block behind what is queued already (the caller wakes the loop, or not).
void queuePerform(NSRunLoop::State& st, std::function<void()> block, NSArray* modes,
                  std::shared_ptr<Waiter> waiter = nullptr) {
    PerformItem item;
    item.modes = modesFrom(modes);
    item.block = std::move(block);
    item.waiter = std::move(waiter);
    std::lock_guard<std::mutex> g(st.lock);
    item.seq = st.nextSeq++;
    st.performs.push_back(std::move(item));
}
}  // namespace

void NSRunLoop::performBlock(std::function<void()> block, NSArray* modes) {
    queuePerform(*state_, std::move(block), modes);
    if (wakeNeeded()) wakeUp();
}

void NSRunLoop::performBlockWithoutWakeUp(std::function<void()> block, NSArray* modes) {
    queuePerform(*state_, std::move(block), modes);
}

void NSRunLoop::performOnLoop(std::function<void()> block, bool wait, NSArray* modes) {
    if (wait && isCurrent()) {
        block();
        return;
    }
    std::shared_ptr<Waiter> waiter = wait ? std::make_shared<Waiter>() : nullptr;
    queuePerform(*state_, std::move(block), modes, waiter);
    if (wakeNeeded()) wakeUp();
    if (waiter) waiter->wait();
}

void NSRunLoop::performOnMainThread(std::function<void()> block, bool wait) {
    if (wait && NSThread::isMainThread()) {
        block();
        return;
    }
    mainRunLoop()->performOnLoop(std::move(block), wait, nullptr);
}

void NSRunLoop::performSelector(SEL selector, NSObject* target, NSObject* argument,
                                NSUInteger order, NSArray* modes) {
    Ref<NSObject> t(target), a(argument);
    {
        std::lock_guard<std::mutex> g(state_->lock);
        PerformItem item;
        item.seq = state_->nextSeq++;
        item.order = order;
        item.modes = modesFrom(modes);
        item.target = t;
        item.selector = selector;
        item.argument = a;
        item.block = [t, selector, a] {
            Value args[] = {Value::ofObject(a)};
            invokeMethod(t, selector, args);
        };
        state_->performs.push_back(std::move(item));
    }
    if (wakeNeeded()) wakeUp();
}

void NSRunLoop::cancelPerformSelector(SEL selector, NSObject* target, NSObject* argument) {
    std::vector<PerformItem> dropped;
    {
        std::lock_guard<std::mutex> g(state_->lock);
        for (auto it = state_->performs.begin(); it != state_->performs.end();) {
            if (it->selector == selector && it->target.get() == target &&
                objectsEqual(it->argument, argument)) {
                dropped.push_back(std::move(*it));
                it = state_->performs.erase(it);
            } else {
                ++it;
            }
        }
    }
}

void NSRunLoop::cancelPerformSelectorsWithTarget(NSObject* target) {
    std::vector<PerformItem> dropped;
    {
        std::lock_guard<std::mutex> g(state_->lock);
        for (auto it = state_->performs.begin(); it != state_->performs.end();) {
            if (it->selector && it->target.get() == target) {
                dropped.push_back(std::move(*it));
                it = state_->performs.erase(it);
            } else {
                ++it;
            }
        }
    }
}

void NSRunLoop::addDelayedPerform(NSTimer* timer, NSObject* target, SEL selector,
                                  NSObject* argument) {
    std::lock_guard<std::mutex> g(state_->lock);
    state_->delayed.push_back(
        DelayedPerform{Ref<NSTimer>(timer), target, selector, Ref<NSObject>(argument)});
}

void NSRunLoop::cancelDelayedPerforms(NSObject* target, bool anySelector, SEL selector,
                                      NSObject* argument) {
    std::vector<DelayedPerform> cancelled;
    {
        std::lock_guard<std::mutex> g(state_->lock);
        for (auto it = state_->delayed.begin(); it != state_->delayed.end();) {
            bool match =
                it->target == target &&
                (anySelector || (it->selector == selector && objectsEqual(it->argument, argument)));
            if (match) {
                cancelled.push_back(std::move(*it));
                it = state_->delayed.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& d : cancelled)
        d.timer->invalidate();
}

// ---- NSObject's performing -------------------------------------------------------------------

namespace {
std::function<void()> callOf(NSObject* target, SEL selector, NSObject* argument) {
    Ref<NSObject> t(target), a(argument);
    return [t, selector, a] {
        Value args[] = {Value::ofObject(a)};
        invokeMethod(t, selector, args);
    };
}
}  // namespace

void NSObject::performSelector(SEL sel, NSObject* arg, NSTimeInterval delay) {
    performSelector(sel, arg, delay, nullptr);
}

void NSObject::performSelector(SEL sel, NSObject* arg, NSTimeInterval delay, NSArray* modes) {
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    auto call = callOf(this, sel, arg);
    auto timer = alloc<NSTimer>();
    timer->initWithFireDate(NSDate::dateWithTimeIntervalSinceNow(std::max(0.0, delay)), 0, false,
                            [call](NSTimer*) { call(); });
    loop->addDelayedPerform(timer, this, sel, arg);
    if (!modes) {
        loop->addTimer(timer, NSDefaultRunLoopMode);
        return;
    }
    for (NSObject* m : *modes) {
        if (auto* s = dynamic_cast<NSString*>(m)) loop->addTimer(timer, s);
    }
}

void NSObject::cancelPreviousPerformRequestsWithTarget(NSObject* target) {
    NSRunLoop::currentRunLoop()->cancelDelayedPerforms(target, true, nullptr, nullptr);
}

void NSObject::cancelPreviousPerformRequestsWithTarget(NSObject* target, SEL sel, NSObject* arg) {
    NSRunLoop::currentRunLoop()->cancelDelayedPerforms(target, false, sel, arg);
}

void NSObject::performSelectorOnMainThread(SEL sel, NSObject* arg, bool wait) {
    performSelectorOnMainThread(sel, arg, wait, nullptr);
}

void NSObject::performSelectorOnMainThread(SEL sel, NSObject* arg, bool wait, NSArray* modes) {
    auto call = callOf(this, sel, arg);
    if (wait && NSThread::isMainThread()) {
        call();
        return;
    }
    NSRunLoop::mainRunLoop()->performOnLoop(std::move(call), wait, modes);
}

void NSObject::performSelector(SEL sel, NSThread* thread, NSObject* arg, bool wait) {
    thread->runLoop()->performOnLoop(callOf(this, sel, arg), wait, nullptr);
}

void NSObject::performSelectorInBackground(SEL sel, NSObject* arg) {
    NSThread::detachNewThreadSelector(sel, this, arg);
}
