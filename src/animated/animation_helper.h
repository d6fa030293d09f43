// SPDX-License-Identifier: Apache-2.0
// animated: file -> canvases of an animation or a video. Tells such files from stills
// by their bytes (animation_kind) and reads their composited canvases and durations
// from the helper program grayframe-animate (src/animate/), which alone links the
// animation and video libraries, through the stream drawn in animation_stream.h.
#pragma once

#include <functional>
#include <opencv2/core.hpp>
#include <string>

#include "animated/animation_stream.h"
#include "animated/canvas_gray.h"

// What the animation helper is asked for (see grayframe-embed's options).
struct AnimationRequest {
    int background = 0;    // gray level behind transparent pixels
    double fps = 0;        // video sampling rate; 0: every decoded frame
    double start = 0;      // video: seconds skipped
    double duration = -1;  // video: seconds taken; negative: to the end
    long maxFrames = DEFAULT_MAX_FRAMES;
    CanvasGray gray = CanvasGray::None;  // the canvases' gray of these weights instead
    int silenceSeconds = 30;  // the helper is ended once it sends nothing for so long
    int parts = 1;            // a video is decoded in up to so many parts at once
};

// Takes one canvas (8-bit BGR, or 8-bit gray as request.gray asks), how long it is
// shown, in milliseconds, and the part of the file it comes from (a number from 0): the
// file's canvases are every part's in the order they came, part after part.
using CanvasHandler = std::function<void(cv::Mat canvas, int durationMs, int part)>;

// The kinds of problem a caller acts on: the file holds more frames than
// request.maxFrames (FrameCap), or any other.
enum class AnimationProblem { Other, FrameCap };

// "" or the one line (without the file's name) saying why the file cannot be read, and
// with a problem, its kind; animated is false for a file of one still picture (a GIF of
// one image).
struct AnimationRead {
    std::string problem;
    bool animated = true;
    AnimationProblem kind = AnimationProblem::Other;
};

// Reads every frame of the GIF, animated WebP, APNG or video at path in the helper
// program grayframe-animate (found beside the running program or where it is
// installed), handing each canvas to handler on this thread as it arrives; at most
// request.maxFrames of them. A helper that cannot be started, crashes, sends anything
// else or nothing for request.silenceSeconds (then it is killed) is a problem. Never
// throws (but passes on what handler throws). On Windows and in the browser, which
// start no helper, the readers run in this process instead, with the same canvases, caps
// and problems; videos are refused there.
AnimationRead readAnimation(const std::string& path, const AnimationRequest& request,
                            const CanvasHandler& handler);
