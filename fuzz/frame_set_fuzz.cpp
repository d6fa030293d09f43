// SPDX-License-Identifier: Apache-2.0
// Frames drawn from the input, coded as a compressed set by the encoder and decoded again
// by the firmware decoder in every mode: each frame must come back byte for byte. Input:
// the number of frames (and, in its top two bits, the cycles a frame may take), then
// drawing steps of 6 bytes (what, then 5 numbers); a step whose first byte is 0xFF ends
// a frame, whose next frame starts as a copy of it.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "packed/frame_code.h"

extern "C" {
#include "grayframe_decode.h"
}

namespace {

using fuzz::check;
constexpr int ROWS = PACKED_FRAME_BYTES / PACKED_ROW_BYTES;

// One drawing step: a box filled, noise, rows moved sideways, rows copied from others,
// or a gradient; within the frame.
void draw(PackedFrame& frame, const uint8_t* step) {
    const int x = step[1] % PACKED_ROW_BYTES, y = step[2] % ROWS;
    const int width = std::min(1 + step[3] % PACKED_ROW_BYTES, PACKED_ROW_BYTES - x);
    const int height = std::min(1 + step[4] % ROWS, ROWS - y);
    const unsigned char value = step[5];
    unsigned random = value;
    for (int row = y; row < y + height; ++row) {
        unsigned char* bytes = frame.data() + row * PACKED_ROW_BYTES;
        unsigned char moved[PACKED_ROW_BYTES];
        switch (step[0] % 5) {
            case 0:
                std::memset(bytes + x, value, width);
                break;
            case 1:
                for (int k = x; k < x + width; ++k)
                    bytes[k] = (random = random * 1103515245 + 12345) >> 16;
                break;
            case 2:
                for (int k = 0; k < PACKED_ROW_BYTES; ++k)
                    moved[(k + value % 9 + PACKED_ROW_BYTES - 4) % PACKED_ROW_BYTES] =
                        bytes[k];
                std::memcpy(bytes, moved, PACKED_ROW_BYTES);
                break;
            case 3:
                std::memcpy(bytes + x,
                            frame.data() + (row + value) % ROWS * PACKED_ROW_BYTES + x,
                            width);
                break;
            default:
                for (int k = x; k < x + width; ++k)
                    bytes[k] = static_cast<unsigned char>(k * (value & 7) + row);
        }
    }
}

std::vector<PackedFrame> framesOf(const uint8_t* data, size_t size) {
    std::vector<PackedFrame> frames(1);
    frames[0].fill(0);
    const size_t count = 1 + data[0] % 12;
    for (size_t at = 1; at + 6 <= size && frames.size() <= count; at += 6) {
        if (data[at] == 0xFF)
            frames.push_back(frames.back());
        else
            draw(frames.back(), data + at);
    }
    return frames;
}

void checkEveryMode(const std::vector<unsigned char>& set, unsigned k,
                    const PackedFrame& want, const PackedFrame* before) {
    grayframe_decoder d;
    check(grayframe_open(&d, set.data(), set.size()) == GRAYFRAME_OK);
    std::vector<unsigned char> whole(GRAYFRAME_FRAME_BYTES), row(GRAYFRAME_ROW_BYTES);
    check(grayframe_decode_frame(&d, k, whole.data(), 0) == GRAYFRAME_OK);
    check(std::memcmp(whole.data(), want.data(), whole.size()) == 0);

    check(grayframe_rows_begin(&d, k) == GRAYFRAME_OK);
    int rows = 0, result;
    while ((result = grayframe_rows_next(&d, row.data())) == GRAYFRAME_MORE)
        check(rows < ROWS &&
              std::memcmp(row.data(), want.data() + rows++ * PACKED_ROW_BYTES,
                          row.size()) == 0);
    check(result == GRAYFRAME_OK && rows == ROWS);
    if (!before) return;

    std::memcpy(whole.data(), before->data(), whole.size());
    check(grayframe_decode_frame(&d, k, whole.data(), 1) == GRAYFRAME_OK);
    check(std::memcmp(whole.data(), want.data(), whole.size()) == 0);
    std::memcpy(whole.data(), before->data(), whole.size());
    check(grayframe_spans_begin(&d, k) == GRAYFRAME_OK);
    grayframe_span span;
    while ((result = grayframe_spans_next(&d, &span, row.data())) == GRAYFRAME_MORE)
        std::memcpy(whole.data() + span.row * PACKED_ROW_BYTES + span.first,
                    row.data() + span.first, span.length);
    check(result == GRAYFRAME_OK);
    check(std::memcmp(whole.data(), want.data(), whole.size()) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::vector<PackedFrame> frames = framesOf(data, size);
    const long cycles[] = {FRAME_CODE_CYCLES, FRAME_CODE_CYCLES, 48000, 0};
    const std::vector<unsigned char> set = encodeFrameSet(frames, cycles[data[0] >> 6]);
    for (unsigned k = 0; k < frames.size(); ++k)
        checkEveryMode(set, k, frames[k], k ? &frames[k - 1] : nullptr);
    return 0;
}
