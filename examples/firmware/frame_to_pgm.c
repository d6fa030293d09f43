/* Reads a frame back out of a header that grayframe generated, the way firmware does,
 * and prints it as a binary PGM (P5, 102 x 80, samples level * 16, the same values as
 * the BMP beside the header).
 *
 *   grayframe -i photo.jpg
 *   cc -std=c99 -Wall -Wextra -I. -DFRAME_HEADER='"photo.jpg_out.h"' \
 *      path/to/frame_to_pgm.c -o frame_to_pgm
 *   ./frame_to_pgm > photo.pgm
 *
 * The one warning expected is about the label behind "#endif" in the header. */
#include <stdio.h>

#ifndef FRAME_HEADER
#define FRAME_HEADER "frame_out.h"
#endif
#include FRAME_HEADER

#define FRAME_WIDTH 102
#define FRAME_HEIGHT 80
#define ROW_BYTES (FRAME_WIDTH / 2)

/* Fails to compile when the array is not one whole frame. */
typedef char frame_size_check[sizeof c_imgData == ROW_BYTES * FRAME_HEIGHT ? 1 : -1];

/* The level 0..15 of pixel (x, y); x < 102, y < 80, (0, 0) is the top left. Each byte
 * holds two neighbours: the left (even x) in bits 7..4, the right (odd x) in 3..0. */
static unsigned char pixel_level(unsigned x, unsigned y) {
    unsigned char byte = c_imgData[y * ROW_BYTES + x / 2];
    return (x % 2 == 0) ? (unsigned char)(byte >> 4) : (unsigned char)(byte & 0x0F);
}

int main(void) {
    unsigned x, y;
    printf("P5\n%d %d\n255\n", FRAME_WIDTH, FRAME_HEIGHT);
    for (y = 0; y < FRAME_HEIGHT; ++y)
        for (x = 0; x < FRAME_WIDTH; ++x) putchar(pixel_level(x, y) << 4);
    return (fflush(stdout) == 0 && !ferror(stdout)) ? 0 : 1;
}
