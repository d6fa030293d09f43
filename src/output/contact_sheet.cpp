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

std::string contactSheetPng(const FrameSet& set) {
    const int count = int(set.frames.size());
    const int columns = std::min(count, COLUMNS), rows = (count + COLUMNS - 1) / COLUMNS;
    const int cellWidth = FRAME_WIDTH * SCALE + GAP,
              cellHeight = FRAME_HEIGHT * SCALE + LABEL + GAP;
    cv::Mat sheet(rows * cellHeight + GAP, columns * cellWidth + GAP, CV_8UC1,
                  cv::Scalar(96));
    for (int i = 0; i < count; ++i) {
        const int x = GAP + (i % COLUMNS) * cellWidth,
                  y = GAP + (i / COLUMNS) * cellHeight;
        shownFrame(set.frames[size_t(i)], SCALE)
            .copyTo(sheet(cv::Rect(x, y, FRAME_WIDTH * SCALE, FRAME_HEIGHT * SCALE)));
        std::string label = "#" + std::to_string(i);
        if (!set.durations.empty())
            label += "  " + std::to_string(set.durations[size_t(i)]) + " ms";
        cv::putText(sheet, label, {x + 2, y + FRAME_HEIGHT * SCALE + LABEL - 4},
                    cv::FONT_HERSHEY_PLAIN, 1.0, cv::Scalar(255), 1, cv::LINE_8);
    }
    std::vector<unsigned char> bytes;
    cv::imencode(".png", sheet, bytes);
    return std::string(bytes.begin(), bytes.end());
}
