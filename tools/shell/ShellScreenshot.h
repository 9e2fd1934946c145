// The shell's screenshot command: the screen as the app shows it, written as a PNG file.
#pragma once

#include <string>

// Draws the key window (and any window shown above it) at the screen's scale and writes it to
// `path` (relative paths from the current folder). Returns the line the shell prints: what was
// written, or why nothing was.
std::string ShellTakeScreenshot(const std::string& path);
