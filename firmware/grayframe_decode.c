/* SPDX-License-Identifier: Apache-2.0 */
/* grayframe_decode.c: see grayframe_decode.h for the code and the API. */
#include "grayframe_decode.h"

#define KIND_RAW 0x52   /* 'R' */
#define KIND_KEY 0x4B   /* 'K' */
#define KIND_DELTA 0x44 /* 'D' */
#define LITERAL 0x40
#define RUN 0x80
#define PAIR 0xC0
#define ROWS 0xF0

/* The byte at d->at, which moves on; past the end 0, and d->fault set. */
static unsigned char get(grayframe_decoder *d)
{
    grayframe_offset at = d->at;
    if (at >= d->size) {
        d->fault = 1;
        return 0;
    }
    d->at = at + 1;
#ifdef GRAYFRAME_READ_BYTE
    return (unsigned char)GRAYFRAME_READ_BYTE(d->address + at);
#else
    if (d->read)
        return d->read(d->address + at);
    return d->data[at];
#endif
}

static int open_set(grayframe_decoder *d, unsigned long size)
{
    d->size = (grayframe_offset)size;
    d->chain = 0;
    d->fault = 0;
    d->at = 0;
    if (get(d) != 'G' || get(d) != 'F' || get(d) != GRAYFRAME_CODE_VERSION)
        return GRAYFRAME_NOT_A_SET;
    d->count = get(d);
    d->count |= (unsigned)get(d) << 8;
    return d->fault || d->size != size ? GRAYFRAME_NOT_A_SET : GRAYFRAME_OK;
}

int grayframe_open(grayframe_decoder *d, const unsigned char *data, unsigned long size)
{
    d->data = data;
    d->read = 0;
    d->address = 0;
    return open_set(d, size);
}

int grayframe_open_read(grayframe_decoder *d, grayframe_read_fn read,
                        unsigned long address, unsigned long size)
{
    d->data = 0;
    d->read = read;
    d->address = address;
    return open_set(d, size);
}

unsigned grayframe_frame_count(const grayframe_decoder *d)
{
    return d->count;
}

/* The kind of the frame (0 when it cannot be one), d->at past its kind byte. */
static unsigned char frame_kind(grayframe_decoder *d, unsigned frame)
{
    unsigned long start;
    unsigned char kind;
    d->fault = 0;
    d->at = (grayframe_offset)(5UL + frame + frame + frame);
    start = get(d);
    start |= (unsigned)get(d) << 8;
    start |= (unsigned long)get(d) << 16;
    d->at = (grayframe_offset)start;
    kind = get(d);
    if (d->fault || d->at != start + 1
        || !(kind == KIND_RAW || kind == KIND_KEY || (kind == KIND_DELTA && frame)))
        return 0;
    return kind;
}

int grayframe_is_delta(grayframe_decoder *d, unsigned frame)
{
    unsigned char kind;
    if (frame >= d->count)
        return GRAYFRAME_NO_FRAME;
    kind = frame_kind(d, frame);
    return kind ? kind == KIND_DELTA : GRAYFRAME_DAMAGED;
}

/* Sets up the chain that ends at frame, or only the frame itself with single. */
static int begin(grayframe_decoder *d, unsigned frame, int single)
{
    unsigned char n = 0, kind;
    d->chain = 0;
    d->row = 0;
    if (frame >= d->count)
        return GRAYFRAME_NO_FRAME;
    for (;;) {
        kind = frame_kind(d, frame);
        if (!kind || n == GRAYFRAME_CHAIN_MAX)
            return GRAYFRAME_DAMAGED;
        d->next[n] = d->at;
        d->hold[n] = 0;
        ++n;
        if (kind != KIND_DELTA || single)
            break;
        --frame;
    }
    d->base_kind = kind;
    d->chain = n;
    d->spans = 0;
    return GRAYFRAME_OK;
}

/* Applies the next row of chain frame i to row, taking reference bytes from ref (row
 * itself: they stay; 0: there is none); in spans mode marks the bytes it writes. */
