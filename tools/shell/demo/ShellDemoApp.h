// A stand-in application for the terminal front end, used until the app's own screens are
// linked in its place. It has a little of everything the shell must show and drive: a tab bar,
// a navigation stack over a sectioned list with swipe to delete, a detail screen with a text
// field, buttons, a switch, an alert, an action sheet, the composers and a hand-off, a settings
// screen with a segmented control, a picker and the photo picker, and a web page.
#pragma once

// The application delegate's class name.
inline constexpr const char* kShellDemoDelegateClassName = "ShellDemoAppDelegate";

// Enters the demo's delegate class in the runtime registry, so that UIApplicationMain finds it
// by name.
void registerShellDemoApp();
