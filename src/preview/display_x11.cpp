#include <dlfcn.h>

#include "preview/display.h"

// Opens and closes a connection to the X display through a libX11 loaded only for
// this, so that the window library is never asked to start without one (it would end
// the process).
bool displayReachable() {
    void* x11 = ::dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
    if (!x11) return false;
    using OpenDisplay = void* (*)(const char*);
    using CloseDisplay = int (*)(void*);
    const auto open = reinterpret_cast<OpenDisplay>(::dlsym(x11, "XOpenDisplay"));
    const auto close = reinterpret_cast<CloseDisplay>(::dlsym(x11, "XCloseDisplay"));
    void* display = open && close ? open(nullptr) : nullptr;
    if (display) close(display);
    ::dlclose(x11);
    return display != nullptr;
}
