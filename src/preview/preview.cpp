#include "preview/preview.h"

#include <dlfcn.h>

#include <chrono>
#include <opencv2/highgui.hpp>
#include <thread>

#include "preview/layout.h"

namespace {

const char* const OUTPUT_WINDOW = "output";
const cv::Size DEFAULT_SCREEN(1024, 768);

// A connection to the X display named by the environment, through a libX11 loaded only
// for this, so that the window library is never asked to start without a display (it
// would end the process). It stays open until the preview is over: an X server whose
// last client leaves resets itself and refuses new clients meanwhile, the window
// library's among them.
struct DisplayProbe {
    void* x11 = nullptr;
    void* display = nullptr;  // null when no display can be reached
    int (*close)(void*) = nullptr;
    cv::Size screen = DEFAULT_SCREEN;  // the default screen's size, if X tells it
};

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
    probe.close =
        reinterpret_cast<decltype(probe.close)>(::dlsym(probe.x11, "XCloseDisplay"));
    probe.display = open && probe.close ? open(nullptr) : nullptr;
    if (probe.display && screen && width && height) {
        const int number = screen(probe.display);
        const cv::Size asked(width(probe.display, number), height(probe.display, number));
        if (asked.width > 0 && asked.height > 0) probe.screen = asked;
    }
    return probe;
}

void closeDisplay(const DisplayProbe& probe) {
    if (probe.display) probe.close(probe.display);
    if (probe.x11) ::dlclose(probe.x11);
}

// Qt hides a window the user closed (visible 0); GTK forgets it, and then reports no
// autosize state (-1), while it never reports visibility (always -1).
bool windowClosed(const std::string& name) {
    return cv::getWindowProperty(name, cv::WND_PROP_VISIBLE) == 0 ||
           cv::getWindowProperty(name, cv::WND_PROP_AUTOSIZE) < 0;
}

bool keyPressed() { return cv::waitKey(1) != -1; }

// Every pixel of frame as a zoom x zoom block of its value.
cv::Mat enlarged(const cv::Mat& frame, int zoom) {
    cv::Mat blocks(frame.rows * zoom, frame.cols * zoom, frame.type());
    for (int row = 0; row < frame.rows; ++row)
        for (int column = 0; column < frame.cols; ++column) {
            cv::Mat block = blocks(cv::Rect(column * zoom, row * zoom, zoom, zoom));
            cv::repeat(frame(cv::Rect(column, row, 1, 1)), zoom, zoom, block);
        }
    return blocks;
}

// Shows picture in window at place. The size is set after the picture: GTK scales the
// picture into a resizable window only from its next resize on, and shows it cut to
// the window before.
void showAt(const std::string& window, const cv::Mat& picture, const cv::Rect& place) {
    cv::imshow(window, picture);
    cv::resizeWindow(window, place.width, place.height);
    cv::moveWindow(window, place.x, place.y);
}

void waitForUser(const std::string& name, const cv::Mat& image, const cv::Mat& frame,
                 cv::Size screen) {
    const PreviewLayout layout = layoutPreview(screen, image.size(), frame.size());
    const int flags = cv::WINDOW_NORMAL | cv::WINDOW_KEEPRATIO | cv::WINDOW_GUI_NORMAL;
    cv::namedWindow(name, flags);
    cv::namedWindow(OUTPUT_WINDOW, flags);
    showAt(OUTPUT_WINDOW, enlarged(frame, layout.zoom), layout.output);
    showAt(name, image, layout.picture);
    if (keyPressed()) return;
    while (!windowClosed(name) && !windowClosed(OUTPUT_WINDOW)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (keyPressed()) return;
    }
}

}  // namespace

bool showPreview(const std::string& name, const cv::Mat& image, const cv::Mat& frame) {
    const DisplayProbe probe = openDisplay();
    if (!probe.display) {
        closeDisplay(probe);
        return false;
    }
    try {
        waitForUser(name, image, frame, probe.screen);
    } catch (...) {
    }
    try {
        cv::destroyAllWindows();
    } catch (...) {
    }
    closeDisplay(probe);
    return true;
}

extern "C" bool grayframe_show_preview(const std::string& name, const cv::Mat& image,
                                       const cv::Mat& frame) {
    return showPreview(name, image, frame);
}
