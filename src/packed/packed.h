// packed: frame -> bytes and text. The packed layout (drawn below), the converter's
// header text and raw stream, and the frame sets of frame_set.h. Includes only frame/.
#pragma once

#include <array>
#include <opencv2/core.hpp>
#include <ostream>
#include <string>

// The packed frame: 80 rows from the top, 51 bytes a row from the left, two pixels a
// byte, the left pixel's level in the high nibble:
//
//   frame row y:   x=0  x=1   x=2  x=3  ...  x=100 x=101
//                  [L0] [R0]  [L1] [R1] ...  [L50] [R50]
//   packed byte:   row y*51 + k  =  (level(2k) << 4) | level(2k+1)
//                  bit  7 6 5 4 | 3 2 1 0
//                       pixel 2k  pixel 2k+1
constexpr int PACKED_ROW_BYTES = 51;
constexpr int PACKED_FRAME_BYTES = 4080;
using PackedFrame = std::array<unsigned char, PACKED_FRAME_BYTES>;

// One byte from two frame samples whose low nibbles are zero.
inline unsigned char packPair(unsigned char left, unsigned char right) {
    return static_cast<unsigned char>(left | (right >> 4));
}

// Which pixel of a pair a byte holds in its high nibble: the left (as above) or the
// right.
enum class NibbleOrder { HighFirst, LowFirst };

// The packed bytes of a 102 x 80 one-channel 8-bit frame (read through its stride);
// with LowFirst the left pixel's level is in the low nibble of each byte.
PackedFrame packFrame(const cv::Mat& frame, NibbleOrder order = NibbleOrder::HighFirst);

// The 89-line C text declaring c_imgData, one line per frame row.
std::string headerText(const PackedFrame& packed);

// Writes the 89-line C text declaring c_imgData, one line per frame row.
void writeHeaderText(std::ostream& out, const cv::Mat& frame);

// Writes the 4080 packed bytes bare to out, untranslated and without a flush.
void writePackedBytes(std::ostream& out, const cv::Mat& frame);
