// The web view's fetch of http(s) pages and scripts over the platform's URL connection:
// redirects followed (one to another scheme, such as an application's, is offered to the web
// view's delegate as a navigation and ends the load when refused), cookies from the shared store, the web view's user agent unless the
// request names its own. A page the server answers with an error status is still shown, as a
// browser shows it; only a failed connection is a failed load.
#pragma once

#include "UIKit/UIWebView.h"

// The loader to hand to UIWebView::setURLLoader. It runs its connections on the main run
// loop in the common modes.
UIWebViewURLLoader UIWebViewConnectionLoader();
