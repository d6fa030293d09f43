// SPDX-License-Identifier: Apache-2.0
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <vector>

#include "animated/canvas.h"

// How a video stream's display matrix (the rotation a phone records) says its pictures
// are shown: turned by quarter turns and mirrored, as players show them. A matrix that
// turns by another angle is taken to the nearest quarter turn; no matrix, no turn.
struct Turn {
    bool transpose = false;  // rows become columns (first)
    bool mirrorX = false;    // then left and right swapped
    bool mirrorY = false;    // then top and bottom swapped
};

// The turn of FFmpeg's 3 x 3 display matrix (16.16 fixed point, its layout), which
// takes a picture's point (p, q) to (a p + c q, b p + d q) for a = matrix[0],
// b = matrix[1], c = matrix[3], d = matrix[4].
Turn matrixTurn(const int32_t matrix[9]);

// The turn of stream's display matrix side data, if any.
Turn streamTurn(const AVStream& stream);

// canvas shown as turn says (its width and height swapped by a transpose); turned is
// scratch space, kept between calls.
void turnCanvas(const Turn& turn, Canvas& canvas, std::vector<uint8_t>& turned);
