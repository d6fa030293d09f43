// embed: grayframe-embed, the program that makes frame sets (NAME.h, NAME.c) for
// firmware builds: its command line, its run over the stages, and main.
#pragma once

#include <optional>
#include <string>

#include "embed/command_line.h"
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
};
LoadedFrameSet loadFrameSet(const EmbedOptions& options);

// Writes set as dir/NAME.h and dir/NAME.c, both or neither; a file whose bytes are
// already these is not touched. "" when done, else the message line saying why not.
std::string writeFrameSet(const FrameSet& set, const std::string& dir);
