// The catalog: a fixture application for the terminal front end that shows the pieces of the
// system the app itself does not use, for people to see and drive, and transcript tests to
// replay; the program runs it with --delegate CatalogAppDelegate. Besides
// a little of everything the shell must show and drive (a tab bar, a navigation stack over a
// sectioned list with swipe to delete, a detail screen with a text field, buttons, a switch, an
// alert, an action sheet, the composers and a hand-off, a settings screen with a segmented
// control, a picker and the photo picker, and a web page), its Catalog tab lists framework
// components: thumbnails from the stand-in site loaded through the request queue, the styled
// buttons, the widgets (image views, the loading label, page dots and a styled label), and the
// analytics vendor's house ads (a banner for a hook and the canvas), from the ad reply of the
// catalog's own analytics session, which runs with AppCircle on.
#pragma once

// The application delegate's class name.
inline constexpr const char* kCatalogDelegateClassName = "CatalogAppDelegate";

// Enters the catalog's delegate class in the runtime registry, so that UIApplicationMain finds
// it by name.
void registerCatalogApp();
