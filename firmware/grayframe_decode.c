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
#define ROW GRAYFRAME_ROW_BYTES

/* Reads go through a cursor, CURSOR(d, offset) for the byte at offset of the set, and
 * READ(cursor) reads that byte. With GRAYFRAME_READ_BYTE the cursor is the address the
 * macro gets (16 bits on AVR parts without far program memory, where program memory is
 * below 64 KiB), else the offset. */
#ifdef GRAYFRAME_READ_BYTE
#if defined(__AVR__) && !defined(__AVR_HAVE_ELPM__)
typedef unsigned int cursor;
#else
typedef unsigned long cursor;
#endif
#define CURSOR(d, offset) ((cursor)((d)->address + (offset)))
#define READ(at) ((unsigned char)GRAYFRAME_READ_BYTE(at))
#else
typedef grayframe_offset cursor;
#define CURSOR(d, offset) ((cursor)(offset))
#define READ(at) ((d)->read ? (d)->read((d)->address + (at)) : (d)->data[at])
#endif

/* Copies n > 0 bytes from cursor at on to out, both moved past them. */
#ifdef GRAYFRAME_READ_BYTE
#define COPY(d, at, out, n)                                                          \
    do {                                                                             \
        *out++ = READ(at);                                                           \
        ++at;                                                                        \
    } while (--n)
#else
#define COPY(d, at, out, n)                                                          \
    do {                                                                             \
        if ((d)->read) {                                                             \
            unsigned long from_ = (d)->address + (at);                               \
            at += n;                                                                 \
            do                                                                       \
                *out++ = (d)->read(from_++);                                         \
            while (--n);                                                             \
        } else {                                                                     \
            const unsigned char *from_ = (d)->data + (at);                           \
            at += n;                                                                 \
            do                                                                       \
                *out++ = *from_++;                                                   \
            while (--n);                                                             \
        }                                                                            \
    } while (0)
#endif

/* Keeps GCC from turning byte loops into calls of memset or memcpy. */
#if defined(__GNUC__) && !defined(__clang__)
#define OWN_LOOPS __attribute__((optimize("no-tree-loop-distribute-patterns")))
#else
#define OWN_LOOPS
#endif

/* The byte at offset at of the set (at < d->size). */
#ifdef __GNUC__
__attribute__((noinline))
#endif
static unsigned char byte_at(const grayframe_decoder *d, grayframe_offset at)
{
#ifdef GRAYFRAME_READ_BYTE
    return (unsigned char)GRAYFRAME_READ_BYTE(CURSOR(d, at));
#else
    return d->read ? d->read(d->address + at) : d->data[at];
#endif
}

