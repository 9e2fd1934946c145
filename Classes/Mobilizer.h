// Listing bodies are free HTML written by the posters (fixed-width tables, fonts, scripts,
// styles) that do not fit a phone screen. The cleaner reduces a body to text with line breaks,
// keeping only images, links and bold text.
#pragma once

#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"

class Mobilizer : public NSObject {
    NS_OBJECT(Mobilizer, NSObject)

    // The cleaned body: text, spaces, "<br />" breaks (at most two in a row) and the kept tags
    // with their attributes. Nil for nil.
    static Ref<NSString> mobilizer(NSString* html);
};

// The body with every script and style element removed, tags and content, each leaving a
// space: a page's code is never the poster's text. An element left open runs to the end, as
// a browser reads it. Nil for nil.
Ref<NSString> withoutScriptsAndStyles(NSString* html);
