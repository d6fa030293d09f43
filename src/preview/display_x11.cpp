// SPDX-License-Identifier: Apache-2.0
#include <dlfcn.h>

#include "preview/display.h"

DisplayProbe openDisplay() {
    DisplayProbe probe;
    probe.x11 = ::dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
    if (!probe.x11) return probe;
    using OpenDisplay = void* (*)(const char*);
    using DefaultScreen = int (*)(void*);
    using ScreenSide = int (*)(void*, int);
    const auto open = reinterpret_cast<OpenDisplay>(::dlsym(probe.x11, "XOpenDisplay"));
    const auto screen =
        reinterpret_cast<DefaultScreen>(::dlsym(probe.x11, "XDefaultScreen"));
    const auto width = reinterpret_cast<ScreenSide>(::dlsym(probe.x11, "XDisplayWidth"));
    const auto height =
        reinterpret_cast<ScreenSide>(::dlsym(probe.x11, "XDisplayHeight"));
    const bool closable = ::dlsym(probe.x11, "XCloseDisplay") != nullptr;
    probe.connection = open && closable ? open(nullptr) : nullptr;
    probe.reachable = probe.connection != nullptr;
    if (probe.connection && screen && width && height) {
        const int number = screen(probe.connection);
        const cv::Size asked(width(probe.connection, number),
                             height(probe.connection, number));
        if (asked.width > 0 && asked.height > 0) probe.screen = asked;
    }
    return probe;
}

void closeDisplay(const DisplayProbe& probe) {
    using CloseDisplay = int (*)(void*);
    if (probe.connection)
        reinterpret_cast<CloseDisplay>(::dlsym(probe.x11, "XCloseDisplay"))(
            probe.connection);
    if (probe.x11) ::dlclose(probe.x11);
}
