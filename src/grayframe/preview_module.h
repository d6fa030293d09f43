#pragma once

#include <opencv2/core.hpp>
#include <string>

// A PreviewFunction that shows the preview through the preview module, the only part
// linked with the window library: the module (and with it the GUI toolkit) is loaded
// on the first call, so that a run without "-show" never starts it. Looks for the
// module beside the program (a build tree), then where it is installed. Returns false
// at once when no preview can be shown; when the module cannot be loaded that is
// reported once. Never throws. On Windows the preview is linked into the program
// instead and called directly.
bool showPreviewThroughModule(const std::string& name, const cv::Mat& image,
                              const cv::Mat& frame);
