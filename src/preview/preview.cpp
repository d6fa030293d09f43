#include "preview/preview.h"

#include <chrono>
#include <opencv2/highgui.hpp>
#include <thread>

#include "preview/display.h"
#include "preview/layout.h"

namespace {

const char* const OUTPUT_WINDOW = "output";

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
    if (!probe.reachable) {
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
