/* Writes the packed frames to standard output, the logo first, then the walk
 * animation frame by frame: the same bytes as grayframe -printdata gives for the
 * same pictures and modes. On a device, pixel (x, y) of frame f has the level
 *   (x % 2 == 0) ? walk[f][y * WALK_ROW_BYTES + x / 2] >> 4
 *                : walk[f][y * WALK_ROW_BYTES + x / 2] & 0x0F
 * The compressed walk_small must decode, row by row, to the same frames as walk:
 * otherwise the program fails. */
#include <stdio.h>
#include <string.h>

#include "grayframe_decode.h"
#include "logo.h"
#include "walk.h"
#include "walk_small.h"

static int compressed_walk_matches(void)
{
    grayframe_decoder decoder;
    unsigned char row[WALK_SMALL_ROW_BYTES];
    unsigned frame, y;
    if (grayframe_open(&decoder, walk_small_code, WALK_SMALL_CODE_BYTES) != GRAYFRAME_OK
        || grayframe_frame_count(&decoder) != WALK_FRAME_COUNT)
        return 0;
    for (frame = 0; frame < WALK_FRAME_COUNT; ++frame) {
        if (grayframe_rows_begin(&decoder, frame) != GRAYFRAME_OK)
            return 0;
        for (y = 0; grayframe_rows_next(&decoder, row) == GRAYFRAME_MORE; ++y)
            if (y >= WALK_FRAME_HEIGHT
                || memcmp(row, walk[frame] + y * WALK_ROW_BYTES, WALK_ROW_BYTES) != 0)
                return 0;
        if (y != WALK_FRAME_HEIGHT)
            return 0;
    }
    return 1;
}

/* What the headers promise, checked as this file compiles. */
typedef char logo_has_one_frame[LOGO_FRAME_COUNT == 1 ? 1 : -1];
typedef char walk_has_three_frames[WALK_FRAME_COUNT == 3 ? 1 : -1];
typedef char frames_are_4080_bytes[sizeof walk[0] == WALK_FRAME_BYTES ? 1 : -1];

int main(void)
{
    size_t written = fwrite(logo[0], 1, LOGO_FRAME_BYTES, stdout);
    int frame;
    if (!compressed_walk_matches())
        return 1;
    for (frame = 0; frame < WALK_FRAME_COUNT; ++frame)
        written += fwrite(walk[frame], 1, WALK_FRAME_BYTES, stdout);
    return written == (size_t)LOGO_FRAME_BYTES + WALK_FRAME_COUNT * WALK_FRAME_BYTES ? 0 : 1;
}
