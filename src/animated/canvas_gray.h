// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstddef>
#include <cstdint>

// The gray the animation helper may send in place of a canvas's BGR samples, so that
// a third of the bytes cross the pipe and the reduction skips its colour conversion.
enum class CanvasGray { None, Converter, Luma };

// Writes the gray of pixels 8-bit BGR samples into gray: (wb * b + wg * g + wr * r +
// 2^14) >> 15 with the 15-bit weights of 0.299, 0.587 and 0.114 on blue, green and red
// (Converter) or on red, green and blue (Luma), which is sample for sample the colour
// library's 8-bit RGB-to-gray (Converter) and BGR-to-gray (Luma) conversion.
void grayOfBgr(const uint8_t* bgr, std::size_t pixels, CanvasGray weights, uint8_t* gray);
