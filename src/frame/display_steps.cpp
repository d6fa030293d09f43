// SPDX-License-Identifier: Apache-2.0
#include "frame/display_steps.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace {

constexpr int LEVELS = 16;

// Thresholds of the 4 x 4 Bayer matrix, in sixteenths.
constexpr int BAYER[4][4] = {
    {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

unsigned char levelSample(double level) {
    const double clamped = std::clamp(level, 0.0, LEVELS - 1.0);
    return static_cast<unsigned char>(static_cast<int>(clamped) << 4);
}

// Level units: 0 for black, 15 for white.
double levelUnits(double v) { return v * (LEVELS - 1) / 255.0; }

cv::Mat quantizeEach(const cv::Mat& tone, Quantizer quantizer) {
    cv::Mat levels(tone.size(), CV_8UC1);
    for (int y = 0; y < tone.rows; ++y) {
        const float* in = tone.ptr<float>(y);
        unsigned char* out = levels.ptr<unsigned char>(y);
        for (int x = 0; x < tone.cols; ++x) {
            const double v = std::min(in[x], 255.0f);
            if (quantizer == Quantizer::UpperBits)
                out[x] = levelSample(std::floor(v / 16));
            else if (quantizer == Quantizer::Round)
                out[x] = levelSample(std::floor(levelUnits(v) + 0.5));
            else
                out[x] = levelSample(
                    std::floor(levelUnits(v) + (BAYER[y % 4][x % 4] + 0.5) / 16));
        }
    }
    return levels;
}

// Floyd-Steinberg, every second row right to left, inside area of levels.
void diffuse(const cv::Mat& tone, cv::Mat& levels, const cv::Rect& area) {
    const int w = area.width;
    std::vector<double> current(w + 2), next(w + 2);
    for (int y = 0; y < area.height; ++y) {
        const float* in = tone.ptr<float>(area.y + y) + area.x;
        unsigned char* out = levels.ptr<unsigned char>(area.y + y) + area.x;
        std::swap(current, next);
        std::fill(next.begin(), next.end(), 0.0);
        const bool leftward = y % 2 == 1;
        const int step = leftward ? -1 : 1;
        for (int i = 0; i < w; ++i) {
            const int x = leftward ? w - 1 - i : i;
            const double wanted = levelUnits(std::min(in[x], 255.0f)) + current[x + 1];
            const double level = std::clamp(std::floor(wanted + 0.5), 0.0, LEVELS - 1.0);
            out[x] = levelSample(level);
            const double error = wanted - level;
            current[x + 1 + step] += error * 7 / 16;
            next[x + 1 - step] += error * 3 / 16;
            next[x + 1] += error * 5 / 16;
            next[x + 1 + step] += error * 1 / 16;
        }
    }
}

}  // namespace

cv::Mat reduceToGray(const cv::Mat& image, const FitRegions& regions,
                     GrayWeights weights) {
    cv::Mat gray;
    if (image.channels() == 1)
        gray = image(regions.source);
    else
        cv::cvtColor(
            image(regions.source), gray,
            weights == GrayWeights::Luma ? cv::COLOR_BGR2GRAY : cv::COLOR_RGB2GRAY);
    cv::Mat frame = cv::Mat::zeros(FRAME_HEIGHT, FRAME_WIDTH, CV_8UC1);
    cv::Mat target = frame(regions.target);
    cv::resize(gray, target, target.size(), 0, 0, cv::INTER_CUBIC);
    return frame;
}

cv::Mat applyTone(const cv::Mat& gray, double gamma) {
    cv::Mat tone;
    gray.convertTo(tone, CV_32F);
    if (gamma == 1.0) return tone;
    std::array<float, 256> table;
    for (int v = 0; v < 256; ++v)
        table[v] = static_cast<float>(255.0 * std::pow(v / 255.0, 1.0 / gamma));
    for (int y = 0; y < tone.rows; ++y) {
        float* row = tone.ptr<float>(y);
        const unsigned char* in = gray.ptr<unsigned char>(y);
        for (int x = 0; x < tone.cols; ++x) row[x] = table[in[x]];
    }
    return tone;
}

cv::Mat quantize(const cv::Mat& tone, Quantizer quantizer, const cv::Rect& area) {
    CV_Assert(tone.type() == CV_32FC1);
    if (quantizer != Quantizer::Diffusion) return quantizeEach(tone, quantizer);
    cv::Mat levels = quantizeEach(tone, Quantizer::Round);
    diffuse(tone, levels, area & cv::Rect({}, tone.size()));
    return levels;
}

cv::Mat invertLevels(const cv::Mat& levels) {
    cv::Mat inverted;
    cv::subtract(cv::Scalar(0xF0), levels, inverted);
    return inverted;
}

cv::Mat orient(const cv::Mat& levels, bool rotate180, Mirror mirror) {
    cv::Mat turned, mirrored;
    if (rotate180)
        cv::flip(levels, turned, -1);
    else
        turned = levels.clone();
    if (mirror == Mirror::None) return turned;
    cv::flip(turned, mirrored, mirror == Mirror::Horizontal ? 1 : 0);
    return mirrored;
}

cv::Mat makeDisplayFrame(const cv::Mat& image, ResizeMode mode,
                         const DisplayOptions& options) {
    const FitRegions regions = fitRegions(image.cols, image.rows, mode);
    const cv::Mat tone =
        applyTone(reduceToGray(image, regions, options.gray), options.gamma);
    cv::Mat levels = quantize(tone, options.quantizer, regions.target);
    if (options.invert) levels = invertLevels(levels);
    return orient(levels, options.rotate180, options.mirror);
}
