// Units of work and the queues that run them on worker threads. An operation announces its state
// changes through willChangeValueForKey / didChangeValueForKey with the keys "isExecuting",
// "isFinished", "isCancelled" and "isReady"; its queue and the operations that depend on it react
// to those announcements. A concurrent operation's start() returns before its work is done and
// the operation announces "isFinished" itself later, from whatever thread ends the work; since
// its start() only hands the work on, a queue's worker that is awake starts the next concurrent
// operation too, rather than another worker being woken for it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "Foundation/NSObject.h"

class NSArray;
class NSException;
class NSInvocation;
class NSOperationQueue;
class NSString;

enum NSOperationQueuePriority : NSInteger {
    NSOperationQueuePriorityVeryLow = -8,
    NSOperationQueuePriorityLow = -4,
    NSOperationQueuePriorityNormal = 0,
    NSOperationQueuePriorityHigh = 4,
    NSOperationQueuePriorityVeryHigh = 8,
};

inline constexpr NSInteger NSOperationQueueDefaultMaxConcurrentOperationCount = -1;

extern NSString* const NSInvocationOperationVoidResultException;
extern NSString* const NSInvocationOperationCancelledException;

class NSOperation : public NSObject {
    NS_OBJECT(NSOperation, NSObject)
    static void describeClass(RuntimeClass& c);

    // Runs the operation on the calling thread: unless it was cancelled, announces "isExecuting",
    // runs main(), then announces "isFinished". A cancelled operation only announces that it
    // finished. Raises NSInvalidArgumentException for an operation that is executing, finished,
    // or not ready.
    virtual void start();
    // The work; does nothing here.
    virtual void main() {}
    // Marks the operation cancelled; an operation that has not started will not run main(), and
    // stops waiting for its dependencies.
    virtual void cancel();

    virtual bool isCancelled();
    virtual bool isExecuting();
    virtual bool isFinished();
    // True when every dependency has finished (or the operation was cancelled).
    virtual bool isReady();
    virtual bool isConcurrent() { return false; }

    // Dependencies are retained until removed.
    virtual void addDependency(NSOperation* op);
    virtual void removeDependency(NSOperation* op);
    Ref<NSArray> dependencies();

    // Any value is brought to the nearest of the five levels.
    NSOperationQueuePriority queuePriority();
    virtual void setQueuePriority(NSInteger priority);

    // Runs once, after the operation finished, on the thread that finished it; then it is
    // dropped, so that a block capturing the operation does not keep it alive.
    std::function<void()> completionBlock();
    void setCompletionBlock(std::function<void()> block);

    // Blocks the calling thread until the operation has announced that it finished.
    void waitUntilFinished();

    // State-change announcements. Subclasses that keep their own state call them around each
    // change and call up from overrides. The base reacts to "isFinished" becoming true (completion
    // block, dependants, waiters, the owning queue) and to "isReady" and "isCancelled" (the queue
    // looks for work again); key-value observers hear of every announcement first.
    void willChangeValueForKey(NSString* key) override;
    void didChangeValueForKey(NSString* key) override;

    Ref<NSString> description() override;

private:
    friend class NSOperationQueue;
    // Everything that follows the end of the operation; runs once whoever announces it.
    void handleFinished();
    void dependencyFinished();
    void announce(NSString* key, const std::function<void()>& change);

    std::mutex mutex_;
    std::condition_variable finishedCondition_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> finishHandled_{false};
    bool waitersReleased_ = false;  // guarded by mutex_
    std::atomic<NSInteger> priority_{NSOperationQueuePriorityNormal};
    std::vector<Ref<NSOperation>> dependencies_;  // guarded by mutex_
    std::vector<Weak<NSOperation>> dependants_;   // guarded by mutex_
    std::function<void()> completion_;            // guarded by mutex_
    bool enqueued_ = false;                       // guarded by mutex_
    Weak<NSOperationQueue> queue_;                // set once when enqueued
};

