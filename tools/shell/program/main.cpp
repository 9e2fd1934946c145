// bazaarnest: the app in the terminal. The bundle's main interface file makes the app's
// delegate; --delegate CatalogAppDelegate runs the framework catalog instead.
#include <iostream>

#include "Classes/Interfaces/AppInterfaces.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/ShellSession.h"

int main(int argc, char** argv) {
    NSAutoreleasePool pool;
    // Text is measured and drawn with the installed fonts, as on the phone; the fixed-advance
    // font is for the tests' exact layouts.
    UITextMeasurerInstall(UIFontTextMeasurer::shared());
    // Web pages and the scripts they name load over the URL connection, with the cookies the
    // request engine shares.
    UIWebView::setURLLoader(UIWebViewConnectionLoader());
    registerAppInterfaces();
    registerCatalogApp();
    return ShellMain(argc, argv, nullptr, std::cout, std::cin);
}
