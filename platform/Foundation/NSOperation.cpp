#include "Foundation/NSOperation.h"

#include "Foundation/NSRunLoop.h"

#include <algorithm>
#include <deque>
#include <exception>
#include <optional>
#include <thread>

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "Foundation/ThreadActivity.h"

NSString* const NSInvocationOperationVoidResultException =
    NS("NSInvocationOperationVoidResultException");
NSString* const NSInvocationOperationCancelledException =
    NS("NSInvocationOperationCancelledException");

namespace {

NSString* keyIsExecuting() {
    return NS("isExecuting");
}
NSString* keyIsFinished() {
    return NS("isFinished");
}
NSString* keyIsCancelled() {
    return NS("isCancelled");
}
NSString* keyIsReady() {
    return NS("isReady");
}

bool isKey(NSString* key, NSString* name) {
    return key && key->isEqualToString(name);
}

// Work that runs on a thread that must not die of it (a queue's worker, a completion): the
// platform would end the process; we report it and carry on.
void report(const char* where) {
    try {
        throw;
    } catch (ExceptionRaised& e) {
        NSLog(NS("*** %s: uncaught exception '%@', reason: '%@'"), where, e.exception->name(),
              e.exception->reason());
    } catch (std::exception& e) {
        NSLog(NS("*** %s: uncaught C++ exception: %s"), where, e.what());
    } catch (...) {
        NSLog(NS("*** %s: uncaught exception"), where);
    }
}

NSInteger normalizedPriority(NSInteger p) {
    // The nearest of the platform's five levels, -8, -4, 0, 4 and 8.
    p = std::clamp<NSInteger>(p, NSOperationQueuePriorityVeryLow, NSOperationQueuePriorityVeryHigh);
    NSInteger shifted = p + 8;  // 0..16
    return (shifted + 2) / 4 * 4 - 8;
}

thread_local NSOperationQueue* tCurrentQueue = nullptr;

}  // namespace

// ---- NSOperation --------------------------------------------------------------------------------

void NSOperation::describeClass(RuntimeClass& c) {
    c.property("isCancelled", &NSOperation::isCancelled);
    c.property("isExecuting", &NSOperation::isExecuting);
    c.property("isFinished", &NSOperation::isFinished);
    c.property("isReady", &NSOperation::isReady);
    c.property("isConcurrent", &NSOperation::isConcurrent);
    c.property("queuePriority", &NSOperation::queuePriority);
    c.method("start", &NSOperation::start);
    c.method("main", &NSOperation::main);
    c.method("cancel", &NSOperation::cancel);
}

void NSOperation::announce(NSString* key, const std::function<void()>& change) {
    willChangeValueForKey(key);
    change();
    didChangeValueForKey(key);
}

void NSOperation::start() {
    if (isExecuting()) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[%@ start]: receiver is already executing"), className());
    }
    if (isFinished()) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[%@ start]: receiver is already finished"), className());
    }
    if (!isReady()) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[%@ start]: receiver is not yet ready to execute"),
                           className());
    }
    if (isCancelled()) {
        announce(keyIsFinished(), [this] { finished_ = true; });
        return;
    }
    announce(keyIsExecuting(), [this] { executing_ = true; });
    // The operation ends even when its work raised, so that its queue slot and its waiters are
    // released; the exception then goes on to the caller.
    std::exception_ptr failure;
    try {
        main();
    } catch (...) {
        failure = std::current_exception();
    }
    willChangeValueForKey(keyIsFinished());
    willChangeValueForKey(keyIsExecuting());
    executing_ = false;
    finished_ = true;
    didChangeValueForKey(keyIsExecuting());
    didChangeValueForKey(keyIsFinished());
    if (failure) std::rethrow_exception(failure);
}

