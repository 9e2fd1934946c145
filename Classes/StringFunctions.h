// The app's two free string functions: decoding the character references of scraped names,
// and escaping a keyword for a URL query.
#pragma once

#include "Foundation/NSString.h"

// The text with the character references of a fixed table (the HTML 4 Latin-1 names, "&nbsp"
// without its semicolon and "&#183;") replaced; nil for nil. References outside the table stay.
Ref<NSString> decodeHtmlEntityString(NSString* text);

// The text percent-escaped as UTF-8 for a query value (reserved characters and space
// included), each escaped line feed followed by an escaped carriage return; nil for nil.
Ref<NSString> escapeQueryString(NSString* text);
