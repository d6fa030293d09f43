#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "packed/frame_code.h"
#include "packed/packed.h"

// What NAME.h and NAME.c are written for: any C or C++ compiler (a plain array), or
// AVR, where the set lies in program memory and is read through accessor functions.
enum class FrameSetTarget { Any, Avr };

// A named set of packed frames, compiled into a program as NAME.h and NAME.c.
struct FrameSet {
    std::string name;       // the array's name; a valid C identifier
    std::string modeName;   // "fitin", "fitout" or "stretch", for the comment
    std::string attribute;  // placed after the array's declarator in NAME.c; may be ""
    std::vector<std::string> labels;  // one per frame, what it was made from (no folders)
    // At least one; or none when an uncompressed set's rows were made ahead (see
    // writeFrameSetSource with rows) and nothing else needs them: frameCount says how
    // many.
    std::vector<PackedFrame> frames;
    std::string displayOptions;  // the options the frames were made with, or ""
    NibbleOrder nibbles = NibbleOrder::HighFirst;  // how frames were packed
    bool compressed = false;          // the frames as NAME_code in the frame set code
    long cycles = FRAME_CODE_CYCLES;  // compressed: most AVR cycles a frame (0: no limit)
    FrameSetTarget target = FrameSetTarget::Any;
    // How long each frame is shown, in milliseconds: one per frame, or none at all
    // (then neither file mentions timing).
    std::vector<unsigned short> durations;
};

// How many frames set holds: one label each, whether set.frames holds them or not.
inline std::size_t frameCount(const FrameSet& set) { return set.labels.size(); }

// True when name can name the array in C and C++: letters, digits and '_', not
// starting with a digit, not a keyword of either language, and not reserved to the
// implementation (two leading underscores, or an underscore and a capital).
bool isArrayName(const std::string& name);

// Writes the 80 rows of frame as lines of 51 hex bytes, each indented by 8 blanks and
// ending with a comma but the last.
void writeFrameRows(std::ostream& out, const PackedFrame& frame);

// The rows' text of writeFrameRows, which has this length whatever the frame, into
// text[0] to text[FRAME_ROWS_TEXT_BYTES - 1].
constexpr std::size_t FRAME_ROWS_TEXT_BYTES = 79 * 314 + 313;
void formatFrameRows(const PackedFrame& frame, char* text);

// Writes frame's rows (those of set.frames[frame], as writeFrameRows does) to out.
using FrameRowsWriter = std::function<void(std::ostream& out, std::size_t frame)>;

// Writes NAME.h for set.target (array_frame_set.h for Any, avr_frame_set.h for Avr):
// a comment on the packing, an include guard, the NAME_UPPER_FRAME_* macros and the
// declarations of the frames (with C linkage under C++), and of their durations when
// set has durations. Compressed: the comment says how to decode the set, and
// NAME_UPPER_CODE_BYTES and the set's code take the frames' place. Depends on nothing
// but set; throws std::length_error when a compressed set does not fit the code (see
// encodeFrameSet).
void writeFrameSetHeader(std::ostream& out, const FrameSet& set);

// The frames of a compressed set in the frame set code (encodeFrameSet, which throws);
// nothing for other sets. The writers below that take it write it as set's code, so
// that a set written as both files is coded once.
std::vector<unsigned char> frameSetCode(const FrameSet& set);

// As writeFrameSetHeader, with code = frameSetCode(set).
void writeFrameSetHeader(std::ostream& out, const FrameSet& set,
                         const std::vector<unsigned char>& code);

// Writes NAME.c for set.target: a comment on the pictures, the include of "NAME.h" and
// the frames, one line per frame row, or compressed, the set's code; then, when set has
// durations, the durations. Depends on nothing but set; throws as writeFrameSetHeader.
void writeFrameSetSource(std::ostream& out, const FrameSet& set);

// As writeFrameSetSource, with code = frameSetCode(set).
void writeFrameSetSource(std::ostream& out, const FrameSet& set,
                         const std::vector<unsigned char>& code);

// As writeFrameSetSource, each frame's rows written by rows (so that they may have been
// made ahead); set.frames may then be empty. Not for compressed sets.
void writeFrameSetSource(std::ostream& out, const FrameSet& set,
                         const FrameRowsWriter& rows);
