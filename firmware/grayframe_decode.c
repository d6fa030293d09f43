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

typedef grayframe_address cursor;

/* Program memory past 64 KiB, read with ELPM, unless GRAYFRAME_NEAR_FLASH says the set
 * lies below. */
#if defined(__AVR_HAVE_ELPM__) && !defined(GRAYFRAME_NEAR_FLASH)
#define FAR_FLASH
#endif

/* BYTE(at) is the byte at address at; NEXT(b, at) reads it into b and moves at on;
 * copy_set copies bytes of the set to RAM. On AVR the reads of program memory take
 * LPM Z+, so that the address stays in Z; ELPM Z+ carries into RAMPZ. */
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
#define READ_ON(b, z) __asm__ __volatile__("elpm %0, Z+" : "=r"(b), "+z"(z))
#elif defined(__AVR__)
static unsigned char near_byte(cursor at)
{
    unsigned char b;
    __asm__ __volatile__("lpm %0, Z" : "=r"(b) : "z"(at));
    return b;
}
#define BYTE(at) near_byte(at)
#define NEXT(b, at) __asm__ __volatile__("lpm %0, Z+" : "=r"(b), "+z"(at))
#define READ_ON(b, z) NEXT(b, z)
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
 * goes on; copy_ram copies n > 0 bytes of from to out; fill puts b in n > 0 bytes of
 * out. On AVR these are loops of a few instructions (LPM Z+ / ST X+, unrolled for the
 * set), which avr-gcc does not make of the C. */