void NSOperation::cancel() {
    if (cancelled_.load() || finished_.load()) return;
    // Cancelling also makes the operation ready: it no longer waits for its dependencies.
    willChangeValueForKey(keyIsReady());
    announce(keyIsCancelled(), [this] { cancelled_ = true; });
    didChangeValueForKey(keyIsReady());
}

bool NSOperation::isCancelled() {
    return cancelled_.load();
}
bool NSOperation::isExecuting() {
    return executing_.load();
}
bool NSOperation::isFinished() {
    return finished_.load();
}

bool NSOperation::isReady() {
    std::vector<Ref<NSOperation>> deps;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        deps = dependencies_;
    }
    bool waiting = std::any_of(deps.begin(), deps.end(), [](auto& d) { return !d->isFinished(); });
    // isCancelled only when it matters: subclasses may read it under a lock of their own.
    return !waiting || isCancelled();
}

void NSOperation::addDependency(NSOperation* op) {
    if (!op) NSException::raise(NSInvalidArgumentException, NS("addDependency: nil operation"));
    if (op == this)
        NSException::raise(NSInvalidArgumentException, NS("an operation cannot depend on itself"));
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (auto& d : dependencies_) {
            if (d.get() == op) return;
        }
    }
    willChangeValueForKey(keyIsReady());
    {
        std::lock_guard<std::mutex> guard(mutex_);
        dependencies_.emplace_back(op);
    }
    {
        // A dependency that has already finished never calls back; readiness is computed from
        // its state anyway.
        std::lock_guard<std::mutex> guard(op->mutex_);
        if (!op->finishHandled_) op->dependants_.emplace_back(this);
    }
    didChangeValueForKey(keyIsReady());
}

void NSOperation::removeDependency(NSOperation* op) {
    if (!op) return;
    Ref<NSOperation> removed;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        auto it = std::find_if(dependencies_.begin(), dependencies_.end(),
                               [op](auto& d) { return d.get() == op; });
        if (it == dependencies_.end()) return;
        removed = *it;
    }
    willChangeValueForKey(keyIsReady());
    {
        std::lock_guard<std::mutex> guard(mutex_);
        std::erase(dependencies_, removed);
    }
    {
        std::lock_guard<std::mutex> guard(op->mutex_);
        std::erase_if(op->dependants_, [this](auto& w) { return w.is(this) || !w.alive(); });
    }
    didChangeValueForKey(keyIsReady());
}

Ref<NSArray> NSOperation::dependencies() {
    std::lock_guard<std::mutex> guard(mutex_);
    return NSArray::arrayWithVector(dependencies_);
}

NSOperationQueuePriority NSOperation::queuePriority() {
    return static_cast<NSOperationQueuePriority>(priority_.load());
}

void NSOperation::setQueuePriority(NSInteger priority) {
    priority_ = normalizedPriority(priority);
}

std::function<void()> NSOperation::completionBlock() {
    std::lock_guard<std::mutex> guard(mutex_);
    return completion_;
}

void NSOperation::setCompletionBlock(std::function<void()> block) {
    std::lock_guard<std::mutex> guard(mutex_);
    completion_.swap(block);
    // The old block is destroyed after the mutex, in case its captures call back.
}

void NSOperation::waitUntilFinished() {
    NSRunLoop::flushDeferredWakeUps();
    std::unique_lock<std::mutex> lk(mutex_);
    finishedCondition_.wait(lk, [this] { return waitersReleased_; });
}

void NSOperation::willChangeValueForKey(NSString* key) {
    NSObject::willChangeValueForKey(key);
}

void NSOperation::didChangeValueForKey(NSString* key) {
    NSObject::didChangeValueForKey(key);
    if (isKey(key, keyIsFinished())) {
        if (isFinished()) handleFinished();
    } else if (isKey(key, keyIsReady()) || isKey(key, keyIsCancelled())) {
        Ref<NSOperationQueue> queue;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            queue = queue_.lock();
        }
        if (queue) queue->schedule();
    }
}

