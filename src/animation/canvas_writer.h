// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "animated/animation_stream.h"
#include "animated/canvas_gray.h"
#include "animation/canvas.h"

// Frame records written to a descriptor on a thread of their own, so that the reader
// decodes the next canvases while the last ones are turned gray and sent.
struct CanvasWriter {
    int fd = -1;
    CanvasGray gray = CanvasGray::None;
    std::size_t slots = 8;  // canvases waiting at most
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Canvas> waiting;
    std::vector<Canvas> spare;
    bool closing = false;
    bool failed = false;
    std::thread thread;
};

// Starts writer's thread, which writes to writer.fd.
void startCanvasWriter(CanvasWriter& writer);

// Queues a copy of canvas, waiting while writer.slots canvases wait: false once a write
// has failed.
bool queueCanvas(CanvasWriter& writer, const Canvas& canvas);

// Writes what waits and ends the thread: false when a write failed.
bool finishCanvasWriter(CanvasWriter& writer);
