// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the animation helper (grayframe-animate) writes to its standard output, in the
// machine's byte order: the four bytes "GFA1", then records, each a RecordHead:
//   Frame: rows x cols canvas of 8-bit BGR samples, row by row without padding, shown
//          for value milliseconds (the samples follow the head);
//   GrayFrame: the same with one 8-bit gray sample a pixel, the gray of the weights
//          asked for (canvas_gray.h), sent in place of every Frame when asked;
//   Part:  value is a part number (0 to 255): the frames after it, up to the next Part,
//          come from that part of the file, and go after the frames of every part
//          numbered below it; frames before any Part record are of part 0;
//   End:   the file is read; value is 1 when it is an animation or a video, 0 when it
//          holds one still picture (a GIF of one image);
//   Problem: value bytes of text follow, the one line saying why the file cannot be
//          read; rows is 1 when that is more canvases than --max-frames allows
//          (frameCapText), else 0; nothing comes after it.
// The helper exits with status 0 after End, 1 after Problem.
enum class RecordKind : int32_t {
    Frame = 1,
    End = 2,
    Problem = 3,
    GrayFrame = 4,
    Part = 5
};

struct RecordHead {
    RecordKind kind = RecordKind::End;
    int32_t rows = 0;
    int32_t cols = 0;
    int32_t value = 0;
};

constexpr char ANIMATION_STREAM_TAG[4] = {'G', 'F', 'A', '1'};

// The most parts a file is read in at once.
constexpr int MAX_READ_PARTS = 256;

// The most frames taken when --max-frames does not say: of a whole set
// (grayframe-embed) and of one file (the helper).
constexpr long DEFAULT_MAX_FRAMES = 10000;

// The longest a frame may last, in milliseconds: a set holds each duration in 16 bits.
constexpr int MAX_DURATION_MS = 65535;

// The largest canvas either side accepts, in pixels (4096 x 4096; a video of 4K fits).
constexpr int64_t MAX_CANVAS_PIXELS = int64_t(1) << 24;

// The most canvas pixels the helper sends for a file of fileBytes bytes, so that a few
// bytes claiming thousands of large canvases cost bounded time: 2^16 pixels a byte of
// the file (real animations and videos hold far fewer), at least 2^28 and at most 2^31
// (some 1,000 frames of 1920 x 1080).
int64_t maxFilePixels(int64_t fileBytes);

// The Problem text of a file that holds more canvases than maxFrames.
std::string frameCapText(long maxFrames);

// True when head is a frame (of either kind) the reader may allocate: both sides at
// least 1, within MAX_CANVAS_PIXELS, a duration from 0 to MAX_DURATION_MS.
bool plausibleFrame(const RecordHead& head);
