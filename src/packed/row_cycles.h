// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstddef>
#include <vector>

// What the compressed code costs the firmware decoder row by row on an ATmega328P
// (avr-gcc -Os, the set in program memory), in CPU cycles: a model fitted to frames
// measured under simavr (bench/firmware.sh), rounded up. The encoder codes frames to
// decode within CYCLES_BUDGET with it.

// The cycles of one code that makes n bytes, beside the row's own: a literal, a match, a
// run, bytes as the reference (which cost nothing in place), and the literal part of a
// pair.
constexpr double LITERAL_CODE_CYCLES = 24, LITERAL_BYTE_CYCLES = 6.8;
constexpr double MATCH_CODE_CYCLES = 58, MATCH_BYTE_CYCLES = 5.8;
constexpr double RUN_CODE_CYCLES = 26.5, RUN_BYTE_CYCLES = 3.6;
constexpr double SAME_CODE_CYCLES = 16;
// A row whole as the row above, in a rows code.
constexpr double HELD_ROW_CYCLES = 88;
constexpr double PAIR_CODE_CYCLES = 41, PAIR_BYTE_CYCLES = 6.6;
// A row whose codes are those of a row before costs that row's codes and this more, and
// when codes after the call change the row, theirs and CHANGE_CYCLES more; a rows call
// costs its rows' codes and this more once.
constexpr double CALL_CYCLES = 140, CHANGE_CYCLES = 40, ROWS_CALL_CYCLES = 300;

// A record where it lies in a set: a row's codes may be those of a row before (a call),
// in the record or in the set's bytes before it.
struct PlacedRecord {
    const std::vector<unsigned char>& bytes;  // kind byte and body
    const std::vector<unsigned char>& set;    // the set's bytes, at least up to start
    size_t start;                             // where the record starts in the set
};

// The cycles of the codes of one row that start at `at` in set (a row's own, not a call
// or a rows code), row by row.
double rowCodesCycles(const std::vector<unsigned char>& set, size_t at);

// The cycles of each row of one record decoded row by row on its own (a raw or key
// frame), and of the whole record.
std::vector<double> rowCyclesEach(const PlacedRecord& record);
long rowCyclesAlone(const PlacedRecord& record);

// The cycles of a delta chain decoded row by row: chain[0] the raw or key frame, then
// the delta frames in order; the last one is the frame asked for.
long rowCyclesOfChain(const std::vector<PlacedRecord>& chain);

// Most modelled cycles for a frame row by row: 32,000 (2 ms at 16 MHz) less a margin for
// the model. A raw frame, the slowest, takes about 30,700.
constexpr long CYCLES_BUDGET = 31000;
