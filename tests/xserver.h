#pragma once

#include <memory>
#include <opencv2/core.hpp>
#include <string>

#include "support.h"

struct _XDisplay;

namespace test {

// A virtual X server (Xvfb) on a free display, with a connection of the test's own.
// Throws when it is not up within 20 s; the server ends with the test.
struct XServer {
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    std::unique_ptr<Child> server;
    std::string name;  // ":N", the value for DISPLAY
    _XDisplay* display = nullptr;
};

using WindowId = unsigned long;

// Closes the test's own connection, leaving the server to the programs under test,
// and opens it again.
void disconnect(XServer& x);
void reconnect(XServer& x);

// The top-level window titled exactly title that is shown on screen, or 0.
WindowId findWindow(XServer& x, const std::string& title);

// findWindow, retried until the window shows up or timeoutSeconds pass (then 0).
WindowId waitForWindow(XServer& x, const std::string& title, int timeoutSeconds = 20);

// What the window shows, as an 8-bit BGR picture; empty when it cannot be read. Parts
// hidden by other windows are undefined.
cv::Mat windowPicture(XServer& x, WindowId window);

// The screen's size, and where the window is on it (its size and its top left corner
// in screen coordinates).
cv::Size screenSize(XServer& x);
cv::Rect windowPlace(XServer& x, WindowId window);

// True when the window cannot be resized: its size hints fix minimum = maximum.
bool hasFixedSize(XServer& x, WindowId window);

// Asks the window to close, as a window manager does for its close button.
void closeWindow(XServer& x, WindowId window);

// Gives the window the keyboard focus, as a click on it does, and types one key
// through the server's keyboard (xdotool).
void pressKey(XServer& x, WindowId window);

}  // namespace test
