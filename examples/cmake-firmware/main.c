/* Writes the packed frames to standard output, the logo first, then the walk
 * animation frame by frame: the same bytes as grayframe -printdata gives for the
 * same pictures and modes. On a device, pixel (x, y) of frame f has the level
 *   (x % 2 == 0) ? walk[f][y * WALK_ROW_BYTES + x / 2] >> 4
 *                : walk[f][y * WALK_ROW_BYTES + x / 2] & 0x0F   */
#include <stdio.h>

#include "logo.h"
#include "walk.h"

/* What the headers promise, checked as this file compiles. */
typedef char logo_has_one_frame[LOGO_FRAME_COUNT == 1 ? 1 : -1];
typedef char walk_has_three_frames[WALK_FRAME_COUNT == 3 ? 1 : -1];
typedef char frames_are_4080_bytes[sizeof walk[0] == WALK_FRAME_BYTES ? 1 : -1];

int main(void)
{
    size_t written = fwrite(logo[0], 1, LOGO_FRAME_BYTES, stdout);
    int frame;
    for (frame = 0; frame < WALK_FRAME_COUNT; ++frame)
        written += fwrite(walk[frame], 1, WALK_FRAME_BYTES, stdout);
    return written == (size_t)LOGO_FRAME_BYTES + WALK_FRAME_COUNT * WALK_FRAME_BYTES ? 0 : 1;
}
