#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "packed/packed.h"

// A named set of packed frames, compiled into a program as NAME.h and NAME.c.
struct FrameSet {
    std::string name;       // the array's name; a valid C identifier
    std::string modeName;   // "fitin", "fitout" or "stretch", for the comment
    std::string attribute;  // placed after the array's declarator in NAME.c; may be ""
    std::vector<std::string> labels;  // one per frame, what it was made from (no folders)
    std::vector<PackedFrame> frames;  // at least one
    std::string displayOptions;       // the options the frames were made with, or ""
    NibbleOrder nibbles = NibbleOrder::HighFirst;  // how frames were packed
    bool compressed = false;  // the frames as NAME_code in the frame set code
};

// True when name can name the array in C and C++: letters, digits and '_', not
// starting with a digit, not a keyword of either language, and not reserved to the
// implementation (two leading underscores, or an underscore and a capital).
bool isArrayName(const std::string& name);

// Writes NAME.h: a comment on the packing, an include guard spelled from the name
// itself (GRAYFRAME_SET_NAME, so that names differing in case differ), the
// NAME_UPPER_FRAME_* macros and the extern declaration of the two-dimensional array
// (with C linkage under C++). Compressed: the comment says how to decode the set, and
// NAME_UPPER_CODE_BYTES and NAME_code, the set's code, take the array's place. Depends
// on the name, the frame count, the nibble order and the code's length only, so that
// other changes to the set do not recompile the files that include it; throws
// std::length_error when a compressed set does not fit the code (see encodeFrameSet).
void writeFrameSetHeader(std::ostream& out, const FrameSet& set);

// Writes NAME.c: a comment on the mode, the options, the pictures and the packing,
// includes "NAME.h" and defines the array, one block per frame and one line per frame
// row; compressed, NAME_code, 16 bytes a line. Depends on nothing but set; throws as
// writeFrameSetHeader.
void writeFrameSetSource(std::ostream& out, const FrameSet& set);
