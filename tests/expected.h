#pragma once

// What the program must write for a file, made here with the library directly.
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "frame/frame.h"
#include "packed/packed.h"

namespace test {

inline std::string cannotOpen(const std::string& name) {
    return "image '" + name +
           "'kann nicht ge\xF6"
           "ffnet werden.\n";
}

inline cv::Mat expectedFrame(const std::string& path, ResizeMode mode) {
    return reduceToFrame(cv::imread(path, cv::IMREAD_COLOR), mode);
}

inline std::string expectedBmp(const cv::Mat& frame) {
    std::vector<uchar> bytes;
    cv::imencode(".bmp", frame, bytes);
    return {bytes.begin(), bytes.end()};
}

inline std::string expectedHeader(const cv::Mat& frame) {
    std::ostringstream text;
    writeHeaderText(text, frame);
    return text.str();
}

inline std::string packedBytes(const cv::Mat& frame) {
    const PackedFrame packed = packFrame(frame);
    return {packed.begin(), packed.end()};
}

}  // namespace test
