#include "app/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>
#include <vector>

#include "app/command_line.h"
#include "app/messages.h"
#include "frame/frame.h"
#include "packed/packed.h"

namespace {

// Points stderr at /dev/null for its lifetime.
struct QuietStderr {
    int saved = ::dup(STDERR_FILENO);
    QuietStderr() {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            ::dup2(null, STDERR_FILENO);
            ::close(null);
        }
    }
    ~QuietStderr() {
        if (saved < 0) return;
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;
};

bool isRegularFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool writeBmpFile(const std::string& path, const cv::Mat& frame) {
    std::vector<unsigned char> bytes;
    if (!cv::imencode(".bmp", frame, bytes)) return false;
    return writeFileBytes(path, reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

template <typename Write>
void writeOrReport(const std::string& path, Write write) {
    bool written = false;
    try {
        written = write(path);
    } catch (...) {
        written = false;
    }
    if (!written) report(cannotWriteMessage(path));
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

void writeOutputs(const std::string& input, const cv::Mat& frame, bool printData,
                  bool previewed) {
    if (printData) {
        writePackedBytes(std::cout, frame);
        if (previewed) std::cout.flush();
        return;
    }
    writeOrReport(input + "_out.bmp",
                  [&](const std::string& path) { return writeBmpFile(path, frame); });
    writeOrReport(input + "_out.h",
                  [&](const std::string& path) { return writeHeaderFile(path, frame); });
}

}  // namespace

cv::Mat loadColourImage(const std::string& path) {
    if (!isRegularFile(path)) return {};
    const QuietStderr quiet;
    return cv::imread(path, cv::IMREAD_COLOR);
}

int runConversion(int argc, const char* const* argv, PreviewFunction preview) {
    const std::optional<RunOptions> options = parseCommandLine(argc, argv);
    if (!options) {
        report(wrongCommandLineMessage());
        return 1;
    }
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
    bool show = options->show;
    for (const std::string& input : options->inputs) {
        LoadedInput loaded = loadInput(input, options->mode);
        if (loaded.frame.empty()) {
            report(cannotOpenMessage(input));
            continue;
        }
        if (show && !(preview && preview(input, loaded.image, loaded.frame))) {
            report(previewUnavailableMessage());
            show = false;
        }
        loaded.image.release();
        writeOutputs(input, loaded.frame, options->printData, show);
    }
    return 0;
}
