// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <ostream>

#include "packed/frame_set.h"

// NAME.h and NAME.c for avr-gcc (C or C++): each frame an object of its own in program
// memory (an AVR object stays below 32 KiB, so a set of any length compiles), placed
// after the program's code so that the program's own pgm_read_byte data stays in the
// first 64 KiB. The header declares no array, only the functions that read the frames
// with the right instruction (ELPM past 64 KiB on parts that have it, LPM on the rest).
// A compressed set is one piece of any length, written as assembler data, that
// NAME_open opens the decoder at.

// Writes NAME.h: the comment and macros of the plain header, and the declarations of
// NAME_byte and NAME_row, or compressed, of NAME_open. Depends on nothing but set and
// code (see writeFrameSetHeader).
void writeAvrFrameSetHeader(std::ostream& out, const FrameSet& set,
                            const std::vector<unsigned char>& code);

// Writes NAME.c: the frames, one object each, and NAME_byte and NAME_row, which read
// them from program memory; compressed, the code and NAME_open. Depends on nothing but
// set, rows and code (see writeFrameSetSource).
void writeAvrFrameSetSource(std::ostream& out, const FrameSet& set,
                            const FrameRowsWriter& rows,
                            const std::vector<unsigned char>& code);

// Writes the lines of NAME.h's opening comment that say how to decode a compressed set.
void writeAvrDecodingComment(std::ostream& out, const FrameSet& set);
