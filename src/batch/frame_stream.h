// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstddef>
#include <functional>
#include <opencv2/core.hpp>
#include <vector>

#include "frame/frame.h"
#include "packed/packed.h"

// Hands one canvas (8-bit BGR) to the reduction; blocks while the queue is full.
using CanvasPush = std::function<void(cv::Mat canvas)>;

// Runs produce on this thread and reduces every canvas it pushes, in order, with
// reduceToFrame(canvas, mode) and packFrame on workers threads (at least one). At most
// bound canvases (at least one) wait at a time, so memory stays flat however many are
// pushed. Returns the packed frames in push order. What produce throws is thrown
// again once the workers have stopped.
std::vector<PackedFrame> reduceCanvases(
    const std::function<void(const CanvasPush&)>& produce, ResizeMode mode,
    unsigned workers, std::size_t bound);
