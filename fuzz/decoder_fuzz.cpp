// SPDX-License-Identifier: Apache-2.0
// Arbitrary bytes as a compressed frame set through every mode of the firmware decoder. The set and every buffer the decoder
// writes are allocated at their exact sizes, so that AddressSanitizer reports any read
// or write outside them; every call must end, rows and spans stay within the frame.
#include <cstdint>
#include <memory>

#include "fuzz_support.h"

extern "C" {
#include "grayframe_decode.h"
}

namespace {

using fuzz::check;

void decodeFrame(grayframe_decoder& d, unsigned frame) {
    const std::unique_ptr<unsigned char[]> whole(new unsigned char[GRAYFRAME_FRAME_BYTES]());
    const std::unique_ptr<unsigned char[]> row(new unsigned char[GRAYFRAME_ROW_BYTES]());
    grayframe_decode_frame(&d, frame, whole.get(), 0);
    grayframe_decode_frame(&d, frame, whole.get(), 1);

    int result = grayframe_rows_begin(&d, frame);
    int calls = 0;
    if (result == GRAYFRAME_OK)
        while ((result = grayframe_rows_next(&d, row.get())) == GRAYFRAME_MORE)
            check(++calls <= GRAYFRAME_ROWS);
    check(result <= 0 && result != GRAYFRAME_ORDER);

    result = grayframe_spans_begin(&d, frame);
    grayframe_span span;
    int lastRow = 0;
    calls = 0;
    if (result == GRAYFRAME_OK)
        while ((result = grayframe_spans_next(&d, &span, row.get())) == GRAYFRAME_MORE) {
            check(span.row < GRAYFRAME_ROWS && span.row >= lastRow && span.length > 0 &&
                  span.first + span.length <= GRAYFRAME_ROW_BYTES);
            lastRow = span.row;
            check(++calls <= GRAYFRAME_ROWS * (GRAYFRAME_ROW_BYTES + 1) / 2);
        }
    check(result <= 0 && result != GRAYFRAME_ORDER);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::unique_ptr<unsigned char[]> copy(new unsigned char[size ? size : 1]);
    std::copy(data, data + size, copy.get());
    grayframe_decoder d;
    if (grayframe_open(&d, copy.get(), size) != GRAYFRAME_OK) return 0;
    const unsigned count = grayframe_frame_count(&d);
    for (unsigned frame = 0; frame < count && frame < 24; ++frame) decodeFrame(d, frame);
    if (count > 24) decodeFrame(d, count - 1);
    decodeFrame(d, count);  // no such frame
    return 0;
}
