// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <getopt.h>

#include <optional>
#include <string>
#include <vector>

#include "animated/animation_stream.h"

// grayframe-embed's options for animations, videos and timing.
struct AnimationOptions {
    int background = 0;          // --background: gray level behind transparent pixels
    std::optional<int> stillMs;  // --still-ms: duration of a still picture's frame
    double fps = 0;              // --fps: video sampling rate; 0 for every frame
    double start = 0;            // --start: seconds of video skipped
    double duration = -1;        // --duration: seconds of video taken; < 0 for all
    long maxFrames = DEFAULT_MAX_FRAMES;  // --max-frames: frames allowed in the whole set
    std::string preview;                  // --preview: a .png or .gif file, or ""
};

// The long options above, for getopt_long (their codes are above any character).
std::vector<option> animationLongOptions();

// True when code is one of animationLongOptions' codes.
bool isAnimationOption(int code);

// Sets the option with that code from its value: "" or the problem, one line.
std::string setAnimationOption(AnimationOptions& options, int code,
                               const std::string& value);

// The seconds the animation helper may send nothing before it is ended and its file
// given up: the whole number 1 to 86400 in the environment's GRAYFRAME_ANIMATION_TIMEOUT,
// else 30.
int animationTimeoutSeconds();

// The most parts a video is decoded in at once: the whole number 1 to 256 in the
// environment's GRAYFRAME_ANIMATION_PARTS, else the processors this program may run on.
int animationParts();

// Their part of --help.
std::string animationUsage();
