// Arbitrary pictures through reduceToFrame. Input: width and height (2 bytes each,
// little-endian), mode, layout flags, then the samples, repeated to fill the picture.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <opencv2/imgproc.hpp>

#include "frame/frame.h"
#include "fuzz_support.h"

namespace {

constexpr int MAX_PIXELS = 1 << 18;

using fuzz::check;

struct Picture {
    cv::Mat storage;  // the picture, or a larger image it is a view into
    cv::Mat image;
    int mode;
};

Picture pictureOf(const uint8_t* data, size_t size) {
    const int width = 1 + (data[0] | data[1] << 8) % 16384;
    const int height =
        std::max(1, std::min(1 + (data[2] | data[3] << 8) % 16384, MAX_PIXELS / width));
    const bool view = data[5] & 1;
    Picture picture;
    picture.mode = data[4] % 4;
    picture.storage = cv::Mat::zeros(height + 2 * view, width + 3 * view, CV_8UC3);
    const size_t total = picture.storage.total() * 3, length = size - 6;
    for (size_t done = 0; length > 0 && done < total; done += length)
        std::memcpy(picture.storage.data + done, data + 6,
                    std::min(length, total - done));
    picture.image = picture.storage(cv::Rect(view, view, width, height));
    return picture;
}

// The region lies inside its image, is centred on the axis it does not fill, and its
// width to height ratio is the wanted one up to the truncation of one side.
void checkFitted(const cv::Rect& r, const cv::Size& outer, double ratio) {
    check((r & cv::Rect({}, outer)) == r && !r.empty());
    const bool fullHeight = r.height == outer.height;
    check(fullHeight || r.width == outer.width);
    check(r.x == (outer.width - r.width) / 2 && r.y == (outer.height - r.height) / 2);
    if (fullHeight) check(std::abs(r.width - ratio * r.height) <= 1.01);
    if (!fullHeight) check(std::abs(r.height - r.width / ratio) <= 1.01);
}

// What the frame must hold: the whole picture converted to gray, the fitted part of
// it resized into the fitted part of a black frame, every sample cut to 4 bits.
cv::Mat expectedFrame(const cv::Mat& image, const FitRegions& regions) {
    cv::Mat gray;
    cv::cvtColor(image, gray, cv::COLOR_RGB2GRAY);
    cv::Mat frame(FRAME_HEIGHT, FRAME_WIDTH, CV_8UC1, cv::Scalar(0));
    cv::Mat target = frame(regions.target);
    cv::resize(gray(regions.source), target, target.size(), 0, 0, cv::INTER_CUBIC);
    return frame & cv::Scalar(0xF0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    const Picture picture = pictureOf(data, size);
    const cv::Mat& image = picture.image;
    const cv::Mat before = image.clone();
    const ResizeMode mode = static_cast<ResizeMode>(picture.mode);
    const cv::Mat frame = reduceToFrame(image, mode);

    check(frame.type() == CV_8UC1 && frame.cols == FRAME_WIDTH &&
          frame.rows == FRAME_HEIGHT);
    check(cv::countNonZero(frame & cv::Scalar(0x0F)) == 0);
    check(cv::norm(image, before, cv::NORM_INF) == 0);

    const FitRegions regions = fitRegions(image.cols, image.rows, mode);
    const cv::Rect whole({}, image.size()), frameRect(0, 0, FRAME_WIDTH, FRAME_HEIGHT);
    const double pictureRatio = static_cast<double>(image.cols) / image.rows;
    if (mode == FitIn) {
        check(regions.source == whole);
        checkFitted(regions.target, frameRect.size(), pictureRatio);
        cv::Mat outside = frame.clone();
        outside(regions.target).setTo(0);
        check(cv::countNonZero(outside) == 0);
    } else if (mode == FitOut) {
        check(regions.target == frameRect);
        checkFitted(regions.source, image.size(), 102.0 / 80.0);
    } else {
        check(regions.source == whole && regions.target == frameRect);
    }
    check(cv::norm(frame, expectedFrame(image, regions), cv::NORM_INF) == 0);
    return 0;
}