void NSOperation::handleFinished() {
    Ref<NSOperation> keep(this);  // the queue lets go of the operation below
    std::vector<Weak<NSOperation>> dependants;
    std::function<void()> completion;
    Ref<NSOperationQueue> queue;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (finishHandled_) return;
        finishHandled_ = true;
        dependants.swap(dependants_);
        completion.swap(completion_);
        queue = queue_.lock();
    }
    for (auto& w : dependants) {
        if (Ref<NSOperation> d = w.lock()) d->dependencyFinished();
    }
    std::exception_ptr failure;
    if (completion) {
        try {
            completion();
        } catch (...) {
            failure = std::current_exception();
        }
        completion = nullptr;
    }
    {
        std::lock_guard<std::mutex> guard(mutex_);
        waitersReleased_ = true;
        finishedCondition_.notify_all();
    }
    if (queue) queue->operationFinished(this);
    if (failure) std::rethrow_exception(failure);
}

void NSOperation::dependencyFinished() {
    // Nothing changes here; the announcement lets the queue look at this operation again.
    willChangeValueForKey(keyIsReady());
    didChangeValueForKey(keyIsReady());
}

Ref<NSString> NSOperation::description() {
    return NSString::stringWithFormat(NS("%@{isExecuting = %d, isFinished = %d, isCancelled = %d}"),
                                      NSObject::description(), isExecuting() ? 1 : 0,
                                      isFinished() ? 1 : 0, isCancelled() ? 1 : 0);
}

// ---- NSBlockOperation ---------------------------------------------------------------------------

Ref<NSBlockOperation> NSBlockOperation::blockOperationWithBlock(std::function<void()> block) {
    Ref<NSBlockOperation> op = make<NSBlockOperation>();
    op->addExecutionBlock(std::move(block));
    return op;
}

void NSBlockOperation::addExecutionBlock(std::function<void()> block) {
    if (!block)
        NSException::raise(NSInvalidArgumentException, NS("addExecutionBlock: block is nil"));
    if (isExecuting() || isFinished()) {
        NSException::raise(
            NSInvalidArgumentException,
            NS("*** -[NSBlockOperation addExecutionBlock:]: blocks cannot be added after the "
               "operation has started executing or finished"));
    }
    std::lock_guard<std::mutex> guard(blocksMutex_);
    blocks_.push_back(std::move(block));
}

std::vector<std::function<void()>> NSBlockOperation::executionBlocks() {
    std::lock_guard<std::mutex> guard(blocksMutex_);
    return blocks_;
}

void NSBlockOperation::main() {
    for (auto& block : executionBlocks())
        block();
}

// ---- NSInvocationOperation ----------------------------------------------------------------------

bool NSInvocationOperation::initWithTarget(NSObject* target, SEL selector, NSObject* arg) {
    if (!target || !selector || !target->respondsToSelector(selector)) return false;
    target_ = target;
    selector_ = selector;
    argument_ = arg;
    return true;
}

bool NSInvocationOperation::initWithInvocation(NSInvocation* invocation) {
    if (!invocation) return false;
    invocation_ = invocation;
    target_ = invocation->target();
    selector_ = invocation->selector();
    return true;
}

Ref<NSInvocation> NSInvocationOperation::invocation() {
    std::lock_guard<std::mutex> guard(resultMutex_);
    if (!invocation_ && target_) {
        auto inv = NSInvocation::invocationWithMethodSignature(
            target_->methodSignatureForSelector(selector_));
        if (inv) {
            inv->setTarget(target_);
            inv->setSelector(selector_);
            if (selector_->keywordCount > 0) inv->setArgument(Value::ofObject(argument_), 2);
            invocation_ = inv;
        }
    }
    return invocation_;
}

