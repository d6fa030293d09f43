#pragma once

#include <opencv2/core.hpp>
#include <string>

// Shows image in a window titled name and frame in a window titled "output", both
// resizable, and waits until a key is pressed in either or either is closed; all
// windows are destroyed on return. Returns false, having opened nothing, when no X
// display can be reached. Never throws: a failing window call ends the preview early.
bool showPreview(const std::string& name, const cv::Mat& image, const cv::Mat& frame);
