/* SPDX-License-Identifier: Apache-2.0 */
/* Plays the animation "ball" on a 128 x 128 gray OLED panel (SSD1327-class, wired as
 * panel.h says), in the middle of it, each frame for as long as the set says, round
 * and round. The frames lie compressed in program memory and are decoded as they go
 * to the panel: the sketch holds no frame in RAM.
 *
 * PANEL_SPANS 0: each frame is sent whole, row by row, into one window of the
 * frame's place. PANEL_SPANS 1: only the bytes that changed since the frame before,
 * each span in a window of its own (a frame not coded against the one before comes
 * as the decoder hands it: whole rows).
 *
 * ball.h and ball.c were made from pictures by
 *   grayframe-embed --name ball --mode stretch --still-ms 60 --compress --target avr \
 *       ball-*.png
 * Make your own the same way, into this folder. */
#ifndef PANEL_SPANS
#define PANEL_SPANS 0
#endif

#include <grayframe_decode.h>

#include "ball.h"
#include "panel.h"

static grayframe_decoder decoder;
static unsigned frame;

static void send_rows(void)
{
    unsigned char row[BALL_ROW_BYTES];
    if (grayframe_rows_begin(&decoder, frame) != GRAYFRAME_OK) return;
    panel_window(0, BALL_ROW_BYTES - 1, 0, BALL_FRAME_HEIGHT - 1);
    while (grayframe_rows_next(&decoder, row) == GRAYFRAME_MORE)
        panel_write(row, BALL_ROW_BYTES);
}

static void send_spans(void)
{
    unsigned char row[BALL_ROW_BYTES];
    grayframe_span span;
    if (grayframe_spans_begin(&decoder, frame) != GRAYFRAME_OK) return;
    while (grayframe_spans_next(&decoder, &span, row) == GRAYFRAME_MORE) {
        panel_window(span.first, span.first + span.length - 1, span.row, span.row);
        panel_write(row + span.first, span.length);
    }
}

void setup()
{
    panel_start();
    if (ball_open(&decoder) != GRAYFRAME_OK)
        for (;;) {
        }
}

void loop()
{
    unsigned long start = millis();
    panel_frame_begin();
    if (PANEL_SPANS)
        send_spans();
    else
        send_rows();
    panel_frame_end();
    while (millis() - start < ball_duration_ms(frame)) {
    }
    frame = frame + 1 < BALL_FRAME_COUNT ? frame + 1 : 0;
}
