// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstddef>
#include <vector>

#include "grayframe_format.h"

// What the compressed code costs the firmware decoder (avr-gcc -Os, the set in program
// memory), in CPU cycles: row by row on an ATmega328P, and whole on an ATmega1284P; two
// models fitted to frames measured under simavr (bench/firmware.sh), rounded up. The
// encoder codes frames to decode within CYCLES_BUDGET and WHOLE_CYCLES_BUDGET with them.

// The cycles of one code that makes bytes of a row, by its kind: the code's own and each
// byte's (for a pair: each byte as the reference, and each that follows).
struct CodeCycles {
    double same, sameByte, literal, literalByte, match, matchByte, run, runByte, pair,
        pairByte;
};

// The cycles of the code whose first byte is `first`, making `same` bytes as the
// reference, then `length` bytes of its kind.
constexpr double codeCycles(const CodeCycles& cost, unsigned char first, int same,
                            int length) {
    return first < GRAYFRAME_LITERAL ? cost.same + cost.sameByte * same
           : first < GRAYFRAME_MATCH ? cost.literal + cost.literalByte * length
           : first < GRAYFRAME_RUN   ? cost.match + cost.matchByte * length
           : first < GRAYFRAME_PAIR
               ? cost.run + cost.runByte * length
               : cost.pair + cost.sameByte * same + cost.pairByte * length;
}

// Row by row, beside the row's own: bytes as the reference cost nothing in place.
constexpr CodeCycles ROW_CODE = {16, 0, 24, 6.8, 58, 5.8, 26.5, 3.6, 41, 6.6};
// A row whole as the row above, in a rows code.
constexpr double HELD_ROW_CYCLES = 90;
// A row whose codes are those of a row before costs that row's codes and this more, and
// when codes after the call change the row, theirs and CHANGE_CYCLES more; a rows call
// costs its rows' codes and this more once.
constexpr double CALL_CYCLES = 165, CHANGE_CYCLES = 65, ROWS_CALL_CYCLES = 300;

// Decoded whole (into a 4,080-byte buffer, from nothing) on an ATmega1284P, the 328P's
// core with RAM for a frame, the rows of a key frame below its first in the decoder's own
// loop of assembler: the cycles of one code there (the bytes as the reference copied from
// the row above), of one whose row a call made or changed (the decoder's row loop), and
// of the rest.
constexpr CodeCycles WHOLE_CODE = {22, 4.4, 37, 5.4, 53, 5.4, 36, 2.4, 39, 5.4};
constexpr CodeCycles WHOLE_CALLED_CODE = {30, 4.4, 28, 6.5, 58, 5.8, 28, 3.5, 55, 6.5};
// A pair code with fewer than 14 bytes of its row left costs this more.
constexpr double WHOLE_PAIR_NEAR_END = 11;
constexpr double WHOLE_ROW = 21, WHOLE_HELD_ROW = 244, WHOLE_HOLD_START = 21;
// A row of codes after a row that was not one, or in a rows call, costs this more.
constexpr double WHOLE_ROW_AGAIN = 26;
constexpr double WHOLE_CALL = 70, WHOLE_CHANGE = 21, WHOLE_ROWS_CALL = 91;
// A row of the frame before's, left as it is.
constexpr double WHOLE_SKIPPED_ROW = 10;
constexpr double WHOLE_FRAME = 50, WHOLE_RAW_FRAME = 23200;

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

// The cycles of a raw or key frame decoded whole from nothing, or over the frame before
// (rows its codes mark as the frame before's are then left as they are).
long wholeCycles(const PlacedRecord& record, bool over);

// The cycles of a delta chain decoded row by row: chain[0] the raw or key frame, then
// the delta frames in order; the last one is the frame asked for.
long rowCyclesOfChain(const std::vector<PlacedRecord>& chain);

// Most modelled cycles for a frame row by row that is to decode within 32,000 (2 ms at
// 16 MHz): less a margin for the model. A raw frame, the slowest, takes about 30,700.
constexpr long CYCLES_BUDGET = 31000;
// Most modelled cycles for a raw or key frame decoded whole over the frame before (the
// first frame from nothing) within 32,000: less a margin for the model, which errs at
// most 40 cycles fast on the 333 frames from nothing it was measured on.
constexpr long WHOLE_CYCLES_BUDGET = 31800;
