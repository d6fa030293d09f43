// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <ostream>
#include <vector>

#include "packed/frame_set.h"

// NAME.h and NAME.c for any C or C++ compiler: the frames as one two-dimensional array
// NAME, or compressed, the set's code as the array NAME_code; the durations, if any, as
// the array NAME_durations_ms. NAME.c places set.attribute after each array's
// declarator.

// Writes NAME.h: the comment, guard and macros of set_text.h (compressed, with the
// set's budget, budgetLine), and the extern declarations of the arrays; compressed, it
// includes grayframe_decode.h, so that the set's header alone declares the decoder.
// Depends on nothing but set and code.
void writeArrayFrameSetHeader(std::ostream& out, const FrameSet& set,
                              const std::vector<unsigned char>& code);

// Writes NAME.c: the comment on the pictures, the include of NAME.h and the arrays,
// one block per frame (its rows written by rows) and one line per frame row, or
// compressed, code 16 bytes a line; then ten durations a line. Depends on nothing but
// set, rows and code.
void writeArrayFrameSetSource(std::ostream& out, const FrameSet& set,
                              const FrameRowsWriter& rows,
                              const std::vector<unsigned char>& code);
