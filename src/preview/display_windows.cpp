// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include "preview/display.h"

// A session without a desktop (a service's, or wine's without an X server) cannot
// create even a hidden window; one that can also shows the preview's. The screen is
// its work area, the part that task bars leave free.
DisplayProbe openDisplay() {
    DisplayProbe probe;
    HWND window = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr,
                                    nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!window) return probe;
    ::DestroyWindow(window);
    probe.reachable = true;
    RECT area{};
    if (::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0) && area.right > area.left &&
        area.bottom > area.top)
        probe.screen = {area.right - area.left, area.bottom - area.top};
    return probe;
}

void closeDisplay(const DisplayProbe&) {}
