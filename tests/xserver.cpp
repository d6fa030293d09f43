#include "xserver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace test {

namespace {

// Windows vanish while they are looked at; the default handler would end the test.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

std::string windowTitle(Display* display, Window window) {
    const Atom name = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, name, 0, 1024, False, utf8, &type, &format,
                           &count, &left, &data) != Success ||
        !data)
        return {};
    std::string title(reinterpret_cast<char*>(data), count);
    XFree(data);
    return title;
}

bool shown(Display* display, Window window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) &&
           attributes.map_state == IsViewable;
}

Window findBelow(Display* display, Window parent, const std::string& title) {
    Window root = 0, up = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i)
        if (shown(display, children[i]) && windowTitle(display, children[i]) == title)
            found = children[i];
    for (unsigned int i = 0; i < count && !found; ++i)
        found = findBelow(display, children[i], title);
    if (children) XFree(children);
    return found;
}

}  // namespace

XServer::XServer() {
    server = std::make_unique<Child>(
        "/usr/bin/Xvfb", std::vector<std::string>{"-displayfd", "1", "-nolisten", "tcp",
                                                  "-screen", "0", "1024x768x24"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (server->peek().out.find('\n') == std::string::npos) {
        if (!server->running() || std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("Xvfb did not start: " + server->result.err);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    name = ":" + server->result.out.substr(0, server->result.out.find('\n'));
    XSetErrorHandler(ignoreErrors);
    reconnect(*this);
}

XServer::~XServer() {
    if (display) XCloseDisplay(display);
    ::kill(server->pid, SIGTERM);
    server->finish(5);
}

void disconnect(XServer& x) {
    if (x.display) XCloseDisplay(x.display);
    x.display = nullptr;
}

void reconnect(XServer& x) {
    disconnect(x);
    x.display = XOpenDisplay(x.name.c_str());
    if (!x.display) throw std::runtime_error("cannot connect to Xvfb on " + x.name);
}

WindowId findWindow(XServer& x, const std::string& title) {
    return findBelow(x.display, DefaultRootWindow(x.display), title);
}

WindowId waitForWindow(XServer& x, const std::string& title, int timeoutSeconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        if (const WindowId window = findWindow(x, title)) return window;
        if (std::chrono::steady_clock::now() > deadline) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

cv::Mat windowPicture(XServer& x, WindowId window) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(x.display, window, &attributes)) return {};
    XImage* image = XGetImage(x.display, window, 0, 0, attributes.width,
                              attributes.height, AllPlanes, ZPixmap);
    if (!image) return {};
    cv::Mat picture(attributes.height, attributes.width, CV_8UC3);
    for (int row = 0; row < picture.rows; ++row)
        for (int column = 0; column < picture.cols; ++column) {
            const unsigned long pixel = XGetPixel(image, column, row);  // 0xRRGGBB
            picture.at<cv::Vec3b>(row, column) = {static_cast<uchar>(pixel),
                                                  static_cast<uchar>(pixel >> 8),
                                                  static_cast<uchar>(pixel >> 16)};
        }
    XDestroyImage(image);
    return picture;
}

cv::Size screenSize(XServer& x) {
    return {DisplayWidth(x.display, DefaultScreen(x.display)),
            DisplayHeight(x.display, DefaultScreen(x.display))};
}

cv::Rect windowPlace(XServer& x, WindowId window) {
    XWindowAttributes attributes{};
    int left = 0, top = 0;
    Window child = 0;
    if (!XGetWindowAttributes(x.display, window, &attributes) ||
        !XTranslateCoordinates(x.display, window, attributes.root, 0, 0, &left, &top,
                               &child))
        return {};
    return {left, top, attributes.width, attributes.height};
}

bool hasFixedSize(XServer& x, WindowId window) {
    XSizeHints hints{};
    long supplied = 0;
    if (!XGetWMNormalHints(x.display, window, &hints, &supplied)) return false;
    return (hints.flags & PMinSize) && (hints.flags & PMaxSize) &&
           hints.min_width == hints.max_width && hints.min_height == hints.max_height;
}

void closeWindow(XServer& x, WindowId window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(x.display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] =
        static_cast<long>(XInternAtom(x.display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x.display, window, False, NoEventMask, &event);
    XSync(x.display, False);
}

void pressKey(XServer& x, WindowId window) {
    XSetInputFocus(x.display, window, RevertToPointerRoot, CurrentTime);
    XSync(x.display, False);
    const RunResult run =
        runProgram("/usr/bin/xdotool", {"key", "space"}, ".", 10, {"DISPLAY=" + x.name});
    if (run.status != 0) throw std::runtime_error("xdotool failed: " + run.err);
}

}  // namespace test
