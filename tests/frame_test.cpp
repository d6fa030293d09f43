#include "frame/frame.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "support.h"

namespace {

struct WorkedRegion {
    int sw, sh;
    cv::Rect fitIn, fitOut;
};

TEST(FitRegions, MatchTheWorkedTable) {
    const WorkedRegion table[] = {
        {640, 480, {0, 2, 102, 76}, {14, 0, 611, 480}},
        {800, 600, {0, 2, 102, 76}, {18, 0, 764, 600}},
        {480, 640, {21, 0, 60, 80}, {0, 132, 480, 376}},
        {100, 100, {11, 0, 80, 80}, {0, 11, 100, 78}},
        {1280, 1024, {1, 0, 100, 80}, {0, 10, 1280, 1003}},
        {1920, 1080, {0, 11, 102, 57}, {272, 0, 1376, 1080}},
        {102, 80, {0, 0, 101, 80}, {0, 0, 101, 80}},
        {204, 160, {0, 0, 101, 80}, {0, 0, 203, 160}},
    };
    const cv::Rect frame(0, 0, FRAME_WIDTH, FRAME_HEIGHT);
    for (const WorkedRegion& row : table) {
        SCOPED_TRACE(std::to_string(row.sw) + "x" + std::to_string(row.sh));
        const cv::Rect whole(0, 0, row.sw, row.sh);
        const FitRegions in = fitRegions(row.sw, row.sh, FitIn);
        EXPECT_EQ(in.source, whole);
        EXPECT_EQ(in.target, row.fitIn);
        const FitRegions out = fitRegions(row.sw, row.sh, FitOut);
        EXPECT_EQ(out.source, row.fitOut);
        EXPECT_EQ(out.target, frame);
        const FitRegions stretch = fitRegions(row.sw, row.sh, Stretch);
        EXPECT_EQ(stretch.source, whole);
        EXPECT_EQ(stretch.target, frame);
    }
}

TEST(FitRegions, ExtremeSidesBecomeOnePixelCentred) {
    EXPECT_EQ(fitRegions(10, 1000, FitIn).target, cv::Rect(50, 0, 1, 80));
    EXPECT_EQ(fitRegions(1030, 10, FitIn).target, cv::Rect(0, 39, 102, 1));
    EXPECT_EQ(fitRegions(1, 1, FitOut).source, cv::Rect(0, 0, 1, 1));
    EXPECT_EQ(fitRegions(1, 1000, FitOut).source, cv::Rect(0, 499, 1, 1));
    EXPECT_EQ(fitRegions(1000, 1, FitOut).source, cv::Rect(499, 0, 1, 1));
    EXPECT_EQ(fitRegions(1, 1, FitIn).target, cv::Rect(11, 0, 80, 80));
}

TEST(FitRegions, StayInsideBothImages) {
    const int sides[] = {1, 2, 3, 7, 79, 80, 81, 101, 102, 103, 999, 4000, 65500};
    for (int sw : sides) {
        for (int sh : sides) {
            for (ResizeMode mode : {FitIn, FitOut, Stretch}) {
                const FitRegions r = fitRegions(sw, sh, mode);
                EXPECT_FALSE(r.source.empty());
                EXPECT_FALSE(r.target.empty());
                EXPECT_EQ(r.source & cv::Rect(0, 0, sw, sh), r.source);
                EXPECT_EQ(r.target & cv::Rect(0, 0, FRAME_WIDTH, FRAME_HEIGHT), r.target);
            }
        }
    }
}

// What the frame must be: the whole picture converted with code 7, then the regions.
cv::Mat referenceFrame(const cv::Mat& image, ResizeMode mode) {
    cv::Mat gray;
    cv::cvtColor(image, gray, 7);
    cv::Mat frame(FRAME_HEIGHT, FRAME_WIDTH, CV_8UC1, cv::Scalar(0));
    const FitRegions r = fitRegions(image.cols, image.rows, mode);
    cv::Mat target = frame(r.target);
    cv::resize(gray(r.source), target, r.target.size(), 0, 0, 2);
    for (int y = 0; y < FRAME_HEIGHT; ++y)
        for (int x = 0; x < FRAME_WIDTH; ++x) frame.at<uchar>(y, x) &= 0xF0;
    return frame;
}

TEST(ReduceToFrame, MatchesReferenceAndKeepsInput) {
    // Large sides too, where only the rows the resize reads are converted to gray.
    const cv::Size sizes[] = {{640, 480},  {480, 640},   {102, 80},   {1, 1},
                              {10, 1000},  {1030, 10},   {333, 77},   {1, 5},
                              {1601, 161}, {700, 2903},  {2999, 1999}, {97, 4001}};
    for (const cv::Size& size : sizes) {
        cv::Mat picture = test::makePicture(size.width, size.height, 7);
        if (size.height % 2) cv::cvtColor(picture, picture, cv::COLOR_BGR2BGRA);
        const cv::Mat before = picture.clone();
        for (ResizeMode mode : {FitIn, FitOut, Stretch}) {
            SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height) +
                         " mode " + std::to_string(mode));
            const cv::Mat frame = reduceToFrame(picture, mode);
            ASSERT_EQ(frame.type(), CV_8UC1);
            ASSERT_EQ(frame.size(), cv::Size(FRAME_WIDTH, FRAME_HEIGHT));
            EXPECT_EQ(cv::norm(frame, referenceFrame(picture, mode), cv::NORM_INF), 0);
            cv::Mat lowNibbles = frame & cv::Scalar(0x0F);
            EXPECT_EQ(cv::countNonZero(lowNibbles), 0);
        }
        EXPECT_EQ(cv::norm(picture, before, cv::NORM_INF), 0);
    }
}

