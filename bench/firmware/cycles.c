/* SPDX-License-Identifier: Apache-2.0 */
/* Decodes every frame of the compressed set "frames" and reports the CPU cycles each
 * took: "rows N" row by row, "spans N" as the spans that changed; with WHOLE_FRAMES (a part with 4 KiB of RAM to spare)
 * also "whole N", each frame applied to the one before, and "alone N", each frame
 * from nothing. The rows are not sent anywhere: only decoding is counted. */
#include "board.h"
#include "frames.h"
#include "grayframe_decode.h"

static grayframe_decoder decoder;
static unsigned char row[FRAMES_ROW_BYTES];
#ifdef WHOLE_FRAMES
static unsigned char frame_bytes[FRAMES_FRAME_BYTES];
#endif

int main(void)
{
    unsigned frame;
    uint32_t start;
    grayframe_span span;
    board_start();
    if (frames_open(&decoder) != GRAYFRAME_OK) board_stop();
    for (frame = 0; frame < FRAMES_FRAME_COUNT; ++frame) {
        start = board_cycles();
        grayframe_rows_begin(&decoder, frame);
        while (grayframe_rows_next(&decoder, row) == GRAYFRAME_MORE) {
        }
        board_report("rows", board_cycles() - start);
    }
    for (frame = 0; frame < FRAMES_FRAME_COUNT; ++frame) {
        start = board_cycles();
        grayframe_spans_begin(&decoder, frame);
        while (grayframe_spans_next(&decoder, &span, row) == GRAYFRAME_MORE) {
        }
        board_report("spans", board_cycles() - start);
    }
#ifdef WHOLE_FRAMES
    for (frame = 0; frame < FRAMES_FRAME_COUNT; ++frame) {
        start = board_cycles();
        grayframe_decode_frame(&decoder, frame, frame_bytes, frame > 0);
        board_report("whole", board_cycles() - start);
    }
    for (frame = 0; frame < FRAMES_FRAME_COUNT; ++frame) {
        start = board_cycles();
        grayframe_decode_frame(&decoder, frame, frame_bytes, 0);
        board_report("alone", board_cycles() - start);
    }
#endif
    board_stop();
    return 0;
}
