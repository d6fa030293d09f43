/* SPDX-License-Identifier: Apache-2.0 */
/* A firmware that decodes frame 0 of a set one way only: with TAKE_ROWS row by row,
 * TAKE_SPANS as spans, TAKE_WHOLE whole; with none of them it decodes nothing. Linked with
 * --gc-sections, its size less the size of the one that decodes nothing is the
 * decoder's flash in a firmware that takes frames that way. */
#include "grayframe_decode.h"

extern const unsigned char set[];
const unsigned char set[8] = {'G', 'F', GRAYFRAME_CODE_VERSION};
static grayframe_decoder decoder;
static unsigned char bytes[GRAYFRAME_ROW_BYTES];
volatile unsigned char sink;

int main(void)
{
#if defined(TAKE_ROWS)
    grayframe_open(&decoder, set, sizeof set);
    grayframe_rows_begin(&decoder, 0);
    while (grayframe_rows_next(&decoder, bytes) == GRAYFRAME_MORE)
        sink = bytes[0];
#elif defined(TAKE_SPANS)
    grayframe_span span;
    grayframe_open(&decoder, set, sizeof set);
    grayframe_spans_begin(&decoder, 0);
    while (grayframe_spans_next(&decoder, &span, bytes) == GRAYFRAME_MORE)
        sink = bytes[span.first];
#elif defined(TAKE_WHOLE)
    static unsigned char frame[GRAYFRAME_FRAME_BYTES];
    grayframe_open(&decoder, set, sizeof set);
    grayframe_decode_frame(&decoder, 0, frame, 0);
    sink = frame[0] + bytes[0];
#else
    sink = bytes[0] + (unsigned char)sizeof decoder;
#endif
    return 0;
}
