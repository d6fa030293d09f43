#include "packed/packed.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "frame/frame.h"
#include "output/frame_files.h"
#include "support.h"

namespace {

// A frame whose level at (x, y) is (x * 7 + y * 3) % 16, held inside a wider image so
// that its row stride is not 102.
cv::Mat patternFrame(cv::Mat& storage) {
    storage = cv::Mat(FRAME_HEIGHT + 4, FRAME_WIDTH + 30, CV_8UC1, cv::Scalar(0x0F));
    cv::Mat frame = storage(cv::Rect(5, 2, FRAME_WIDTH, FRAME_HEIGHT));
    for (int y = 0; y < FRAME_HEIGHT; ++y)
        for (int x = 0; x < FRAME_WIDTH; ++x)
            frame.at<uchar>(y, x) = static_cast<uchar>(((x * 7 + y * 3) % 16) << 4);
    return frame;
}

TEST(Packing, LeftPixelHighNibbleThroughStride) {
    EXPECT_EQ(packPair(0xA0, 0x30), 0xA3);
    EXPECT_EQ(packPair(0xF0, 0x00), 0xF0);
    EXPECT_EQ(packPair(0x00, 0xF0), 0x0F);

    cv::Mat storage;
    const cv::Mat frame = patternFrame(storage);
    ASSERT_NE(frame.step[0], static_cast<size_t>(FRAME_WIDTH));
    const PackedFrame packed = packFrame(frame);
    for (int y = 0; y < FRAME_HEIGHT; ++y)
        for (int k = 0; k < PACKED_ROW_BYTES; ++k) {
            const int left = (2 * k * 7 + y * 3) % 16, right = ((2 * k + 1) * 7 + y * 3) % 16;
            ASSERT_EQ(packed[y * PACKED_ROW_BYTES + k], left << 4 | right) << y << "," << k;
        }

    std::ostringstream raw;
    writePackedBytes(raw, frame);
    EXPECT_EQ(raw.str(), std::string(packed.begin(), packed.end()));
}

// The header text built independently, entry by entry with printf formatting.
std::string expectedHeader(const PackedFrame& packed) {
    std::string text = "#ifndef _IMAGE_DATA_\n#define _IMAGE_DATA_\n\n\n";
    text += "const unsigned char c_imgData[] = {\n";
    for (int y = 0; y < FRAME_HEIGHT; ++y) {
        for (int k = 0; k < PACKED_ROW_BYTES; ++k) {
            char entry[8];
            std::snprintf(entry, sizeof entry, "0x%x, ", packed[y * PACKED_ROW_BYTES + k]);
            text += entry;
        }
        text += "\n";
    }
    return text + "\n};\n\n#endif _IMAGE_DATA_\n";
}

TEST(HeaderText, LinesAndEntries) {
    cv::Mat storage;
    const cv::Mat frame = patternFrame(storage);
    std::ostringstream out;
    writeHeaderText(out, frame);
    const std::string text = out.str();
    EXPECT_EQ(text, expectedHeader(packFrame(frame)));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 89);

    const cv::Mat black(FRAME_HEIGHT, FRAME_WIDTH, CV_8UC1, cv::Scalar(0));
    std::ostringstream blackOut;
    writeHeaderText(blackOut, black);
    std::string zeros;
    for (int k = 0; k < PACKED_ROW_BYTES; ++k) zeros += "0x0, ";
    EXPECT_NE(blackOut.str().find("{\n" + zeros + "\n" + zeros + "\n"), std::string::npos);

    cv::Mat stripes(FRAME_HEIGHT, FRAME_WIDTH, CV_8UC1, cv::Scalar(0));
    for (int x = 1; x < FRAME_WIDTH; x += 2) stripes.col(x).setTo(0xF0);
    std::ostringstream stripesOut;
    writeHeaderText(stripesOut, stripes);
    EXPECT_NE(stripesOut.str().find("0xf, 0xf, "), std::string::npos);
    EXPECT_EQ(stripesOut.str().find("0xf0"), std::string::npos);
}

TEST(HeaderFile, WritesTextOrReportsFailure) {
    const test::TempDir dir;
    cv::Mat storage;
    const cv::Mat frame = patternFrame(storage);
    const std::string path = dir / "a.h";
    test::writeFile(path, std::string(100000, 'x'));
    ASSERT_TRUE(writeHeaderFile(path, frame));
    EXPECT_EQ(test::readFile(path), expectedHeader(packFrame(frame)));

    EXPECT_FALSE(writeHeaderFile(dir / "missing/a.h", frame));
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    EXPECT_FALSE(writeHeaderFile("/dev/full", frame));
    EXPECT_FALSE(writeHeaderFile(dir.path.string(), frame));
}

}  // namespace
