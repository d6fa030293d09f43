// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <getopt.h>

#include <string>
#include <vector>

#include "frame/display_steps.h"
#include "packed/packed.h"

// How grayframe-embed is asked to make frames for a particular panel; all off by
// default, which gives grayframe's own frames.
struct EmbedDisplay {
    DisplayOptions steps;
    NibbleOrder nibbles = NibbleOrder::HighFirst;
    std::string gammaText;  // --gamma's value as given, "" when not given
};

// The getopt_long entries of --gray, --levels, --gamma, --dither, --invert, --rotate,
// --mirror and --nibbles, whose codes are at least DISPLAY_OPTION_CODES.
constexpr int DISPLAY_OPTION_CODES = 0x100;
std::vector<option> displayLongOptions();

// Takes the display option of getopt_long's code c with its value into display: ""
// when done, else why not (one line). The last of repeated options holds.
std::string takeDisplayOption(int c, const std::string& value, EmbedDisplay& display);

// The options that differ from the defaults, in a fixed order, as they are written on
// a command line ("--gray luma --dither ordered"); "" when none does.
std::string describeDisplay(const EmbedDisplay& display);

// The lines of --help on the display options.
std::string displayOptionsUsage();
