// SPDX-License-Identifier: Apache-2.0
#include <limits>
#include <opencv2/imgcodecs.hpp>

#include "input/decode_helper.h"
#include "input/file_bytes.h"

namespace {

bool always(const std::string&) { return true; }

}  // namespace

// Windows has no helper program: its build holds none of the rarely used decoders the
// helper guards against, so the picture is read here, as the library returns it, from
// the file's bytes (read through a wide-character name, which may be a long one).
cv::Mat decodeInHelper(const std::string& path) {
    try {
        std::optional<std::string> bytes = readRegularFile(path, always);
        if (!bytes || bytes->empty()) return {};
        if (bytes->size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
            return cv::imread(path, cv::IMREAD_COLOR);
        const cv::Mat encoded(1, static_cast<int>(bytes->size()), CV_8U, bytes->data());
        return cv::imdecode(encoded, cv::IMREAD_COLOR);
    } catch (...) {
        return {};
    }
}
