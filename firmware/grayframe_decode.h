/* SPDX-License-Identifier: Apache-2.0 */
/* grayframe_decode.h: decoding compressed grayframe frame sets on small devices.
 *
 * A frame is 102 x 80 pixels of 16 gray levels packed in 4080 bytes: 80 rows from the
 * top, 51 bytes a row, two pixels a byte, the left pixel's level in the high nibble.
 * `grayframe-embed --compress` writes a set of such frames as one byte array in the
 * code that grayframe_format.h draws (beside this file, which includes it); this decoder
 * gives any frame back, byte for byte. Any frame can be decoded alone: the decoder
 * follows a delta frame's chain through the index.
 *
 * The API. A grayframe_decoder holds the whole state (at most 128 bytes on 8- to 32-bit
 * devices; no malloc, no recursion, no division, no library calls; C89). Open it on a
 * set, then take a frame in any of three ways:
 *   - grayframe_decode_frame: the whole frame into a 4080-byte buffer; when the
 *     buffer holds the frame before, a delta frame is applied to it and a key frame
 *     skips the rows it marks as the frame before's (else a delta frame's chain is
 *     decoded in full, which costs more);
 *   - grayframe_rows_begin / grayframe_rows_next: row by row into a 51-byte buffer,
 *     row 0 first, each row complete when it is handed back (leave the buffer as it
 *     is between the calls of one frame); needs nothing of the frame before in RAM;
 *   - grayframe_spans_begin / grayframe_spans_next: for a display that keeps the
 *     frame before in its own memory, only what changed: (row, first byte, length,
 *     bytes); a frame that is not a delta frame comes as whole rows, all but those its
 *     codes mark as the frame before's.
 *
 * Reading the set. The decoder reads the set's bytes at addresses: the set's address
 * given at open plus an offset. How it reads them is fixed when grayframe_decode.c is
 * compiled:
 *   - on AVR, from program memory (LPM; ELPM on parts with more than 64 KiB, where
 *     grayframe_open_at takes the 24-bit address of pgm_get_far_address, unless
 *     GRAYFRAME_NEAR_FLASH is defined for every file that includes this header: the
 *     set then lies in the first 64 KiB and is read as on smaller parts, faster);
 *   - elsewhere, from memory;
 *   - with GRAYFRAME_READ_BYTE(address) defined (an expression giving the byte at a
 *     grayframe_address), through that hook: a set in RAM on AVR, in external flash,
 *     behind a bus.
 * On AVR the rows are decoded by loops of assembler, fast: grayframe_decode_avr.S,
 * beside grayframe_decode.c, to be compiled and linked with it, with the same
 * definitions (it assembles to nothing off AVR, so a build may take it everywhere).
 * With GRAYFRAME_SMALL defined (or GRAYFRAME_READ_BYTE), the C loops of
 * grayframe_decode.c do it instead, in about 2.8 KiB less flash and up to 3.3 times the
 * cycles; both make the same bytes and results, damaged sets included.
 *
 * Damaged or cut sets: every write stays within the caller's buffer (51 or 4080 bytes),
 * every call ends, and every read within the size given at open (on AVR, where the set is
 * read from program memory, a damaged row may read up to 102 bytes of it past the set's
 * end before it is found out); a set that does not add up gives GRAYFRAME_DAMAGED and the
 * frame being decoded is then incomplete.
 */
#ifndef GRAYFRAME_DECODE_H
#define GRAYFRAME_DECODE_H

#include <stddef.h>

#include "grayframe_format.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Results: 1 = a row or span was handed back, 0 = done, negative = an error. */
#define GRAYFRAME_OK 0
#define GRAYFRAME_MORE 1
#define GRAYFRAME_NOT_A_SET (-1)  /* no set of this version at the start */
#define GRAYFRAME_NO_FRAME (-2)   /* the frame number is not below the count */
#define GRAYFRAME_DAMAGED (-3)    /* the bytes do not add up: damaged or cut */
#define GRAYFRAME_ORDER (-4)      /* a _next call without its _begin */

/* An address the decoder reads at: 16 bits on AVR parts without far program memory,
 * 32 bits on those with it, else as wide as a pointer. */
#if defined(__AVR__) && (!defined(__AVR_HAVE_ELPM__) || defined(GRAYFRAME_NEAR_FLASH))
typedef unsigned int grayframe_address;
#elif defined(__AVR__)
typedef unsigned long grayframe_address;
#else
typedef size_t grayframe_address;
#endif

