// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <vector>

// What the compressed code costs the firmware decoder row by row on an ATmega328P
// (avr-gcc -Os, the set in program memory), in CPU cycles: a model fitted to frames
// measured under simavr (bench/firmware.sh), within about 1 % of them, rounded up.
// The encoder codes frames to decode within ROW_CYCLES_BUDGET with it.

// The cycles of one code that makes n bytes, beside the row's own: a literal, a run,
// bytes as the reference (which cost nothing in place), or a match.
constexpr double LITERAL_CODE_CYCLES = 35, LITERAL_BYTE_CYCLES = 6;
constexpr double RUN_CODE_CYCLES = 35, RUN_BYTE_CYCLES = 3.5;
constexpr double SAME_CODE_CYCLES = 30;
constexpr double MATCH_CODE_CYCLES = 120, MATCH_BYTE_CYCLES = 6;

// The cycles of one record (kind byte and body) decoded row by row on its own: a raw
// or key frame.
long rowCyclesAlone(const std::vector<unsigned char>& record);

// The cycles of a delta chain decoded row by row: chain[0] the raw or key frame, then
// the delta frames in order; the last one is the frame asked for.
long rowCyclesOfChain(const std::vector<std::vector<unsigned char>>& chain);

// Most modelled cycles for a key frame row by row: 32,000 (2 ms at 16 MHz) less a
// margin for the model. A raw frame, the fastest, takes about 31,400.
constexpr long ROW_CYCLES_BUDGET = 31500;
