// How every facade call runs, shared by the facade's halves (the house-ad half lives with the
// vendor's ad client).
#pragma once

#include <functional>

class NSString;

namespace tally_api {

// A gated call: does nothing (but its debug line) while usage info is switched off.
bool gate(const char* disabledLine);
// A caught call: no exception of the client reaches the host.
void caught(const std::function<void()>& body);
void gatedCaught(const char* disabledLine, const std::function<void()>& body);
// A one-button alert with an empty title.
void alert(NSString* message);

}  // namespace tally_api
