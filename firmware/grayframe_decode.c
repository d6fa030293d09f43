/* SPDX-License-Identifier: Apache-2.0 */
/* grayframe_decode.c: see grayframe_decode.h for the code and the API. */
#include "grayframe_decode.h"

#define KIND_RAW 0x52   /* 'R' */
#define KIND_KEY 0x4B   /* 'K' */
#define KIND_DELTA 0x44 /* 'D' */
#define LITERAL 0x40
#define RUN 0x80
#define REPEAT 0xC0

/* The byte at d->at, which moves on; past the end 0 and d->fault set. */
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
    d->levels = 0;
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
    if (d->at != start)
        return 0;
    kind = get(d);
    if (d->fault || !(kind == KIND_RAW || kind == KIND_KEY || (kind == KIND_DELTA && frame)))
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

/* Sets up the chain that ends at frame (only the frame itself with single): level 0 is
 * the frame, the last level the oldest. */
static int begin(grayframe_decoder *d, unsigned frame, int single)
{
    unsigned char n = 0, kind;
    d->levels = 0;
    d->row = 0;
    d->column = 0;
    if (frame >= d->count)
        return GRAYFRAME_NO_FRAME;
    for (;;) {
        kind = frame_kind(d, frame);
        if (!kind || n == GRAYFRAME_CHAIN_MAX)
            return GRAYFRAME_DAMAGED;
        d->level[n].next = d->at;
        d->level[n].row_codes = 0;
        d->level[n].repeats = 0;
        ++n;
        if (kind != KIND_DELTA || single)
            break;
        --frame;
    }
    d->base_kind = kind;
    d->levels = n;
    return GRAYFRAME_OK;
}

/* Applies the code at d->at to row from column x, for a frame of the kind: the new
 * column, or 0 when the code does not fit (x < 51 on entry). */
static unsigned char apply_code(grayframe_decoder *d, unsigned char *row, unsigned char x,
                                unsigned char kind)
{
    unsigned char c = kind == KIND_RAW ? LITERAL + 50 : get(d);
    unsigned char n = (unsigned char)((c & 0x3F) + 1);
    unsigned char b;
    if (n > GRAYFRAME_ROW_BYTES - x || c >= REPEAT || (c < LITERAL && kind != KIND_DELTA))
        return 0;
    row += x;
    x = (unsigned char)(x + n);
    if (c >= RUN) {
        b = get(d);
        do
            *row++ = b;
        while (--n);
    } else if (c >= LITERAL) {
        do
            *row++ = get(d);
        while (--n);
    }
    return d->fault ? 0 : x;
}

/* Points d->at at the codes of the level's next row, stepping over a repeat code;
 * 0 when there is none. */
static unsigned char row_start(grayframe_decoder *d, grayframe_level *lv)
{
    unsigned char c;
    d->at = lv->next;
    if (!lv->repeats) {
        c = get(d);
        if (c < REPEAT) {
            lv->row_codes = lv->next;
        } else {
            lv->repeats = (unsigned char)((c & 0x3F) + 1);
            lv->next = d->at;
        }
    }
    d->at = lv->row_codes;
    return (unsigned char)(lv->row_codes && !d->fault);
}

/* Where the row that row_start began ends: its codes are behind the cursor. */
static void row_end(grayframe_decoder *d, grayframe_level *lv)
{
    if (lv->repeats)
        --lv->repeats;
    else
        lv->next = d->at;
}

/* Applies the next row of level i to row[0 .. 50]. */
static int level_row(grayframe_decoder *d, unsigned char i, unsigned char *row)
{
    grayframe_level *lv = &d->level[i];
    unsigned char kind = i + 1 == d->levels ? d->base_kind : KIND_DELTA;
    unsigned char x = 0;
    if (kind == KIND_RAW) {
        d->at = lv->next;
    } else if (!row_start(d, lv)) {
        return GRAYFRAME_DAMAGED;
    }
    do {
        x = apply_code(d, row, x, kind);
        if (!x)
            return GRAYFRAME_DAMAGED;
    } while (x != GRAYFRAME_ROW_BYTES);
    if (kind == KIND_RAW)
        lv->next = d->at;
    else
        row_end(d, lv);
    return GRAYFRAME_OK;
}

static int fail(grayframe_decoder *d, int result)
{
    d->levels = 0;
    return result;
}

int grayframe_decode_frame(grayframe_decoder *d, unsigned frame, unsigned char *out,
                           int holds_previous)
{
    unsigned char i, y;
    unsigned char *row;
    int result = begin(d, frame, holds_previous);
    if (result)
        return result;
    i = d->levels;
    while (i--)
        for (y = 0, row = out; y != GRAYFRAME_ROWS; ++y, row += GRAYFRAME_ROW_BYTES)
            if (level_row(d, i, row))
                return fail(d, GRAYFRAME_DAMAGED);
    return fail(d, GRAYFRAME_OK);
}

int grayframe_rows_begin(grayframe_decoder *d, unsigned frame)
{
    return begin(d, frame, 0);
}

int grayframe_rows_next(grayframe_decoder *d, unsigned char *row)
{
    unsigned char i;
    if (!d->levels)
        return GRAYFRAME_ORDER;
    if (d->row == GRAYFRAME_ROWS)
        return fail(d, GRAYFRAME_OK);
    i = d->levels;
    while (i--)
        if (level_row(d, i, row))
            return fail(d, GRAYFRAME_DAMAGED);
    ++d->row;
    return GRAYFRAME_MORE;
}

int grayframe_spans_begin(grayframe_decoder *d, unsigned frame)
{
    return begin(d, frame, 1);
}

int grayframe_spans_next(grayframe_decoder *d, grayframe_span *span, unsigned char *row)
{
    grayframe_level *lv = &d->level[0];
    unsigned char x, c;
    if (!d->levels)
        return GRAYFRAME_ORDER;
    for (;;) {
        if (d->row == GRAYFRAME_ROWS)
            return fail(d, GRAYFRAME_OK);
        span->row = d->row;
        if (d->base_kind != KIND_DELTA) {
            /* not a delta frame: whole rows */
            if (level_row(d, 0, row))
                return fail(d, GRAYFRAME_DAMAGED);
            ++d->row;
            span->first = 0;
            span->length = GRAYFRAME_ROW_BYTES;
            return GRAYFRAME_MORE;
        }
        if (!d->column && !row_start(d, lv))
            return fail(d, GRAYFRAME_DAMAGED);
        /* a skip ends a span, other codes lengthen it */
        span->length = 0;
        span->first = d->column;
        while (d->column != GRAYFRAME_ROW_BYTES) {
            c = get(d);
            if (d->fault)
                return fail(d, GRAYFRAME_DAMAGED);
            --d->at;
            if (c < LITERAL && span->length)
                break;
            x = apply_code(d, row, d->column, KIND_DELTA);
            if (!x)
                return fail(d, GRAYFRAME_DAMAGED);
            if (c < LITERAL)
                span->first = x;
            else
                span->length = (unsigned char)(span->length + x - d->column);
            d->column = x;
        }
        if (d->column == GRAYFRAME_ROW_BYTES) {
            row_end(d, lv);
            d->column = 0;
            ++d->row;
        }
        if (span->length)
            return GRAYFRAME_MORE;
    }
}
