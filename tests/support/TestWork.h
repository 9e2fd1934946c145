// The wait for what a test left running, and the drop of the process-wide instances after it: the
// test main's after every test, and a test's between sessions of its own (the gesture sweep's).
#pragma once

#include <string>

namespace testsupport {

// Turns the main run loop, for the callbacks the work waits for, until no platform thread is at
// work and no request is out, or 5 s of real time have passed: then a note on standard error
// says "note: <who> left N thread(s) at work and M request(s) out", and it returns false.
bool letWorkFinish(const std::string& who);

// Drops every process-wide instance, then delivers the ends the drop brought back to the main
// loop (the requests it cancelled), waiting for them as letWorkFinish does, so that none of them
// lands in what comes next.
void dropProcessWideInstances(const std::string& who);

}  // namespace testsupport