void NSInvocationOperation::main() {
    Ref<NSInvocation> inv;
    {
        std::lock_guard<std::mutex> guard(resultMutex_);
        inv = invocation_;
    }
    // A raised exception is kept for result(); the operation itself ends normally.
    try {
        Value value;
        if (inv) {
            inv->invoke();
            value = inv->returnValue();
        } else {
            Value arg = Value::ofObject(argument_);
            value = invokeMethod(target_, selector_,
                                 std::span<const Value>(&arg, selector_->keywordCount > 0 ? 1 : 0));
        }
        Ref<NSObject> boxed = value.isVoid() ? nullptr : value.boxed();
        std::lock_guard<std::mutex> guard(resultMutex_);
        ran_ = true;
        voidResult_ = value.isVoid();
        result_ = boxed;
    } catch (ExceptionRaised& e) {
        std::lock_guard<std::mutex> guard(resultMutex_);
        ran_ = true;
        exception_ = e.exception;
    }
}

Ref<NSObject> NSInvocationOperation::result() {
    if (isCancelled()) {
        NSException::raise(NSInvocationOperationCancelledException,
                           NS("*** -[NSInvocationOperation result]: operation was cancelled"));
    }
    Ref<NSException> failure;
    bool isVoid = false;
    Ref<NSObject> value;
    {
        std::lock_guard<std::mutex> guard(resultMutex_);
        failure = exception_;
        isVoid = ran_ && voidResult_;
        value = result_;
    }
    if (failure) failure->raise();
    if (isVoid) {
        NSException::raise(NSInvocationOperationVoidResultException,
                           NS("*** -[NSInvocationOperation result]: void method"));
    }
    return value;
}

// ---- NSOperationQueue ---------------------------------------------------------------------------

struct NSOperationQueue::State {
    struct Entry {
        Ref<NSOperation> op;
        bool started = false;
    };

    std::mutex mutex;
    std::condition_variable work;  // workers: something to start, or stopping
    std::condition_variable done;  // waiters: the queue ran empty
    std::vector<Entry> entries;    // not yet finished, in the order added
    struct Pending {
        Ref<NSOperation> op;
        bool concurrent = false;  // its start() only hands the work on and returns
    };

    std::deque<Pending> toStart;  // given a slot, waiting for a worker
    std::vector<std::thread> workers;
    unsigned idle = 0;
    // Workers bound to look at toStart before they wait again: told to wake and not yet awake,
    // made and not yet running, or inside a concurrent operation's start(). A concurrent
    // operation queued while one of them is on its way needs no wake-up of its own, so that a
    // burst of requests costs one thread wake-up, not one each.
    unsigned told = 0;
    unsigned starting = 0;
    unsigned sweeping = 0;
    NSInteger width = NSOperationQueueDefaultMaxConcurrentOperationCount;
    NSInteger running = 0;  // slots held
    bool suspended = false;
    bool stopping = false;
    Ref<NSString> name;
    Weak<NSOperationQueue> owner;
    bool hasOwner = false;
    bool onMainThread = false;    // the main queue starts its operations on the main run loop
    bool startWhenAdded = false;  // concurrent operations started by the thread adding them

    unsigned onTheirWay() const { return told + starting + sweeping; }
    // Has a worker take the front of toStart: an idle one not yet told, or a new one. Caller
    // locks; true when the caller must notify once the mutex is released.
    bool callWorker(const std::shared_ptr<State>& self) {
        if (idle > told) {
            ++told;
            return true;
        }
        ++starting;
        workers.emplace_back(&NSOperationQueue::runWorker, self);
        return false;
    }

    NSInteger effectiveWidth() const {
        if (width >= 0) return width;
        // The queue chooses: enough for work that blocks now and then, without flooding the
        // machine with threads.
        unsigned cores = std::thread::hardware_concurrency();
        return static_cast<NSInteger>(std::max(4u, 2 * cores));
    }
    bool canStart() const { return !suspended && !stopping && running < effectiveWidth(); }
};

std::shared_ptr<NSOperationQueue::State> NSOperationQueue::newState() {
    return std::make_shared<State>();
}

