// frame: picture -> frame. Fits a loaded colour picture into 102 x 80 gray pixels under a
// fit mode and keeps the upper four bits of each sample. Includes nothing of the project.
#pragma once

#include <opencv2/core.hpp>

// How a picture is fitted into the frame.
enum ResizeMode { FitIn = 0, FitOut = 1, Stretch = 2 };

constexpr int FRAME_WIDTH = 102;
constexpr int FRAME_HEIGHT = 80;

// The part of the gray picture that is resized, and the part of the frame it lands in.
struct FitRegions {
    cv::Rect source;
    cv::Rect target;
};

// Regions for a picture of sw x sh pixels (both >= 1) under mode. FitIn letterboxes
// into the frame, FitOut crops the picture's centre, anything else stretches.
// The ratio is a 32-bit float on purpose; a side that would be 0 pixels becomes 1.
FitRegions fitRegions(int sw, int sh, ResizeMode mode);

// The 102 x 80 one-channel 8-bit frame of a non-empty BGR picture: gray with the
// RGB weights applied to the BGR order, resized bicubically into the fitted region,
// black elsewhere, every sample cut to its upper four bits. The picture is only read.
cv::Mat reduceToFrame(const cv::Mat& image, ResizeMode mode);
