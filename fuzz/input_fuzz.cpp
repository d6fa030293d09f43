// Arbitrary bytes as an input file through the whole per-input path, with and without
// a (stand-in) preview. Either the one could-not-open line and no output, or outputs
// that hold exactly the frame the library makes of the file.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>

#include "fuzz_support.h"
#include "grayframe/messages.h"
#include "grayframe/run.h"
#include "input/jpeg_check.h"
#include "packed/packed.h"

namespace {

namespace fs = std::filesystem;

std::string scratch;

using fuzz::check;

std::string readAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

bool isJpeg(const std::string& path) {
    return readAll(path).compare(0, 3, "\xFF\xD8\xFF") == 0;
}

// The frame straight from the library, empty when it cannot load the file. A gray
// picture (some decoders return one even when asked for colour) counts as colour.
cv::Mat libraryFrame(const std::string& path, ResizeMode mode) {
    if (isJpeg(path) && !jpegIsWhole(readAll(path))) return {};  // refused by rule
    try {
        cv::Mat image = cv::imread(path, cv::IMREAD_COLOR);
        if (image.depth() != CV_8U || image.channels() == 2) return {};
        if (image.channels() == 1) cv::cvtColor(image, image, cv::COLOR_GRAY2BGR);
        if (!image.empty()) return reduceToFrame(image, mode);
    } catch (...) {
    }
    return {};
}

std::string packed(const cv::Mat& frame) {
    const PackedFrame bytes = packFrame(frame);
    return {bytes.begin(), bytes.end()};
}

void checkFiles(const std::string& input, const cv::Mat& expected) {
    const cv::Mat bmp = cv::imread(input + "_out.bmp", cv::IMREAD_UNCHANGED);
    check(bmp.type() == CV_8UC1 && cv::norm(bmp, expected, cv::NORM_INF) == 0);
    std::ostringstream header;
    writeHeaderText(header, expected);
    check(readAll(input + "_out.h") == header.str());
}

bool previewWorks = false;

// Stands in for the windows: it must get the picture and the frame before anything is
// written.
bool checkedPreview(const std::string& name, const cv::Mat& image, const cv::Mat& frame) {
    check(image.type() == CV_8UC3 && !image.empty());
    check(frame.type() == CV_8UC1 && frame.cols == 102 && frame.rows == 80);
    check(!fs::exists(name + "_out.bmp") && !fs::exists(name + "_out.h"));
    return previewWorks;
}

}  // namespace

// Works in a fresh directory that is removed at exit; the library stays silent.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    scratch = fuzz::makeScratchDirectory("input-fuzz");
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input = scratch + "/in put\xE9";
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), size);
    const ResizeMode mode = static_cast<ResizeMode>(size % 3);
    const bool printData = size / 3 % 2;
    const int previewKind = size / 6 % 3;  // none, shown, no display
    previewWorks = previewKind == 1;
    std::ostringstream out;
    const InputOutcome outcome =
        convertInput(input, mode, printData, previewKind ? checkedPreview : nullptr, out);
    const cv::Mat expected = libraryFrame(input, mode);

    if (expected.empty()) {
        check(outcome.messages == cannotOpenMessage(input) && out.str().empty());
    } else {
        const bool unavailable = previewKind == 2;
        check(outcome.previewUnavailable == unavailable);
        check(outcome.messages == (unavailable ? previewUnavailableMessage() : ""));
        if (printData) check(out.str() == packed(expected));
        if (!printData) checkFiles(input, expected);
    }
    check(fs::exists(input + "_out.h") == (!expected.empty() && !printData));
    fs::remove(input + "_out.bmp");
    fs::remove(input + "_out.h");
    return 0;
}
