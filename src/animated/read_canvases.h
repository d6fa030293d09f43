// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "animated/canvas.h"
#include "animated/canvas_gray.h"

// What readCanvases is asked for: the readers' options, the gray sent in place of each
// canvas's BGR samples (or None), and the most canvases taken.
struct CanvasRequest {
    ReadOptions read;
    CanvasGray gray = CanvasGray::None;
    long maxFrames = 0;
};

// Takes each canvas with its samples (canvas.bgr, or its gray as asked); false stops
// the reading. Called one canvas at a time, from the readers' threads.
using SampleSink = std::function<bool(const Canvas& canvas, const std::vector<uint8_t>& samples)>;

// Reads the GIF, animated WebP, APNG or video at path with the reader its bytes call for
// (animation_kind.h, readers.h), handing over its canvases as the animation helper sends
// them: at most request.maxFrames, within maxFilePixels of the file's size, and each
// lasting at most MAX_DURATION_MS. The problem, when there is one, is the one line the
// helper sends: the reader's own, more frames than asked for, a frame lasting longer,
// more pixels than the file's size allows, or no frame at all.
// A sink that said stop for its own reasons leaves the reader's problem, if any.
ReadResult readCanvases(const std::string& path, const CanvasRequest& request,
                        const SampleSink& send);
