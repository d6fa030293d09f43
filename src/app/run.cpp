#include "app/run.h"

#include <iostream>
#include <opencv2/core/utility.hpp>
#include <opencv2/core/utils/logger.hpp>

#include "app/command_line.h"
#include "app/load.h"
#include "app/messages.h"
#include "frame/frame.h"
#include "packed/output_file.h"
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

struct LoadedInput {
    cv::Mat image;
    cv::Mat frame;  // empty when the input cannot be loaded or reduced
};

LoadedInput loadInput(const std::string& input, ResizeMode mode) {
    LoadedInput loaded;
    try {
        loaded.image = loadColourImage(input);
        if (!loaded.image.empty()) loaded.frame = reduceToFrame(loaded.image, mode);
    } catch (...) {
    }
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

// The could-not-write line for the raw stream ("-"), once per run: a stream that has
// failed stays failed and takes no more bytes.
void reportStreamFailure(const std::ostream& out, bool& reported) {
    if (reported || out.good()) return;
    report(cannotWriteMessage("-"));
    reported = true;
}

bool noPreview(const std::string&, const cv::Mat&, const cv::Mat&) { return false; }

}  // namespace

InputOutcome convertInput(const std::string& input, ResizeMode mode, bool printData,
                          PreviewFunction preview, std::ostream& out) {
    LoadedInput loaded = loadInput(input, mode);
    if (loaded.frame.empty()) return {cannotOpenMessage(input)};
    InputOutcome outcome;
    if (preview && !preview(input, loaded.image, loaded.frame))
        outcome = {previewUnavailableMessage(), true};
    loaded.image.release();
    const bool previewed = preview && !outcome.previewUnavailable;
    outcome.messages += writeOutputs(input, loaded.frame, printData, previewed, out);
    return outcome;
}

int runConversion(int argc, const char* const* argv, PreviewFunction preview) {
    const std::optional<RunOptions> options = parseCommandLine(argc, argv);
    if (!options) {
        report(wrongCommandLineMessage());
        return 1;
    }
    keepLibrariesOffStandardError();
    keepStandardOutputBinary();
    protectOutputFiles();
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
    // One thread: starting a pool costs more than it saves on a 102 x 80 frame.
    cv::setNumThreads(0);
    PreviewFunction shown = !options->show ? nullptr : preview ? preview : noPreview;
    bool streamFailed = false;
    for (const std::string& input : options->inputs) {
        const InputOutcome outcome =
            convertInput(input, options->mode, options->printData, shown, std::cout);
        if (outcome.previewUnavailable) shown = nullptr;
        if (!outcome.messages.empty()) report(outcome.messages);
        reportStreamFailure(std::cout, streamFailed);
    }
    std::cout.flush();
    reportStreamFailure(std::cout, streamFailed);
    return 0;
}
