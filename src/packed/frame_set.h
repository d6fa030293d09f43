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
    // How long each frame is shown, in milliseconds: one per frame, or none at all
    // (then neither file mentions timing).
    std::vector<unsigned short> durations;
};

// True when name can name the array in C and C++: letters, digits and '_', not
// starting with a digit, and not a keyword of either language.
bool isArrayName(const std::string& name);

// Writes NAME.h: a comment on the pictures and the packing, an include guard, the
// NAME_UPPER_FRAME_* macros and the extern declaration of the two-dimensional array
// (with C linkage under C++), and of NAME_durations_ms when set has durations.
// Depends on nothing but set.
void writeFrameSetHeader(std::ostream& out, const FrameSet& set);

// Writes NAME.c: includes "NAME.h" and defines the array, one block per frame and one
// line per frame row; then, when set has durations, NAME_durations_ms (the attribute
// placed after its declarator too). Depends on nothing but set.
void writeFrameSetSource(std::ostream& out, const FrameSet& set);
