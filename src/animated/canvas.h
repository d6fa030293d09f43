// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One composited canvas as the frame reduction takes it: 8-bit BGR, row by row, shown
// for durationMs milliseconds.
struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;
    int durationMs = 0;
    int part = 0;  // the part of the file it comes from, when read in parts (readMedia)
};

// What the readers are asked for.
struct ReadOptions {
    int background = 0;    // the gray level behind transparent pixels, 0 to 255
    double fps = 0;        // video: frames sampled a second; 0 for every decoded frame
    double start = 0;      // video: seconds skipped
    double duration = -1;  // video: seconds taken after start; negative for all
    int parts = 1;         // video: the most parts of it decoded at once
};

// Takes each canvas in order; false stops the reader (the canvas was not taken).
using CanvasSink = std::function<bool(const Canvas&)>;

// What a reader found: "" or the one line saying why the file cannot be read, and
// whether it is an animation (more than one image) or a single still picture.
struct ReadResult {
    std::string problem;
    bool animated = true;
    bool capped = false;  // the problem is more canvases than asked for (readCanvases)
};

// Writes pixels RGBA (or, with bgra, BGRA) samples into bgr, each put over the gray
// level background as an 8-bit composite does: (colour * alpha + background *
// (255 - alpha)) / 255, rounded down.
void flattenOver(const uint8_t* rgba, std::size_t pixels, bool bgra, int background,
                 uint8_t* bgr);

// The same for a canvas of width x height RGBA pixels: a Canvas with that duration.
Canvas flattenedCanvas(const uint8_t* rgba, int width, int height, bool bgra,
                       int background, int durationMs);

// A duration in milliseconds, rounded: 0 for none (or less), and past what an int holds
// cut to its largest, which readCanvases refuses as longer than a set's durations hold.
int clampDuration(double milliseconds);
