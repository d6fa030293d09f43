#pragma once

#include <opencv2/core.hpp>
#include <string>

// The whole run: parses the command line, then loads, reduces and writes every input
// in order; an input that fails is reported and skipped. Returns the exit status:
// 1 for a refused command line (nothing processed), otherwise 0.
int runConversion(int argc, const char* const* argv);

// The picture at path as 8-bit BGR, or an empty image when path is not a regular
// file or cannot be decoded. The library's own diagnostics are kept off stderr.
// May throw what the library throws.
cv::Mat loadColourImage(const std::string& path);
