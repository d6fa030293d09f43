// SPDX-License-Identifier: Apache-2.0
#include "grayframe/preview_module.h"
#include "preview/preview.h"

// On Windows the window library is linked into the program: its Win32 backend is part
// of the system and costs nothing at start-up, so there is no module to load.
bool showPreviewThroughModule(const std::string& name, const cv::Mat& image,
                              const cv::Mat& frame) {
    return showPreview(name, image, frame);
}
