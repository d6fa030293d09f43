// SPDX-License-Identifier: Apache-2.0
#include <cstring>

#include "animated/animation_helper.h"
#include "animated/read_canvases.h"

// Where no helper program is started (Windows, the browser), the readers run here, on
// this thread, and each canvas goes to handler as the helper would have sent it. A
// video gets the readers' line saying where videos are read (read_media_none.cpp).
AnimationRead readAnimation(const std::string& path, const AnimationRequest& request,
                            const CanvasHandler& handler) {
    ReadOptions read;
    read.background = request.background;
    read.fps = request.fps;
    read.start = request.start;
    read.duration = request.duration;
    read.parts = 1;
    const CanvasRequest canvases{read, request.gray, request.maxFrames};
    const ReadResult result = readCanvases(
        path, canvases, [&](const Canvas& canvas, const std::vector<uint8_t>& samples) {
            cv::Mat picture(canvas.height, canvas.width,
                            request.gray == CanvasGray::None ? CV_8UC3 : CV_8UC1);
            std::memcpy(picture.data, samples.data(), samples.size());
            handler(std::move(picture), canvas.durationMs, canvas.part);
            return true;
        });
    return {result.problem, result.animated,
            result.capped ? AnimationProblem::FrameCap : AnimationProblem::Other};
}
