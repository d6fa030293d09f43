/* SPDX-License-Identifier: Apache-2.0 */
/* Sends every frame of the set "frames" row by row, then its last frame again byte by
 * byte: on AVR through frames_row and frames_byte, elsewhere from the array. Then the
 * durations of the set "timing", two bytes each, low byte first: on AVR through
 * timing_duration_ms, one past the last frame included, elsewhere from the array. */
#include "board.h"
#include "frames.h"
#include "timing.h"

static unsigned char row[FRAMES_ROW_BYTES];

static void read_row(unsigned frame, unsigned y)
{
#ifdef __AVR__
    frames_row(frame, y, row);
#else
    unsigned k;
    for (k = 0; k < FRAMES_ROW_BYTES; ++k) row[k] = frames[frame][y * FRAMES_ROW_BYTES + k];
#endif
}

static unsigned char read_byte(unsigned frame, unsigned offset)
{
#ifdef __AVR__
    return frames_byte(frame, offset);
#else
    return frames[frame][offset];
#endif
}

#ifdef __AVR__
#define DURATIONS_SENT (TIMING_FRAME_COUNT + 1)
#define duration(frame) timing_duration_ms(frame)
#else
#define DURATIONS_SENT TIMING_FRAME_COUNT
#define duration(frame) timing_durations_ms[frame]
#endif

int main(void)
{
    unsigned frame, y, k;
    board_start();
    for (frame = 0; frame < FRAMES_FRAME_COUNT; ++frame)
        for (y = 0; y < FRAMES_FRAME_HEIGHT; ++y) {
            read_row(frame, y);
            board_send(row, FRAMES_ROW_BYTES);
        }
    for (y = 0; y < FRAMES_FRAME_HEIGHT; ++y) {
        for (k = 0; k < FRAMES_ROW_BYTES; ++k)
            row[k] = read_byte(FRAMES_FRAME_COUNT - 1, y * FRAMES_ROW_BYTES + k);
        board_send(row, FRAMES_ROW_BYTES);
    }
    for (frame = 0; frame < DURATIONS_SENT; ++frame) {
        row[0] = (unsigned char)(duration(frame) & 0xFF);
        row[1] = (unsigned char)(duration(frame) >> 8);
        board_send(row, 2);
    }
    board_stop();
    return 0;
}
