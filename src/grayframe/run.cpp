#include "grayframe/run.h"

#include <unistd.h>

#include <atomic>
#include <iostream>
#include <limits>
#include <opencv2/core/utility.hpp>
#include <opencv2/core/utils/logger.hpp>

#include "batch/pipeline.h"
#include "batch/written_inputs.h"
#include "frame/frame.h"
#include "grayframe/command_line.h"
#include "grayframe/messages.h"
#include "input/load.h"
#include "input/picture_size.h"
#include "output/frame_files.h"
#include "output/output_file.h"
#include "output/standard_streams.h"
#include "packed/packed.h"

namespace {

using FrameWriter = bool (*)(const std::string& path, const cv::Mat& frame);

// Writes the frame to path; the message for path when that fails or throws, else "".
std::string writeOrMessage(FrameWriter write, const std::string& path,
                           const cv::Mat& frame) {
    bool written = false;
    try {
        written = write(path, frame);
    } catch (...) {
    }
    return written ? std::string() : cannotWriteMessage(path);
}

// The picture (kept only when keepPicture) and its frame; empty when the input cannot
// be loaded or reduced. Never throws.
PreparedInput loadInput(const std::string& input, ResizeMode mode, bool keepPicture) {
    PreparedInput loaded;
    try {
        loaded.image = loadColourImage(input);
        if (!loaded.image.empty()) loaded.frame = reduceToFrame(loaded.image, mode);
    } catch (...) {
    }
    if (!keepPicture) loaded.image.release();
    return loaded;
}

// Writes the frame where the options say; the messages of the writes that failed.
std::string writeOutputs(const std::string& input, const cv::Mat& frame, bool printData,
                         bool previewed, std::ostream& out) {
    if (printData) {
        writePackedBytes(out, frame);
        if (previewed) out.flush();
        return {};
    }
    const std::string bmpFailure =
        writeOrMessage(writeBmpFile, input + "_out.bmp", frame);
    return bmpFailure + writeOrMessage(writeHeaderFile, input + "_out.h", frame);
}

// convertInput once the input is loaded; releases the picture.
InputOutcome finishInput(const std::string& input, PreparedInput& loaded, bool printData,
                         PreviewFunction preview, std::ostream& out) {
    if (loaded.frame.empty()) return {cannotOpenMessage(input)};
    InputOutcome outcome;
    if (preview && !preview(input, loaded.image, loaded.frame))
        outcome = {previewUnavailableMessage(), true};
    loaded.image.release();
    const bool previewed = preview && !outcome.previewUnavailable;
    outcome.messages += writeOutputs(input, loaded.frame, printData, previewed, out);
    return outcome;
}

// The could-not-write line for the raw stream ("-"), once per run: a stream that has
// failed stays failed and takes no more bytes.
void reportStreamFailure(const std::ostream& out, bool& reported) {
    if (reported || out.good()) return;
    report(cannotWriteMessage("-"));
    reported = true;
}

bool noPreview(const std::string&, const cv::Mat&, const cv::Mat&) { return false; }

// A worker per processor; pictures of up to 50 million pixels in flight, room for two
// of 6000 x 4000 (96 MB each in colour and gray) but not three. A picture of unknown
// size (every file for the decode helper among them) is loaded alone. Up to 64 inputs
// a worker ahead of the one being written: what waits there is a frame of 8 KB, and
// while one worker decodes a large picture the others go on through the small ones
// behind it (with a handful, they soon wait for it and the batch runs on one core).
PipelineLimits batchLimits() {
    const unsigned workers = usableProcessors();
    return {workers, 64 * std::size_t{workers}, 50'000'000};
}

std::uint64_t picturePixels(const std::string& input) {
    return declaredPixels(input).value_or(std::numeric_limits<std::uint64_t>::max());
}

}  // namespace

InputOutcome convertInput(const std::string& input, ResizeMode mode, bool printData,
                          PreviewFunction preview, std::ostream& out) {
    PreparedInput loaded = loadInput(input, mode, preview != nullptr);
    return finishInput(input, loaded, printData, preview, out);
}

int runConversion(int argc, const char* const* argv, PreviewFunction preview) {
    const std::optional<RunOptions> options = parseCommandLine(argc, argv);
    if (!options) {
        report(wrongCommandLineMessage());
        return 1;
    }
    const std::vector<std::string>& inputs = options->inputs;
    std::vector<int> streams{STDERR_FILENO};
    if (options->printData) streams.push_back(STDOUT_FILENO);
    const std::vector<std::ptrdiff_t> after =
        latestWriters(inputs, options->printData, streams);
    keepLibrariesOffStandardError();
    keepStandardOutputBinary();
    protectOutputFiles();
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
    // One thread each: starting a pool costs more than it saves on a 102 x 80 frame.
    cv::setNumThreads(0);
    std::atomic<PreviewFunction> shown{!options->show ? nullptr
                                       : preview      ? preview
                                                      : noPreview};
    bool streamFailed = false;
    PipelineSteps steps;
    steps.measure = [&](std::size_t i) { return picturePixels(inputs[i]); };
    steps.prepare = [&](std::size_t i) {
        return loadInput(inputs[i], options->mode, shown.load() != nullptr);
    };
    steps.finish = [&](std::size_t i, PreparedInput& loaded) {
        const InputOutcome outcome =
            finishInput(inputs[i], loaded, options->printData, shown, std::cout);
        if (outcome.previewUnavailable) shown = nullptr;
        if (!outcome.messages.empty()) report(outcome.messages);
        reportStreamFailure(std::cout, streamFailed);
    };
    runPipeline(inputs.size(), after, batchLimits(), steps);
    std::cout.flush();
    reportStreamFailure(std::cout, streamFailed);
    return 0;
}
