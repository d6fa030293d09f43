/* SPDX-License-Identifier: Apache-2.0 */
/* grayframe_decode.c: see grayframe_decode.h for the code and the API. */
#include "grayframe_decode.h"

#define ROW GRAYFRAME_ROW_BYTES

typedef grayframe_address cursor;

/* Program memory past 64 KiB, read with ELPM, unless GRAYFRAME_NEAR_FLASH says the set
 * lies below. */
#if defined(__AVR_HAVE_ELPM__) && !defined(GRAYFRAME_NEAR_FLASH)
#define FAR_FLASH
#endif

/* The loops of grayframe_decode_avr.S on AVR, unless GRAYFRAME_SMALL asks for the C
 * loops only or GRAYFRAME_READ_BYTE reads the set through a hook. */
#if defined(__AVR__) && !defined(GRAYFRAME_SMALL) && !defined(GRAYFRAME_READ_BYTE)
#define AVR_LOOPS
#endif

/* BYTE(at) is the byte at address at; NEXT(b, at) reads it into b and moves at on. On
 * AVR each is one instruction, inline: LPM, LPM Z+ (the address stays in Z), ELPM. */
#if defined(GRAYFRAME_READ_BYTE)
#define BYTE(at) ((unsigned char)GRAYFRAME_READ_BYTE(at))
#elif defined(FAR_FLASH)
#include <avr/io.h>
static unsigned char far_byte(cursor at)
{
    unsigned char b;
    RAMPZ = (unsigned char)(at >> 16);
    __asm__ __volatile__("elpm %0, Z" : "=r"(b) : "z"((unsigned int)at));
    return b;
}
#define BYTE(at) far_byte(at)
#elif defined(__AVR__)
static unsigned char near_byte(cursor at)
{
    unsigned char b;
    __asm__ __volatile__("lpm %0, Z" : "=r"(b) : "z"(at));
    return b;
}
#define BYTE(at) near_byte(at)
#define NEXT(b, at) __asm__ __volatile__("lpm %0, Z+" : "=r"(b), "+z"(at))
#else
#define BYTE(at) (*(const unsigned char *)(at))
#endif

#ifndef NEXT
#define NEXT(b, at) ((b) = BYTE(at), ++(at))
#endif

/* Keeps GCC from turning byte loops into calls of memset or memcpy. */
#if defined(__GNUC__) && !defined(__clang__)
#define OWN_LOOPS __attribute__((optimize("no-tree-loop-distribute-patterns")))
#else
#define OWN_LOOPS
#endif
#ifdef __GNUC__
#define NOINLINE __attribute__((noinline))
#define INLINE __attribute__((always_inline)) __inline__
#else
#define NOINLINE
#define INLINE
#endif

/* copy_set copies the n > 0 bytes of the set at at to out and gives where the set
 * goes on; raw_row copies the row of the set at *at to out and moves *at past it;
 * copy_ram copies n > 0 bytes of from to out; fill puts b in n > 0 bytes of out. */
#if defined(AVR_LOOPS)
/* grayframe_decode_avr.S: what its functions take, give and keep there. */
#ifdef __cplusplus
extern "C" {
#endif
#ifdef FAR_FLASH
unsigned long grayframe_avr_copy_set_far(unsigned char *out, unsigned long at,
                                         unsigned char n);
unsigned long grayframe_avr_row_far(unsigned char *out, int delta, unsigned int code,
                                    unsigned int set, unsigned char set_high);
#define copy_set grayframe_avr_copy_set_far
#else
unsigned int grayframe_avr_copy_set(unsigned char *out, unsigned int at, unsigned char n);
void grayframe_avr_raw_row(unsigned char *out, unsigned int *at);
#define raw_row grayframe_avr_raw_row
unsigned int grayframe_avr_row(unsigned char *out, int delta, unsigned int code,
                               unsigned int set);
unsigned long grayframe_avr_rows(unsigned char *out, int delta, unsigned int code,
                                 unsigned int set, unsigned int end, unsigned char before);
#define copy_set grayframe_avr_copy_set
#endif
void grayframe_avr_copy_ram(unsigned char *out, const unsigned char *from, unsigned char n);
#ifdef __cplusplus
}
#endif
#define copy_ram grayframe_avr_copy_ram
/* inline in frame_row, whose OWN_LOOPS keeps it a loop */
INLINE static void fill(unsigned char *out, unsigned char b, unsigned char n)
{
    do
        *out++ = b;
    while (--n);
}
#else
NOINLINE static cursor copy_set(unsigned char *out, cursor at, unsigned char n)
{
    do {
        *out++ = BYTE(at);
        ++at;
    } while (--n);
    return at;
}
NOINLINE OWN_LOOPS static void copy_ram(unsigned char *out, const unsigned char *from,
                                         unsigned char n)
{
    do
        *out++ = *from++;
    while (--n);
}
NOINLINE OWN_LOOPS static void fill(unsigned char *out, unsigned char b, unsigned char n)
{
    do
        *out++ = b;
    while (--n);
}
#endif

