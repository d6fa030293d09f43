// SPDX-License-Identifier: Apache-2.0
#include <algorithm>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "frame/frame.h"
#include "output/frame_preview.h"

namespace {

constexpr int SCALE = 2, GAP = 6, LABEL = 16, COLUMNS = 10;

// The frame as 8-bit gray, level L as L * 17, enlarged scale times.
cv::Mat shownFrame(const PackedFrame& packed, int scale) {
    cv::Mat frame(FRAME_HEIGHT, FRAME_WIDTH, CV_8UC1);
    for (int i = 0; i < FRAME_WIDTH * FRAME_HEIGHT; ++i) {
        const unsigned char byte = packed[size_t(i / 2)];
        frame.data[i] =
            static_cast<unsigned char>(((i % 2 == 0) ? byte >> 4 : byte & 0xF) * 17);
    }
    cv::Mat large;
    cv::resize(frame, large, {}, scale, scale, cv::INTER_NEAREST);
    return large;
}

}  // namespace

std::size_t contactSheetCount(const FrameSet& set) {
    return std::max<std::size_t>(1,
                                 (set.frames.size() + SHEET_FRAMES - 1) / SHEET_FRAMES);
}

std::string contactSheetPng(const FrameSet& set, std::size_t sheet) {
    const std::size_t first = std::min(set.frames.size(), sheet * SHEET_FRAMES);
    const int count = int(std::min(SHEET_FRAMES, set.frames.size() - first));
    const int columns = std::min(count, COLUMNS), rows = (count + COLUMNS - 1) / COLUMNS;
    const int cellWidth = FRAME_WIDTH * SCALE + GAP,
              cellHeight = FRAME_HEIGHT * SCALE + LABEL + GAP;
    cv::Mat image(rows * cellHeight + GAP, columns * cellWidth + GAP, CV_8UC1,
                  cv::Scalar(96));
    for (int i = 0; i < count; ++i) {
        const int x = GAP + (i % COLUMNS) * cellWidth,
                  y = GAP + (i / COLUMNS) * cellHeight;
        const std::size_t frame = first + size_t(i);
        shownFrame(set.frames[frame], SCALE)
            .copyTo(image(cv::Rect(x, y, FRAME_WIDTH * SCALE, FRAME_HEIGHT * SCALE)));
        std::string label = "#" + std::to_string(frame);
        if (!set.durations.empty())
            label += "  " + std::to_string(set.durations[frame]) + " ms";
        cv::putText(image, label, {x + 2, y + FRAME_HEIGHT * SCALE + LABEL - 4},
                    cv::FONT_HERSHEY_PLAIN, 1.0, cv::Scalar(255), 1, cv::LINE_8);
    }
    std::vector<unsigned char> bytes;
    try {
        if (!cv::imencode(".png", image, bytes)) return {};
    } catch (const cv::Exception&) {
        return {};
    }
    return std::string(bytes.begin(), bytes.end());
}

std::string contactSheetPath(const std::string& path, std::size_t sheet) {
    if (sheet == 0) return path;
    const std::size_t dot = path.find_last_of('.'), folder = path.find_last_of("/\\");
    const std::size_t at =
        dot == std::string::npos || (folder != std::string::npos && dot < folder)
            ? path.size()
            : dot;
    return path.substr(0, at) + "-" + std::to_string(sheet + 1) + path.substr(at);
}
