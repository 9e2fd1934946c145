// Slow work of the ad engine as command objects for its two worker threads: the file worker
// ("IVIORequestManager thread": reads, writes, unzipping, JSON) and the database worker
// ("IVDBQueryManager thread": SQL). Each worker drains a locked first-in-first-out queue when it
// is woken (at most every 0.3 s) or at the end of a 30 s slice, both on the Clock; results go to
// the main loop through a callback context, never waiting for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <mutex>

#include "Foundation/NSLock.h"
#include "Foundation/NSObject.h"

class IVDatabase;
class NSArray;
class NSData;
class NSInvocation;
class NSRunLoop;
class NSString;
class NSThread;
class RunLoopSource;

// A prepared call of one of the target's registered operations, its leading arguments set (and
// retained); a result passed by a callback context fills the last one.
Ref<NSInvocation> IVInvocation(NSObject* target, const char* selector,
                               std::initializer_list<NSObject*> arguments);

class IVExecutableCommand {
public:
    virtual ~IVExecutableCommand() = default;
    virtual void execute() = 0;
};

// How a result reaches the main thread: a target and selector (type 0) or a prepared call whose
// last argument receives the result (type 1).
class IVCallbackContext : public NSObject {
    NS_OBJECT(IVCallbackContext, NSObject)
    static Ref<IVCallbackContext> contextWithCallbackTarget(NSObject* target, SEL selector,
                                                            bool passResults);
    static Ref<IVCallbackContext> contextWithCallbackInvocation(NSInvocation* invocation,
                                                                bool passResults);
    int32_t callbackType() { return callbackType_; }
    bool passResults() { return passResults_; }
    // Queues the delivery on the main loop without waiting.
    virtual void deliver(NSObject* result) = 0;

protected:
    int32_t callbackType_ = 0;
    bool passResults_ = false;
};

class IVTargSelCallbackContext : public IVCallbackContext {
    NS_OBJECT(IVTargSelCallbackContext, IVCallbackContext)
    Ref<NSObject> callbackTarget() { return target_; }
    SEL callbackSelector() { return selector_; }
    void deliver(NSObject* result) override;

private:
    friend class IVCallbackContext;
    Ref<NSObject> target_;
    SEL selector_ = nullptr;
};

class IVInvocationCallbackContext : public IVCallbackContext {
    NS_OBJECT(IVInvocationCallbackContext, IVCallbackContext)
    Ref<NSInvocation> callbackInvocation() { return invocation_; }
    void deliver(NSObject* result) override;

private:
    friend class IVCallbackContext;
    Ref<NSInvocation> invocation_;
};

enum IVAsyncCommandType : int32_t {
    IVCallbackCommandType = 0,
    IVDBQueryType = 1,
    IVIOReadRequestType = 2,
    IVIOWriteRequestType = 3,
    IVIOUnzipRequestType = 4,
    IVJSONCommandType = 5,
};

// Abstract: only the kinds below are made.
class IVAsyncCommand : public NSObject, public IVExecutableCommand {
    NS_OBJECT(IVAsyncCommand, NSObject)
    int32_t type() { return type_; }

protected:
    void deliver(IVCallbackContext* context, NSObject* result);
    int32_t type_ = 0;
};

class IVCallbackCommand : public IVAsyncCommand {
    NS_OBJECT(IVCallbackCommand, IVAsyncCommand)
    bool initWithCallbackTarget(NSObject* target, SEL selector, NSObject* argument);
    void execute() override;

private:
    Ref<NSObject> target_;
    SEL selector_ = nullptr;
    Ref<NSObject> argument_;
};

class IVDBQuery : public IVAsyncCommand {
    NS_OBJECT(IVDBQuery, IVAsyncCommand)
    static Ref<IVDBQuery> queryWithQuery(NSString* query, IVCallbackContext* context);
    static Ref<IVDBQuery> queryWithQuery(NSString* query);
    // A statement whose "?" parameters take the values (strings, numbers, data), so that the
    // values never become SQL text.
    static Ref<IVDBQuery> queryWithQuery(NSString* query, NSArray* bindings,
                                         IVCallbackContext* context);
    Ref<NSString> query() { return query_; }
    // The store it runs on, chosen by whoever queues it; without one the result is empty.
    void setDatabase(IVDatabase* database);
    void execute() override;

private:
    Ref<NSString> query_;
    Ref<NSArray> bindings_;
    Ref<IVCallbackContext> context_;
    Ref<IVDatabase> database_;
};

class IVIOReadRequest : public IVAsyncCommand {
    NS_OBJECT(IVIOReadRequest, IVAsyncCommand)
    static Ref<IVIOReadRequest> requestWithPathToRead(NSString* path, IVCallbackContext* context);
    void execute() override;

private:
    Ref<NSString> path_;
    Ref<IVCallbackContext> context_;
};