static int open_set(grayframe_decoder *d, unsigned long size)
{
    d->size = (grayframe_offset)size;
    d->chain = 0;
    if (size < 5 || d->size != size)
        return GRAYFRAME_NOT_A_SET;
    if (byte_at(d, 0) != 'G' || byte_at(d, 1) != 'F' || byte_at(d, 2) != GRAYFRAME_CODE_VERSION)
        return GRAYFRAME_NOT_A_SET;
    d->count = byte_at(d, 3) | (unsigned)byte_at(d, 4) << 8;
    return GRAYFRAME_OK;
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

/* The kind of the frame (0 when it cannot be one); d->at just past its kind byte. */
static unsigned char frame_kind(grayframe_decoder *d, unsigned frame)
{
    unsigned long at = 5UL + frame + frame + frame;
    unsigned char kind;
    if (at + 3 > d->size)
        return 0;
    at = byte_at(d, (grayframe_offset)at) | (unsigned)byte_at(d, (grayframe_offset)at + 1) << 8
         | (unsigned long)byte_at(d, (grayframe_offset)at + 2) << 16;
    if (at >= d->size)
        return 0;
    kind = byte_at(d, (grayframe_offset)at);
    d->at = (grayframe_offset)(at + 1);
    return kind == KIND_RAW || kind == KIND_KEY || (kind == KIND_DELTA && frame) ? kind : 0;
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
    d->spans = 0;
    if (frame >= d->count)
        return GRAYFRAME_NO_FRAME;
    for (;;) {
        kind = frame_kind(d, frame);
        if (!kind || n == GRAYFRAME_CHAIN_MAX)
            return GRAYFRAME_DAMAGED;
        d->next[n] = CURSOR(d, d->at);
        d->hold[n] = 0;
        ++n;
        if (kind != KIND_DELTA || single)
            break;
        --frame;
    }
    d->base_kind = kind;
    d->chain = n;
    d->column = 0;
    return GRAYFRAME_OK;
}

/* 1 when the next row of delta frame i of the chain is whole as its reference (and
 * then taken), else 0. */
static unsigned char held(grayframe_decoder *d, unsigned char i)
{
    cursor at;
    unsigned char c;
    if (!d->hold[i]) {
        at = d->next[i];
        if (at == CURSOR(d, d->size) || (c = READ(at)) < ROWS)
            return 0;
        d->next[i] = at + 1;
        d->hold[i] = (unsigned char)((c & 0x0F) + 1);
    }
    --d->hold[i];
    return 1;
}

/* Spans mode: notes that bytes x to x + n - 1 of the row were written, in d->above as
 * (first, end) pairs, a span that touches the one before joining it. A row holds at
 * most 26 spans; the last one's end, not kept when it would be byte 52, is then 51. */
#ifdef __GNUC__
__attribute__((noinline))
#endif
static void mark(grayframe_decoder *d, unsigned char x, unsigned char n)
{
    unsigned char k = d->spans - 1;
    if (k && d->above[k - 1] == x) {
        d->above[k - 1] = (unsigned char)(x + n);
        return;
    }
    if (k < ROW)
        d->above[k++] = x;
    if (k < ROW)
        d->above[k++] = (unsigned char)(x + n);
    d->spans = (unsigned char)(k + 1);
}

/* Applies the next row of chain frame i to out, reference bytes from ref: out itself
 * (they stay), another row (copied), or 0 (none: damaged). */
OWN_LOOPS static int frame_row(grayframe_decoder *d, unsigned char i, unsigned char *out,
                     const unsigned char *ref)
{
    cursor at = d->next[i];
    const cursor end = CURSOR(d, d->size);
    const unsigned char spans = d->spans, copy = ref && ref != out;
    const unsigned char *from;
    unsigned char left = ROW, c, n, b;
    if (i + 1 == d->chain && d->base_kind == KIND_RAW) {
        c = LITERAL;
        n = ROW;
        goto literal;
    }
    if (d->hold[i]) {
        --d->hold[i];
        goto whole;
    }
    if (at == end)
        return GRAYFRAME_DAMAGED;
    c = READ(at);
    if (c >= ROWS) {
        d->next[i] = at + 1;
        d->hold[i] = (unsigned char)(c & 0x0F);
    whole:
        if (!ref)
            return GRAYFRAME_DAMAGED;
        if (copy)
            for (n = ROW; n; --n)
                *out++ = *ref++;
        return GRAYFRAME_OK;
    }
    do {
        if (at == end)
            return GRAYFRAME_DAMAGED;
        c = READ(at);
        ++at;
        n = (unsigned char)((c & 0x3F) + 1);
        if (c < LITERAL || c >= PAIR) {
            if (c >= PAIR) {
                if (c >= ROWS)
                    return GRAYFRAME_DAMAGED;
                n = (unsigned char)(((c >> 3) & 7) + 1);
            }
            if (!ref || n > left)
                return GRAYFRAME_DAMAGED;
            if (copy) {
                from = ref + (ROW - left);
                left = (unsigned char)(left - n);
                do
                    *out++ = *from++;
                while (--n);
            } else {
                left = (unsigned char)(left - n);
                out += n;
            }
            if (c < LITERAL)
                continue;
            n = (unsigned char)((c & 7) + 1);
        }
        if (n > left)
            return GRAYFRAME_DAMAGED;
    literal:
        if (spans)
            mark(d, (unsigned char)(ROW - left), n);
        left = (unsigned char)(left - n);
        if (c >= RUN && c < PAIR) {
            if (at == end)
                return GRAYFRAME_DAMAGED;
            b = READ(at);
            ++at;
            do
                *out++ = b;
            while (--n);
        } else {
            if ((cursor)(end - at) < n)
                return GRAYFRAME_DAMAGED;
            COPY(d, at, out, n);
        }
    } while (left);
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
        for (y = 0, row = out; y != GRAYFRAME_ROWS; ++y, row += ROW) {
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

/* Row by row, the chain's base frame (raw or key) is decoded in place in whichever of
 * row and d->above holds its row before (d->column says: 1 row, 0 d->above), and the
 * delta frames are applied to row; the base's row is kept in d->above only when a
 * delta frame changes the row. */
OWN_LOOPS int grayframe_rows_next(grayframe_decoder *d, unsigned char *row)
{
    const unsigned char base = (unsigned char)(d->chain - 1);
    unsigned char i, changed = 0, bit = 1, x;
    unsigned char *key, *from, *to;
    if (!d->chain)
        return GRAYFRAME_ORDER;
    if (d->row == GRAYFRAME_ROWS)
        return end(d, GRAYFRAME_OK);
    for (i = 0; i != base; ++i, bit = (unsigned char)(bit << 1)) {
        if (d->hold[i])
            --d->hold[i];
        else if (!held(d, i))
            changed |= bit;
    }
    key = d->column ? row : d->above;
    if (!changed) {
        if (d->hold[base] && d->column) /* whole as the row above, which row holds */
            --d->hold[base];
        else if (frame_row(d, base, row, d->row ? key : 0))
            return end(d, GRAYFRAME_DAMAGED);
        d->column = 1;
    } else {
        if (frame_row(d, base, key, d->row ? key : 0))
            return end(d, GRAYFRAME_DAMAGED);
        from = key;
        to = key == row ? d->above : row;
        for (x = ROW; x; --x)
            *to++ = *from++;
        d->column = 0;
        for (i = base; i--;) {
            bit >>= 1;
            if ((changed & bit) && frame_row(d, i, row, row))
                return end(d, GRAYFRAME_DAMAGED);
        }
    }
    ++d->row;
    return GRAYFRAME_MORE;
}

int grayframe_spans_begin(grayframe_decoder *d, unsigned frame)
{
    int result = begin(d, frame, 1);
    d->column = 0;
    d->spans = 1;
    return result;
}

int grayframe_spans_next(grayframe_decoder *d, grayframe_span *span, unsigned char *row)
{
    unsigned char k;
    if (!d->chain)
        return GRAYFRAME_ORDER;
    for (;;) {
        k = d->column;
        if (k < d->spans - 1) {
            span->row = (unsigned char)(d->row - 1);
            span->first = d->above[k];
            span->length = (unsigned char)((k + 1 < ROW ? d->above[k + 1] : ROW) - span->first);
            d->column = (unsigned char)(k + 2);
            return GRAYFRAME_MORE;
        }
        if (d->row == GRAYFRAME_ROWS)
            return end(d, GRAYFRAME_OK);
        d->column = 0;
        if (d->base_kind == KIND_DELTA) {
            d->spans = 1;
            if (frame_row(d, 0, row, row))
                return end(d, GRAYFRAME_DAMAGED);
        } else {
            /* not a delta frame: every row whole */
            d->spans = 0;
            if (frame_row(d, 0, row, d->row ? row : 0))
                return end(d, GRAYFRAME_DAMAGED);
            d->above[0] = 0;
            d->above[1] = ROW;
            d->spans = 3;
        }
        ++d->row;
    }
}
