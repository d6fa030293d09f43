// SPDX-License-Identifier: Apache-2.0
#include "batch/frame_stream.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace {

struct Queue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<std::size_t, cv::Mat>> waiting;
    std::size_t waitingBytes = 0;
    std::size_t pushed = 0;
    bool closed = false;
    bool keep = true;
    std::vector<PackedFrame> frames;
};

void work(Queue& queue, const CanvasReduction& reduce, const FrameReduced& reduced) {
    for (;;) {
        std::unique_lock<std::mutex> lock(queue.mutex);
        queue.changed.wait(lock, [&] { return queue.closed || !queue.waiting.empty(); });
        if (queue.waiting.empty()) return;
        std::pair<std::size_t, cv::Mat> item = std::move(queue.waiting.front());
        queue.waiting.pop_front();
        queue.waitingBytes -= item.second.total() * item.second.elemSize();
        lock.unlock();
        queue.changed.notify_all();
        const PackedFrame packed = reduce(item.second);
        item.second.release();
        if (reduced) reduced(item.first, packed);
        if (!queue.keep) continue;
        lock.lock();
        if (queue.frames.size() <= item.first) queue.frames.resize(item.first + 1);
        queue.frames[item.first] = packed;
    }
}

// Each canvas reduced as it is pushed, on this thread: where no thread can be started
// (a single-threaded build).
std::vector<PackedFrame> reduceHere(const std::function<void(const CanvasPush&)>& produce,
                                    const CanvasReduction& reduce,
                                    const FrameReduced& reduced, bool keep) {
    std::vector<PackedFrame> frames;
    std::size_t pushed = 0;
    produce([&](cv::Mat canvas) {
        const PackedFrame packed = reduce(canvas);
        canvas.release();
        if (reduced) reduced(pushed, packed);
        if (keep) frames.push_back(packed);
        ++pushed;
    });
    return frames;
}

}  // namespace

std::vector<PackedFrame> reduceCanvases(
    const std::function<void(const CanvasPush&)>& produce, const CanvasReduction& reduce,
    unsigned workers, std::size_t boundBytes, const FrameReduced& reduced, bool keep) {
    Queue queue;
    queue.keep = keep;
    std::vector<std::thread> threads;
    try {
        for (unsigned i = 0; i < std::max(workers, 1u); ++i)
            threads.emplace_back(work, std::ref(queue), std::cref(reduce),
                                 std::cref(reduced));
    } catch (const std::system_error&) {
        if (threads.empty()) return reduceHere(produce, reduce, reduced, keep);
    }
    std::exception_ptr thrown;
    try {
        produce([&](cv::Mat canvas) {
            std::unique_lock<std::mutex> lock(queue.mutex);
            const std::size_t bytes = canvas.total() * canvas.elemSize();
            queue.changed.wait(lock, [&] {
                return queue.waiting.empty() || queue.waitingBytes + bytes <= boundBytes;
            });
            queue.waitingBytes += bytes;
            queue.waiting.emplace_back(queue.pushed++, std::move(canvas));
            lock.unlock();
            queue.changed.notify_all();
        });
    } catch (...) {
        thrown = std::current_exception();
    }
    {
        const std::lock_guard<std::mutex> lock(queue.mutex);
        queue.closed = true;
    }
    queue.changed.notify_all();
    for (std::thread& thread : threads) thread.join();
    if (thrown) std::rethrow_exception(thrown);
    if (keep) queue.frames.resize(queue.pushed);
    return std::move(queue.frames);
}
