#include "input/load.h"

#include <limits>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "input/decode_helper.h"
#include "input/file_bytes.h"
#include "input/jpeg_check.h"

namespace {

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
    std::optional<std::string> bytes = readRegularFile(path, hasCommonSignature);
    if (!bytes) return {};
    if (!hasCommonSignature(*bytes)) return asColour(decodeInHelper(path));
    if (bytes->compare(0, 3, "\xFF\xD8\xFF") == 0 && !jpegIsWhole(*bytes)) return {};
    if (bytes->size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        bytes.reset();  // more than the library decodes from memory
        return asColour(cv::imread(path, cv::IMREAD_COLOR));
    }
    const cv::Mat encoded(1, static_cast<int>(bytes->size()), CV_8U, bytes->data());
    return asColour(cv::imdecode(encoded, cv::IMREAD_COLOR));
}
