/* SPDX-License-Identifier: Apache-2.0 */
/* grayframe_format.h: the compressed code of grayframe frame sets, drawn and defined
 * once, for the decoder (grayframe_decode.c) and the encoder (grayframe-embed
 * --compress). Macros only; C89, C and C++.
 *
 * A frame is 102 x 80 pixels of 16 gray levels packed in 4080 bytes: 80 rows from the
 * top, 51 bytes a row, two pixels a byte, the left pixel's level in the high nibble.
 *
 * The code (version 3), all numbers little-endian:
 *
 * set:   +------+------+---------+-----------+-----------------------+-----------+
 *        | 'G'  | 'F'  | version | count     | index: count x offset | frames    |
 *        | 0x47 | 0x46 | 0x03    | (2 bytes) | (3 bytes each)        |           |
 *        +------+------+---------+-----------+-----------------------+-----------+
 *        offset = where the frame's record starts, from the set's first byte; at most
 *        65,535 frames and 16 MiB
 *
 * frame: +------+----------------------------------------------------------------+
 *        | kind | body                                                           |
 *        +------+----------------------------------------------------------------+
 *        'R'  raw:   the 4080 bytes as they are
 *        'K'  key:   80 rows of codes; a row's reference is the row above (row 0
 *                    has none)
 *        'D'  delta: 80 rows of codes; a row's reference is the same row of the
 *                    frame before
 *
 * row:   codes, left to right, until the row's 51 bytes are made:
 *        00nnnnnn                 same: n+1 bytes (1 to 64) as in the reference
 *        010nnnnn  b1 ... bk      literal: k = n+1 bytes (1 to 32) as they follow
 *        011nnnnn  d (2 bytes)    match: n+4 bytes (4 to 35) as the set's bytes that
 *                                 start d bytes before this code (d >= n+4: they end
 *                                 before it; they may lie in any frame before)
 *        10nnnnnn  b              run: n+1 times byte b (1 to 51)
 *        10111011  d (2 bytes)    changed call, only where a row starts: as a call,
 *                                 then the codes that follow change the row it made,
 *                                 their reference that row; the row the call makes is
 *                                 the frame before's (outside a rows call and over
 *                                 the frame before, it is not made again; as spans,
 *                                 only the change is given)
 *        10111100  d (2 bytes)    as 10111011, the row the call makes not the frame
 *                                 before's
 *        10111101  n  d (2 bytes) as 10111110, and these rows are the frame before's
 *                                 as well (decoded over the frame before, they are
 *                                 left as they are; as spans, they give none)
 *        10111110  n  d (2 bytes) rows call, only where a row starts in a key frame:
 *                                 this row and the next n (1 to 79, within the frame)
 *                                 are made by the codes of rows before, which start
 *                                 d bytes before this code, row after row as they
 *                                 made their own (they hold no rows call); the
 *                                 frame's rows go on after it
 *        10111111  d (2 bytes)    call, only where a row starts: this row's codes are
 *                                 those of a row before, which start d bytes before
 *                                 this code; the row after goes on after the call
 *        11rrrlll  b1 ... bk      pair (rrr 0 to 5): rrr+1 bytes as in the
 *                                 reference, then k = lll+1 bytes (1 to 8) as they
 *                                 follow
 *        1111nnnn                 whole, only where a row starts: this row and the
 *                                 next nnnn rows (1 to 16 in all) whole as in the
 *                                 reference
 *
 * A delta frame leans on the frame before it, which may be a delta frame too; the
 * chain back to a raw or key frame is at most GRAYFRAME_CHAIN_MAX frames long (the
 * encoder puts a key frame in when it would grow longer).
 */
#ifndef GRAYFRAME_FORMAT_H
#define GRAYFRAME_FORMAT_H

#define GRAYFRAME_CODE_VERSION 3
#define GRAYFRAME_ROW_BYTES 51
#define GRAYFRAME_ROWS 80
#define GRAYFRAME_FRAME_BYTES 4080
/* Frames in a chain: a raw or key frame and the delta frames after it. */
#define GRAYFRAME_CHAIN_MAX 8

/* The set's first bytes: the signature, the version, the count. */
#define GRAYFRAME_SIGNATURE_0 'G'
#define GRAYFRAME_SIGNATURE_1 'F'
#define GRAYFRAME_HEADER_BYTES 5
#define GRAYFRAME_COUNT_MAX 0xFFFF
/* An entry of the index: the offset of a frame's record, at most GRAYFRAME_OFFSET_MAX. */
#define GRAYFRAME_INDEX_ENTRY_BYTES 3
#define GRAYFRAME_OFFSET_MAX 0xFFFFFF

/* A record's first byte. */
#define GRAYFRAME_KIND_RAW 'R'
#define GRAYFRAME_KIND_KEY 'K'
#define GRAYFRAME_KIND_DELTA 'D'

/* A code's first byte (its count bits 0): SAME to RUN + 50 and PAIR to WHOLE - 1 make
 * bytes of a row; the others stand only where a row starts. */
#define GRAYFRAME_SAME 0x00
#define GRAYFRAME_LITERAL 0x40
#define GRAYFRAME_MATCH 0x60
#define GRAYFRAME_RUN 0x80
#define GRAYFRAME_CHANGED_BEFORE 0xBB
#define GRAYFRAME_CHANGED_CALL 0xBC
#define GRAYFRAME_ROWS_BEFORE 0xBD
#define GRAYFRAME_ROWS_CALL 0xBE
#define GRAYFRAME_ROW_CALL 0xBF
#define GRAYFRAME_PAIR 0xC0
#define GRAYFRAME_WHOLE 0xF0

/* Most bytes a code makes (a match's fewest too), and most rows a whole code holds. */
#define GRAYFRAME_SAME_MAX 64
#define GRAYFRAME_LITERAL_MAX 32
#define GRAYFRAME_MATCH_MIN 4
#define GRAYFRAME_MATCH_MAX 35
#define GRAYFRAME_RUN_MAX GRAYFRAME_ROW_BYTES
#define GRAYFRAME_PAIR_SAME_MAX 6
#define GRAYFRAME_PAIR_LITERAL_MAX 8
#define GRAYFRAME_WHOLE_MAX 16
/* Most bytes a match, a call or a rows call points back. */
#define GRAYFRAME_DISTANCE_MAX 0xFFFF

#endif /* GRAYFRAME_FORMAT_H */
