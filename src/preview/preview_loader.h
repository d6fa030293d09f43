// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <opencv2/core.hpp>
#include <string>

// How a program reaches showPreview (preview.h) without linking the window library: on
// Linux the preview module is a shared object loaded on demand, so that a run that
// shows nothing never starts the GUI toolkit; on Windows, whose window backend is the
// system's own, the preview is linked into the program and reached directly; in the
// browser there is none.
using ShowPreview = bool (*)(const std::string& name, const cv::Mat& image,
                             const cv::Mat& frame);

// Loads the preview module, beside the running program (a build tree) or where it is
// installed, and returns its showPreview; nullptr when it cannot be loaded, with
// problem saying why (the loader's error or the path it missed). Never throws.
ShowPreview loadPreview(std::string& problem);
