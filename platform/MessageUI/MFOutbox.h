// The composers' outbox: Library/Outbox under the sandbox's home, one file per sent item.
#pragma once

#include <string>
#include <vector>

#include "Foundation/NSObject.h"

class NSArray;
class NSString;
class UIViewController;

namespace mf_detail {
// The folder, made on first use.
Ref<NSString> outboxPath();
// Writes the text as the next free "<prefix>-NNNN.<extension>" of the outbox; the path written,
// nil when the file cannot be written.
Ref<NSString> writeToOutbox(NSString* text, const char* prefix, const char* extension);
// A header value on one line: line breaks become spaces, so no value can start a header of
// its own.
std::string headerValue(NSString* value);
// The recipients joined by ", " (each on one line).
std::string recipientList(NSArray* recipients);
// The clock's time as an RFC 2822 date in UTC.
std::string mailDate();
// The composer's form: labels for the fields, Cancel and Send in its navigation item; the
// actions go to `composer` ("cancelPressed:" and "sendPressed:").
Ref<UIViewController> makeForm(NSObject* composer);
// An HTML body as a person reads it: tags gone, line breaks and paragraphs as new lines, the
// common entities decoded.
std::string readableHTML(const std::string& html);
// Replaces the form's header lines and its body (nil: none).
void setFormLines(UIViewController* form, const std::vector<std::string>& lines, NSString* body);
}  // namespace mf_detail
