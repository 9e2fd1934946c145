// bazaarnest: the app in the terminal. Until the app's own screens are linked, it runs the
// shell's stand-in application.
#include <iostream>

#include "tools/shell/ShellSession.h"
#include "tools/shell/demo/ShellDemoApp.h"

int main(int argc, char** argv) {
    NSAutoreleasePool pool;
    registerShellDemoApp();
    return ShellMain(argc, argv, kShellDemoDelegateClassName, std::cout, std::cin);
}
