/* SPDX-License-Identifier: Apache-2.0 */
/* Decodes damaged compressed sets (damaged_sets.h, made by the test) and the first one
 * cut at many lengths, every frame in every way, into buffers with a guard byte on
 * each side. Sends a line a frame: the set, the frame, and a digest of each way's
 * results and the bytes it handed back (rows and spans as they came; whole frames, over
 * the frame before and alone, only when they and what they were decoded over were
 * decoded without an error), so that two builds of the decoder can be compared frame
 * by frame; then reports "damaged N" with the number of faults: a guard byte
 * overwritten, more rows or spans than a frame has, a span outside its row. A decoder
 * that does not end is the emulator's time-out. */
#include "board.h"
#include "damaged_sets.h"
#include "grayframe_decode.h"

#define GUARD 0xA5

static unsigned char row[1 + GRAYFRAME_ROW_BYTES + 1];
#ifdef WHOLE_FRAMES
static unsigned char whole[1 + GRAYFRAME_FRAME_BYTES + 1];
#endif
static uint32_t faults;

/* A position-sensitive sum of the bytes given to it: two 16-bit sums. */
typedef struct digest {
    uint16_t low, high;
} digest;

static void add(digest *sum, const unsigned char *bytes, unsigned count)
{
    while (count--) {
        sum->low = (uint16_t)(sum->low + *bytes++);
        sum->high = (uint16_t)(sum->high + sum->low);
    }
}

static void add_result(digest *sum, int result)
{
    const unsigned char code = (unsigned char)result;
    add(sum, &code, 1);
}

static void clear(unsigned char *bytes, unsigned count)
{
    while (count--)
        *bytes++ = 0;
}

static void put_digest(unsigned char *line, const digest *sum)
{
    line[0] = (unsigned char)sum->low;
    line[1] = (unsigned char)(sum->low >> 8);
    line[2] = (unsigned char)sum->high;
    line[3] = (unsigned char)(sum->high >> 8);
}

static void decode_all(unsigned set_number, const unsigned char *set, unsigned size)
{
    grayframe_decoder d;
    grayframe_span span;
    unsigned frame, calls;
    int result;
    digest rows, spans, frames;
    unsigned char line[3 + 3 * 4];
#ifdef WHOLE_FRAMES
    int before_made = 0;
#endif
    if (grayframe_open(&d, set, size) != GRAYFRAME_OK)
        return;
#ifdef WHOLE_FRAMES
    clear(whole + 1, GRAYFRAME_FRAME_BYTES);
#endif
    for (frame = 0; frame <= grayframe_frame_count(&d); ++frame) {
        rows.low = rows.high = spans.low = spans.high = frames.low = frames.high = 0;
        calls = 0;
        clear(row + 1, GRAYFRAME_ROW_BYTES);
        result = grayframe_rows_begin(&d, frame);
        if (result == GRAYFRAME_OK)
            while ((result = grayframe_rows_next(&d, row + 1)) == GRAYFRAME_MORE) {
                add(&rows, row + 1, GRAYFRAME_ROW_BYTES);
                if (++calls > GRAYFRAME_ROWS) {
                    ++faults;
                    break;
                }
            }
        add_result(&rows, result);
        calls = 0;
        clear(row + 1, GRAYFRAME_ROW_BYTES);
        result = grayframe_spans_begin(&d, frame);
        if (result == GRAYFRAME_OK)
            while ((result = grayframe_spans_next(&d, &span, row + 1)) == GRAYFRAME_MORE) {
                if (span.row >= GRAYFRAME_ROWS || !span.length
                    || span.first + span.length > GRAYFRAME_ROW_BYTES
                    || ++calls > GRAYFRAME_ROWS * 26) {
                    ++faults;
                    break;
                }
                add(&spans, &span.row, 1);
                add(&spans, &span.first, 1);
                add(&spans, row + 1 + span.first, span.length);
            }
        add_result(&spans, result);
#ifdef WHOLE_FRAMES
        /* over the frame before as the frame before decoded alone left it, then alone */
        result = grayframe_decode_frame(&d, frame, whole + 1, 1);
        add_result(&frames, result);
        if (result == GRAYFRAME_OK && before_made)
            add(&frames, whole + 1, GRAYFRAME_FRAME_BYTES);
        clear(whole + 1, GRAYFRAME_FRAME_BYTES);
        result = grayframe_decode_frame(&d, frame, whole + 1, 0);
        add_result(&frames, result);
        before_made = result == GRAYFRAME_OK;
        if (before_made)
            add(&frames, whole + 1, GRAYFRAME_FRAME_BYTES);
        if (whole[0] != GUARD || whole[1 + GRAYFRAME_FRAME_BYTES] != GUARD)
            ++faults;
#endif
        if (row[0] != GUARD || row[1 + GRAYFRAME_ROW_BYTES] != GUARD)
            ++faults;
        line[0] = (unsigned char)set_number;
        line[1] = (unsigned char)(set_number >> 8);
        line[2] = (unsigned char)frame;
        put_digest(line + 3, &rows);
        put_digest(line + 7, &spans);
        put_digest(line + 11, &frames);
        board_send(line, sizeof line);
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
        decode_all(k, damaged_sets[k], damaged_sizes[k]);
    for (cut = 0; cut < damaged_sizes[0]; cut += 1 + cut / 8)
        decode_all(DAMAGED_SETS + cut, damaged_sets[0], cut);
    board_report("damaged", faults);
    board_stop();
    return 0;
}
