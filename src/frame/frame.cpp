#include "frame/frame.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>
#include <vector>

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

// The rows of a picture rows high that a bicubic resize to target rows reads: the
// four around each target row's centre, as cv::resize places it, and one more on
// either side for rounding; in ascending ranges that do not touch.
std::vector<cv::Range> rowsRead(int rows, int target) {
    const double scale = static_cast<double>(rows) / target;
    std::vector<cv::Range> ranges;
    for (int y = 0; y < target; ++y) {
        const int centre = cvFloor((y + 0.5) * scale - 0.5);
        const int first = std::max(0, centre - 2), end = std::min(rows, centre + 4);
        if (!ranges.empty() && first <= ranges.back().end)
            ranges.back().end = std::max(ranges.back().end, end);
        else
            ranges.emplace_back(first, end);
    }
    return ranges;
}

// source in gray, for a bicubic resize to target rows: when that reads fewer than half
// of its rows, only those are converted (the others are left unset), which on a large
// photo saves most of the conversion's time.
cv::Mat grayForResize(const cv::Mat& source, int target) {
    const std::vector<cv::Range> ranges = rowsRead(source.rows, target);
    int read = 0;
    for (const cv::Range& range : ranges) read += range.size();
    cv::Mat gray;
    if (2 * read >= source.rows) {
        cv::cvtColor(source, gray, cv::COLOR_RGB2GRAY);
        return gray;
    }
    gray.create(source.size(), CV_8UC1);
    for (const cv::Range& range : ranges) {
        cv::Mat rows = gray.rowRange(range);
        cv::cvtColor(source.rowRange(range), rows, cv::COLOR_RGB2GRAY);
    }
    return gray;
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
    cv::Mat gray = grayForResize(image(regions.source), regions.target.height);
    cv::Mat frame = cv::Mat::zeros(FRAME_HEIGHT, FRAME_WIDTH, CV_8UC1);
    cv::Mat target = frame(regions.target);
    cv::resize(gray, target, target.size(), 0, 0, cv::INTER_CUBIC);
    gray.release();
    frame &= cv::Scalar(0xF0);
    return frame;
}
