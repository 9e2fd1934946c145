// The exploring build's fuzz targets run under libFuzzer's own main: their sandbox comes from
// libFuzzer's start-up hook, so that no input explored can reach the person's home either.
#include "support/Sandbox.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static testsandbox::Sandbox sandbox;
    return 0;
}
