// The script side of a page: the browser model's source, run once in every page's engine.
#pragma once

namespace webcontent {

// A function expression taking the native tree operations and the global object; it answers
// the hooks the native side calls (click, fire, load, ...).
extern const char* const kPreludeSource;

}  // namespace webcontent
