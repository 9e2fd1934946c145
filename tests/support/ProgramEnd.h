// What a test program does once its tests are over, before the process exits and the leak check
// at exit runs: what its tests shared and left running (a server and its connection threads) is
// stopped, its threads joined.
#pragma once

#include <functional>

namespace testsupport {
// Runs `step` at the program's end, after the tests, the last registered first.
void atProgramEnd(std::function<void()> step);
}  // namespace testsupport