#ifndef raw_row
static void raw_row(unsigned char *out, cursor *at)
{
    *at = copy_set(out, *at, ROW);
}
#endif

int grayframe_open_at(grayframe_decoder *d, grayframe_address set, unsigned long size)
{
    d->set = set;
    d->end = (cursor)(set + size);
    d->chain = 0;
    d->base_kind = 0;
    d->count = 0;
    if (size < GRAYFRAME_HEADER_BYTES || (unsigned long)(cursor)size != size || d->end < set
        || BYTE(set) != GRAYFRAME_SIGNATURE_0 || BYTE(set + 1) != GRAYFRAME_SIGNATURE_1
        || BYTE(set + 2) != GRAYFRAME_CODE_VERSION)
        return GRAYFRAME_NOT_A_SET;
    d->count = BYTE(set + 3) | (unsigned)BYTE(set + 4) << 8;
    if (GRAYFRAME_HEADER_BYTES + (unsigned long)d->count + d->count + d->count > size) {
        d->count = 0;
        return GRAYFRAME_DAMAGED;
    }
    return GRAYFRAME_OK;
}

int grayframe_open(grayframe_decoder *d, const unsigned char *set, unsigned long size)
{
#ifdef __AVR__
    return grayframe_open_at(d, (grayframe_address)(unsigned int)set, size);
#else
    return grayframe_open_at(d, (grayframe_address)set, size);
#endif
}

unsigned grayframe_frame_count(const grayframe_decoder *d)
{
    return d->count;
}

/* The kind of the frame (0 when it cannot be one), *at just past its kind byte. */
static unsigned char frame_kind(const grayframe_decoder *d, unsigned frame, cursor *at)
{
    cursor where = d->set + GRAYFRAME_HEADER_BYTES + frame + frame + frame;
    cursor offset = BYTE(where) | (cursor)BYTE(where + 1) << 8;
    unsigned char kind, high = BYTE(where + 2);
#if defined(__AVR__) && !defined(FAR_FLASH)
    if (high)
        return 0;
#else
    offset |= (cursor)high << 16;
#endif
    if (offset >= (cursor)(d->end - d->set))
        return 0;
    where = d->set + offset;
    kind = BYTE(where);
    *at = where + 1;
    return kind == GRAYFRAME_KIND_RAW || kind == GRAYFRAME_KIND_KEY
           || (kind == GRAYFRAME_KIND_DELTA && frame) ? kind : 0;
}

int grayframe_is_delta(grayframe_decoder *d, unsigned frame)
{
    cursor at;
    unsigned char kind;
    if (frame >= d->count)
        return GRAYFRAME_NO_FRAME;
    kind = frame_kind(d, frame, &at);
    return kind ? kind == GRAYFRAME_KIND_DELTA : GRAYFRAME_DAMAGED;
}

/* Delta frame i of the chain: sets d->until[i] to the row from row on where its next
 * codes are, past its rows codes (80 and past when it has none). */
static void until_codes(grayframe_decoder *d, unsigned char i, unsigned char row)
{
    unsigned char c;
    while (row < GRAYFRAME_ROWS && d->next[i] != d->end
           && (c = BYTE(d->next[i])) >= GRAYFRAME_WHOLE) {
        row = (unsigned char)(row + (c & 0x0F) + 1);
        ++d->next[i];
    }
    d->until[i] = row;
}

