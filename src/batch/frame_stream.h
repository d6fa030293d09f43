// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstddef>
#include <functional>
#include <opencv2/core.hpp>
#include <vector>

#include "packed/packed.h"

// Hands one canvas (8-bit BGR) to the reduction; blocks while the queue is full.
using CanvasPush = std::function<void(cv::Mat canvas)>;

// Turns one canvas into its packed frame; called on several threads at once.
using CanvasReduction = std::function<PackedFrame(const cv::Mat& canvas)>;

// Told of each packed frame as soon as it is made, with its place in push order (from
// 0); called on the workers' threads, several at once, in any order.
using FrameReduced = std::function<void(std::size_t index, const PackedFrame& frame)>;

// Runs produce on this thread and reduces every canvas it pushes, in order, with
// reduce on workers threads (at least one). The canvases waiting hold at most
// boundBytes of samples (or are one canvas), so memory stays flat however many are
// pushed. Returns the packed frames in
// push order, each first handed to reduced when given; none when keep is false (reduced
// then has them all). What produce throws is thrown again once the workers have stopped.
std::vector<PackedFrame> reduceCanvases(
    const std::function<void(const CanvasPush&)>& produce, const CanvasReduction& reduce,
    unsigned workers, std::size_t boundBytes, const FrameReduced& reduced = {},
    bool keep = true);
