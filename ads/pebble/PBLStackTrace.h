// The calling thread's call stack as text, one line per frame: the nearest registered method
// (class and selector) or exported symbol of each return address, and the binary that holds
// it. For rare diagnostic use; any thread may call it.
#pragma once

#include <string>

#include "Foundation/NSObject.h"

class NSString;

struct StackFrameDescriptor {
    const void* address = nullptr;
    std::string symbol;     // the selector or symbol name; "???" when none was found
    std::string className;  // empty when the name came from a symbol
    bool isClassMethod = false;
    std::string fileName;  // the binary's path; empty when unknown
};

// The frames of the caller and those above it; the empty string when there are none.
Ref<NSString> stackTraceText();
// Fills one descriptor per address; 0 when an argument is missing.
unsigned stackFrameDescriptorsFromAddresses(void* const* addresses,
                                            StackFrameDescriptor* descriptors, unsigned count);
// One line per descriptor, numbered from 0, joined by line feeds.
Ref<NSString> stackTextFromFrameDescriptors(const StackFrameDescriptor* descriptors,
                                            unsigned count);