/* Sets up the chain that ends at frame, or only the frame itself with single: its raw
 * or key frame (or the frame itself) in slot 0, the delta frames after it in order. */
static int begin(grayframe_decoder *d, unsigned frame, unsigned char single)
{
    unsigned char n = 0, i, kind;
    cursor at;
    d->chain = 0;
    d->row = 0;
    d->left = 0;
    d->over = 0;
    d->spans = 0;
    d->column = 1;
    d->soonest = GRAYFRAME_ROWS;
    if (frame >= d->count)
        return GRAYFRAME_NO_FRAME;
    for (;;) {
        if (n == GRAYFRAME_CHAIN_MAX || !(kind = frame_kind(d, frame - n, &at)))
            return GRAYFRAME_DAMAGED;
        ++n;
        if (kind != GRAYFRAME_KIND_DELTA || single)
            break;
    }
    d->base_kind = kind;
    for (i = 0; i != n; ++i) {
        frame_kind(d, frame - n + 1 + i, &d->next[i]);
        d->hold[i] = 0;
        if (i) {
            until_codes(d, i, 0);
            if (d->until[i] < d->soonest)
                d->soonest = d->until[i];
        }
    }
    d->chain = n;
    return GRAYFRAME_OK;
}

static int end(grayframe_decoder *d, int result)
{
    d->chain = 0;
    return result;
}

/* Spans mode: notes that bytes x to x + n - 1 of the row were written, in d->above as
 * (first, end) pairs, a span that touches the one before joining it. A row holds at
 * most 26 spans; the last one's end, not kept when it would be byte 52, is then 51. */
