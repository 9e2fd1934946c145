#include "ads/ironvine/IVAsyncCommand.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSException.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/Runtime.h"
#include "ads/ironvine/IVDatabase.h"
#include "ads/ironvine/IVJSON.h"
#include "ads/ironvine/IVZip.h"

namespace {
constexpr size_t kPiece = 4096;
constexpr NSTimeInterval kWakeInterval = 0.3;
constexpr NSTimeInterval kSlice = 30.0;
}  // namespace

// ---- callback contexts ----------------------------------------------------------------------

Ref<IVCallbackContext> IVCallbackContext::contextWithCallbackTarget(NSObject* target, SEL selector,
                                                                    bool passResults) {
    auto c = make<IVTargSelCallbackContext>();
    c->callbackType_ = 0;
    c->passResults_ = passResults;
    c->target_ = target;
    c->selector_ = selector;
    return c;
}

Ref<IVCallbackContext> IVCallbackContext::contextWithCallbackInvocation(NSInvocation* invocation,
                                                                        bool passResults) {
    auto c = make<IVInvocationCallbackContext>();
    c->callbackType_ = 1;
    c->passResults_ = passResults;
    c->invocation_ = invocation;
    return c;
}

void IVTargSelCallbackContext::deliver(NSObject* result) {
    Ref<NSObject> target = target_, argument = passResults_ ? Ref<NSObject>(result) : nullptr;
    SEL sel = selector_;
    NSRunLoop::performOnMainThread(
        [target, argument, sel] {
            if (target && respondsTo(target.get(), sel))
                target->performSelector(sel, argument.get());
        },
        false);
}

void IVInvocationCallbackContext::deliver(NSObject* result) {
    Ref<NSInvocation> invocation = invocation_;
    if (!invocation) return;
    if (passResults_) {
        NSInteger last =
            static_cast<NSInteger>(invocation->methodSignature()->numberOfArguments()) - 1;
        if (last >= 2) invocation->setArgument(Value::ofObject(result), last);
    }
    NSRunLoop::performOnMainThread([invocation] { invocation->invoke(); }, false);
}

Ref<NSInvocation> IVInvocation(NSObject* target, const char* selector,
                               std::initializer_list<NSObject*> arguments) {
    SEL sel = Selector::named(selector);
    auto sig = NSMethodSignature::signatureWithObjCTypes(
        target->getClass()->instanceMethod(sel)->types.c_str());
    auto inv = NSInvocation::invocationWithMethodSignature(sig.get());
    inv->setTarget(target);
    inv->setSelector(sel);
    NSInteger index = 2;
    for (NSObject* argument : arguments)
        inv->setArgument(Value::ofObject(argument), index++);
    inv->retainArguments();
    return inv;
}

// ---- commands -------------------------------------------------------------------------------

void IVAsyncCommand::deliver(IVCallbackContext* context, NSObject* result) {
    if (context) context->deliver(result);
}

bool IVCallbackCommand::initWithCallbackTarget(NSObject* target, SEL selector, NSObject* argument) {
    if (!NSObject::init()) return false;
    type_ = IVCallbackCommandType;
    target_ = target;
    selector_ = selector;
    argument_ = argument;
    return true;
}

void IVCallbackCommand::execute() {
    if (target_ && respondsTo(target_.get(), selector_))
        target_->performSelectorOnMainThread(selector_, argument_.get(), false);
}

Ref<IVDBQuery> IVDBQuery::queryWithQuery(NSString* query, NSArray* bindings,
                                         IVCallbackContext* context) {
    auto q = make<IVDBQuery>();
    q->type_ = IVDBQueryType;
    q->query_ = query ? query->copy() : nullptr;
    q->bindings_ = bindings;
    q->context_ = context;
    return q;
}

Ref<IVDBQuery> IVDBQuery::queryWithQuery(NSString* query, IVCallbackContext* context) {
    return queryWithQuery(query, nullptr, context);
}

Ref<IVDBQuery> IVDBQuery::queryWithQuery(NSString* query) {
    return queryWithQuery(query, nullptr, nullptr);
}

void IVDBQuery::setDatabase(IVDatabase* database) {
    database_ = database;
}

void IVDBQuery::execute() {
    auto rows = database_ ? database_->sqlExecute(query_.get(), bindings_.get()) : NSArray::array();
    deliver(context_.get(), rows.get());
}

Ref<IVIOReadRequest> IVIOReadRequest::requestWithPathToRead(NSString* path,
                                                            IVCallbackContext* context) {
    auto r = make<IVIOReadRequest>();
    r->type_ = IVIOReadRequestType;
    r->path_ = path ? path->copy() : nullptr;
    r->context_ = context;
    return r;
}

void IVIOReadRequest::execute() {
    if (!path_ || !context_ || !NSFileManager::defaultManager()->fileExistsAtPath(path_.get()))
        return;
    FILE* f = std::fopen(path_->UTF8String(), "rb");
    if (!f) return;
    auto data = NSMutableData::data();
    char buf[kPiece];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        data->appendBytes(buf, n);
    std::fclose(f);
    deliver(context_.get(), data.get());
}

