// The system log call: one line on standard error, stamped the platform's way:
//     2012-03-01 12:00:00.000 ProcessName[pid:tid] message
// (local time from the Clock with milliseconds, the process name, the process id and the OS
// thread id). Each line is written whole in one write, so lines of concurrent threads never mix.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "Foundation/NSString.h"

// Logs a message as it stands (a newline is added when it has none).
void NSLogMessage(NSString* message);
// NSLogv: the format filled from an argument list.
void NSLogv(NSString* format, const FormatArg* args, size_t count);

template <class... A>
void NSLog(NSString* format, const A&... args) {
    const FormatArg list[] = {FormatArg(args)..., FormatArg(nullptr)};
    NSLogv(format, list, sizeof...(A));
}

// The finished line, stamp and newline included.
using NSLogSink = std::function<void(const std::string& line)>;
// Test hook: sends every line to `sink` instead of standard error (an empty sink restores
// standard error) and returns the previous one. The sink runs under the log's lock, so it sees
// one line at a time; a line it logs itself goes to standard error.
NSLogSink NSLogSetSink(NSLogSink sink);

// The stamp that starts every line, for the given time and thread id (without the message).
std::string NSLogLinePrefix(NSTimeInterval now, long threadID);
