/* SPDX-License-Identifier: Apache-2.0 */
/* What the page calls in the grayframe-embed module besides main: a compressed set
 * opened with the firmware's own decoder, as a device would see it. */
#include "grayframe_decode.h"

/* The number of frames of the set of size bytes at set, or the decoder's error. */
int grayframe_web_frame_count(const unsigned char *set, unsigned long size) {
    grayframe_decoder decoder;
    int status = grayframe_open(&decoder, set, size);
    return status == GRAYFRAME_OK ? (int)grayframe_frame_count(&decoder) : status;
}

/* Decodes the set's first frames (at most max_frames) into out, 4080 bytes each, each
 * over the one before as a display would: the number decoded, or the decoder's error. */
int grayframe_web_decode_set(const unsigned char *set, unsigned long size,
                             unsigned char *out, unsigned max_frames) {
    grayframe_decoder decoder;
    unsigned frame, count;
    int status = grayframe_open(&decoder, set, size);
    if (status != GRAYFRAME_OK) return status;
    count = grayframe_frame_count(&decoder);
    if (count > max_frames) count = max_frames;
    for (frame = 0; frame < count; ++frame) {
        unsigned char *into = out + (unsigned long)frame * GRAYFRAME_FRAME_BYTES;
        if (frame > 0) {
            const unsigned char *previous = into - GRAYFRAME_FRAME_BYTES;
            unsigned k;
            for (k = 0; k < GRAYFRAME_FRAME_BYTES; ++k) into[k] = previous[k];
        }
        status = grayframe_decode_frame(&decoder, frame, into, frame > 0);
        if (status != GRAYFRAME_OK) return status;
    }
    return (int)count;
}
