// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <opencv2/core.hpp>

// The display the preview's windows go to, held from openDisplay to closeDisplay.
struct DisplayProbe {
    bool reachable = false;      // windows can be opened
    cv::Size screen{1024, 768};  // the default screen's size, if the system tells it
    void* x11 = nullptr;         // X11: libX11, loaded for the probe alone
    void* connection = nullptr;  // X11: the probe's connection
};

// Finds out whether windows can be opened: on X11 a connection to the display named by
// the environment, made through a libX11 loaded only for this, so that the window
// library is never asked to start without a display (it would end the process); on
// Windows whether the session can create a window. Never throws.
DisplayProbe openDisplay();

// Ends what openDisplay holds. X11 keeps its connection open until the preview is
// over: an X server whose last client leaves resets itself and refuses new clients
// meanwhile, the window library's among them.
void closeDisplay(const DisplayProbe& probe);
