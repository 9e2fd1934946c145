// Descriptions of collections in the platform's old property-list style: arrays as "( ... )",
// dictionaries as "{ key = value; }", sets as "{( ... )}", one element per line, nested levels
// indented by four spaces. Strings are printed bare when they are plain words, quoted and
// escaped otherwise; other objects print their description.
#pragma once

#include <string>

#include "Foundation/NSObject.h"

// The description of obj as it appears at the given nesting level ("(null)" for nil).
Ref<NSString> propertyListDescription(NSObject* obj, NSUInteger indent = 0);

namespace collection_detail {
// Appends the description in UTF-16 (the form the collections build their text in).
void appendPropertyListDescription(std::u16string& out, NSObject* obj, NSUInteger indent);
// Appends a string as a property-list token: bare when it is non-empty and only ASCII letters
// and digits, otherwise quoted with \" \\ \n \t \r escaped and other characters outside
// printable ASCII written as \Uxxxx (one per UTF-16 unit).
void appendPropertyListString(std::u16string& out, std::u16string_view s);
}  // namespace collection_detail
