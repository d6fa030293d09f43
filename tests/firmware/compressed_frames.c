/* SPDX-License-Identifier: Apache-2.0 */
/* Sends every frame of the compressed set "frames" in each way the decoder gives it:
 * row by row; as the spans that changed, applied to the frame before; whole, each
 * frame applied to the one before; then the last frame alone, decoded from nothing.
 * Any decoder error ends the run before the frames are all out. */
#include "board.h"
#include "frames.h"
#include "grayframe_decode.h"

static grayframe_decoder decoder;
static unsigned char row[FRAMES_ROW_BYTES];
static unsigned char frame_bytes[FRAMES_FRAME_BYTES];

static void check(int result)
{
    if (result < 0) board_stop();
}

static void send_frame(void)
{
    unsigned y;
    for (y = 0; y < FRAMES_FRAME_HEIGHT; ++y)
        board_send(frame_bytes + y * FRAMES_ROW_BYTES, FRAMES_ROW_BYTES);
}

static void send_rows(unsigned frame)
{
    unsigned rows = 0;
    check(grayframe_rows_begin(&decoder, frame));
    while (grayframe_rows_next(&decoder, row) == GRAYFRAME_MORE && rows++ < FRAMES_FRAME_HEIGHT)
        board_send(row, FRAMES_ROW_BYTES);
}

static void apply_spans(unsigned frame)
{
    grayframe_span span;
    unsigned k;
    int result;
    check(grayframe_spans_begin(&decoder, frame));
    while ((result = grayframe_spans_next(&decoder, &span, row)) == GRAYFRAME_MORE)
        for (k = span.first; k < (unsigned)span.first + span.length; ++k)
            frame_bytes[span.row * FRAMES_ROW_BYTES + k] = row[k];
    check(result);
}

int main(void)
{
    unsigned frame;
    board_start();
#ifdef __AVR__
    check(frames_open(&decoder));
#else
    check(grayframe_open(&decoder, frames_code, FRAMES_CODE_BYTES));
#endif
    for (frame = 0; frame < FRAMES_FRAME_COUNT; ++frame) send_rows(frame);
    for (frame = 0; frame < FRAMES_FRAME_COUNT; ++frame) {
        apply_spans(frame);
        send_frame();
    }
    for (frame = 0; frame < FRAMES_FRAME_COUNT; ++frame) {
        check(grayframe_decode_frame(&decoder, frame, frame_bytes, frame > 0));
        send_frame();
    }
    check(grayframe_decode_frame(&decoder, FRAMES_FRAME_COUNT - 1, frame_bytes, 0));
    send_frame();
    board_stop();
    return 0;
}
