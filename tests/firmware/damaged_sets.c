/* SPDX-License-Identifier: Apache-2.0 */
/* Decodes damaged compressed sets (damaged_sets.h, made by the test) and the first one
 * cut at many lengths, every frame in every way, into buffers with a guard byte on
 * each side; reports "damaged N" with the number of faults: a guard byte overwritten,
 * more rows or spans than a frame has, a span outside its row. A decoder that does not
 * end is the emulator's time-out. */
#include "board.h"
#include "damaged_sets.h"
#include "grayframe_decode.h"

#define GUARD 0xA5

static unsigned char row[1 + GRAYFRAME_ROW_BYTES + 1];
#ifdef WHOLE_FRAMES
static unsigned char whole[1 + GRAYFRAME_FRAME_BYTES + 1];
#endif
static uint32_t faults;

static void decode_all(const unsigned char *set, unsigned size)
{
    grayframe_decoder d;
    grayframe_span span;
    unsigned frame, calls;
    if (grayframe_open(&d, set, size) != GRAYFRAME_OK)
        return;
    for (frame = 0; frame <= grayframe_frame_count(&d); ++frame) {
        calls = 0;
        if (grayframe_rows_begin(&d, frame) == GRAYFRAME_OK)
            while (grayframe_rows_next(&d, row + 1) == GRAYFRAME_MORE)
                if (++calls > GRAYFRAME_ROWS) {
                    ++faults;
                    break;
                }
        calls = 0;
        if (grayframe_spans_begin(&d, frame) == GRAYFRAME_OK)
            while (grayframe_spans_next(&d, &span, row + 1) == GRAYFRAME_MORE)
                if (span.row >= GRAYFRAME_ROWS || !span.length
                    || span.first + span.length > GRAYFRAME_ROW_BYTES
                    || ++calls > GRAYFRAME_ROWS * 26) {
                    ++faults;
                    break;
                }
#ifdef WHOLE_FRAMES
        grayframe_decode_frame(&d, frame, whole + 1, 0);
        grayframe_decode_frame(&d, frame, whole + 1, 1);
        if (whole[0] != GUARD || whole[1 + GRAYFRAME_FRAME_BYTES] != GUARD)
            ++faults;
#endif
        if (row[0] != GUARD || row[1 + GRAYFRAME_ROW_BYTES] != GUARD)
            ++faults;
    }
}

int main(void)
{
    unsigned k, cut;
    board_start();
    row[0] = row[1 + GRAYFRAME_ROW_BYTES] = GUARD;
#ifdef WHOLE_FRAMES
    whole[0] = whole[1 + GRAYFRAME_FRAME_BYTES] = GUARD;
#endif
    for (k = 0; k < DAMAGED_SETS; ++k)
        decode_all(damaged_sets[k], damaged_sizes[k]);
    for (cut = 0; cut < damaged_sizes[0]; cut += 1 + cut / 8)
        decode_all(damaged_sets[0], cut);
    board_report("damaged", faults);
    board_stop();
    return 0;
}
