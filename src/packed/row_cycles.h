// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstddef>
#include <vector>

#include "grayframe_format.h"

// What the compressed code costs the firmware decoder (avr-gcc -Os, the set in program
// memory), in CPU cycles: row by row on an ATmega328P, and whole on an ATmega1284P (the
// 328P's core with RAM for a frame); a model fitted to frames measured under simavr
// (bench/firmware.sh), every cost in CYCLES, rounded up. The encoder codes frames to
// decode within CYCLES_BUDGET and WHOLE_CYCLES_BUDGET by it.

// The cycles of one code that makes bytes of a row, by its kind: the code's own and each
// byte's (for a pair: each byte as the reference, and each that follows).
struct CodeCycles {
    double same, sameByte, literal, literalByte, match, matchByte, run, runByte, pair,
        pairByte;
};

// Every fitted cost of the model.
struct CycleTable {
    // Row by row, a raw or key frame alone.
    struct Rows {
        double frame = 60;  // opening a frame
        // A code, beside its row's: bytes as the reference cost nothing in place.
        CodeCycles code = {16, 0, 24, 6.8, 58, 5.8, 26.5, 3.6, 41, 6.6};
        double codesRow = 146;  // a row of codes, beside its codes
        // A row that calls codes or starts a rows call, more (the decoder's quick path
        // takes only rows of codes and held rows).
        double calledRow = 36;
        double rawRow = 348;
        double heldRow = 93;     // a row whole as the row above, in a whole code
        double holdStart = 321;  // a row whose whole code starts a hold
        // A row whose codes are those of a row before: that row's codes and a call; when
        // codes after the call change the row, theirs and a change; a rows call: its
        // rows' codes and a rows call, once.
        double call = 165, change = 65, rowsCall = 300;
    } rows;
    // Row by row, the chain of a delta frame (its raw or key frame the base).
    struct Chain {
        double frame = 211;      // each delta frame of the chain, opened
        double heldRow = 159;    // a row held in the base
        double holdStart = 230;  // and more, for one whose whole code starts a hold
        double codesRow = 237;   // a row of codes in the base, beside its codes
        double rawRow = 348;     // a raw row of the base
        // After a row a delta frame changed, the base's row above is in the state: a
        // held row copied from there, and the base's codes' bytes as the reference.
        double heldCopy = 300, keptCode = 2, keptByte = 8.7;
        double keepRow = 349;   // the base's row kept, when a delta frame changes it
        double keepDelta = 24;  // and each delta frame of the chain looked at then
        // In place of keepRow for a raw row, which nothing below needs kept: leaving the
        // quick path of raw rows.
        double rawChanged = 100;
        double deltaRow = 140;  // a delta frame's row of codes, beside its codes
        double deltaHold = 38;  // a delta frame's whole code
    } chain;
    // Whole, into a 4,080-byte buffer, the rows of a key frame below its first in the
    // decoder's own loop of assembler.
    struct Whole {
        double frame = 60, rawFrame = 23200;
        // A code there (the bytes as the reference copied from the row above), and one
        // whose row a call made or changed (the decoder's row loop).
        CodeCycles code = {22, 4.4, 37, 5.4, 53, 5.4, 36, 2.4, 39, 5.4};
        CodeCycles calledCode = {30, 4.4, 28, 6.5, 58, 5.8, 28, 3.5, 55, 6.5};
        // A pair code with fewer bytes of its row left than a pair makes at most, more.
        double pairNearEnd = 11;
        double codesRow = 21;
        double rowAgain = 26;  // a row of codes after one that was not, or in a rows call
        double heldRow = 244, holdStart = 21;
        double call = 70, change = 21, rowsCall = 94;
        double skippedRow = 16;  // a row of the frame before's, left as it is
    } whole;
};
constexpr CycleTable CYCLES{};

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

// The modelled cycles of a frame: chain[0] a raw or key frame, then the delta frames
// after it in order, the last one the frame asked for.
struct FrameCycles {
    long rows = 0;  // row by row, with the chain
    // A raw or key frame alone (a chain of one): decoded whole, from nothing or (over)
    // over the frame before, which leaves the rows its codes mark as that frame's; and
    // each row's cycles row by row. A delta frame: 0 and none.
    long whole = 0;
    std::vector<double> each;
};
FrameCycles frameCycles(const std::vector<PlacedRecord>& chain, bool over);

// Most modelled cycles for a frame row by row that is to decode within 32,000 (2 ms at
// 16 MHz): less a margin for the model. A raw frame takes about 27,500.
constexpr long CYCLES_BUDGET = 31000;
// Most modelled cycles for a raw or key frame decoded whole over the frame before (the
// first frame from nothing) within 32,000: less a margin for the model, which is never
// fast on the bench's frames, from nothing or over the frame before
// (FirmwareCycles.WithinBudgetAndModel).
constexpr long WHOLE_CYCLES_BUDGET = 31800;