Ref<IVIOWriteRequest> IVIOWriteRequest::requestWithPath(NSString* path, NSData* data, bool append,
                                                        IVCallbackContext* context) {
    auto r = make<IVIOWriteRequest>();
    r->type_ = IVIOWriteRequestType;
    r->path_ = path ? path->copy() : nullptr;
    r->data_ = data;
    r->append_ = append;
    r->context_ = context;
    return r;
}

void IVIOWriteRequest::execute() {
    if (path_) {
        FILE* f = std::fopen(path_->UTF8String(), append_ ? "ab" : "wb");
        if (f) {
            auto bytes = data_ ? static_cast<const char*>(data_->bytes()) : nullptr;
            size_t left = data_ ? data_->length() : 0;
            while (left > 0) {
                size_t n = std::fwrite(bytes, 1, left < kPiece ? left : kPiece, f);
                if (n == 0) break;
                bytes += n;
                left -= n;
            }
            std::fclose(f);
        }
    }
    deliver(context_.get(), nullptr);
}

Ref<IVIOUnzipRequest> IVIOUnzipRequest::requestWithSourceZipFilePath(NSString* zipPath,
                                                                     NSString* folder,
                                                                     IVCallbackContext* context) {
    auto r = make<IVIOUnzipRequest>();
    r->type_ = IVIOUnzipRequestType;
    r->source_ = zipPath ? zipPath->copy() : nullptr;
    r->destination_ = folder ? folder->copy() : nullptr;
    r->context_ = context;
    return r;
}

void IVIOUnzipRequest::execute() {
    bool ok = source_ && destination_ && IVZip::unzipPackage(source_.get(), destination_.get());
    if (source_) NSFileManager::defaultManager()->removeItemAtPath(source_.get(), nullptr);
    deliver(context_.get(), NSNumber::numberWithBool(ok).get());
}

Ref<IVJSONCommand> IVJSONCommand::jsonCommandWithType(int32_t jsonType, NSObject* input,
                                                      IVCallbackContext* context) {
    auto c = make<IVJSONCommand>();
    c->type_ = IVJSONCommandType;
    c->jsonType_ = jsonType;
    c->input_ = input;
    c->context_ = context;
    return c;
}

void IVJSONCommand::execute() {
    if (jsonType_ == 0) {
        auto text = as<NSString>(input_);
        deliver(context_.get(), text ? IVJSON::objectWithString(text.get()).get() : nullptr);
    } else if (jsonType_ == 1) {
        deliver(context_.get(), IVJSON::stringWithObject(input_.get()).get());
    }
}

// ---- queues ---------------------------------------------------------------------------------

void IVAsyncCommandQueue::describeClass(RuntimeClass& c) {
    c.method("delayedFire", &IVAsyncCommandQueue::delayedFire);
}

bool IVAsyncCommandQueue::init() {
    return initWithInitialCapacity(4);
}

bool IVAsyncCommandQueue::initWithInitialCapacity(NSUInteger) {
    return NSObject::init();
}

void IVAsyncCommandQueue::addCommand(IVAsyncCommand* command) {
    addCommand(command, true);
}

void IVAsyncCommandQueue::addCommand(IVAsyncCommand* command, bool fireNow) {
    if (!command) return;
    {
        std::lock_guard<std::mutex> lock(commandQueueLock_);
        commandQueue_.emplace_back(command);
    }
    if (fireNow) fire();
}

Ref<IVAsyncCommand> IVAsyncCommandQueue::nextCommand() {
    std::lock_guard<std::mutex> lock(commandQueueLock_);
    if (commandQueue_.empty()) return nullptr;
    Ref<IVAsyncCommand> head = std::move(commandQueue_.front());
    commandQueue_.pop_front();
    return head;
}

NSUInteger IVAsyncCommandQueue::numPendingCommands() {
    std::lock_guard<std::mutex> lock(commandQueueLock_);
    return static_cast<NSUInteger>(commandQueue_.size());
}

void IVAsyncCommandQueue::flush() {
    std::deque<Ref<IVAsyncCommand>> dropped;
    {
        std::lock_guard<std::mutex> lock(commandQueueLock_);
        dropped.swap(commandQueue_);
    }
    while (!dropped.empty())
        dropped.pop_back();  // newest first
}

void IVAsyncCommandQueue::attachToRunLoop(NSRunLoop* runLoop) {
    if (!runLoopSource_)
        NSException::raise(
            NSInternalInconsistencyException,
            NS("IVAsyncCommandQueue subclass forgot to initialize the runLoopSource instance "
               "variable!"));
    if (runLoop_)
        NSException::raise(
            NSInternalInconsistencyException,
            NS("Attempt to attach IVAsyncCommandQueue to more than one run loop violates "
               "implementation assumptions of having  a one-to-one mapping of "
               "IVAsyncCommandQueue instances to run loops."));
    runLoop_ = runLoop;
    runLoop->addSource(runLoopSource_.get(), NSDefaultRunLoopMode);
}

void IVAsyncCommandQueue::delayedFire() {
    fireScheduled_ = false;
    fire();
}

