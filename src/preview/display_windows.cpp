#include <windows.h>

#include "preview/display.h"

// A session without a desktop (a service, or wine without an X server) cannot create
// even a hidden window; one that can also shows the preview's.
bool displayReachable() {
    HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr,
                                   nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!probe) return false;
    ::DestroyWindow(probe);
    return true;
}
