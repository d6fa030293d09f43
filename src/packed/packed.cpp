#include "packed/packed.h"

#include "frame/frame.h"

PackedFrame packFrame(const cv::Mat& frame, NibbleOrder order) {
    CV_Assert(frame.type() == CV_8UC1 && frame.cols == FRAME_WIDTH &&
              frame.rows == FRAME_HEIGHT);
    PackedFrame packed{};
    auto out = packed.begin();
    for (int y = 0; y < FRAME_HEIGHT; ++y) {
        const unsigned char* row = frame.ptr<unsigned char>(y);
        for (int x = 0; x < FRAME_WIDTH; x += 2)
            *out++ = order == NibbleOrder::LowFirst ? packPair(row[x + 1], row[x])
                                                    : packPair(row[x], row[x + 1]);
    }
    return packed;
}

namespace {

// "0x" and the byte in lower-case hex without leading zeros, then ", ".
void appendEntry(std::string& text, unsigned char byte) {
    static const char digits[] = "0123456789abcdef";
    text += "0x";
    if (byte >= 0x10) text += digits[byte >> 4];
    text += digits[byte & 0xF];
    text += ", ";
}

}  // namespace

std::string headerText(const PackedFrame& packed) {
    std::string text =
        "#ifndef _IMAGE_DATA_\n#define _IMAGE_DATA_\n\n\n"
        "const unsigned char c_imgData[] = {\n";
    for (int i = 0; i < PACKED_FRAME_BYTES; ++i) {
        appendEntry(text, packed[i]);
        if ((i + 1) % PACKED_ROW_BYTES == 0) text += '\n';
    }
    text += "\n};\n\n#endif _IMAGE_DATA_\n";
    return text;
}

void writeHeaderText(std::ostream& out, const cv::Mat& frame) {
    out << headerText(packFrame(frame));
}

void writePackedBytes(std::ostream& out, const cv::Mat& frame) {
    const PackedFrame packed = packFrame(frame);
    out.write(reinterpret_cast<const char*>(packed.data()), packed.size());
}
