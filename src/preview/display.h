#pragma once

// True when windows can be opened: on X11 a connection to the display named by the
// environment can be made, on Windows the session can create a window. Opens nothing
// that stays open.
bool displayReachable();
