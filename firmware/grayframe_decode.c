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
    d->column = 0;
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
    return GRAYFRAME_OK;
}

/* Applies code c (read) to row from column x, taking reference bytes from ref (row
 * itself: they stay; 0: there is none): the new column, or 0 when it does not fit. */
static unsigned char apply_code(grayframe_decoder *d, unsigned char c, unsigned char *row,
                                const unsigned char *ref, unsigned char x)
{
    unsigned char same = 0, n, b;
    if (c < LITERAL) {
        same = (unsigned char)(c + 1);
        n = 0;
    } else if (c < PAIR) {
        n = (unsigned char)((c & 0x3F) + 1);
    } else {
        same = (unsigned char)(((c >> 3) & 7) + 1);
        n = (unsigned char)((c & 7) + 1);
        if (c >= ROWS)
            return 0;
    }
    d->skipped = same;
    if ((same && !ref) || same + n > GRAYFRAME_ROW_BYTES - x)
        return 0;
    if (ref == row)
        x = (unsigned char)(x + same);
    else
        for (; same; --same, ++x)
            row[x] = ref[x];
    if (c >= RUN && c < PAIR) {
        b = get(d);
        do
            row[x++] = b;
        while (--n);
    } else {
        for (; n; --n)
            row[x++] = get(d);
    }
    return d->fault ? 0 : x;
}

/* Applies the next row of chain frame i to row, with the reference ref (as for
 * apply_code). */
static int frame_row(grayframe_decoder *d, unsigned char i, unsigned char *row,
                     const unsigned char *ref)
{
    unsigned char x = 0, c;
    d->at = d->next[i];
    if (i + 1 == d->chain && d->base_kind == KIND_RAW) {
        x = apply_code(d, LITERAL + GRAYFRAME_ROW_BYTES - 1, row, ref, 0);
    } else if (d->hold[i]) {
        --d->hold[i];
        x = apply_code(d, GRAYFRAME_ROW_BYTES - 1, row, ref, 0);
    } else {
        c = get(d);
        if (c >= ROWS) {
            d->hold[i] = (unsigned char)(c & 0x0F);
            c = GRAYFRAME_ROW_BYTES - 1;
        }
        for (;;) {
            x = apply_code(d, c, row, ref, x);
            if (!x || x == GRAYFRAME_ROW_BYTES)
                break;
            c = get(d);
        }
    }
    d->next[i] = d->at;
    return x ? GRAYFRAME_OK : GRAYFRAME_DAMAGED;
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
    unsigned char i = d->chain - 1, x;
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
    return begin(d, frame, 1);
}

int grayframe_spans_next(grayframe_decoder *d, grayframe_span *span, unsigned char *row)
{
    unsigned char x, c;
    for (;;) {
        if (!d->chain)
            return GRAYFRAME_ORDER;
        if (d->row == GRAYFRAME_ROWS)
            return end(d, GRAYFRAME_OK);
        span->row = d->row;
        if (d->base_kind != KIND_DELTA) {
            /* not a delta frame: whole rows */
            if (frame_row(d, 0, row, d->row ? row : 0))
                return end(d, GRAYFRAME_DAMAGED);
            ++d->row;
            span->first = 0;
            span->length = GRAYFRAME_ROW_BYTES;
            return GRAYFRAME_MORE;
        }
        /* a delta frame, code by code: reference bytes end a span */
        span->length = 0;
        d->at = d->next[0];
        if (!d->column && d->hold[0]) {
            --d->hold[0];
            d->column = GRAYFRAME_ROW_BYTES;
        }
        while (d->column != GRAYFRAME_ROW_BYTES) {
            c = get(d);
            if (c >= ROWS && !d->column) {
                d->hold[0] = (unsigned char)(c & 0x0F);
                d->column = GRAYFRAME_ROW_BYTES;
                break;
            }
            if (span->length && (c < LITERAL || c >= PAIR)) {
                --d->at;
                break;
            }
            x = apply_code(d, c, row, row, d->column);
            if (!x)
                return end(d, GRAYFRAME_DAMAGED);
            if (!span->length)
                span->first = (unsigned char)(d->column + d->skipped);
            span->length = (unsigned char)(span->length + x - d->column - d->skipped);
            d->column = x;
        }
        d->next[0] = d->at;
        if (d->column == GRAYFRAME_ROW_BYTES) {
            d->column = 0;
            ++d->row;
        }
        if (span->length)
            return GRAYFRAME_MORE;
    }
}
