// embed: grayframe-embed, the program that makes frame sets (NAME.h, NAME.c) for
// firmware builds: its command line, its run over the stages, and main.
#pragma once

#include <optional>
#include <string>

#include "batch/frame_stream.h"
#include "embed/command_line.h"
#include "embed/rows_scratch.h"
#include "packed/frame_set.h"

// The whole of grayframe-embed: parses the command line, then makes the frame set and
// writes NAME.h and NAME.c. --help and --version print to standard output. Any failure
// is reported as one line on standard error and leaves both files as they were.
// Returns the exit status: 0 when done, 1 on any failure.
int runEmbed(int argc, char** argv);

// The frame set of options' images, or the one message line (without the program
// name) saying why it cannot be made.
struct LoadedFrameSet {
    std::optional<FrameSet> set;
    std::string problem;
    std::vector<std::size_t> slots;  // each frame's slot, when not all are their places
};
// made, when given, is told of each frame as soon as it is packed, with its slot (the
// frame's place in the set, unless slots says otherwise; a video read in parts comes
// out of order), possibly on other threads and out of order; with keep false, the set's
// frames are left to made (set.frames stays empty).
LoadedFrameSet loadFrameSet(const EmbedOptions& options, const FrameReduced& made = {},
                            bool keep = true);

// Writes set as dir/NAME.h and dir/NAME.c, both or neither; a file whose bytes are
// already these is not touched. "" when done, else the message line saying why not.
// Both are streamed into their staged files as they are written, never held whole.
// When rows has a file holding every frame's rows text (frame i at slot i, or at
// slots[i] when slots is not empty), an uncompressed NAME.c takes them from there;
// when that fails, rows is closed, so that the files may take its room, and they are
// written again from set.frames (or, when set.frames is empty, NAME.c is made whole
// from the rows read back before rows is closed).
std::string writeFrameSet(const FrameSet& set, const std::string& dir, RowsScratch& rows,
                          const std::vector<std::size_t>& slots = {});
