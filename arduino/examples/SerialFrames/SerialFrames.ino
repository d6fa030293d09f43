/* SPDX-License-Identifier: Apache-2.0 */
/* Sends each frame of the set "walk" out of the serial port as a picture a PC can
 * open: a binary PGM of 102 x 80 pixels, gray levels 0 to 15, one byte a pixel
 * (the header "P5\n102 80\n15\n", then 8160 bytes), frame after frame, round and
 * round. No pixel byte is above 15, so a reader that starts late finds the next
 * frame at the next "P5". Each frame waits out the time the set gives it, once sent.
 *
 * walk.h and walk.c were made from pictures by
 *   grayframe-embed --name walk --still-ms 500 --compress --target avr walk-*.png
 * Make your own the same way, into this folder. */
#define SERIAL_BAUD 115200

#include <grayframe_decode.h>

#include "walk.h"

static grayframe_decoder decoder;
static unsigned frame;

void setup()
{
    Serial.begin(SERIAL_BAUD);
    if (walk_open(&decoder) != GRAYFRAME_OK) {
        Serial.println(F("the set does not open"));
        for (;;) {
        }
    }
}

void loop()
{
    unsigned char row[WALK_ROW_BYTES];
    unsigned char k;
    unsigned long start = millis();
    Serial.print(F("P5\n102 80\n15\n"));
    if (grayframe_rows_begin(&decoder, frame) == GRAYFRAME_OK)
        while (grayframe_rows_next(&decoder, row) == GRAYFRAME_MORE)
            for (k = 0; k < WALK_ROW_BYTES; ++k) {
                Serial.write(row[k] >> 4);
                Serial.write(row[k] & 15);
            }
    while (millis() - start < walk_duration_ms(frame)) {
    }
    frame = frame + 1 < WALK_FRAME_COUNT ? frame + 1 : 0;
}