Ref<NSOperationQueue> NSOperationQueue::currentQueue() {
    return tCurrentQueue;
}

Ref<NSOperationQueue> NSOperationQueue::mainQueue() {
    static NSOperationQueue* main = [] {
        auto* q = new NSOperationQueue();
        q->makeImmortal();
        q->state_->onMainThread = true;
        q->state_->width = 1;  // one at a time, in order, as the main thread serves them
        q->state_->name = NS("NSOperationQueue Main Queue");
        q->state_->owner = q;
        q->state_->hasOwner = true;
        return q;
    }();
    return Ref<NSOperationQueue>(main);
}

void NSOperationQueue::addOperation(NSOperation* op) {
    if (!op) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[NSOperationQueue addOperation:]: operation is nil"));
    }
    auto refuse = [op](const char* why) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[NSOperationQueue addOperation:]: operation %@ %s"),
                           op->className(), why);
    };
    {
        std::lock_guard<std::mutex> guard(op->mutex_);
        if (op->enqueued_) refuse("is already enqueued on a queue");
    }
    // The state getters may take locks of the subclass: asked with no lock of ours held.
    if (op->isExecuting()) refuse("is executing and cannot be enqueued");
    if (op->isFinished()) refuse("is finished and cannot be enqueued");
    {
        std::lock_guard<std::mutex> guard(op->mutex_);
        if (op->enqueued_) refuse("is already enqueued on a queue");
        op->enqueued_ = true;
        op->queue_ = this;
    }
    {
        State& s = *state_;
        std::lock_guard<std::mutex> guard(s.mutex);
        if (!s.hasOwner) {
            s.owner = this;
            s.hasOwner = true;
        }
        s.entries.push_back(State::Entry{Ref<NSOperation>(op)});
    }
    schedule(true);
}

void NSOperationQueue::addOperationWithBlock(std::function<void()> block) {
    addOperation(NSBlockOperation::blockOperationWithBlock(std::move(block)));
}

void NSOperationQueue::addOperations(NSArray* ops, bool waitUntilFinished) {
    if (!ops) return;
    std::vector<Ref<NSOperation>> list;
    for (NSUInteger i = 0, n = ops->count(); i < n; ++i) {
        Ref<NSOperation> op = as<NSOperation>(ops->objectAtIndex(i));
        if (!op) {
            NSException::raise(NSInvalidArgumentException,
                               NS("*** -[NSOperationQueue addOperations:waitUntilFinished:]: "
                                  "object at index %u is not an operation"),
                               i);
        }
        list.push_back(op);
    }
    for (auto& op : list)
        addOperation(op);
    if (waitUntilFinished) {
        for (auto& op : list)
            op->waitUntilFinished();
    }
}

Ref<NSArray> NSOperationQueue::operations() {
    std::vector<Ref<NSOperation>> ops;
    {
        State& s = *state_;
        std::lock_guard<std::mutex> guard(s.mutex);
        for (auto& e : s.entries)
            ops.push_back(e.op);
    }
    return NSArray::arrayWithVector(ops);
}

NSUInteger NSOperationQueue::operationCount() {
    State& s = *state_;
    std::lock_guard<std::mutex> guard(s.mutex);
    return static_cast<NSUInteger>(s.entries.size());
}

NSInteger NSOperationQueue::maxConcurrentOperationCount() {
    State& s = *state_;
    std::lock_guard<std::mutex> guard(s.mutex);
    return s.width;
}

void NSOperationQueue::setMaxConcurrentOperationCount(NSInteger count) {
    if (count < NSOperationQueueDefaultMaxConcurrentOperationCount) {
        NSException::raise(NSInvalidArgumentException,
                           NS("*** -[NSOperationQueue setMaxConcurrentOperationCount:]: count "
                              "(%d) cannot be negative"),
                           count);
    }
    {
        State& s = *state_;
        std::lock_guard<std::mutex> guard(s.mutex);
        s.width = count;
    }
    schedule();
}