static int frame_row(grayframe_decoder *d, unsigned char i, unsigned char *row,
                     const unsigned char *ref)
{
    unsigned char x = 0, c, same, n, b;
    d->at = d->next[i];
    do {
        if (i + 1 == d->chain && d->base_kind == KIND_RAW) {
            c = LITERAL + GRAYFRAME_ROW_BYTES - 1;
        } else if (d->hold[i]) {
            --d->hold[i];
            c = GRAYFRAME_ROW_BYTES - 1;
        } else {
            c = get(d);
            if (c >= ROWS && !x) {
                d->hold[i] = (unsigned char)(c & 0x0F);
                c = GRAYFRAME_ROW_BYTES - 1;
            }
        }
        same = 0;
        n = (unsigned char)((c & 0x3F) + 1);
        if (c < LITERAL) {
            same = n;
            n = 0;
        } else if (c >= PAIR) {
            same = (unsigned char)(((c >> 3) & 7) + 1);
            n = (unsigned char)((c & 7) + 1);
            if (c >= ROWS)
                return GRAYFRAME_DAMAGED;
        }
        if ((same && !ref) || same + n > GRAYFRAME_ROW_BYTES - x)
            return GRAYFRAME_DAMAGED;
        if (ref == row)
            x = (unsigned char)(x + same);
        else
            for (; same; --same, ++x)
                row[x] = ref[x];
        if (d->spans)
            for (b = x; b != x + n; ++b)
                d->above[b >> 3] |= (unsigned char)(1 << (b & 7));
        if (c >= RUN && c < PAIR) {
            b = get(d);
            do
                row[x++] = b;
            while (--n);
        } else {
            for (; n; --n)
                row[x++] = get(d);
        }
    } while (x != GRAYFRAME_ROW_BYTES);
    d->next[i] = d->at;
    return d->fault ? GRAYFRAME_DAMAGED : GRAYFRAME_OK;
}

static int end(grayframe_decoder *d, int result)
{
    d->chain = 0;
    return result;
}

int grayframe_decode_frame(grayframe_decoder *d, unsigned frame, unsigned char *out,
                           int holds_previous)
{
    unsigned char i, y;
    unsigned char *row;
    const unsigned char *ref;
    int result = begin(d, frame, holds_previous);
    if (result)
        return result;
    i = d->chain;
    while (i--) {
        ref = 0;
        for (y = 0, row = out; y != GRAYFRAME_ROWS; ++y, row += GRAYFRAME_ROW_BYTES) {
            if (d->base_kind == KIND_DELTA || i + 1 != d->chain)
                ref = row;
            if (frame_row(d, i, row, ref))
                return end(d, GRAYFRAME_DAMAGED);
            ref = row;
        }
    }
    return end(d, GRAYFRAME_OK);
}

int grayframe_rows_begin(grayframe_decoder *d, unsigned frame)
{
    return begin(d, frame, 0);
}

int grayframe_rows_next(grayframe_decoder *d, unsigned char *row)
{
    unsigned char i = (unsigned char)(d->chain - 1), x;
    unsigned char *base = i ? d->above : row;
    if (!d->chain)
        return GRAYFRAME_ORDER;
    if (d->row == GRAYFRAME_ROWS)
        return end(d, GRAYFRAME_OK);
    if (frame_row(d, i, base, d->row ? base : 0))
        return end(d, GRAYFRAME_DAMAGED);
    if (i) {
        for (x = 0; x != GRAYFRAME_ROW_BYTES; ++x)
            row[x] = base[x];
        while (i--)
            if (frame_row(d, i, row, row))
                return end(d, GRAYFRAME_DAMAGED);
    }
    ++d->row;
    return GRAYFRAME_MORE;
}

int grayframe_spans_begin(grayframe_decoder *d, unsigned frame)
{
    int result = begin(d, frame, 1);
    d->spans = 1;
    d->column = GRAYFRAME_ROW_BYTES;
    return result;
}

/* In spans mode, d->above marks the bytes of the row that its codes wrote. */
static unsigned char marked(const grayframe_decoder *d, unsigned char x)
{
    return x != GRAYFRAME_ROW_BYTES && (d->above[x >> 3] >> (x & 7) & 1);
}

int grayframe_spans_next(grayframe_decoder *d, grayframe_span *span, unsigned char *row)
{
    unsigned char x;
    if (!d->chain)
        return GRAYFRAME_ORDER;
    for (;;) {
        for (x = d->column; x != GRAYFRAME_ROW_BYTES && !marked(d, x); ++x)
            ;
        if (x != GRAYFRAME_ROW_BYTES) {
            span->row = (unsigned char)(d->row - 1);
            span->first = x;
            while (marked(d, x))
                ++x;
            span->length = (unsigned char)(x - span->first);
            d->column = x;
            return GRAYFRAME_MORE;
        }
        if (d->row == GRAYFRAME_ROWS)
            return end(d, GRAYFRAME_OK);
        /* not a delta frame: every byte of every row */
        x = d->base_kind == KIND_DELTA ? 0 : 0xFF;
        for (d->column = 0; d->column != 7; ++d->column)
            d->above[d->column] = x;
        if (frame_row(d, 0, row, d->row || !x ? row : 0))
            return end(d, GRAYFRAME_DAMAGED);
        ++d->row;
        d->column = 0;
    }
}
