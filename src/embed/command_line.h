#pragma once

#include <optional>
#include <string>
#include <vector>

#include "embed/animation_options.h"
#include "embed/display_options.h"
#include "frame/frame.h"
#include "packed/frame_set.h"

// What grayframe-embed is asked to do.
struct EmbedOptions {
    std::string name;  // as given; checked by the run
    ResizeMode mode = FitIn;
    std::string modeName = "fitin";
    std::string outputDir = ".";
    std::string attribute;  // "" when not given
    bool compress = false;  // the set in the frame set code
    // --cycles: most AVR cycles a frame (0: no limit); FRAME_CODE_CYCLES with --target
    // avr unless given, else no limit
    long cycles = 0;
    FrameSetTarget target = FrameSetTarget::Any;
    std::vector<std::string> images;  // in command-line order; at least one unless
                                      // imageList is given
    std::string imageList;            // --files-from: "" when not given, "-" for stdin
    EmbedDisplay display;             // --gray, --levels, ... --nibbles
    AnimationOptions animation;
};

struct EmbedCommand {
    enum Action { Run, Help, Version, Refused } action = Refused;
    EmbedOptions options;  // for Run
    std::string problem;   // for Refused: why, one line without the program name
};

// Reads argv[1 .. argc-1] with getopt_long: --name NAME (required), --mode
// fitin|fitout|stretch, --output-dir DIR, --attribute TEXT, --files-from FILE, the
// display options (display_options.h), --compress, --cycles N (0, or at least
// FRAME_CODE_CYCLES; with --compress only; the default follows --target), --target avr
// (not with --attribute), the animation options (animation_options.h), --help, --version,
// then one or more images, or none with --files-from ("--" ends the options). getopt_long
// may reorder argv.
EmbedCommand parseEmbedCommandLine(int argc, char** argv);

// The text of --help.
std::string embedUsage();
