#include "frame/frame.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

namespace {

// A region side: truncated toward zero, but never below one pixel.
int side(double length) { return std::max(1, static_cast<int>(length)); }

cv::Rect wholeFrame() { return {0, 0, FRAME_WIDTH, FRAME_HEIGHT}; }

cv::Rect letterbox(int sw, int sh) {
    const float aspect = static_cast<float>(static_cast<double>(sw) / sh);
    if (FRAME_WIDTH < FRAME_HEIGHT * static_cast<double>(aspect)) {
        const int h = side(FRAME_WIDTH / static_cast<double>(aspect));
        return {0, (FRAME_HEIGHT - h) / 2, FRAME_WIDTH, h};
    }
    const int w = side(static_cast<double>(aspect) * FRAME_HEIGHT);
    return {(FRAME_WIDTH - w) / 2, 0, w, FRAME_HEIGHT};
}

cv::Rect centreCrop(int sw, int sh) {
    const float aspect = static_cast<float>(static_cast<double>(FRAME_WIDTH) / FRAME_HEIGHT);
    if (sw < sh * static_cast<double>(aspect)) {
        const int h = side(sw / static_cast<double>(aspect));
        return {0, (sh - h) / 2, sw, h};
    }
    const int w = side(static_cast<double>(aspect) * sh);
    return {(sw - w) / 2, 0, w, sh};
}

}  // namespace

FitRegions fitRegions(int sw, int sh, ResizeMode mode) {
    const cv::Rect whole(0, 0, sw, sh);
    switch (mode) {
        case FitIn:
            return {whole, letterbox(sw, sh)};
        case FitOut:
            return {centreCrop(sw, sh), wholeFrame()};
        default:
            return {whole, wholeFrame()};
    }
}

cv::Mat reduceToFrame(const cv::Mat& image, ResizeMode mode) {
    const FitRegions regions = fitRegions(image.cols, image.rows, mode);
    cv::Mat gray;
    cv::cvtColor(image(regions.source), gray, cv::COLOR_RGB2GRAY);
    cv::Mat frame = cv::Mat::zeros(FRAME_HEIGHT, FRAME_WIDTH, CV_8UC1);
    cv::Mat target = frame(regions.target);
    cv::resize(gray, target, target.size(), 0, 0, cv::INTER_CUBIC);
    gray.release();
    frame &= cv::Scalar(0xF0);
    return frame;
}