#if defined(READ_ON)
#ifdef FAR_FLASH
#define LPM "elpm"
#else
#define LPM "lpm"
#endif
#define COPY_TWO LPM " __tmp_reg__, Z+\n\tst X+, __tmp_reg__\n\t" LPM " __tmp_reg__, Z+\n\tst X+, __tmp_reg__\n\t"
NOINLINE static cursor copy_set(unsigned char *out, cursor at, unsigned char n)
{
    unsigned int z = (unsigned int)at;
#ifdef FAR_FLASH
    RAMPZ = (unsigned char)(at >> 16);
#endif
    at += n;
    __asm__ __volatile__("sbrs %2, 0\n\t"
                         "rjmp 1f\n\t"
                         LPM " __tmp_reg__, Z+\n\t"
                         "st X+, __tmp_reg__\n"
                         "1:\n\t"
                         "sbrs %2, 1\n\t"
                         "rjmp 2f\n\t"
                         COPY_TWO
                         "\n2:\n\t"
                         "lsr %2\n\t"
                         "lsr %2\n\t"
                         "breq 4f\n"
                         "3:\n\t"
                         COPY_TWO COPY_TWO
                         "dec %2\n\t"
                         "brne 3b\n"
                         "4:\n"
                         : "+x"(out), "+z"(z), "+r"(n)
                         :
                         : "memory");
    return at;
}
#define MOVE_TWO "ld __tmp_reg__, Z+\n\tst X+, __tmp_reg__\n\tld __tmp_reg__, Z+\n\tst X+, __tmp_reg__\n\t"
NOINLINE static void copy_ram(unsigned char *out, const unsigned char *from, unsigned char n)
{
    __asm__ __volatile__("lsr %2\n\t"
                         "brcc 1f\n\t"
                         "ld __tmp_reg__, Z+\n\t"
                         "st X+, __tmp_reg__\n"
                         "1:\n\t"
                         "lsr %2\n\t"
                         "brcc 2f\n\t"
                         MOVE_TWO
                         "\n2:\n\t"
                         "breq 4f\n"
                         "3:\n\t"
                         MOVE_TWO MOVE_TWO
                         "dec %2\n\t"
                         "brne 3b\n"
                         "4:\n"
                         : "+x"(out), "+z"(from), "+r"(n)
                         :
                         : "memory");
}
INLINE static void fill(unsigned char *out, unsigned char b, unsigned char n)
{
    __asm__ __volatile__("1:\n\t"
                         "st X+, %2\n\t"
                         "dec %1\n\t"
                         "brne 1b\n"
                         : "+x"(out), "+r"(n)
                         : "r"(b)
                         : "memory");
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

int grayframe_open_at(grayframe_decoder *d, grayframe_address set, unsigned long size)
{
    d->set = set;
    d->end = (cursor)(set + size);
    d->chain = 0;
    d->count = 0;
    if (size < 5 || (unsigned long)(cursor)size != size || d->end < set
        || BYTE(set) != 'G' || BYTE(set + 1) != 'F' || BYTE(set + 2) != GRAYFRAME_CODE_VERSION)
        return GRAYFRAME_NOT_A_SET;
    d->count = BYTE(set + 3) | (unsigned)BYTE(set + 4) << 8;
    if (5 + (unsigned long)d->count + d->count + d->count > size) {
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
    cursor where = d->set + 5 + frame + frame + frame;
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
    return kind == KIND_RAW || kind == KIND_KEY || (kind == KIND_DELTA && frame) ? kind : 0;
}

int grayframe_is_delta(grayframe_decoder *d, unsigned frame)
{
    cursor at;
    unsigned char kind;
    if (frame >= d->count)
        return GRAYFRAME_NO_FRAME;
    kind = frame_kind(d, frame, &at);
    return kind ? kind == KIND_DELTA : GRAYFRAME_DAMAGED;
}

/* Sets up the chain that ends at frame, or only the frame itself with single. */
static int begin(grayframe_decoder *d, unsigned frame, unsigned char single)
{
    unsigned char n = 0, kind;
    d->chain = 0;
    d->row = 0;
    d->spans = 0;
    d->column = 1;
    if (frame >= d->count)
        return GRAYFRAME_NO_FRAME;
    for (;;) {
        if (n == GRAYFRAME_CHAIN_MAX || !(kind = frame_kind(d, frame, &d->next[n])))
            return GRAYFRAME_DAMAGED;
        d->hold[n++] = 0;
        if (kind != KIND_DELTA || single)
            break;
        --frame;
    }
    d->base_kind = kind;
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

#if defined(READ_ON)
/* Decodes the codes of a row that start at *next (their first code is not a rows
 * code) into out (51 bytes), bytes as the reference taken from ref (left as they are
 * when ref is out), reading no further than stop; *next then holds where the row's
 * codes end. GRAYFRAME_OK, or GRAYFRAME_DAMAGED when they do not add up. */
INLINE static int row_codes(cursor *next, cursor stop, unsigned char *out,
                              const unsigned char *ref)
{
    const cursor at = *next;
    unsigned int z = (unsigned int)at, save;
    unsigned int rem = (cursor)(stop - at) > 0xFFFF ? 0xFFFF : (unsigned int)(stop - at);
    const unsigned int before = rem;
    unsigned char left, c, n;
#ifdef FAR_FLASH
    RAMPZ = (unsigned char)(at >> 16);
#endif
    __asm__ __volatile__(
        "ldi %[left], 51\n"
        "0:\n\t"
        "cp %A[rem], __zero_reg__\n\t"
        "cpc %B[rem], __zero_reg__\n\t"
        "breq 9f\n\t"
        "sbiw %[rem], 1\n\t"
        LPM " %[c], Z+\n\t"
        "mov %[n], %[c]\n\t"
        "andi %[n], 0x3F\n\t"
        "inc %[n]\n\t"
        "cpi %[c], 0x40\n\t"
        "brlo 1f\n\t"
        "cpi %[c], 0x80\n\t"
        "brlo 3f\n\t"
        "cpi %[c], 0xC0\n\t"
        "brsh 4f\n\t"
        "rjmp 5f\n"
        "4:\n\t"
        "cpi %[c], 0xF0\n\t"
        "brsh 9f\n\t"
        "mov %[n], %[c]\n\t"
        "lsr %[n]\n\t"
        "lsr %[n]\n\t"
        "lsr %[n]\n\t"
        "andi %[n], 7\n\t"
        "inc %[n]\n"
        /* n bytes as the reference */
        "1:\n\t"
        "cp %[left], %[n]\n\t"
        "brlo 9f\n\t"
        "sub %[left], %[n]\n\t"
        "cp %A[ref], r26\n\t"
        "cpc %B[ref], r27\n\t"
        "breq 2f\n\t"
        "movw %[save], r30\n\t"
        "movw r30, %[ref]\n\t"
        "lsr %[n]\n\t"
        "brcc 11f\n\t"
        "ld __tmp_reg__, Z+\n\t"
        "st X+, __tmp_reg__\n"
        "11:\n\t"
        "lsr %[n]\n\t"
        "brcc 14f\n\t"
        MOVE_TWO
        "\n14:\n\t"
        "breq 13f\n"
        "12:\n\t"
        MOVE_TWO MOVE_TWO
        "dec %[n]\n\t"
        "brne 12b\n"
        "13:\n\t"
        "movw %[ref], r30\n\t"
        "movw r30, %[save]\n\t"
        "rjmp 21f\n"
        "2:\n\t"
        "add r26, %[n]\n\t"
        "adc r27, __zero_reg__\n\t"
        "add %A[ref], %[n]\n\t"
        "adc %B[ref], __zero_reg__\n"
        "21:\n\t"
        "cpi %[c], 0xC0\n\t"
        "brlo 8f\n\t"
        "mov %[n], %[c]\n\t"
        "andi %[n], 7\n\t"
        "inc %[n]\n\t"
        "rjmp 3f\n"
        "9:\n\t"
        "rjmp 10f\n"
        /* n bytes as they follow */
        "3:\n\t"
        "cp %[left], %[n]\n\t"
        "brlo 9b\n\t"
        "cp %A[rem], %[n]\n\t"
        "cpc %B[rem], __zero_reg__\n\t"
        "brlo 9b\n\t"
        "sub %[left], %[n]\n\t"
        "sub %A[rem], %[n]\n\t"
        "sbc %B[rem], __zero_reg__\n\t"
        "add %A[ref], %[n]\n\t"
        "adc %B[ref], __zero_reg__\n\t"
        "lsr %[n]\n\t"
        "brcc 31f\n\t"
        LPM " __tmp_reg__, Z+\n\t"
        "st X+, __tmp_reg__\n"
        "31:\n\t"
        "lsr %[n]\n\t"
        "brcc 32f\n\t"
        COPY_TWO
        "\n32:\n\t"
        "breq 8f\n"
        "33:\n\t"
        COPY_TWO COPY_TWO
        "dec %[n]\n\t"
        "brne 33b\n\t"
        "rjmp 8f\n"
        /* n times the byte that follows */
        "5:\n\t"
        "cp %[left], %[n]\n\t"
        "brlo 9b\n\t"
        "cp %A[rem], __zero_reg__\n\t"
        "cpc %B[rem], __zero_reg__\n\t"
        "breq 9b\n\t"
        "sub %[left], %[n]\n\t"
        "sbiw %[rem], 1\n\t"
        LPM " __tmp_reg__, Z+\n\t"
        "add %A[ref], %[n]\n\t"
        "adc %B[ref], __zero_reg__\n"
        "lsr %[n]\n\t"
        "brcc 51f\n\t"
        "st X+, __tmp_reg__\n"
        "51:\n\t"
        "breq 8f\n"
        "52:\n\t"
        "st X+, __tmp_reg__\n\t"
        "st X+, __tmp_reg__\n\t"
        "dec %[n]\n\t"
        "brne 52b\n"
        "8:\n\t"
        "tst %[left]\n\t"
        "breq 12f\n\t"
        "rjmp 0b\n"
        "12:\n"
        "10:\n"
        : [z] "+z"(z), [out] "+x"(out), [rem] "+w"(rem), [ref] "+r"(ref),
          [left] "=&d"(left), [c] "=&d"(c), [n] "=&d"(n), [save] "=&r"(save)
        :
        : "memory");
    if (left)
        return GRAYFRAME_DAMAGED;
    *next = at + (before - rem);
    return GRAYFRAME_OK;
}
#endif

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
        if (c < ROWS)
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
NOINLINE static int frame_row(grayframe_decoder *d, unsigned char i, unsigned char *out,
                              const unsigned char *ref)
{
    cursor at = d->next[i];
    const cursor stop = d->end;
    unsigned char x = 0, c, n, b;
    if (i + 1 == d->chain && d->base_kind == KIND_RAW) {
        if ((cursor)(stop - at) < ROW)
            return GRAYFRAME_DAMAGED;
        d->next[i] = copy_set(out, at, ROW);
        return GRAYFRAME_OK;
    }
    if ((c = row_start(d, i, out, ref)) != 1)
        return c ? GRAYFRAME_OK : GRAYFRAME_DAMAGED;
    for (;;) {
        if (at == stop)
            return GRAYFRAME_DAMAGED;
        NEXT(c, at);
        n = (unsigned char)((c & 0x3F) + 1);
        if (c < LITERAL || c >= PAIR) {
            if (c >= PAIR) {
                if (c >= ROWS)
                    return GRAYFRAME_DAMAGED;
                n = (unsigned char)(((c >> 3) & 7) + 1);
            }
            if (n > ROW - x)
                return GRAYFRAME_DAMAGED;
            if (ref != out)
                copy_ram(out + x, ref + x, n);
            x = (unsigned char)(x + n);
            if (c < LITERAL)
                goto next;
            n = (unsigned char)((c & 7) + 1);
        }
        if (n > ROW - x)
            return GRAYFRAME_DAMAGED;
        if (d->spans)
            mark(d, x, n);
        if (c >= RUN && c < PAIR) {
            if (at == stop)
                return GRAYFRAME_DAMAGED;
            NEXT(b, at);
            fill(out + x, b, n);
        } else {
            if ((cursor)(stop - at) < n)
                return GRAYFRAME_DAMAGED;
            at = copy_set(out + x, at, n);
        }
        x = (unsigned char)(x + n);
    next:
        if (x == ROW)
            break;
    }
    d->next[i] = at;
    return GRAYFRAME_OK;
}

/* ROW(d, i, out, ref) is frame_row; on AVR, outside spans mode, a row decoder with its
 * codes in a loop of assembler, which avr-gcc does not make of the C. */
#if defined(READ_ON)
static int fast_row(grayframe_decoder *d, unsigned char i, unsigned char *out,
                    const unsigned char *ref)
{
    unsigned char c;
    if (d->spans || (i + 1 == d->chain && d->base_kind == KIND_RAW))
        return frame_row(d, i, out, ref);
    if ((c = row_start(d, i, out, ref)) != 1)
        return c ? GRAYFRAME_OK : GRAYFRAME_DAMAGED;
    return row_codes(&d->next[i], d->end, out, ref);
}
#define ROW_OF(d, i, out, ref) fast_row(d, i, out, ref)
#else
#define ROW_OF(d, i, out, ref) frame_row(d, i, out, ref)
#endif

/* The next row of a chain of more than one frame into out; prev is where the row before
 * it was put (out itself row by row). The chain's raw or key frame is decoded into out
 * against its row before, which is in prev or, when a delta frame changed that row
 * (d->column 0), in d->above; the delta frames of the chain are then applied to out,
 * the base's row kept in d->above first. */
OWN_LOOPS static int step(grayframe_decoder *d, unsigned char *out, const unsigned char *prev)
{
    const unsigned char base = (unsigned char)(d->chain - 1);
    unsigned char i, changed = 0, bit = 1, start;
    for (i = 0; i != base; ++i, bit = (unsigned char)(bit << 1)) {
        if (!(start = row_start(d, i, out, out)))
            return GRAYFRAME_DAMAGED;
        if (start == 1)
            changed |= bit;
    }
    if (ROW_OF(d, base, out, d->column ? prev : d->above))
        return GRAYFRAME_DAMAGED;
    d->column = !changed;
    if (changed) {
        copy_ram(d->above, out, ROW);
        for (i = base; i--;) {
            bit >>= 1;
            if ((changed & bit) && ROW_OF(d, i, out, out))
                return GRAYFRAME_DAMAGED;
        }
    }
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
    if (d->chain == 1 && d->base_kind == KIND_RAW) {
        if ((cursor)(d->end - d->next[0]) < GRAYFRAME_FRAME_BYTES)
            return end(d, GRAYFRAME_DAMAGED);
        for (d->row = 16; d->row; --d->row, row += 255)
            d->next[0] = copy_set(row, d->next[0], 255);
        return end(d, GRAYFRAME_OK);
    }
    if (d->chain == 1) {
        for (; d->row != GRAYFRAME_ROWS; ++d->row, row += ROW) {
            if (d->hold[0]) {
                /* a row whole as the row above, or as the frame before (as it is) */
                --d->hold[0];
                if (d->base_kind != KIND_DELTA)
                    copy_ram(row, row - ROW, ROW);
            } else if (ROW_OF(d, 0, row, d->row && d->base_kind != KIND_DELTA ? row - ROW : row))
                return end(d, GRAYFRAME_DAMAGED);
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

int grayframe_rows_next(grayframe_decoder *d, unsigned char *row)
{
    if (!d->chain)
        return GRAYFRAME_ORDER;
    if (d->row == GRAYFRAME_ROWS)
        return end(d, GRAYFRAME_OK);
    if (d->chain == 1) {
        if (d->hold[0])
            --d->hold[0];
        else if (d->base_kind != KIND_RAW) {
            if (ROW_OF(d, 0, row, row))
                return end(d, GRAYFRAME_DAMAGED);
        } else if ((cursor)(d->end - d->next[0]) < ROW)
            return end(d, GRAYFRAME_DAMAGED);
        else
            d->next[0] = copy_set(row, d->next[0], ROW);
        ++d->row;
        return GRAYFRAME_MORE;
    }
    return step(d, row, row) ? end(d, GRAYFRAME_DAMAGED) : GRAYFRAME_MORE;
}

int grayframe_spans_begin(grayframe_decoder *d, unsigned frame)
{
    d->given = 0;
    return begin(d, frame, 1);
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
        d->spans = d->base_kind == KIND_DELTA;
        if (ROW_OF(d, 0, row, row))
            return end(d, GRAYFRAME_DAMAGED);
        ++d->row;
        if (!d->spans) {
            d->above[0] = 0;
            d->above[1] = ROW;
            d->spans = 3;
        }
    }
}
