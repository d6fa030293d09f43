// SPDX-License-Identifier: Apache-2.0
#include "frame/display_steps.h"

#include <gtest/gtest.h>

#include "support.h"

namespace {

// Tone samples 0, 1, ... 255, 0, 1, ... across the frame's rows.
cv::Mat toneRamp() {
    cv::Mat tone(FRAME_HEIGHT, FRAME_WIDTH, CV_32FC1);
    for (int i = 0; i < tone.rows * tone.cols; ++i) tone.at<float>(i) = i % 256;
    return tone;
}

const cv::Rect wholeFrame(0, 0, FRAME_WIDTH, FRAME_HEIGHT);

int levelAt(const cv::Mat& levels, int x, int y) { return levels.at<uchar>(y, x) >> 4; }

TEST(DisplaySteps, DefaultsGiveTheConvertersFrame) {
    for (const cv::Size size : {cv::Size(640, 480), cv::Size(77, 333), cv::Size(1, 1)}) {
        const cv::Mat picture = test::makePicture(size.width, size.height, 3);
        for (ResizeMode mode : {FitIn, FitOut, Stretch})
            EXPECT_EQ(cv::norm(makeDisplayFrame(picture, mode, {}),
                               reduceToFrame(picture, mode), cv::NORM_INF),
                      0)
                << size << " mode " << mode;
    }
}

TEST(DisplaySteps, LumaWeighsRedAsRed) {
    const cv::Mat red(40, 40, CV_8UC3, cv::Scalar(0, 0, 255));
    const FitRegions regions = fitRegions(40, 40, Stretch);
    EXPECT_EQ(reduceToGray(red, regions, GrayWeights::Converter).at<uchar>(5, 5), 29);
    EXPECT_EQ(reduceToGray(red, regions, GrayWeights::Luma).at<uchar>(5, 5), 76);
    DisplayOptions luma;
    luma.gray = GrayWeights::Luma;
    luma.quantizer = Quantizer::Round;  // 76 * 15 / 255 = 4.47
    EXPECT_EQ(levelAt(makeDisplayFrame(red, Stretch, luma), 7, 7), 4);
}

TEST(DisplaySteps, LevelsCutOrRoundEverySample) {
    const cv::Mat tone = toneRamp();
    const cv::Mat upper = quantize(tone, Quantizer::UpperBits, wholeFrame);
    const cv::Mat round = quantize(tone, Quantizer::Round, wholeFrame);
    for (int i = 0; i < tone.rows * tone.cols; ++i) {
        const int v = i % 256;
        ASSERT_EQ(upper.at<uchar>(i), v & 0xF0) << v;
        ASSERT_EQ(round.at<uchar>(i) >> 4, (v * 15 + 127) / 255) << v;
        ASSERT_EQ(round.at<uchar>(i) & 0x0F, 0) << v;
    }
}

TEST(DisplaySteps, GammaIsThePanelsResponse) {
    cv::Mat gray(1, 3, CV_8UC1);
    gray.at<uchar>(0) = 0, gray.at<uchar>(1) = 128, gray.at<uchar>(2) = 255;
    const cv::Mat brighter = applyTone(gray, 2.2), darker = applyTone(gray, 1 / 2.2);
    EXPECT_FLOAT_EQ(brighter.at<float>(0), 0);
    EXPECT_NEAR(brighter.at<float>(1), 186.42, 0.01);  // 255 * (128 / 255)^(1 / 2.2)
    EXPECT_FLOAT_EQ(brighter.at<float>(2), 255);
    EXPECT_NEAR(darker.at<float>(1), 55.98, 0.01);  // 255 * (128 / 255)^2.2
    EXPECT_EQ(cv::norm(applyTone(gray, 1), cv::Mat_<float>({1, 3}, {0, 128, 255})), 0);
}

TEST(DisplaySteps, OrderedDitherIsTheBayerPatternAndStaysPut) {
    // Halfway between levels 7 and 8, the 4 x 4 thresholds of eight and more choose 8.
    const cv::Mat half(FRAME_HEIGHT, FRAME_WIDTH, CV_32FC1, cv::Scalar(127.5));
    const cv::Mat levels = quantize(half, Quantizer::Ordered, wholeFrame);
    const int bayer[4][4] = {
        {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    for (int y = 0; y < FRAME_HEIGHT; ++y)
        for (int x = 0; x < FRAME_WIDTH; ++x)
            ASSERT_EQ(levelAt(levels, x, y), bayer[y % 4][x % 4] >= 8 ? 8 : 7)
                << x << "," << y;

    // Two frames of an animation that differ in a corner differ nowhere else.
    cv::Mat first = test::makePicture(204, 160, 4), second = first.clone();
    second(cv::Rect(0, 0, 20, 16)).setTo(cv::Scalar(255, 255, 255));
    DisplayOptions ordered;
    ordered.quantizer = Quantizer::Ordered;
    const cv::Mat a = makeDisplayFrame(first, Stretch, ordered);
    const cv::Mat b = makeDisplayFrame(second, Stretch, ordered);
    const cv::Rect corner(0, 0, 14, 12);  // the changed 10 x 8 and the resize's reach
    EXPECT_GT(cv::countNonZero(a(corner) != b(corner)), 0);
    cv::Mat rest = a != b;
    rest(corner).setTo(0);
    EXPECT_EQ(cv::countNonZero(rest), 0);
}

TEST(DisplaySteps, DiffusionKeepsTheMeanInsideThePicture) {
    // 8 is 0.47 of a level: a plain rounding gives black; diffusion lights about
    // every second pixel, and nothing outside the picture's area.
    cv::Mat tone(FRAME_HEIGHT, FRAME_WIDTH, CV_32FC1, cv::Scalar(0));
    const cv::Rect area(10, 4, 80, 70);
    tone(area).setTo(8);
    const cv::Mat levels = quantize(tone, Quantizer::Diffusion, area);
    cv::Mat outside = levels.clone();
    outside(area).setTo(0);
    EXPECT_EQ(cv::countNonZero(outside), 0);
    EXPECT_NEAR(cv::mean(levels(area))[0] / 16, 8 * 15 / 255.0, 0.01);
    EXPECT_EQ(cv::countNonZero(levels(area) > 0x10), 0);
}

TEST(DisplaySteps, InvertAndOrientation) {
    cv::Mat levels(FRAME_HEIGHT, FRAME_WIDTH, CV_8UC1);
    for (int y = 0; y < FRAME_HEIGHT; ++y)
        for (int x = 0; x < FRAME_WIDTH; ++x)
            levels.at<uchar>(y, x) = static_cast<uchar>(((x * 3 + y * 5) % 16) << 4);
    const cv::Mat inverted = invertLevels(levels);
    const cv::Mat turned = orient(levels, true, Mirror::None);
    const cv::Mat across = orient(levels, false, Mirror::Horizontal);
    const cv::Mat upsideDown = orient(levels, false, Mirror::Vertical);
    const cv::Mat turnedAcross = orient(levels, true, Mirror::Horizontal);
    const int right = FRAME_WIDTH - 1, bottom = FRAME_HEIGHT - 1;
    for (int y = 0; y < FRAME_HEIGHT; ++y)
        for (int x = 0; x < FRAME_WIDTH; ++x) {
            const int level = levelAt(levels, x, y);
            ASSERT_EQ(levelAt(inverted, x, y), 15 - level);
            ASSERT_EQ(levelAt(turned, right - x, bottom - y), level);
            ASSERT_EQ(levelAt(across, right - x, y), level);
            ASSERT_EQ(levelAt(upsideDown, x, bottom - y), level);
            ASSERT_EQ(levelAt(turnedAcross, x, bottom - y), level);
        }
}

}  // namespace
