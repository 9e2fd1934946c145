// bazaarnest: the app in the terminal. Until the app's own screens are linked, it runs the
// shell's stand-in application.
#include <iostream>

#include "UIKit/UIStringDrawing.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "tools/shell/ShellSession.h"
#include "tools/shell/demo/ShellDemoApp.h"

int main(int argc, char** argv) {
    NSAutoreleasePool pool;
    // Text is measured and drawn with the installed fonts, as on the phone; the fixed-advance
    // font is for the tests' exact layouts.
    UITextMeasurerInstall(UIFontTextMeasurer::shared());
    // Web pages and the scripts they name load over the URL connection, with the cookies the
    // request engine shares.
    UIWebView::setURLLoader(UIWebViewConnectionLoader());
    registerShellDemoApp();
    return ShellMain(argc, argv, kShellDemoDelegateClassName, std::cout, std::cin);
}
