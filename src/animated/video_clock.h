// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>

#include "animated/canvas.h"

// The cut and the sampling times of a video, reckoned exactly against its stream's
// time base: --start, --duration and --fps are taken to the millionth (as the fractions
// they were written as), and every comparison with a frame's timestamp is made in whole
// numbers, so that a sampling time or a cut that falls on a frame's time falls on that
// frame, however far into the video. Timestamps are taken within +-2^52 and sample
// numbers within 0 ... 2^40, past which no real video goes.

// A number (seconds, or frames a second) as the fraction num / den, den > 0.
struct Fraction {
    int64_t num = 0;
    int64_t den = 1;
};

struct VideoClock {
    int64_t unitNum = 1, unitDen = 1;  // the stream's time base, seconds a timestamp
    Fraction start;                    // seconds skipped
    Fraction duration;                 // seconds taken after start
    bool cut = false;  // duration applies (else the video runs to its end)
    Fraction fps;      // samples a second; num 0: every frame
};

// The clock of options for a stream whose time base is unitNum / unitDen seconds.
VideoClock videoClock(const ReadOptions& options, int unitNum, int unitDen);

// The last timestamp at or before sample k's time, start + k / fps: a frame of stamp s
// is the one shown then when it is the last frame with s <= sampleStamp(clock, k).
int64_t sampleStamp(const VideoClock& clock, int64_t k);

// The first sample whose time is at or after stamp's (0 when stamp is before start).
int64_t firstSampleFrom(const VideoClock& clock, int64_t stamp);

// How many samples the cut holds: those before start + duration (INT64_MAX uncut).
int64_t sampleCount(const VideoClock& clock);

// Sample k's time after start, in whole milliseconds: k * 1000 / fps rounded.
int64_t sampleMs(const VideoClock& clock, int64_t k);

// The last timestamp at or before start: stamps above it are after start.
int64_t startStamp(const VideoClock& clock);

// The first timestamp at or after start + duration: stamps below it are within the cut
// (INT64_MAX uncut).
int64_t endStamp(const VideoClock& clock);

// stamp's time, held within the cut (from start to start + duration), in whole
// milliseconds after start, rounded.
int64_t stampMs(const VideoClock& clock, int64_t stamp);