static void mark(grayframe_decoder *d, unsigned char x, unsigned char n)
{
    unsigned char k = (unsigned char)(d->spans - 1);
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

/* The distance of the match or call code at code, the 2 bytes after it: how far before
 * the code the bytes it points at start; 0 when that is not within the set. */
INLINE static cursor distance_of(const grayframe_decoder *d, cursor code)
{
    cursor distance;
    if ((cursor)(d->end - code) < 3)
        return 0;
    distance = BYTE(code + 1) | (cursor)BYTE(code + 2) << 8;
    return distance > (cursor)(code - d->set) ? 0 : distance;
}

/* Before a row of a key frame in chain slot 0, outside a rows call and a rows code:
 * when its codes are a rows call, the rows it makes are taken from the codes it points
 * at (d->left of them, then back to d->back). GRAYFRAME_OK, or GRAYFRAME_DAMAGED when
 * the call does not add up. */
NOINLINE static int rows_call_in(grayframe_decoder *d)
{
    const cursor code = d->next[0];
    cursor distance;
    unsigned char n;
    unsigned char c;
    if (code == d->end
        || ((c = BYTE(code)) != GRAYFRAME_ROWS_CALL && c != GRAYFRAME_ROWS_BEFORE))
        return GRAYFRAME_OK;
    if ((cursor)(d->end - code) < 4)
        return GRAYFRAME_DAMAGED;
    n = BYTE(code + 1);
    distance = BYTE(code + 2) | (cursor)BYTE(code + 3) << 8;
    if (!n || n >= GRAYFRAME_ROWS - d->row || !distance || distance > (cursor)(code - d->set))
        return GRAYFRAME_DAMAGED;
    d->left = (unsigned char)(n + 1);
    d->before = c == GRAYFRAME_ROWS_BEFORE;
    d->back = code + 4;
    d->next[0] = code - distance;
    return GRAYFRAME_OK;
}

/* After a row of the chain's raw or key frame: back after the rows call when its last
 * row was made. */
INLINE static void rows_call_out(grayframe_decoder *d)
{
    if (d->left && !--d->left) {
        d->next[0] = d->back;
        d->hold[0] = 0;
    }
}

/* When the row's codes at *at are a call of the codes of a row before (their first
 * code GRAYFRAME_ROW_CALL, GRAYFRAME_CHANGED_CALL or GRAYFRAME_CHANGED_BEFORE): moves *at
 * to those, *back past the
 * call, and gives 2, 3 when codes that change the row follow the call, 4 when they do
 * and the row the call makes is the frame before's; 0 when they are not a call (*back
 * is *at), 1 when the call does not point into the set before it. */
static unsigned char follow_call(const grayframe_decoder *d, cursor *at, cursor *back)
{
    const cursor code = *at;
    const unsigned char c = BYTE(code);
    cursor distance;
    *back = code;
    if (c != GRAYFRAME_ROW_CALL && c != GRAYFRAME_CHANGED_CALL
        && c != GRAYFRAME_CHANGED_BEFORE)
        return 0;
    if (!(distance = distance_of(d, code)))
        return 1;
    *at = code - distance;
    *back = code + 3;
    return c == GRAYFRAME_ROW_CALL ? 2 : c == GRAYFRAME_CHANGED_CALL ? 3 : 4;
}

/* A match code of n bytes, *at just past its first byte: copies the n bytes it points
 * back at to out and moves *at past the code; 1 when they do not lie in the set before
 * the code. */
NOINLINE static unsigned char match(const grayframe_decoder *d, cursor *at, unsigned char *out,
                                    unsigned char n)
{
    const cursor code = *at - 1, distance = distance_of(d, code);
    if (distance < n)
        return 1;
    copy_set(out, code - distance, n);
    *at = code + 3;
    return 0;
}


/* The start of the next row of chain frame i: 2 when the row is whole as its reference
 * (then put in out from ref, unless ref is out), 1 when codes follow, 0 when the set
 * ends there. */
INLINE static unsigned char row_start(grayframe_decoder *d, unsigned char i, unsigned char *out,
                                      const unsigned char *ref)
{
    const cursor at = d->next[i];
    unsigned char c;
    if (!d->hold[i]) {
        if (at == d->end)
            return 0;
        c = BYTE(at);
        if (c < GRAYFRAME_WHOLE)
            return 1;
        d->next[i] = at + 1;
        d->hold[i] = (unsigned char)((c & 0x0F) + 1);
    }
    --d->hold[i];
    if (ref != out)
        copy_ram(out, ref, ROW);
    return 2;
}

/* Applies the next row of chain frame i to out, its reference the row at ref: out
 * itself (bytes as the reference stay as they are) or another row (they are
 * copied). */
NOINLINE OWN_LOOPS static int frame_row(grayframe_decoder *d, unsigned char i, unsigned char *out,
                              const unsigned char *ref)
{
    cursor at = d->next[i], back;
    const cursor stop = d->end;
    unsigned char x = 0, c, n, b, called;
    if (!i && d->base_kind == GRAYFRAME_KIND_RAW) {
        if ((cursor)(stop - at) < ROW)
            return GRAYFRAME_DAMAGED;
        d->next[i] = copy_set(out, at, ROW);
        return GRAYFRAME_OK;
    }
    if (!i && d->base_kind == GRAYFRAME_KIND_KEY && !d->left && !d->hold[0] && at != stop
        && (unsigned char)(BYTE(at) - GRAYFRAME_ROWS_BEFORE) < 2) {
        if (rows_call_in(d))
            return GRAYFRAME_DAMAGED;
        at = d->next[0];
    }
    if ((c = row_start(d, i, out, ref)) != 1)
        return c ? GRAYFRAME_OK : GRAYFRAME_DAMAGED;
    if ((called = follow_call(d, &at, &back)) == 1)
        return GRAYFRAME_DAMAGED;
    if (called == 4 && d->over == 1 && !d->left) {
        /* out holds the row the call makes: only the change */
        at = back;
        ref = out;
        called = 0;
    }
    for (;;) {
        if (at == stop)
            return GRAYFRAME_DAMAGED;
        NEXT(c, at);
        n = (unsigned char)((c & 0x3F) + 1);
        if (c < GRAYFRAME_LITERAL || c >= GRAYFRAME_PAIR) {
            if (c >= GRAYFRAME_PAIR) {
                if (c >= GRAYFRAME_WHOLE)
                    return GRAYFRAME_DAMAGED;
                n = (unsigned char)(((c >> 3) & 7) + 1);
            }
            if (n > ROW - x)
                return GRAYFRAME_DAMAGED;
            if (ref != out)
                copy_ram(out + x, ref + x, n);
            x = (unsigned char)(x + n);
            if (c < GRAYFRAME_LITERAL)
                goto next;
            n = (unsigned char)((c & 7) + 1);
        }
        if (c < GRAYFRAME_RUN)
            n = (unsigned char)((c & 0x1F) + (c < GRAYFRAME_MATCH ? 1 : GRAYFRAME_MATCH_MIN));
        if (n > ROW - x)
            return GRAYFRAME_DAMAGED;
        if (d->spans)
            mark(d, x, n);
        if (c >= GRAYFRAME_RUN && c < GRAYFRAME_PAIR) {
            if (at == stop)
                return GRAYFRAME_DAMAGED;
            NEXT(b, at);
            fill(out + x, b, n);
        } else if (c >= GRAYFRAME_MATCH && c < GRAYFRAME_RUN) {
            if (match(d, &at, out + x, n))
                return GRAYFRAME_DAMAGED;
        } else {
            if ((cursor)(stop - at) < n)
                return GRAYFRAME_DAMAGED;
            at = copy_set(out + x, at, n);
        }
        x = (unsigned char)(x + n);
    next:
        if (x == ROW) {
            if (called < 3)
                break;
            /* the codes that change the row the call made */
            if (called == 4 && d->over == 2 && !d->spans && !d->left)
                d->spans = 1;
            at = back;
            ref = out;
            x = 0;
            called = 0;
        }
    }
    d->next[i] = called ? back : at;
    return GRAYFRAME_OK;
}

/* ROW(d, i, out, ref) is frame_row; on AVR, outside spans mode, a row decoder with its
 * codes in a loop of assembler, which avr-gcc does not make of the C. */
#if defined(AVR_LOOPS)

/* The row's codes at code into out by grayframe_avr_row: where they end, or 0 when
 * they do not add up or run past the set's end. */
INLINE static cursor avr_row(const grayframe_decoder *d, cursor code, unsigned char *out,
                             const unsigned char *ref)
{
#ifdef FAR_FLASH
    unsigned long after;
    RAMPZ = (unsigned char)(code >> 16);
    after = grayframe_avr_row_far(out, ref - out, (unsigned int)code, (unsigned int)d->set,
                                  (unsigned char)(d->set >> 16));
    if (after == 0xFFFFFFFFUL)
        return 0;
#else
    const cursor after = grayframe_avr_row(out, ref - out, code, d->set);
#endif
    if ((cursor)after > d->end || (cursor)after <= code)
        return 0;
    return (cursor)after;
}

/* The next row of chain frame i by the assembler loop: GRAYFRAME_OK, GRAYFRAME_DAMAGED,
 * or, nothing done, 1 when the row is held or starts with a rows code, 2 when it calls
 * the codes of a row before (and may change the row they make), 3 when it starts a
 * rows call. */
INLINE static int avr_codes(grayframe_decoder *d, unsigned char i, unsigned char *out,
                            const unsigned char *ref)
{
    const cursor next = d->next[i];
    unsigned char c;
    if (d->hold[i] || next == d->end || (c = BYTE(next)) >= GRAYFRAME_WHOLE)
        return 1;
    if (c == GRAYFRAME_ROW_CALL || c == GRAYFRAME_CHANGED_CALL
        || c == GRAYFRAME_CHANGED_BEFORE)
        return 2;
    if (c == GRAYFRAME_ROWS_CALL || c == GRAYFRAME_ROWS_BEFORE)
        return 3;
    return (d->next[i] = avr_row(d, next, out, ref)) ? GRAYFRAME_OK : GRAYFRAME_DAMAGED;
}

/* Spans: the change of the row out holds, which a changed call made as the frame
 * before's, marked; its codes are those of chain frame i from its next, and make bytes
 * (none of them stands only where a row starts). */
NOINLINE static int spans_change(grayframe_decoder *d, unsigned char i, unsigned char *out)
{
    const cursor at = d->next[i];
    unsigned char c;
    if (at != d->end && ((c = BYTE(at)) >= GRAYFRAME_WHOLE
                         || (c >= GRAYFRAME_CHANGED_BEFORE && c < GRAYFRAME_PAIR)))
        return GRAYFRAME_DAMAGED;
    d->spans = 1;
    return frame_row(d, i, out, out);
}

/* The next row of chain frame i, which calls the codes of a row before (then, but for
 * GRAYFRAME_ROW_CALL, changes the row they made by the codes after the call), by the assembler
 * loop. */
NOINLINE static int called_row(grayframe_decoder *d, unsigned char i, unsigned char *out,
                               const unsigned char *ref)
{
    const cursor code = d->next[i], distance = distance_of(d, code);
    const unsigned char c = BYTE(code);
    /* over the frame before (1) or as spans (2), the frame before's row */
    const unsigned char before = c == GRAYFRAME_CHANGED_BEFORE && !d->left ? d->over : 0;
    if (!distance || (before != 1 && !avr_row(d, code - distance, out, ref)))
        return GRAYFRAME_DAMAGED;
    d->next[i] = code + 3;
    if (c == GRAYFRAME_ROW_CALL)
        return GRAYFRAME_OK;
    if (before == 2)
        return spans_change(d, i, out);
    return (d->next[i] = avr_row(d, code + 3, out, out)) ? GRAYFRAME_OK : GRAYFRAME_DAMAGED;
}

/* As ROW_OF, outside spans mode and for a frame that is not raw, faster inline. */
/* The first row of a rows call of chain frame i (a key frame in slot 0, outside a rows
 * call), by the assembler loop. */
NOINLINE static int rows_call_row(grayframe_decoder *d, unsigned char i, unsigned char *out,
                                  const unsigned char *ref)
{
    int result;
    if (i || d->base_kind != GRAYFRAME_KIND_KEY || d->left || rows_call_in(d))
        return GRAYFRAME_DAMAGED;
    result = avr_codes(d, 0, out, ref);
    return result == 1 ? frame_row(d, 0, out, ref)
         : result == 2 ? called_row(d, 0, out, ref)
         : result == 3 ? GRAYFRAME_DAMAGED : result;
}

#define FAST_ROW(d, i, out, ref)                                                       \
    ((result = avr_codes(d, i, out, ref)) == 1   ? frame_row(d, i, out, ref)            \
     : result == 2                               ? called_row(d, i, out, ref)           \
     : result == 3                               ? rows_call_row(d, i, out, ref)        \
                                                 : result)

static int fast_row(grayframe_decoder *d, unsigned char i, unsigned char *out,
                    const unsigned char *ref)
{
    int result;
    if (d->spans || (!i && d->base_kind == GRAYFRAME_KIND_RAW))
        return frame_row(d, i, out, ref);
    return FAST_ROW(d, i, out, ref);
}
#define ROW_OF(d, i, out, ref) fast_row(d, i, out, ref)
#else
#define FAST_ROW(d, i, out, ref) (result = frame_row(d, i, out, ref))
#define ROW_OF(d, i, out, ref) frame_row(d, i, out, ref)
#endif

/* Applies the chain's delta frames that have codes in this row to out, oldest first,
 * the base's row kept in d->above first; sets d->soonest, the first row after it that any
 * of them has codes in. */
NOINLINE static int apply_deltas(grayframe_decoder *d, unsigned char *out)
{
    const unsigned char row = d->row;
    unsigned char i, soonest = GRAYFRAME_ROWS;
    int result;
    if (d->base_kind != GRAYFRAME_KIND_RAW) {
        copy_ram(d->above, out, ROW);
        d->column = 0;
    }
    for (i = 1; i != d->chain; ++i) {
        if (d->until[i] == row) {
            if (FAST_ROW(d, i, out, out))
                return GRAYFRAME_DAMAGED;
            until_codes(d, i, (unsigned char)(row + 1));
        }
        if (d->until[i] < soonest)
            soonest = d->until[i];
    }
    d->soonest = soonest;
    return GRAYFRAME_OK;
}

/* The next row of a chain of more than one frame into out; prev is where the row before
 * it was put (out itself row by row). The chain's raw or key frame is decoded into out
 * against its row before, which is in prev or, when a delta frame changed that row
 * (d->column 0), in d->above; then the delta frames with codes in this row, if any
 * (d->soonest). */
static int step(grayframe_decoder *d, unsigned char *out, const unsigned char *prev)
{
    const unsigned char *ref = d->column ? prev : d->above;
    int result;
    if (d->base_kind == GRAYFRAME_KIND_RAW) {
        if ((cursor)(d->end - d->next[0]) < ROW)
            return GRAYFRAME_DAMAGED;
        raw_row(out, &d->next[0]);
    } else if (d->hold[0]) {
        --d->hold[0];
        if (ref != out)
            copy_ram(out, ref, ROW);
    } else if (FAST_ROW(d, 0, out, ref))
        return GRAYFRAME_DAMAGED;
    rows_call_out(d);
    d->column = 1;
    if (d->row == d->soonest && apply_deltas(d, out))
        return GRAYFRAME_DAMAGED;
    ++d->row;
    return GRAYFRAME_OK;
}

int grayframe_decode_frame(grayframe_decoder *d, unsigned frame, unsigned char *out,
                           int holds_previous)
{
    unsigned char *row = out;
    int result = begin(d, frame, (unsigned char)(holds_previous != 0));
    if (result)
        return result;
    d->over = (unsigned char)(holds_previous != 0);
    if (d->chain == 1 && d->base_kind == GRAYFRAME_KIND_RAW) {
        if ((cursor)(d->end - d->next[0]) < GRAYFRAME_FRAME_BYTES)
            return end(d, GRAYFRAME_DAMAGED);
        for (d->row = 16; d->row; --d->row, row += 255)
            d->next[0] = copy_set(row, d->next[0], 255);
        return end(d, GRAYFRAME_OK);
    }
#if defined(AVR_LOOPS) && !defined(FAR_FLASH)
    if (d->chain == 1) {
        const unsigned long after =
            grayframe_avr_rows(out, d->base_kind == GRAYFRAME_KIND_DELTA ? 0 : -ROW,
                               d->next[0], d->set, d->end,
                               (unsigned char)(holds_previous != 0));
        return end(d, after == 0xFFFFFFFFUL || (cursor)after > d->end ? GRAYFRAME_DAMAGED
                                                                       : GRAYFRAME_OK);
    }
#endif
    if (d->chain == 1) {
        for (; d->row != GRAYFRAME_ROWS; ++d->row, row += ROW) {
            if (holds_previous && d->base_kind == GRAYFRAME_KIND_KEY && !d->left
                && !d->hold[0]) {
                /* rows as the frame before are left as they are */
                if (rows_call_in(d))
                    return end(d, GRAYFRAME_DAMAGED);
                if (d->left && d->before) {
                    d->row = (unsigned char)(d->row + d->left - 1);
                    row += (d->left - 1) * ROW;
                    d->left = 0;
                    d->next[0] = d->back;
                    continue;
                }
            }
            if (d->hold[0]) {
                /* a row whole as the row above, or as the frame before (as it is) */
                --d->hold[0];
                if (d->base_kind != GRAYFRAME_KIND_DELTA)
                    copy_ram(row, row - ROW, ROW);
            } else if (FAST_ROW(d, 0, row,
                                d->row && d->base_kind != GRAYFRAME_KIND_DELTA ? row - ROW
                                                                                 : row))
                return end(d, GRAYFRAME_DAMAGED);
            rows_call_out(d);
        }
        return end(d, GRAYFRAME_OK);
    }
    while (!result && d->row != GRAYFRAME_ROWS) {
        result = step(d, row, d->row ? row - ROW : row);
        row += ROW;
    }
    return end(d, result);
}

int grayframe_rows_begin(grayframe_decoder *d, unsigned frame)
{
    return begin(d, frame, 0);
}

/* grayframe_rows_next for a chain whose first frame is a key frame. */
NOINLINE static int key_rows_next(grayframe_decoder *d, unsigned char *row)
{
    int result;
#if defined(AVR_LOOPS)
    const cursor at = d->next[0];
    unsigned char c;
#endif
    if (d->chain == 1 && d->row != GRAYFRAME_ROWS) {
        if (d->hold[0])
            --d->hold[0];
#if defined(AVR_LOOPS)
        /* a row of codes of its own, straight to the assembler loop */
        else if (at != d->end &&
                 ((c = BYTE(at)) < GRAYFRAME_CHANGED_BEFORE
                  || (c >= GRAYFRAME_PAIR && c < GRAYFRAME_WHOLE))) {
            if (!(d->next[0] = avr_row(d, at, row, row)))
                return end(d, GRAYFRAME_DAMAGED);
        }
#endif
        else if (FAST_ROW(d, 0, row, row))
            return end(d, GRAYFRAME_DAMAGED);
        rows_call_out(d);
        ++d->row;
        return GRAYFRAME_MORE;
    }
    if (!d->chain)
        return GRAYFRAME_ORDER;
    if (d->row == GRAYFRAME_ROWS)
        return end(d, GRAYFRAME_OK);
    return step(d, row, row) ? end(d, GRAYFRAME_DAMAGED) : GRAYFRAME_MORE;
}

/* grayframe_rows_next for a chain whose first frame is raw, where its quick path
 * stops: no frame begun, the frame's end, a raw row cut short, or a row that delta
 * frames change (the raw row, then their codes). */
NOINLINE static int raw_rows_next(grayframe_decoder *d, unsigned char *row)
{
    if (!d->chain)
        return GRAYFRAME_ORDER;
    if (d->row == GRAYFRAME_ROWS)
        return end(d, GRAYFRAME_OK);
    if ((cursor)(d->end - d->next[0]) < ROW)
        return end(d, GRAYFRAME_DAMAGED);
    raw_row(row, &d->next[0]);
    if (apply_deltas(d, row))
        return end(d, GRAYFRAME_DAMAGED);
    ++d->row;
    return GRAYFRAME_MORE;
}

/* Quick for a raw row that no delta frame changes, which is most rows of a raw frame's
 * chain. */
int grayframe_rows_next(grayframe_decoder *d, unsigned char *row)
{
    if (d->base_kind != GRAYFRAME_KIND_RAW)
        return key_rows_next(d, row);
    if (d->row >= d->soonest || !d->chain || (cursor)(d->end - d->next[0]) < ROW)
        return raw_rows_next(d, row);
    ++d->row;
    raw_row(row, &d->next[0]);
    return GRAYFRAME_MORE;
}

int grayframe_spans_begin(grayframe_decoder *d, unsigned frame)
{
    const int result = begin(d, frame, 1);
    d->given = 0;
    d->over = 2;
    return result;
}

int grayframe_spans_next(grayframe_decoder *d, grayframe_span *span, unsigned char *row)
{
    unsigned char k;
    if (!d->chain)
        return GRAYFRAME_ORDER;
    for (;;) {
        k = d->given;
        if (k + 1 < d->spans) {
            span->row = (unsigned char)(d->row - 1);
            span->first = d->above[k];
            span->length = (unsigned char)((k + 1 < ROW ? d->above[k + 1] : ROW) - span->first);
            d->given = (unsigned char)(k + 2);
            return GRAYFRAME_MORE;
        }
        if (d->row == GRAYFRAME_ROWS)
            return end(d, GRAYFRAME_OK);
        d->given = 0;
        d->spans = d->base_kind == GRAYFRAME_KIND_DELTA;
        if (ROW_OF(d, 0, row, row))
            return end(d, GRAYFRAME_DAMAGED);
        if (!d->spans) {
            /* a key frame: the whole row, unless a rows call marks it as before */
            d->above[0] = 0;
            d->above[1] = ROW;
            d->spans = d->left && d->before ? 1 : 3;
        }
        rows_call_out(d);
        ++d->row;
    }
}

#ifdef GRAYFRAME_ROW_CODES
int grayframe_decode_row_codes(grayframe_decoder *d, unsigned long offset, unsigned char *row,
                               const unsigned char *ref)
{
    d->chain = 0;
    if (offset >= (unsigned long)(d->end - d->set) || BYTE(d->set + offset) >= GRAYFRAME_WHOLE)
        return GRAYFRAME_DAMAGED;
    d->base_kind = GRAYFRAME_KIND_DELTA;
    d->next[0] = d->set + offset;
    d->hold[0] = 0;
    d->left = 0;
    d->over = 0;
    d->spans = 0;
    return frame_row(d, 0, row, ref);
}
#endif
