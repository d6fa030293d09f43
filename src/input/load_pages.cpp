#include "input/load_pages.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <vector>

#include "input/load.h"

namespace {

bool isTiff(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    char start[4] = {};
    std::ifstream file(path, std::ios::binary);
    if (!file.read(start, sizeof start)) return false;
    const std::string bytes(start, sizeof start);
    return bytes == std::string("II*\0", 4) || bytes == std::string("MM\0*", 4) ||
           bytes == std::string("II+\0", 4) || bytes == std::string("MM\0+", 4);
}

}  // namespace

std::size_t countPages(const std::string& path) {
    try {
        if (isTiff(path))
            return std::max<std::size_t>(1, cv::imcount(path, cv::IMREAD_COLOR));
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
