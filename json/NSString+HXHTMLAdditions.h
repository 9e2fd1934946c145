// Character references: escaping by sorted entity tables and unescaping of named, decimal and
// hexadecimal references.
#pragma once

#include <cstddef>

#include "Foundation/NSObject.h"

class NSString;

// One entity: its text with the ampersand and semicolon ("&amp;") and its UTF-16 unit.
struct HXHTMLEscapeMap {
    const char* escapeSequence;
    char16_t uchar;
};

// Sorted by unit, ascending, no unit twice. The full table holds every character entity of
// HTML 4.01 and "&apos;" (253); the short one the markup characters and the entities of
// punctuation that readers often lack fonts or encodings for (33).
extern const HXHTMLEscapeMap HXFullHTMLEscapeTable[253];
extern const HXHTMLEscapeMap HXShortHTMLEscapeTable[33];

// The escaping engine: every unit found in the table becomes its entity; with escapingUnicode,
// any other character from 128 up becomes a decimal reference. `size` is the table's size in
// bytes (sizeof the array). An empty string is returned as it is.
Ref<NSString> hx_stringByEscapingHTMLUsingTable(NSString* string, const HXHTMLEscapeMap* table,
                                                size_t size, bool escapingUnicode);
// The short table, other characters kept.
Ref<NSString> hx_stringByEscapingForHTML(NSString* string);
// The full table and decimal references: plain ASCII out.
Ref<NSString> hx_stringByEscapingForAsciiHTML(NSString* string);
// Named (full table), decimal and hexadecimal references of 1 to 65534 replaced by their
// character, each once; the string itself when it has no ampersand.
Ref<NSString> hx_stringByUnescapingFromHTML(NSString* string);
