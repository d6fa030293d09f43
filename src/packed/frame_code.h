// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <vector>

#include "grayframe_format.h"
#include "packed/packed.h"

// The compressed code of a frame set (firmware/grayframe_format.h draws it), which
// firmware/grayframe_decode.c decodes on the device: every frame coded whichever way is
// smallest (raw, by rows, or against the frame before it), with an index so that any
// frame decodes without the ones before it.

// The version byte that encodeFrameSet writes, for the sets' text.
constexpr unsigned char FRAME_CODE_VERSION = GRAYFRAME_CODE_VERSION;

// Most CPU cycles a frame takes to decode on the ATmega328P's core, row by row and
// whole (over the frame before), unless asked otherwise: 2 ms at 16 MHz.
constexpr long FRAME_CODE_CYCLES = 32000;

// The code of frames (at least one): the same bytes for the same frames, each frame
// within cycles as above (0: no limit, the fewest bytes; else at least
// FRAME_CODE_CYCLES, or std::invalid_argument). Within a limit, a set with raw frames
// is coded again with key frames that leave cycles to spare for later frames to call
// their rows, and the smaller set kept. Throws std::length_error when the set does not
// fit the code (more than 65,535 frames, or more than 16 MiB).
std::vector<unsigned char> encodeFrameSet(const std::vector<PackedFrame>& frames,
                                          long cycles = FRAME_CODE_CYCLES);
