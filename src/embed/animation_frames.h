// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <string>

#include "batch/frame_stream.h"
#include "embed/command_line.h"
#include "packed/frame_set.h"

// Adds every frame of the GIF, animated WebP, APNG or video at path to set, each
// made by options.mode and options.display exactly as a still picture's frame and
// packed in set.nibbles order, with its duration appended to
// set.durations; the canvases are reduced on every core while the animation helper
// reads on. timed becomes true when the file is an animation (a GIF of one image is a
// still picture and gets options.animation.stillMs, or 0). The whole set may hold at
// most options.animation.maxFrames frames. Returns "" or the one message line, naming
// path, saying why the file gives no frames (set may then hold some of them). made,
// when given, is told of each frame as soon as it is packed, with its slot: the order
// in which the frames came (counted on from frameCount(set)); slots then maps each
// frame of the set to its slot, and is left empty while every slot is the frame's place.
// With keep false, set.frames stays as it was (set.labels counts the frames).
std::string addAnimation(FrameSet& set, bool& timed, const std::string& path,
                         const EmbedOptions& options, std::vector<std::size_t>& slots,
                         const FrameReduced& made = {}, bool keep = true);

// The frames of a still picture: stillMs or 0 each, appended to set.durations.
void addStillDurations(FrameSet& set, const EmbedOptions& options);

// "" or the message line saying that set holds more frames than the options allow.
std::string frameCapProblem(const FrameSet& set, const std::string& path,
                            const EmbedOptions& options);
