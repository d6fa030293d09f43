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

// text with its ASCII letters in capitals: NAME_UPPER, the macros' prefix, from NAME.
std::string upper(std::string text);

// A label as it may stand in a C comment: printable ASCII, no comment end, no trigraph.
std::string commentText(const std::string& label);

// Writes the comment that opens NAME.c: the pictures each frame was made from, the
// mode, the options and how the frames are packed.
void writeFrameSetComment(std::ostream& out, const FrameSet& set);

// Writes the comment that opens NAME.h: how the frames are packed and, compressed, how
// to decode them. It depends on the name, the frame count and the packing only, so
// that another mode or other pictures leave NAME.h as it was.
void writeFrameSetHeaderComment(std::ostream& out, const FrameSet& set);

// NAME.h's include guard, GRAYFRAME_SET_NAME with the name as given, so that names
// differing in case have guards of their own.
std::string frameSetGuard(const FrameSet& set);

// With durations: the declaration of NAME_durations_ms (one line), and its
// definition, the attribute after its declarator, ten durations a line. Nothing
// without durations.
void writeDurationsDeclaration(std::ostream& out, const FrameSet& set);
void writeDurationsDefinition(std::ostream& out, const FrameSet& set,
                              const std::string& attribute);

// Writes the 80 rows of frame as lines of 51 hex bytes, each indented by 8 blanks and
// ending with a comma but the last.
void writeFrameRows(std::ostream& out, const PackedFrame& frame);

// The rows' text of writeFrameRows, which has this length whatever the frame, into
// text[0] to text[FRAME_ROWS_TEXT_BYTES - 1].
constexpr std::size_t FRAME_ROWS_TEXT_BYTES = 79 * 314 + 313;
void formatFrameRows(const PackedFrame& frame, char* text);

// Writes frame's rows (those of set.frames[frame], as writeFrameRows does) to out.
using FrameRowsWriter = std::function<void(std::ostream& out, std::size_t frame)>;

// Writes NAME.h: a comment on the packing, an include guard, the
// NAME_UPPER_FRAME_* macros and the extern declaration of the two-dimensional array
// (with C linkage under C++), and of NAME_durations_ms when set has durations.
// Compressed: the comment says how to decode the set, and NAME_UPPER_CODE_BYTES and
// NAME_code, the set's code, take the array's place. Depends on nothing but set; throws
// std::length_error when a compressed set does not fit the code (see encodeFrameSet).
// With target Avr, see avr_frame_set.h.
void writeFrameSetHeader(std::ostream& out, const FrameSet& set);

// The frames of a compressed set in the frame set code (encodeFrameSet, which throws);
// nothing for other sets. The writers below that take it write it as set's code, so
// that a set written as both files is coded once.
std::vector<unsigned char> frameSetCode(const FrameSet& set);

// As writeFrameSetHeader, with code = frameSetCode(set).
void writeFrameSetHeader(std::ostream& out, const FrameSet& set,
                         const std::vector<unsigned char>& code);

// Writes NAME.c: a comment on the pictures, includes "NAME.h" and defines the array, one
// block per frame and one line per frame row; compressed, NAME_code, 16 bytes a line;
// then, when set has durations, NAME_durations_ms (after the same attribute). Depends
// on nothing but set; throws as writeFrameSetHeader.
void writeFrameSetSource(std::ostream& out, const FrameSet& set);

// As writeFrameSetSource, with code = frameSetCode(set).
void writeFrameSetSource(std::ostream& out, const FrameSet& set,
                         const std::vector<unsigned char>& code);

// As writeFrameSetSource, each frame's rows written by rows (so that they may have been
// made ahead); set.frames may then be empty. Not for compressed sets.
void writeFrameSetSource(std::ostream& out, const FrameSet& set,
                         const FrameRowsWriter& rows);
