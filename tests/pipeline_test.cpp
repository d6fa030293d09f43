// The worker pipeline on its own, with steps that record what happens when.
#include "batch/pipeline.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <random>
#include <thread>

namespace {

// Inputs prepared on four workers: finished strictly in order, each after the input it
// waits for, and never more pixels in flight than allowed (a picture over the limit
// alone); pictures kept for finish count until it returns.
TEST(Pipeline, KeepsOrderWaitsAndPixelLimit) {
    const std::size_t count = 60;
    std::vector<std::ptrdiff_t> after(count, -1);
    for (std::size_t i = 5; i < count; i += 7)
        after[i] = static_cast<std::ptrdiff_t>(i) - 2;
    const auto pixelsOf = [](std::size_t i) -> std::uint64_t {
        return i % 5 == 0 ? 250 : 40;
    };
    const PipelineLimits limits{4, 6, 100};

    std::mutex mutex;
    std::uint64_t inFlight = 0;
    std::size_t finished = 0;
    bool overLimit = false, waitMissed = false, outOfOrder = false;
    PipelineSteps steps;
    steps.measure = pixelsOf;
    steps.prepare = [&](std::size_t i) {
        const std::uint64_t pixels = std::min<std::uint64_t>(pixelsOf(i), limits.pixels);
        {
            const std::lock_guard<std::mutex> lock(mutex);
            inFlight += pixels;
            overLimit |= inFlight > limits.pixels && inFlight != pixels;
            waitMissed |= after[i] >= 0 && finished <= static_cast<std::size_t>(after[i]);
        }
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::minstd_rand(i)() % 2000));
        PreparedInput prepared;
        prepared.frame = cv::Mat(1, 1, CV_8UC1, cv::Scalar(static_cast<int>(i)));
        const std::lock_guard<std::mutex> lock(mutex);
        if (i % 3 == 0)
            prepared.image = cv::Mat(1, 1, CV_8UC3);  // kept until finished
        else
            inFlight -= pixels;
        return prepared;
    };
    steps.finish = [&](std::size_t i, PreparedInput& prepared) {
        const std::lock_guard<std::mutex> lock(mutex);
        outOfOrder |= i != finished || prepared.frame.at<uchar>(0) != i;
        if (!prepared.image.empty())
            inFlight -= std::min<std::uint64_t>(pixelsOf(i), 100);
        ++finished;
    };
    runPipeline(count, after, limits, steps);
    EXPECT_EQ(finished, count);
    EXPECT_FALSE(outOfOrder);
    EXPECT_FALSE(waitMissed);
    EXPECT_FALSE(overLimit);
    EXPECT_EQ(inFlight, 0u);
}

}  // namespace
