#include <opencv2/imgcodecs.hpp>

#include "app/decode_child.h"

cv::Mat decodeInChild(const std::string& path) {
    try {
        return cv::imread(path, cv::IMREAD_COLOR);
    } catch (...) {
        return {};
    }
}
