// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <opencv2/core.hpp>

#include "frame/frame.h"

// How the frame of a picture is made for a particular panel, step by step:
// reduction (gray weights, fit) -> tone (gamma) -> quantization (levels, dithering,
// inversion) -> orientation. The defaults make reduceToFrame's frame, byte for byte.

enum class GrayWeights {
    Converter,  // grayframe's own: 0.299, 0.587, 0.114 on blue, green, red
    Luma        // 0.299 red, 0.587 green, 0.114 blue, as picture editors weigh them
};

enum class Quantizer {
    UpperBits,  // level = v >> 4
    Round,      // level = round(v * 15 / 255)
    Ordered,    // round with a 4 x 4 Bayer threshold fixed to each frame position
    Diffusion   // round with serpentine Floyd-Steinberg error diffusion
};

enum class Mirror { None, Horizontal, Vertical };

struct DisplayOptions {
    GrayWeights gray = GrayWeights::Converter;
    double gamma = 1.0;  // the panel's response, relative to the pictures'
    Quantizer quantizer = Quantizer::UpperBits;
    bool invert = false;     // level 15 - level
    bool rotate180 = false;  // before mirroring
    Mirror mirror = Mirror::None;
};

// The 102 x 80 one-channel 8-bit gray frame of a non-empty BGR picture fitted by
// regions (fitRegions of its size): the gray of the chosen weights resized bicubically
// into regions.target, black elsewhere, no sample cut. With GrayWeights::Converter
// its upper four bits are reduceToFrame's frame. A one-channel picture is taken as
// that gray already.
cv::Mat reduceToGray(const cv::Mat& image, const FitRegions& regions,
                     GrayWeights weights);

// One-channel float samples 0 to 255 of the 8-bit gray frame: each sample v becomes
// 255 * (v / 255)^(1 / gamma), the level a panel of that response needs to show v.
// gamma > 0; 1 keeps every sample.
cv::Mat applyTone(const cv::Mat& gray, double gamma);

// The frame of levels (one-channel 8-bit, samples level * 16) of the tone frame's float
// samples 0 to 255. Ordered thresholds depend on the frame position alone; error
// diffusion spreads errors only inside area, the picture's part of the frame.
cv::Mat quantize(const cv::Mat& tone, Quantizer quantizer, const cv::Rect& area);

// The frame of levels with every level l made 15 - l.
cv::Mat invertLevels(const cv::Mat& levels);

// The frame turned by 180 degrees when rotate180, then mirrored (Horizontal swaps left
// and right, Vertical top and bottom). Same size and type.
cv::Mat orient(const cv::Mat& levels, bool rotate180, Mirror mirror);

// All the steps on a non-empty BGR picture (or its gray of options.gray, one channel):
// its frame of levels (samples level * 16).
cv::Mat makeDisplayFrame(const cv::Mat& image, ResizeMode mode,
                         const DisplayOptions& options);
