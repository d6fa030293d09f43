// SPDX-License-Identifier: Apache-2.0
#include "animation/canvas_writer.h"

#include "platform/process.h"

namespace {

bool writeRecord(int fd, const Canvas& canvas, CanvasGray gray,
                 std::vector<uint8_t>& grays) {
    const RecordHead head{
        gray == CanvasGray::None ? RecordKind::Frame : RecordKind::GrayFrame,
        canvas.height, canvas.width, canvas.durationMs};
    if (gray != CanvasGray::None) {
        grays.resize(std::size_t(canvas.width) * std::size_t(canvas.height));
        grayOfBgr(canvas.bgr.data(), grays.size(), gray, grays.data());
    }
    const std::vector<uint8_t>& samples = gray == CanvasGray::None ? canvas.bgr : grays;
    return writeAll(fd, &head, sizeof head) &&
           writeAll(fd, samples.data(), samples.size());
}

void writeWaiting(CanvasWriter& writer) {
    std::vector<uint8_t> grays;
    std::unique_lock<std::mutex> lock(writer.mutex);
    for (;;) {
        writer.changed.wait(lock,
                            [&] { return writer.closing || !writer.waiting.empty(); });
        if (writer.waiting.empty()) return;
        Canvas canvas = std::move(writer.waiting.front());
        writer.waiting.pop_front();
        const bool failed = writer.failed;
        lock.unlock();
        const bool written =
            !failed && writeRecord(writer.fd, canvas, writer.gray, grays);
        lock.lock();
        writer.failed = !written;
        writer.spare.push_back(std::move(canvas));
        writer.changed.notify_all();
    }
}

}  // namespace

void startCanvasWriter(CanvasWriter& writer) {
    writer.thread = std::thread(writeWaiting, std::ref(writer));
}

bool queueCanvas(CanvasWriter& writer, const Canvas& canvas) {
    std::unique_lock<std::mutex> lock(writer.mutex);
    writer.changed.wait(lock, [&] { return writer.waiting.size() < writer.slots; });
    if (writer.failed) return false;
    Canvas copy;
    if (!writer.spare.empty()) {
        copy = std::move(writer.spare.back());
        writer.spare.pop_back();
    }
    lock.unlock();
    copy.width = canvas.width;
    copy.height = canvas.height;
    copy.durationMs = canvas.durationMs;
    copy.bgr.assign(canvas.bgr.begin(), canvas.bgr.end());
    lock.lock();
    writer.waiting.push_back(std::move(copy));
    writer.changed.notify_all();
    return true;
}

bool finishCanvasWriter(CanvasWriter& writer) {
    {
        const std::lock_guard<std::mutex> lock(writer.mutex);
        writer.closing = true;
    }
    writer.changed.notify_all();
    if (writer.thread.joinable()) writer.thread.join();
    return !writer.failed;
}
