#pragma once
// The keyboard's lock keys as the window system keeps them, for the status bar's CAP, NUM and SCRL panes.
#include <optional>

struct KeyLocks {
    bool caps = false;
    bool num = false;
    bool scroll = false;

    bool operator==(const KeyLocks&) const = default;
};

// On Qt's xcb platform: the X server's "Caps Lock", "Num Lock" and "Scroll Lock" indicators, read through
// the X keyboard extension (one request to the server). An indicator the keyboard map does not define
// reads as off; so does Scroll Lock where the map binds it to no modifier. Other platforms (offscreen,
// Wayland) tell the program nothing about the locks: nullopt. GUI thread only.
std::optional<KeyLocks> ReadKeyLocks();