void NSOperationQueue::setSuspended(bool suspended) {
    {
        State& s = *state_;
        std::lock_guard<std::mutex> guard(s.mutex);
        s.suspended = suspended;
    }
    if (!suspended) schedule();
}

bool NSOperationQueue::isSuspended() {
    State& s = *state_;
    std::lock_guard<std::mutex> guard(s.mutex);
    return s.suspended;
}

void NSOperationQueue::cancelAllOperations() {
    std::vector<Ref<NSOperation>> ops;
    {
        State& s = *state_;
        std::lock_guard<std::mutex> guard(s.mutex);
        for (auto& e : s.entries)
            ops.push_back(e.op);
    }
    for (auto& op : ops)
        op->cancel();
}

void NSOperationQueue::waitUntilAllOperationsAreFinished() {
    NSRunLoop::flushDeferredWakeUps();
    State& s = *state_;
    std::unique_lock<std::mutex> lk(s.mutex);
    s.done.wait(lk, [&] { return s.entries.empty() || s.stopping; });
}

Ref<NSString> NSOperationQueue::name() {
    State& s = *state_;
    std::lock_guard<std::mutex> guard(s.mutex);
    if (!s.name) {
        s.name = NSString::stringWithFormat(NS("NSOperationQueue %p"), static_cast<void*>(this));
    }
    return s.name;
}

void NSOperationQueue::setName(NSString* name) {
    Ref<NSString> copy = name ? name->copy() : nullptr;
    State& s = *state_;
    std::lock_guard<std::mutex> guard(s.mutex);
    s.name.swap(copy);
}

void NSOperationQueue::setStartsConcurrentOperationsWhenAdded(bool inline_) {
    State& s = *state_;
    std::lock_guard<std::mutex> guard(s.mutex);
    s.startWhenAdded = inline_;
}

bool NSOperationQueue::startsConcurrentOperationsWhenAdded() {
    State& s = *state_;
    std::lock_guard<std::mutex> guard(s.mutex);
    return s.startWhenAdded;
}

void NSOperationQueue::dealloc() {
    State& s = *state_;
    std::vector<std::thread> workers;
    std::vector<State::Entry> entries;
    std::deque<State::Pending> toStart;
    {
        std::lock_guard<std::mutex> guard(s.mutex);
        s.stopping = true;
        workers.swap(s.workers);
        entries.swap(s.entries);
        toStart.swap(s.toStart);
        for (size_t i = 0; i < toStart.size(); ++i)
            thread_activity::takeOver();  // never to be started
        s.work.notify_all();
        s.done.notify_all();
    }
    // A worker holds the queue while it runs an operation, so the others are idle now. The last
    // release may come from a worker itself, which then winds down on its own.
    for (auto& t : workers) {
        if (t.get_id() == std::this_thread::get_id()) {
            t.detach();
        } else {
            t.join();
        }
    }
    NSObject::dealloc();
}

void NSOperationQueue::operationFinished(NSOperation* op) {
    Ref<NSOperation> dropped;  // released after the mutex: it may be the last reference
    {
        State& s = *state_;
        std::lock_guard<std::mutex> guard(s.mutex);
        auto it = std::find_if(s.entries.begin(), s.entries.end(),
                               [op](auto& e) { return e.op.get() == op; });
        if (it == s.entries.end()) return;
        if (it->started) --s.running;
        dropped = std::move(it->op);
        s.entries.erase(it);
        if (s.entries.empty()) s.done.notify_all();
    }
    schedule();
}

