// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "packed/frame_set.h"

// The text that NAME.h and NAME.c have whatever the target: the comments, the include
// guard, the NAME_UPPER_FRAME_* macros, and bytes in hex. Each target's writer
// (array_frame_set.h, avr_frame_set.h) adds its own declarations and data.

// text with its ASCII letters in capitals: NAME_UPPER, the macros' prefix, from NAME.
std::string upper(std::string text);

// A label as it may stand in a C comment: printable ASCII, no comment end, no trigraph.
std::string commentText(const std::string& label);

// count bytes from bytes as 0x00, two lowercase hex digits each, separator between.
std::string hexBytes(const unsigned char* bytes, std::size_t count,
                     const std::string& separator);

// What a target puts into NAME.h, each piece whole lines (or "").
struct HeaderParts {
    // Compressed: the lines of the opening comment on decoding the set, each starting
    // " * ".
    std::string decoding;
    // With durations: the expression that reads frame f's, for the opening comment.
    std::string duration;
    std::string includes;      // after the include guard, ending with a blank line
    std::string declarations;  // with C linkage under C++, ending with a blank line
};

// Writes NAME.h: a comment on the packing, with parts.decoding and parts.duration;
// then inside the include guard GRAYFRAME_SET_NAME (the name as given, so that names
// differing in case have guards of their own) parts.includes, the NAME_UPPER_FRAME_*
// macros (and compressed, NAME_UPPER_CODE_BYTES, code's size) and parts.declarations. The
// comment depends on the name, the frame count, the packing and the decoding budget
// only, so that another mode or other pictures leave NAME.h as it was.
void writeSetHeader(std::ostream& out, const FrameSet& set,
                    const std::vector<unsigned char>& code, const HeaderParts& parts);

// Writes what opens NAME.c: the comment naming the pictures each frame was made from,
// the mode, the options and how the frames are packed; then includes, and the include
// of NAME.h with a blank line after.
void writeSourceStart(std::ostream& out, const FrameSet& set,
                      const std::string& includes);

// The line of a compressed set's comment that says the most CPU cycles a frame takes to
// decode, as set.cycles asked: " * " first, a line end last.
std::string budgetLine(const FrameSet& set);

// The lines of NAME.h's comment that show how a compressed set is decoded, with open
// as the statement that opens the decoder: from the decoder's declaration to
// "grayframe_spans_next)", with no line end.
std::string decodingExample(const FrameSet& set, const std::string& open);
