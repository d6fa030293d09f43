#include "preview/preview.h"

#include <algorithm>
#include <chrono>
#include <opencv2/highgui.hpp>
#include <thread>

#include "preview/display.h"

namespace {

const char* const OUTPUT_WINDOW = "output";

// Qt hides a window the user closed (visible 0); GTK forgets it, and then reports no
// autosize state (-1), while it never reports visibility (always -1).
bool windowClosed(const std::string& name) {
    return cv::getWindowProperty(name, cv::WND_PROP_VISIBLE) == 0 ||
           cv::getWindowProperty(name, cv::WND_PROP_AUTOSIZE) < 0;
}

bool keyPressed() { return cv::waitKey(1) != -1; }

// Shows picture in window, sized to the picture enlarged up to 3 x or shrunk to fit
// 800 x 600. The size is set after the picture: GTK scales the picture into a
// resizable window only from its next resize on, and shows it cut to the window before.
void showSized(const std::string& window, const cv::Mat& picture) {
    cv::imshow(window, picture);
    const double scale = std::min({3.0, 800.0 / picture.cols, 600.0 / picture.rows});
    cv::resizeWindow(window, std::max(1, static_cast<int>(picture.cols * scale)),
                     std::max(1, static_cast<int>(picture.rows * scale)));
}

void waitForUser(const std::string& name, const cv::Mat& image, const cv::Mat& frame) {
    cv::namedWindow(name, cv::WINDOW_NORMAL);
    cv::namedWindow(OUTPUT_WINDOW, cv::WINDOW_NORMAL);
    showSized(OUTPUT_WINDOW, frame);
    showSized(name, image);
    if (keyPressed()) return;
    while (!windowClosed(name) && !windowClosed(OUTPUT_WINDOW)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (keyPressed()) return;
    }
}

}  // namespace

bool showPreview(const std::string& name, const cv::Mat& image, const cv::Mat& frame) {
    if (!displayReachable()) return false;
    try {
        waitForUser(name, image, frame);
    } catch (...) {
    }
    try {
        cv::destroyAllWindows();
    } catch (...) {
    }
    return true;
}

extern "C" bool grayframe_show_preview(const std::string& name, const cv::Mat& image,
                                       const cv::Mat& frame) {
    return showPreview(name, image, frame);
}
