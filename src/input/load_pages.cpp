#include "input/load_pages.h"

#include <algorithm>
#include <opencv2/imgcodecs.hpp>
#include <vector>

#include "input/file_bytes.h"
#include "input/load.h"

namespace {

bool isTiffStart(const std::string& start) {
    const std::string bytes = start.substr(0, 4);
    return bytes == std::string("II*\0", 4) || bytes == std::string("MM\0*", 4) ||
           bytes == std::string("II+\0", 4) || bytes == std::string("MM\0+", 4);
}

bool isTiff(const std::string& path) {
    const auto start = readRegularFile(path, [](const std::string&) { return false; });
    return start && isTiffStart(*start);
}

}  // namespace

std::size_t countPages(const std::string& path) {
    try {
        if (isTiff(path)) {
            const std::size_t pages = cv::imcount(path, cv::IMREAD_COLOR);
            if (pages == 0 && !libraryOpensByName(path)) return 0;
            return std::max<std::size_t>(1, pages);
        }
    } catch (...) {
    }
    return 1;
}

cv::Mat loadPage(const std::string& path, std::size_t index) {
    if (index == 0) return loadColourImage(path);
    std::vector<cv::Mat> pages;
    if (!cv::imreadmulti(path, pages, static_cast<int>(index), 1, cv::IMREAD_COLOR) ||
        pages.size() != 1)
        return {};
    return pages[0];
}
