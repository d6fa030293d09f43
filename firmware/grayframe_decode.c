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

/* The byte at offset at of the set (at < d->size). */
#ifdef GRAYFRAME_READ_BYTE
#define READ_AT(d, at) ((unsigned char)GRAYFRAME_READ_BYTE((d)->address + (at)))
#else
#define READ_AT(d, at) ((d)->read ? (d)->read((d)->address + (at)) : (d)->data[at])
#endif

/* The byte at d->at, which moves on; past the end 0, and d->fault set. */
static unsigned char get(grayframe_decoder *d)
{
    grayframe_offset at = d->at;
    if (at >= d->size) {
        d->fault = 1;
        return 0;
    }
    d->at = at + 1;
    return READ_AT(d, at);
}

/* Copies n bytes (n > 0, all within the set) from offset at to out. */
static void copy_out(const grayframe_decoder *d, grayframe_offset at, unsigned char *out,
                     unsigned char n)
{
#ifdef GRAYFRAME_READ_BYTE
    unsigned long address = d->address + at;
    do
        *out++ = (unsigned char)GRAYFRAME_READ_BYTE(address++);
    while (--n);
#else
    if (d->read) {
        unsigned long address = d->address + at;
        do
            *out++ = d->read(address++);
        while (--n);
    } else {
        const unsigned char *in = d->data + at;
        do
            *out++ = *in++;
        while (--n);
    }
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
    grayframe_offset at = d->next[i];
    const grayframe_offset size = d->size;
    const unsigned char raw = (unsigned char)(i + 1 == d->chain && d->base_kind == KIND_RAW);
    unsigned char x = 0, c, same, n, b;
    do {
        if (raw) {
            c = LITERAL + GRAYFRAME_ROW_BYTES - 1;
        } else if (d->hold[i]) {
            --d->hold[i];
            c = GRAYFRAME_ROW_BYTES - 1;
        } else {
            if (at >= size)
                return GRAYFRAME_DAMAGED;
            c = READ_AT(d, at);
            ++at;
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
            if (c >= ROWS)
                return GRAYFRAME_DAMAGED;
            same = (unsigned char)(((c >> 3) & 7) + 1);
            n = (unsigned char)((c & 7) + 1);
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
            if (at >= size)
                return GRAYFRAME_DAMAGED;
            b = READ_AT(d, at);
            ++at;
            do
                row[x++] = b;
            while (--n);
        } else if (n) {
            if (size - at < n)
                return GRAYFRAME_DAMAGED;
            copy_out(d, at, row + x, n);
            at += n;
            x = (unsigned char)(x + n);
        }
    } while (x != GRAYFRAME_ROW_BYTES);
    d->next[i] = at;
    return GRAYFRAME_OK;
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
    /* in place: a row whole as its reference is left as it is */
    if (d->hold[i])
        --d->hold[i];
    else if (frame_row(d, i, base, d->row ? base : 0))
        return end(d, GRAYFRAME_DAMAGED);
    if (i) {
        for (x = GRAYFRAME_ROW_BYTES; x; --x)
            *row++ = *base++;
        row -= GRAYFRAME_ROW_BYTES;
        while (i--) {
            if (d->hold[i])
                --d->hold[i];
            else if (frame_row(d, i, row, row))
                return end(d, GRAYFRAME_DAMAGED);
        }
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
