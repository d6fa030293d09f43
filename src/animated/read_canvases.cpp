// SPDX-License-Identifier: Apache-2.0
#include "animated/read_canvases.h"

#include <sys/stat.h>

#include <mutex>

#include "animated/animation_kind.h"
#include "animated/animation_stream.h"
#include "animated/readers.h"

ReadResult readCanvases(const std::string& path, const CanvasRequest& request,
                        const SampleSink& send) {
    long sent = 0;
    int64_t pixels = 0;
    struct stat status {};
    const int64_t pixelBudget =
        maxFilePixels(::stat(path.c_str(), &status) == 0 ? int64_t(status.st_size) : 0);
    bool overCap = false, overLong = false, overBudget = false;
    std::mutex sending;  // the parts of a video come from threads of their own
    const CanvasSink sink = [&](const Canvas& canvas) {
        thread_local std::vector<uint8_t> grays;
        const int64_t area = int64_t(canvas.width) * canvas.height;
        if (request.gray != CanvasGray::None) {
            grays.resize(size_t(area));
            grayOfBgr(canvas.bgr.data(), grays.size(), request.gray, grays.data());
        }
        const std::lock_guard<std::mutex> lock(sending);
        if (sent >= request.maxFrames) return !(overCap = true);
        if (overLong || canvas.durationMs > MAX_DURATION_MS) return !(overLong = true);
        pixels += area;
        if (pixels > pixelBudget) return !(overBudget = true);
        ++sent;
        return send(canvas, request.gray == CanvasGray::None ? canvas.bgr : grays);
    };
    ReadResult result;
    const AnimationKind kind = animationKind(path);
    switch (kind) {
        case AnimationKind::Gif:
            result = readGif(path, request.read, sink);
            break;
        case AnimationKind::WebP:
            result = readWebP(path, request.read, sink);
            break;
        case AnimationKind::Apng:
            result = readApng(path, request.read, sink);
            break;
        case AnimationKind::Video:
            result = readMedia(path, request.read, sink);
            break;
        default:
            result.problem = "not an animation or video this program reads";
    }
    if (overCap)
        result.problem = frameCapText(request.maxFrames), result.capped = true;
    else if (overLong)
        result.problem = "a frame lasts more than " + std::to_string(MAX_DURATION_MS) +
                         " ms, the longest a set's durations hold";
    else if (overBudget)
        result.problem = "its frames hold more than " + std::to_string(pixelBudget) +
                         " pixels in all, too many for its size (" +
                         (kind == AnimationKind::Video
                              ? "see --fps, --start and --duration)"
                              : "no option cuts it: make it of fewer or smaller frames)");
    else if (result.problem.empty() && sent == 0)
        result.problem = "no frame within the part asked for";
    return result;
}