void NSOperationQueue::schedule(bool adding) {
    State& s = *state_;
    for (;;) {
        std::vector<Ref<NSOperation>> candidates;
        {
            std::lock_guard<std::mutex> guard(s.mutex);
            if (!s.canStart()) return;
            for (auto& e : s.entries) {
                if (!e.started) candidates.push_back(e.op);
            }
        }
        if (candidates.empty()) return;
        // Highest priority first; the stable sort keeps the order added among equals.
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](auto& a, auto& b) { return a->queuePriority() > b->queuePriority(); });
        // Readiness is asked with no lock held: subclasses answer under locks of their own.
        Ref<NSOperation> chosen;
        for (auto& op : candidates) {
            if (op->isReady()) {
                chosen = op;
                break;
            }
        }
        if (!chosen) return;
        const bool concurrent = chosen->isConcurrent();
        std::unique_lock<std::mutex> guard(s.mutex);
        if (!s.canStart()) return;
        auto it = std::find_if(s.entries.begin(), s.entries.end(),
                               [&](auto& e) { return e.op == chosen; });
        if (it == s.entries.end() || it->started) continue;  // another thread took it
        it->started = true;
        ++s.running;
        if (s.onMainThread) {
            std::shared_ptr<State> state = state_;
            NSRunLoop::mainRunLoop()->performBlock([state, chosen] {
                Ref<NSOperationQueue> queue;
                {
                    std::lock_guard<std::mutex> lk(state->mutex);
                    queue = state->owner.lock();
                }
                if (queue) runOne(chosen, queue);  // else the queue is going away
            });
            continue;
        }
        if (adding && concurrent && s.startWhenAdded && s.toStart.empty()) {
            // Its start() only hands the work on: done here, a worker's wake-up is saved.
            guard.unlock();
            runOne(chosen, this);
            continue;
        }
        s.toStart.push_back(State::Pending{chosen, concurrent});
        thread_activity::handOff();
        // A worker on its way takes it once its own start() has returned.
        if (concurrent && s.onTheirWay() > 0) continue;
        if (s.callWorker(state_)) {
            // Told with the mutex released, so that the worker does not wake only to wait for it.
            guard.unlock();
            s.work.notify_one();
        }
    }
}

void NSOperationQueue::runOne(NSOperation* op, NSOperationQueue* queue) {
    thread_activity::AtWork atWork;
    {
        NSAutoreleasePool pool;
        NSOperationQueue* outer = tCurrentQueue;
        tCurrentQueue = queue;
        try {
            op->start();
        } catch (...) {
            report("operation queue worker");
        }
        tCurrentQueue = outer;
    }
    // An operation that ended without announcing it still gives its slot back.
    try {
        if (op->isFinished()) op->handleFinished();
    } catch (...) {
        report("operation completion");
    }
}

void NSOperationQueue::runWorker(std::shared_ptr<State> state) {
    State& s = *state;
    std::unique_lock<std::mutex> lk(s.mutex);
    --s.starting;
    for (;;) {
        ++s.idle;
        while (!s.stopping && s.toStart.empty()) {
            s.work.wait(lk);
            // Each wake-up answers one call (a spurious one makes the queue call more, never
            // fewer, workers than it needs).
            if (s.told > 0) --s.told;
        }
        --s.idle;
        if (s.stopping) return;
        State::Pending next = std::move(s.toStart.front());
        s.toStart.pop_front();
        std::optional<thread_activity::AtWork> atWork;
        atWork.emplace();
        thread_activity::takeOver();
        bool notify = false;
        if (next.concurrent) {
            ++s.sweeping;
        } else if (!s.toStart.empty() && s.onTheirWay() == 0) {
            // This one may take long: what it was to take next needs another worker.
            notify = s.callWorker(state);
        }
        Ref<NSOperationQueue> queue = s.owner.lock();
        lk.unlock();
        if (notify) s.work.notify_one();
        if (queue) runOne(next.op, queue);  // else the queue is going away
        // Let go before the mutex is taken again: either may be the last reference.
        next.op = nullptr;
        queue = nullptr;
        atWork.reset();
        lk.lock();
        if (next.concurrent) --s.sweeping;
    }
}
