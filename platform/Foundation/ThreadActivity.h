// Which of the platform's threads are at work. Tests on the manual clock ask whether the process
// has anything left to do before they move the clock on: while nothing is at work they need not
// wait in real time. A thread counts from the start of its work (an NSThread's body, an
// operation of a queue) to its end, except while it waits for work: in its run loop, asleep
// until a time, or on a condition.
#pragma once

#include <cstdint>
#include <limits>

#include "Foundation/NSObject.h"

namespace thread_activity {

constexpr NSTimeInterval kNever = std::numeric_limits<double>::infinity();

// Counts the calling thread as at work for its lifetime. Nests: only the outermost counts.
class AtWork {
public:
    AtWork();
    ~AtWork();
    AtWork(const AtWork&) = delete;
    AtWork& operator=(const AtWork&) = delete;

private:
    bool counted_;
};

// Marks a counted thread as waiting for the scope, until at most `until` on the Clock (kNever:
// until another thread wakes it). Does nothing on a thread that is not counted.
class Waiting {
public:
    explicit Waiting(NSTimeInterval until = kNever);
    ~Waiting();
    Waiting(const Waiting&) = delete;
    Waiting& operator=(const Waiting&) = delete;

private:
    bool counted_;
    NSTimeInterval until_;
};

// Work handed to a thread that has not begun it yet (a thread being started, an operation
// waiting for a worker) counts as at work from handOff() until the thread's takeOver(), which it
// calls once it is itself counted.
void handOff();
void takeOver();

// Threads at work now, with the work handed off and not yet taken over.
int atWork();
// Moves with every change that may give a thread work (a wake-up, a thread starting or stopping
// work): two equal readings around a look at the process mean nothing changed in between.
uint64_t epoch();
void touch();
// The earliest time a waiting thread asked to be woken at, or kNever.
NSTimeInterval earliestWake();

}  // namespace thread_activity