/* The whole decoder state; its fields are the decoder's own. */
typedef struct grayframe_decoder {
    grayframe_address set;   /* the set's first byte */
    grayframe_address end;   /* just past its last byte */
    unsigned count;
    unsigned char chain;     /* frames in the chain, 0 when no frame is begun */
    unsigned char base_kind; /* the kind of the chain's oldest frame */
    unsigned char row;       /* the next row */
    unsigned char column;    /* 1 when the row before holds the chain's raw or key
                              * frame's row before, 0 when above does */
    unsigned char spans;     /* spans mode: 1 + the bytes of above in use, else 0 */
    unsigned char given;     /* spans mode: where the next span is in above */
    unsigned char left;      /* rows still to make by a rows call, 0 outside one */
    unsigned char before;    /* 1 when they are marked as the frame before's */
    unsigned char over;      /* 1 for a whole frame over the frame before, 2 for spans */
    grayframe_address back;  /* where the codes go on after the rows call */
    /* the chain, its raw or key frame (0) first and the frame asked for last: where
     * each frame's next row starts, and rows still to take whole from the reference */
    grayframe_address next[GRAYFRAME_CHAIN_MAX];
    unsigned char hold[GRAYFRAME_CHAIN_MAX];
    /* a chain's delta frames: the row each has its next codes in; the first of those */
    unsigned char until[GRAYFRAME_CHAIN_MAX];
    unsigned char soonest;
    /* rows mode: the chain's raw or key frame's last row, kept when a delta frame
     * changed the caller's row; spans mode: the row's spans as (first, end) pairs */
    unsigned char above[GRAYFRAME_ROW_BYTES];
} grayframe_decoder;

typedef struct grayframe_span {
    unsigned char row;     /* 0 ... 79 */
    unsigned char first;   /* the first byte of the row that changed, 0 ... 50 */
    unsigned char length;  /* bytes changed, 1 ... 51 - first */
} grayframe_span;

/* Opens the set of size bytes at set (in program memory on AVR, see above):
 * GRAYFRAME_OK; GRAYFRAME_NOT_A_SET when it does not start as a set of this version,
 * GRAYFRAME_DAMAGED when its index is cut. */
int grayframe_open(grayframe_decoder *d, const unsigned char *set, unsigned long size);

/* As grayframe_open, the set at an address: a far address on AVR, or one that
 * GRAYFRAME_READ_BYTE understands. */
int grayframe_open_at(grayframe_decoder *d, grayframe_address set, unsigned long size);

/* The number of frames in the opened set. */
unsigned grayframe_frame_count(const grayframe_decoder *d);

/* 1 when the frame is coded against the frame before it, 0 when not, or an error. */
int grayframe_is_delta(grayframe_decoder *d, unsigned frame);

/* Decodes the frame into out[0 .. 4079]. With holds_previous nonzero, out must hold
 * frame - 1 and a delta frame is applied to it directly. GRAYFRAME_OK or an error. */
int grayframe_decode_frame(grayframe_decoder *d, unsigned frame, unsigned char *out,
                           int holds_previous);

/* Begins the frame row by row. GRAYFRAME_OK or an error. */
int grayframe_rows_begin(grayframe_decoder *d, unsigned frame);

/* Writes the next row (rows 0 to 79 in turn) into row[0 .. 50], which must hold the
 * row handed back before: GRAYFRAME_MORE, then GRAYFRAME_OK once all 80 rows were
 * given, or an error (which ends the frame). */
int grayframe_rows_next(grayframe_decoder *d, unsigned char *row);

/* Begins the frame as changed spans. GRAYFRAME_OK or an error. */
int grayframe_spans_begin(grayframe_decoder *d, unsigned frame);

/* Hands back the next span, its bytes in row[span->first .. first + length - 1]
 * (the rest of row untouched; leave row as it is between the calls of one frame):
 * GRAYFRAME_MORE, then GRAYFRAME_OK once the frame is complete, or an error (which
 * ends the frame). Spans come in row order, left to right. */
int grayframe_spans_next(grayframe_decoder *d, grayframe_span *span, unsigned char *row);

#ifdef GRAYFRAME_ROW_CODES
/* Makes row[0 .. 50] by the codes of one row (a row's own, or a call of them, not a rows
 * code) that start offset bytes into the opened set, bytes as the reference taken from
 * ref[0 .. 50] (ref may be row: they stay as they are): GRAYFRAME_OK, or
 * GRAYFRAME_DAMAGED when they do not make a row. Ends any frame begun. Compiled only
 * with GRAYFRAME_ROW_CODES defined, for the encoder, which checks with it what earlier
 * codes make where it would call them. */
int grayframe_decode_row_codes(grayframe_decoder *d, unsigned long offset, unsigned char *row,
                               const unsigned char *ref);
#endif

#ifdef __cplusplus
}
#endif

#endif /* GRAYFRAME_DECODE_H */
