// preview: the preview module, the only part linked with the window library; grayframe
// loads it on the first -show.
#pragma once

#include <opencv2/core.hpp>
#include <string>

// Shows image in a window titled name and, to its right, frame in a window titled
// "output", laid out on the display's screen by layoutPreview: the frame enlarged to
// whole blocks of its pixels, both windows resizable and without tool or status bars.
// Waits until a key is pressed in either or either is closed; all windows are
// destroyed on return. Returns false, having opened nothing, when no display can be
// reached (displayReachable). Never throws: a failing window call ends the preview early.
bool showPreview(const std::string& name, const cv::Mat& image, const cv::Mat& frame);

// The preview module's entry point, looked up by this name when the program loads the
// module: showPreview under C linkage.
extern "C" bool grayframe_show_preview(const std::string& name, const cv::Mat& image,
                                       const cv::Mat& frame);
