// SPDX-License-Identifier: Apache-2.0
#include <limits>
#include <opencv2/imgcodecs.hpp>

#include "input/decode_helper.h"
#include "input/file_bytes.h"

namespace {

bool always(const std::string&) { return true; }

}  // namespace

// Where no helper program can be started (Windows, the browser), the picture is read
// here, as the library returns it: those builds hold none of the rarely used decoders
// the helper guards against. A name the library cannot open (on Windows, one beyond
// 260 characters) is read through the file's bytes and decoded from memory.
cv::Mat decodeInHelper(const std::string& path) {
    try {
        cv::Mat picture = cv::imread(path, cv::IMREAD_COLOR);
        if (!picture.empty()) return picture;
        std::optional<std::string> bytes = readRegularFile(path, always);
        if (!bytes || bytes->empty() ||
            bytes->size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
            return {};
        const cv::Mat encoded(1, static_cast<int>(bytes->size()), CV_8U, bytes->data());
        return cv::imdecode(encoded, cv::IMREAD_COLOR);
    } catch (...) {
        return {};
    }
}