class IVIOWriteRequest : public IVAsyncCommand {
    NS_OBJECT(IVIOWriteRequest, IVAsyncCommand)
    static Ref<IVIOWriteRequest> requestWithPath(NSString* path, NSData* data, bool append,
                                                 IVCallbackContext* context);
    void execute() override;

private:
    Ref<NSString> path_;
    Ref<NSData> data_;
    bool append_ = false;
    Ref<IVCallbackContext> context_;
};

// Delivers the outcome as a boolean number when results are passed: false when the archive
// could not be read.
class IVIOUnzipRequest : public IVAsyncCommand {
    NS_OBJECT(IVIOUnzipRequest, IVAsyncCommand)
    static Ref<IVIOUnzipRequest> requestWithSourceZipFilePath(NSString* zipPath, NSString* folder,
                                                              IVCallbackContext* context);
    void execute() override;

private:
    Ref<NSString> source_;
    Ref<NSString> destination_;
    Ref<IVCallbackContext> context_;
};

class IVJSONCommand : public IVAsyncCommand {
    NS_OBJECT(IVJSONCommand, IVAsyncCommand)
    // Type 0 parses the input text, type 1 writes the input object; others do nothing.
    static Ref<IVJSONCommand> jsonCommandWithType(int32_t jsonType, NSObject* input,
                                                  IVCallbackContext* context);
    int32_t jsonCommandType() { return jsonType_; }
    void execute() override;

private:
    int32_t jsonType_ = 0;
    Ref<NSObject> input_;
    Ref<IVCallbackContext> context_;
};

class IVAsyncCommandQueue : public NSObject {
    NS_OBJECT(IVAsyncCommandQueue, NSObject)
    static void describeClass(RuntimeClass& c);
    bool init() override;
    bool initWithInitialCapacity(NSUInteger capacity);
    void addCommand(IVAsyncCommand* command);
    void addCommand(IVAsyncCommand* command, bool fire);
    Ref<IVAsyncCommand> nextCommand();
    NSUInteger numPendingCommands();
    void flush();
    // Raises when no source was made or when already attached to a loop.
    void attachToRunLoop(NSRunLoop* runLoop);
    // Wakes the worker at most once per 0.3 s; a later call inside that time is put off.
    void fire();
    // Wakes the worker at once, whatever the limit.
    void fireNow();
    // Attached to the worker's loop and not invalidated.
    bool isAttached();
    void invalidate();
    NSTimeInterval lastFiredTime() { return lastFiredTime_.load(); }

protected:
    Ref<RunLoopSource> runLoopSource_;

private:
    void delayedFire();

    Ref<NSRunLoop> runLoop_;
    std::deque<Ref<IVAsyncCommand>> commandQueue_;
    std::mutex commandQueueLock_;
    std::atomic<double> lastFiredTime_{0};
    std::atomic<bool> fireScheduled_{false};
};

class IVIORequestQueue : public IVAsyncCommandQueue {
    NS_OBJECT(IVIORequestQueue, IVAsyncCommandQueue)
    bool initWithInitialCapacity(NSUInteger capacity);
    bool init() override { return initWithInitialCapacity(4); }
};

class IVDBQueryQueue : public IVAsyncCommandQueue {
    NS_OBJECT(IVDBQueryQueue, IVAsyncCommandQueue)
    bool initWithInitialCapacity(NSUInteger capacity);
    bool init() override { return initWithInitialCapacity(4); }
};

class IVAsyncCommandManager : public NSObject {
    NS_OBJECT(IVAsyncCommandManager, NSObject)
    // Starts the worker thread and returns once it listens.
    bool initWithCommandQueue(IVAsyncCommandQueue* queue, NSString* threadName);
    bool initWithCommandQueue(IVAsyncCommandQueue* queue);
    void sendAsyncCommand(IVAsyncCommand* command);
    void invokeCallback(NSInvocation* invocation);
    void reset();
    // Discards what is pending and waits for the worker to leave its loop.
    void shutdown();
    // Has the worker run everything queued so far before returning (a quit must not leave the
    // work half done): the worker is woken at once and the caller waits, at most `limit` seconds
    // of real time, for a marker queued behind it all. False when that did not happen.
    bool drain(double limit);
    Ref<IVAsyncCommandQueue> commandQueue() { return commandQueue_; }
    Ref<NSThread> commandExecThread() { return commandExecThread_; }

private:
    void ivCommandExecThreadMain(NSString* name);

    Ref<NSThread> commandExecThread_;
    Ref<IVAsyncCommandQueue> commandQueue_;
    Ref<NSCondition> started_ = make<NSCondition>();
    bool listening_ = false;  // under started_
};
