// Builds examples/firmware against a generated header and checks that the frame it
// unpacks from c_imgData is the BMP's frame, pixel for pixel.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <set>

#include "support.h"

namespace {

TEST(FirmwareExample, UnpacksTheBmpPixelsExactly) {
    const test::TempDir dir;
    cv::imwrite(dir / "photo.png", test::makePicture(300, 200, 5));
    ASSERT_EQ(test::runGrayframe({"-i", "photo.png", "-resizemode", "stretch"}, dir.path)
                  .status,
              0);
    const test::RunResult compile = test::runProgram(
        C_COMPILER,
        {"-std=c99", "-Wall", "-Wextra", "-pedantic", "-I.",
         "-DFRAME_HEADER=\"photo.png_out.h\"", FIRMWARE_EXAMPLE, "-o", "frame_to_pgm"},
        dir.path);
    ASSERT_EQ(compile.status, 0) << compile.err;
    EXPECT_EQ(test::unexpectedWarnings(compile.err), "");

    const test::RunResult run = test::runProgram(dir / "frame_to_pgm", {}, dir.path);
    ASSERT_EQ(run.status, 0);
    const std::vector<uchar> pgmBytes(run.out.begin(), run.out.end());
    const cv::Mat pgm = cv::imdecode(pgmBytes, cv::IMREAD_UNCHANGED);
    const cv::Mat bmp = cv::imread(dir / "photo.png_out.bmp", cv::IMREAD_UNCHANGED);
    ASSERT_EQ(pgm.size(), cv::Size(102, 80));
    ASSERT_EQ(pgm.type(), CV_8UC1);
    ASSERT_EQ(bmp.size(), pgm.size());
    ASSERT_EQ(bmp.type(), pgm.type());
    EXPECT_EQ(cv::countNonZero(pgm != bmp), 0);

    // A frame of a few levels only would hide a nibble or byte order mix-up.
    const std::set<uchar> levels(bmp.begin<uchar>(), bmp.end<uchar>());
    EXPECT_GE(levels.size(), 8u);
}

}  // namespace
