// SPDX-License-Identifier: Apache-2.0
// The fractal plasma the frame-code bench and its tests draw their backgrounds from:
// the same seed and blur give the same picture on every run.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

// A fractal plasma of 408 x 320 (four times a frame each way): random grids of 3 x 4
// cells and finer, smoothly enlarged, each finer one at half the strength; blurred by
// a Gaussian of `blur` pixels (0: not at all).
inline cv::Mat plasma(unsigned seed, double blur) {
    cv::RNG random(seed);
    cv::Mat sum(320, 408, CV_32FC3, cv::Scalar::all(0)), cells, enlarged;
    for (int octave = 0; octave < 6; ++octave) {
        cells.create(3 << octave, 4 << octave, CV_32FC3);
        random.fill(cells, cv::RNG::UNIFORM, 0, 255.0 / (1 << octave));
        cv::resize(cells, enlarged, sum.size(), 0, 0, cv::INTER_CUBIC);
        sum += enlarged;
    }
    if (blur > 0) cv::GaussianBlur(sum, sum, {0, 0}, blur);
    cv::Mat picture;
    sum.convertTo(picture, CV_8UC3, 0.5);
    return picture;
}