// Runs one or more blocks, in the order added.
class NSBlockOperation : public NSOperation {
    NS_OBJECT(NSBlockOperation, NSOperation)
    static Ref<NSBlockOperation> blockOperationWithBlock(std::function<void()> block);
    // Raises NSInvalidArgumentException once the operation is executing or finished.
    void addExecutionBlock(std::function<void()> block);
    std::vector<std::function<void()>> executionBlocks();
    void main() override;

private:
    std::mutex blocksMutex_;
    std::vector<std::function<void()>> blocks_;
};

// Sends a selector (with no argument or one object) to a target through the runtime.
class NSInvocationOperation : public NSOperation {
    NS_OBJECT(NSInvocationOperation, NSOperation)
    // Fails (nil) when the target does not respond to the selector. Target and argument are
    // retained.
    bool initWithTarget(NSObject* target, SEL selector, NSObject* arg);
    bool initWithInvocation(NSInvocation* invocation);
    Ref<NSInvocation> invocation();
    // The method's result, boxed for scalars. Raises NSInvocationOperationCancelledException when
    // cancelled, NSInvocationOperationVoidResultException for a void method, and re-raises an
    // exception the method raised.
    Ref<NSObject> result();
    void main() override;

private:
    Ref<NSObject> target_;
    SEL selector_ = nullptr;
    Ref<NSObject> argument_;
    Ref<NSInvocation> invocation_;
    std::mutex resultMutex_;
    bool ran_ = false;
    bool voidResult_ = false;
    Ref<NSObject> result_;
    Ref<NSException> exception_;
};

class NSOperationQueue : public NSObject {
    NS_OBJECT(NSOperationQueue, NSObject)

    // The queue whose worker thread is running the current operation's start(); nil elsewhere.
    static Ref<NSOperationQueue> currentQueue();
    // The queue that runs operations on the main thread.
    static Ref<NSOperationQueue> mainQueue();

    // Takes the operation (retained until it finished). Raises NSInvalidArgumentException for
    // nil and for an operation that is already in a queue, executing or finished.
    virtual void addOperation(NSOperation* op);
    void addOperationWithBlock(std::function<void()> block);
    virtual void addOperations(NSArray* ops, bool waitUntilFinished);
    // The operations not yet finished, in the order added.
    Ref<NSArray> operations();
    NSUInteger operationCount();

    // How many operations may hold a slot at once (from start until they finish);
    // NSOperationQueueDefaultMaxConcurrentOperationCount lets the queue choose.
    NSInteger maxConcurrentOperationCount();
    virtual void setMaxConcurrentOperationCount(NSInteger count);
    // A suspended queue starts nothing new; operations already started go on.
    virtual void setSuspended(bool suspended);
    bool isSuspended();
    virtual void cancelAllOperations();
    void waitUntilAllOperationsAreFinished();

    Ref<NSString> name();
    void setName(NSString* name);

    // Lets the thread that adds a concurrent operation call its start() itself when a slot is
    // free and nothing waits ahead of it, instead of waking a worker only for start() to hand
    // the work on. For queues whose concurrent operations' start() returns at once (the
    // contract of a concurrent operation); off by default. Operations that get their slot later
    // (a slot freed, the queue resumed, a dependency met) are started by workers as always.
    void setStartsConcurrentOperationsWhenAdded(bool inline_);
    bool startsConcurrentOperationsWhenAdded();

    void dealloc() override;

private:
    friend class NSOperation;
    struct State;
    static std::shared_ptr<State> newState();
    static void runWorker(std::shared_ptr<State> state);
    // Runs one operation's start() for the queue, on the calling thread.
    static void runOne(NSOperation* op, NSOperationQueue* queue);
    void operationFinished(NSOperation* op);
    // Starts as many ready operations as there are free slots; `adding` when called for an
    // operation just added, on the adding thread.
    void schedule(bool adding = false);

    std::shared_ptr<State> state_ = newState();
};
