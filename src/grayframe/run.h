// grayframe: the converter program. Its command line, messages and run over the stages,
// the loader of the preview module, and main.
#pragma once

#include <opencv2/core.hpp>
#include <ostream>
#include <string>

#include "frame/frame.h"
#include "input/load.h"

// Shows one input's picture and frame and returns once the user is done with them, or
// returns false at once when no preview can be shown. Must not throw.
using PreviewFunction = bool (*)(const std::string& name, const cv::Mat& image,
                                 const cv::Mat& frame);

// The whole run: parses the command line, then loads and reduces the inputs on a
// worker per usable processor (see runPipeline) while the calling thread previews,
// writes and reports them in command-line order, exactly as one thread would; an input
// that names an earlier input's output is loaded once that is written (latestWriters).
// An input that fails is reported and skipped. With "-show" each input goes through
// preview, on the calling thread, before its outputs are written; when it cannot be
// shown (or preview is null) that is reported once and the run goes on without it.
// Returns the exit status: 1 for a refused command line (nothing processed), else 0.
int runConversion(int argc, const char* const* argv, PreviewFunction preview = nullptr);

// What became of one input.
struct InputOutcome {
    std::string messages;             // the message lines for what failed, in order
    bool previewUnavailable = false;  // preview was given and could not show anything
};

// One input from loading to its outputs. A set preview gets the picture and frame
// before anything is written (a false from it adds the no-preview message); then the
// packed frame goes to out under printData (flushed when previewed), otherwise
// input + "_out.bmp" and input + "_out.h" are written.
InputOutcome convertInput(const std::string& input, ResizeMode mode, bool printData,
                          PreviewFunction preview, std::ostream& out);
