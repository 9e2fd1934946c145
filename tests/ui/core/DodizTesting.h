// The test bundle: a main bundle whose "Dodiz20.bundle" string table answers with texts that
// differ from their keys, so tests can tell a looked-up text from the key itself. It is put in
// place once, before the first test, because the framework keeps its bundle once loaded.
#pragma once

#include <string>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSString.h"

// The folder of the test's main bundle.
const std::string& dodizTestBundleFolder();

// A rectangle as "{{x, y}, {w, h}}", for readable comparisons.
inline std::string rectText(CGRect r) {
    return NSStringFromCGRect(r)->utf8();
}
