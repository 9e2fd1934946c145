// Helpers for the platform's string scanner: single units, backtracking and comments. They read
// the scanned string directly and skip nothing unless a note says otherwise.
#pragma once

#include "Foundation/NSObject.h"

class NSCharacterSet;
class NSScanner;
class NSString;

// The string from the scan location to its end.
Ref<NSString> remainingString(NSScanner* scanner);
// The unit at the scan location, or 0 at the end.
char16_t currentCharacter(NSScanner* scanner);
// The unit at the scan location, advancing over it; 0 (not advancing) at the end.
char16_t scanCharacter(NSScanner* scanner);
// YES and advances when the unit at the scan location is c.
bool scanCharacter(NSScanner* scanner, char16_t c);
// Moves the location back by count; raises NSGenericException "Backtracked too far." (leaving
// it unchanged) when count exceeds it.
void backtrack(NSScanner* scanner, NSUInteger count);
// "/* ... */" (the scanner's skip set applies before the opening marker): NO when no comment
// starts here; raises NSGenericException for a comment that is not closed or opens another.
bool scanCStyleComment(NSScanner* scanner, Ref<NSString>* into);
// "// ..." up to a line break, taking the run of line breaks after it.
bool scanCPlusPlusStyleComment(NSScanner* scanner, Ref<NSString>* into);

// U+000A, U+000C, U+000D, U+0085, U+2028 and U+2029 (shared).
Ref<NSCharacterSet> linebreaksCharacterSet();
