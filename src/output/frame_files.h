// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <opencv2/core.hpp>
#include <string>

// A frame's two files beside its input: the header text and the BMP, each written whole.

// Writes the header text (headerText) to path as one whole file (see writeOutputFile),
// its lines ending as text files' do here (CR LF on Windows). False when it could not be
// written in full; path is then as it was.
bool writeHeaderFile(const std::string& path, const cv::Mat& frame);

// Writes the frame as an 8-bit gray BMP (the library's own encoder) to path as one whole
// file (see writeOutputFile). False when it could not be encoded or written in full.
bool writeBmpFile(const std::string& path, const cv::Mat& frame);
