#include "input/load.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "input/decode_helper.h"
#include "input/jpeg_check.h"

namespace {

bool isRegularFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string fileStart(const std::string& path) {
    char bytes[16] = {};
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return {};
    return std::string(bytes, std::fread(bytes, 1, sizeof bytes, file.get()));
}

// True when bytes (the start of a file) carry the signature of PNG, JPEG, BMP, TIFF,
// WebP or PNM.
bool hasCommonSignature(const std::string& bytes) {
    const auto startsWith = [&](const std::string& prefix) {
        return bytes.compare(0, prefix.size(), prefix) == 0;
    };
    const bool pnm =
        bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] >= '1' && bytes[1] <= '7';
    const bool webp =
        startsWith("RIFF") && bytes.size() >= 12 && bytes.compare(8, 4, "WEBP") == 0;
    return pnm || webp || startsWith("\x89PNG\r\n\x1a\n") || startsWith("\xFF\xD8\xFF") ||
           startsWith("BM") || startsWith(std::string("II*\0", 4)) ||
           startsWith(std::string("MM\0*", 4)) || startsWith(std::string("II+\0", 4)) ||
           startsWith(std::string("MM\0+", 4));
}

// The decoded picture as the frame reduction takes it: 8-bit samples in 3 or 4
// channels; a gray one (which some decoders return even when asked for colour) gets
// three equal channels. Empty for anything else.
cv::Mat asColour(const cv::Mat& image) {
    if (image.empty() || image.depth() != CV_8U || image.channels() == 2) return {};
    if (image.channels() != 1) return image;
    cv::Mat colour;
    cv::cvtColor(image, colour, cv::COLOR_GRAY2BGR);
    return colour;
}

}  // namespace

cv::Mat loadColourImage(const std::string& path) {
    if (!isRegularFile(path)) return {};
    const std::string start = fileStart(path);
    if (!hasCommonSignature(start)) return asColour(decodeInHelper(path));
    if (start.compare(0, 3, "\xFF\xD8\xFF") == 0 && !jpegReachesItsEnd(path)) return {};
    return asColour(cv::imread(path, cv::IMREAD_COLOR));
}
