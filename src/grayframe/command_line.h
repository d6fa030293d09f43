#pragma once

#include <optional>
#include <string>
#include <vector>

#include "frame/frame.h"

// The accepted command line.
struct RunOptions {
    bool show = false;
    bool printData = false;
    ResizeMode mode = FitIn;
    std::vector<std::string> inputs;  // as typed, in command-line order
};

// Reads arguments 1 .. argc-1. Each is tested by case-sensitive substring, first match
// wins: "-show", "-i" (next argument taken whole as an input), "-resizemode" (next
// argument must contain "fitin", "fitout" or "stretch", tested in that order),
// "-printdata". Empty when any argument fails; nothing is reported here.
std::optional<RunOptions> parseCommandLine(int argc, const char* const* argv);
