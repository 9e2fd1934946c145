// HTML text to display text and back. Every result is an immutable string.
#pragma once

#include "Foundation/NSObject.h"

class NSString;

// Character references replaced by their characters.
Ref<NSString> stringByDecodingHTMLEntities(NSString* string);
// Plain ASCII with entities and decimal references.
Ref<NSString> stringByEncodingHTMLEntities(NSString* string);
// Tags and comments dropped, block-level closing tags and white-space runs turned into single
// blanks, then entities decoded.
Ref<NSString> stringByConvertingHTMLToPlainText(NSString* string);
// Each newline (a CR LF pair counting as one) becomes "<br />".
Ref<NSString> stringWithNewLinesAsBRs(NSString* string);
// Runs of white space become one blank; none at the ends.
Ref<NSString> stringByRemovingNewLinesAndWhitespace(NSString* string);
// Tags replaced by a blank (a, span, strong and em by nothing), then white space collapsed.
Ref<NSString> stringByStrippingTags(NSString* string);
