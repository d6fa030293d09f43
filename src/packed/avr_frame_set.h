// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <ostream>
#include <vector>

#include "packed/frame_set.h"

// NAME.h and NAME.c for avr-gcc (C or C++): each frame an object of its own in program
// memory (an AVR object stays below 32 KiB, so a set of any length compiles), placed
// after the program's code so that the program's own pgm_read_byte data stays in the
// first 64 KiB. The header declares no array, only the functions that read the frames
// with the right instruction (ELPM past 64 KiB on parts that have it, LPM on the rest).
// A compressed set is one piece of any length, written as assembler data, that
// NAME_open opens the decoder at.

// Writes NAME.h: the comment, guard and macros of set_text.h, and the declarations of
// NAME_byte and NAME_row, or compressed, of NAME_open and grayframe_decode.h's include;
// with durations, of NAME_duration_ms. A compressed set's comment gives its budget
// (budgetLine) when it is not FRAME_CODE_CYCLES, the one AVR sets are made for unless
// asked. Depends on nothing but set and code.
void writeAvrFrameSetHeader(std::ostream& out, const FrameSet& set,
                            const std::vector<unsigned char>& code);

// Writes NAME.c: the frames, one object each (its rows written by rows), and NAME_byte
// and NAME_row, which read them from program memory; compressed, the code and
// NAME_open; then the durations and NAME_duration_ms. Depends on nothing but set, rows
// and code.
void writeAvrFrameSetSource(std::ostream& out, const FrameSet& set,
                            const FrameRowsWriter& rows,
                            const std::vector<unsigned char>& code);
