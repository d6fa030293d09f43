// batch: many inputs, in order, on every core. Workers prepare inputs ahead of the one
// thread that finishes them in command-line order (pipeline); which inputs read what an
// earlier one writes (written_inputs). Includes no program folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <opencv2/core.hpp>
#include <vector>

// What a worker makes of one input.
struct PreparedInput {
    cv::Mat image;  // the picture when it is kept for finish (a preview), else empty
    cv::Mat frame;  // empty when the input could not be loaded or reduced
};

// How far the workers may get ahead of the thread that finishes the inputs.
struct PipelineLimits {
    unsigned workers;      // threads that prepare inputs
    std::size_t ahead;     // inputs begun and not yet finished, at most (at least 1)
    std::uint64_t pixels;  // pixels of the pictures being prepared or kept, at most
};

// The steps of a batch of inputs, numbered from 0.
struct PipelineSteps {
    // On a worker: the pixels input i's picture will take (an estimate), before it is
    // prepared. Must not throw.
    std::function<std::uint64_t(std::size_t i)> measure;
    // On a worker: loads input i. Must not throw.
    std::function<PreparedInput(std::size_t i)> prepare;
    // On the calling thread: what comes after loading, such as writing outputs.
    std::function<void(std::size_t i, PreparedInput& prepared)> finish;
};

// Runs inputs 0 .. count - 1: measure and prepare on up to limits.workers threads,
// finish on the calling thread strictly in order, one at a time. Inputs begin to be
// prepared in order, input i only once finish has returned for input after[i] (-1:
// none; else below i), and within limits. A kept picture counts against limits.pixels
// until its finish returns. A picture of limits.pixels or more is prepared alone, with
// no other picture in flight (inputs that measure 0 may still be prepared beside it).
// Returns once every input is finished; an exception from finish is passed on once the
// workers have stopped. When no thread can be started, each input is prepared and
// finished in turn on the calling thread.
void runPipeline(std::size_t count, const std::vector<std::ptrdiff_t>& after,
                 const PipelineLimits& limits, const PipelineSteps& steps);

// The number of processors this process may run on (its affinity mask, which taskset
// and a container's CPU set narrow), at least 1.
unsigned usableProcessors();
