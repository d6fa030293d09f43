/* SPDX-License-Identifier: Apache-2.0 */
/* Plays the animation "ball" on a 102 x 80 4-bit gray display, frame after frame.
 * The frames lie compressed in program memory (grayframe_add_frames ... COMPRESS
 * TARGET avr); each is decoded row by row into one 51-byte buffer and every row is
 * sent to the display as it comes, so the program needs about 200 bytes of RAM
 * whatever the frames are. */
#include <avr/interrupt.h>
#include <avr/sleep.h>
#include <util/delay.h>

#include "ball.h"
#include "display.h"

static void play_frame(grayframe_decoder *decoder, unsigned frame)
{
    unsigned char row[BALL_ROW_BYTES];
    unsigned char y = 0;
    if (grayframe_rows_begin(decoder, frame) != GRAYFRAME_OK) return;
    while (grayframe_rows_next(decoder, row) == GRAYFRAME_MORE) display_row(y++, row);
    display_show();
}

int main(void)
{
    grayframe_decoder decoder;
    unsigned frame;
    display_start();
    if (ball_open(&decoder) != GRAYFRAME_OK) return 1;
    for (;;) {
        for (frame = 0; frame < BALL_FRAME_COUNT; ++frame) {
            play_frame(&decoder, frame);
            _delay_ms(40);
        }
#ifdef PLAY_ONCE
        break;
#endif
    }
    cli();
    sleep_mode(); /* asleep with interrupts off: simavr ends the run here */
    return 0;
}