void IVAsyncCommandQueue::fire() {
    if (!isAttached()) return;
    NSTimeInterval now = Clock::now();
    NSTimeInterval elapsed = now - lastFiredTime_.load();
    if (elapsed >= kWakeInterval || elapsed < 0) {
        fireNow();
    } else if (!fireScheduled_.exchange(true)) {
        // One put-off wake-up at a time is enough: it drains everything added meanwhile.
        performSelector(Selector::named("delayedFire"), nullptr, kWakeInterval - elapsed);
    }
}

bool IVAsyncCommandQueue::isAttached() {
    return runLoopSource_ && runLoop_ && runLoopSource_->isValid();
}

void IVAsyncCommandQueue::fireNow() {
    if (!isAttached()) return;
    runLoopSource_->signal();
    runLoop_->wakeUp();
    lastFiredTime_ = Clock::now();
}

void IVAsyncCommandQueue::invalidate() {
    if (runLoopSource_) runLoopSource_->invalidate();
    if (runLoop_) runLoop_->stop();
}

bool IVIORequestQueue::initWithInitialCapacity(NSUInteger capacity) {
    if (!IVAsyncCommandQueue::initWithInitialCapacity(capacity)) return false;
    runLoopSource_ = RunLoopSource::sourceWithHandler(nullptr);  // signalling only wakes
    return true;
}

bool IVDBQueryQueue::initWithInitialCapacity(NSUInteger capacity) {
    if (!IVAsyncCommandQueue::initWithInitialCapacity(capacity)) return false;
    runLoopSource_ = RunLoopSource::sourceWithHandler(nullptr);
    return true;
}

// Queued behind the work a drain waits for; tells the waiter when the worker reaches it.
class IVDrainMarker : public IVAsyncCommand {
    NS_OBJECT(IVDrainMarker, IVAsyncCommand)

public:
    void execute() override {
        std::lock_guard<std::mutex> lock(lock_);
        ran_ = true;
        ranChanged_.notify_all();
    }
    bool waitUntilRun(double seconds) {
        std::unique_lock<std::mutex> lock(lock_);
        return ranChanged_.wait_for(lock, std::chrono::duration<double>(seconds),
                                    [this] { return ran_; });
    }

private:
    std::mutex lock_;
    std::condition_variable ranChanged_;
    bool ran_ = false;
};

// ---- manager --------------------------------------------------------------------------------

bool IVAsyncCommandManager::initWithCommandQueue(IVAsyncCommandQueue* queue) {
    return initWithCommandQueue(queue, NS("Unnamed thread"));
}

bool IVAsyncCommandManager::initWithCommandQueue(IVAsyncCommandQueue* queue, NSString* threadName) {
    if (!NSObject::init() || !queue) return false;
    commandQueue_ = queue;
    Ref<IVAsyncCommandManager> self(this);
    Ref<NSString> name = threadName ? threadName->copy() : Ref<NSString>(NS("Unnamed thread"));
    commandExecThread_ = NSThread::detachNewThreadWithBlock(
        [self, name] { self->ivCommandExecThreadMain(name.get()); });
    // Commands sent from now on must find the worker's loop to wake.
    NSRunLoop::flushDeferredWakeUps();
    started_->lock();
    while (!listening_)
        started_->wait();
    started_->unlock();
    return true;
}

void IVAsyncCommandManager::ivCommandExecThreadMain(NSString* name) {
    NSAutoreleasePool pool;
    NSThread::currentThread()->setName(name);
    auto loop = NSRunLoop::currentRunLoop();
    commandQueue_->attachToRunLoop(loop.get());
    started_->lock();
    listening_ = true;
    started_->broadcast();
    started_->unlock();
    while (true) {
        auto result = loop->runInMode(NSDefaultRunLoopMode, kSlice, true);
        if (result == NSRunLoop::RunFinished || result == NSRunLoop::RunStopped) break;
        while (auto command = commandQueue_->nextCommand()) {
            NSAutoreleasePool each;
            command->execute();
        }
    }
}

void IVAsyncCommandManager::sendAsyncCommand(IVAsyncCommand* command) {
    commandQueue_->addCommand(command, true);
}

void IVAsyncCommandManager::invokeCallback(NSInvocation* invocation) {
    if (invocation) invocation->invoke();
}

void IVAsyncCommandManager::reset() {
    commandQueue_->flush();
}

bool IVAsyncCommandManager::drain(double limit) {
    // Nothing to wait for from a worker that is gone, nor from the worker itself.
    if (!commandQueue_->isAttached() || !commandExecThread_ || commandExecThread_->isFinished() ||
        commandExecThread_.get() == NSThread::currentThread().get())
        return false;
    auto marker = make<IVDrainMarker>();
    commandQueue_->addCommand(marker.get(), false);
    commandQueue_->fireNow();
    NSRunLoop::flushDeferredWakeUps();
    return marker->waitUntilRun(limit);
}

void IVAsyncCommandManager::shutdown() {
    commandQueue_->invalidate();
    commandQueue_->flush();
    if (commandExecThread_ && !commandExecThread_->isMain())
        commandExecThread_->waitUntilFinished();
}
