// Small text helpers of the page engine: case, white space, escapes and character sets.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace webcontent {

inline bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
std::string lowercased(std::string s);
std::string trimmed(std::string_view s);
// Runs of white space become one space; none at either end.
std::string collapsedWhitespace(std::string_view s);
// "%41" becomes "A"; malformed escapes stay as written.
std::string percentDecoded(std::string_view s);
// nullopt for text that is not base64 (white space is skipped).
std::optional<std::string> base64Decoded(std::string_view s);
bool isValidUTF8(std::string_view s);
std::string latin1ToUTF8(std::string_view s);
// Text for an HTML document: &, <, > and " escaped.
std::string escapedHTML(std::string_view s);
// The same appended to out.
void appendEscapedHTML(std::string& out, std::string_view s);
// Bytes in the named charset ("" or unknown: UTF-8 when valid, else Latin-1) as UTF-8.
std::string decodedText(std::string_view bytes, const std::string& charset);
// The script engine keeps characters outside the basic plane as two surrogate halves, each
// written like a character of its own; this joins them into proper UTF-8 (and replaces a lone
// half), so the text is valid wherever it goes next.
std::string joinedSurrogates(std::string_view s);

}  // namespace webcontent