uchar uniformLevel(const cv::Scalar& bgr) {
    const cv::Mat picture(30, 40, CV_8UC3, bgr);
    return reduceToFrame(picture, Stretch).at<uchar>(40, 51);
}

TEST(ReduceToFrame, WeighsFirstChannelAsRed) {
    EXPECT_EQ(uniformLevel({255, 0, 0}), 0x40);  // blue weighs 0.299: 76
    EXPECT_EQ(uniformLevel({0, 255, 0}), 0x90);  // green 0.587: 150
    EXPECT_EQ(uniformLevel({0, 0, 255}), 0x10);  // red 0.114: 29
    EXPECT_EQ(uniformLevel({255, 255, 255}), 0xF0);
}

int countRowsAt(const cv::Mat& frame, uchar level) {
    int rows = 0;
    for (int y = 0; y < frame.rows; ++y) rows += cv::countNonZero(frame.row(y) != level) == 0;
    return rows;
}

TEST(ReduceToFrame, LetterboxBarsStayBlack) {
    const cv::Mat white640(480, 640, CV_8UC3, cv::Scalar::all(255));
    const cv::Mat wide = reduceToFrame(white640, FitIn);
    EXPECT_EQ(countRowsAt(wide.rowRange(0, 2), 0), 2);
    EXPECT_EQ(countRowsAt(wide.rowRange(78, 80), 0), 2);
    EXPECT_EQ(countRowsAt(wide.rowRange(2, 78), 0xF0), 76);

    const cv::Mat tall = reduceToFrame(cv::Mat(640, 480, CV_8UC3, cv::Scalar::all(255)), FitIn);
    EXPECT_EQ(cv::countNonZero(tall.colRange(0, 21)), 0);
    EXPECT_EQ(cv::countNonZero(tall.colRange(81, 102)), 0);
    EXPECT_EQ(cv::countNonZero(tall.colRange(21, 81) != 0xF0), 0);

    const cv::Mat exact = reduceToFrame(cv::Mat(80, 102, CV_8UC3, cv::Scalar::all(255)), FitIn);
    EXPECT_EQ(cv::countNonZero(exact.col(101)), 0);
    EXPECT_EQ(cv::countNonZero(exact.col(100) != 0xF0), 0);

    const cv::Mat filled = reduceToFrame(white640, FitOut);
    EXPECT_EQ(cv::countNonZero(filled != 0xF0), 0);
}

}  // namespace
