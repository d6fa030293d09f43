#pragma once

#include <opencv2/core.hpp>
#include <string>

// Shows one input's picture and frame and returns once the user is done with them, or
// returns false at once when no preview can be shown. Must not throw.
using PreviewFunction = bool (*)(const std::string& name, const cv::Mat& image,
                                 const cv::Mat& frame);

// The whole run: parses the command line, then loads, reduces and writes every input
// in order; an input that fails is reported and skipped. With "-show" each input goes
// through preview before its outputs are written; when it cannot be shown (or preview
// is null) that is reported once and the run goes on without it. Returns the exit
// status: 1 for a refused command line (nothing processed), otherwise 0.
int runConversion(int argc, const char* const* argv, PreviewFunction preview = nullptr);

// The picture at path as 8-bit BGR, or an empty image when path is not a regular
// file or cannot be decoded. The library's own diagnostics are kept off stderr.
// May throw what the library throws.
cv::Mat loadColourImage(const std::string& path);
