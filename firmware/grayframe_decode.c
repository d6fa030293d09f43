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
/* GRAYFRAME_SMALL: the C loops on AVR too, without the assembler row and frame loops;
 * less flash, more cycles a frame. */
#ifdef GRAYFRAME_SMALL
#undef READ_ON
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
/* NUMBER(name) is the value of a constant as the assembler's text. */
#define QUOTE(text) #text
#define NUMBER(name) QUOTE(name)
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
                         "sbrs %2, 2\n\t"
                         "rjmp 5f\n\t"
                         COPY_TWO COPY_TWO
                         "\n5:\n\t"
                         "lsr %2\n\t"
                         "lsr %2\n\t"
                         "lsr %2\n\t"
                         "breq 4f\n"
                         "3:\n\t"
                         COPY_TWO COPY_TWO COPY_TWO COPY_TWO
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

#if defined(READ_ON)
/* grayframe_avr_row decodes the codes of a row (their first code is not a rows code)
 * into out, 51 bytes, bytes as the reference taken from out + delta (left as they are
 * when delta is 0), the codes at code (with RAMPZ on far parts), the set from set
 * (set_high its third byte on far parts). It gives the address just past the row's
 * codes, or, when they do not add up, 0 (0xFFFFFFFF on far parts). The loop does not look for the set's
 * end: a row's codes, whole or not, take at most 102 bytes, and the caller finds a row
 * that ran past the end damaged. Registers: X out, Z the codes, r20 bytes left to make,
 * r24 the code, r25 its count, T set when delta is not 0 (Y, which points into the
 * reference while it is copied and holds Z while a match is read, is then saved for the
 * whole row, else by each match); on far parts RAMPZ (I/O address 0x3B) the third byte
 * of Z. */
#ifdef FAR_FLASH
unsigned long grayframe_avr_row(unsigned char *out, int delta, unsigned int code,
                                unsigned int set, unsigned char set_high);
#define FAR_ONLY(text) text
#define NEAR_FAR(near, far) far
#else
unsigned int grayframe_avr_row(unsigned char *out, int delta, unsigned int code,
                               unsigned int set);
#define FAR_ONLY(text)
#define NEAR_FAR(near, far) near
#endif
/* Byte loops over r25 > 0 bytes, one step a byte (TWICE and FOUR_TIMES repeat one).
 * Copying: COPY(load, from) loads r0 with LPM or LD from where Z or Y is and stores it to
 * X, both moving on; filling: FILL stores r21 to X. UP_TO_SEVEN takes r25 < 8 bytes; BY_TWO, BY_FOUR and
 * BY_EIGHT take any count, that many steps a loop. */
#define COPY(load, from) load " r0, " from "\n\tst X+, r0\n\t"
#define COPY_ONE(load) COPY(load, "Z+")
#define FILL "st X+, r21\n\t"
#define TWICE(step) step step
#define FOUR_TIMES(step) TWICE(step) TWICE(step)
#define BIT_STEPS(label, steps) "lsr r25\n\tbrcc " #label "f\n\t" steps "\n" #label ":\n\t"
#define LOOP(steps) "breq 5f\n4:\n\t" steps "dec r25\n\tbrne 4b\n5:\n\t"
#define UP_TO_SEVEN(step)                                                              \
    BIT_STEPS(1, step) BIT_STEPS(2, TWICE(step)) BIT_STEPS(3, FOUR_TIMES(step))
#define BY_TWO(step) BIT_STEPS(1, step) LOOP(TWICE(step))
#define BY_FOUR(step) BIT_STEPS(1, step) BIT_STEPS(2, TWICE(step)) LOOP(FOUR_TIMES(step))
#define BY_EIGHT(step) UP_TO_SEVEN(step) LOOP(FOUR_TIMES(step) FOUR_TIMES(step))
/* A pair code 11rrrlll in r24: r25 = rrr + 1, taken from r20 (C set when more). */
#define PAIR_SAME                                                                      \
    "mov r25, r24\n\tlsr r25\n\tlsr r25\n\tlsr r25\n\tandi r25, 7\n\tinc r25\n\t"       \
    "sub r20, r25\n\t"
/* Steps as many as the three bits of r24 given say, lowest first (0 to 7 steps). */
#define CODE_BIT_STEPS(label, bit, steps)                                              \
    "sbrs r24, " #bit "\n\trjmp " #label "f\n\t" steps "\n" #label ":\n\t"
#define BY_CODE_BITS(low, middle, high, step)                                          \
    CODE_BIT_STEPS(1, low, step) CODE_BIT_STEPS(2, middle, TWICE(step))                 \
    CODE_BIT_STEPS(3, high, FOUR_TIMES(step))
/* Copy r25 > 0 bytes from X + delta to X; Y (saved for the row) is left past them. */
#define COPY_REF                                                                       \
    "movw r28, r26\n\t"                                                                \
    "add r28, r22\n\t"                                                                 \
    "adc r29, r23\n\t" BY_EIGHT(COPY("ld", "Y+"))
__asm__(".section .text.grayframe_avr_row,\"ax\",@progbits\n"
        ".global grayframe_avr_row\n"
        ".type grayframe_avr_row, @function\n"
        "grayframe_avr_row:\n\t"
        FAR_ONLY("push r14\n\tmov r14, r16\n\t")
        "movw r26, r24\n\t"
        "movw r30, r20\n\t"
        "ldi r20, " NUMBER(GRAYFRAME_ROW_BYTES) "\n\t"
        "clt\n\t"
        "cp r22, __zero_reg__\n\t"
        "cpc r23, __zero_reg__\n\t"
        "breq .Lgf_next\n\t"
        "set\n\t"
        "push r28\n\t"
        "push r29\n"
        ".Lgf_next:\n\t"
        LPM " r24, Z+\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_LITERAL) "\n\t"
        "brsh .Lgf_more\n\t"
        /* 00nnnnnn: n+1 bytes as the reference */
        "mov r25, r24\n\t"
        "inc r25\n\t"
        "sub r20, r25\n\t"
        "brcs .Lgf_damaged\n\t"
        "brts .Lgf_same_copy\n\t"
        "add r26, r25\n\t"
        "adc r27, __zero_reg__\n"
        ".Lgf_tail:\n\t"
        "cpse r20, __zero_reg__\n\t"
        "rjmp .Lgf_next\n\t"
        NEAR_FAR("movw r24, r30\n\t", "movw r22, r30\n\tclr r25\n\tin r24, 0x3B\n\t")
        "rjmp .Lgf_out\n"

        ".Lgf_damaged:\n\t"
        NEAR_FAR("clr r24\n\tclr r25\n", "ser r22\n\tser r23\n\tser r24\n\tser r25\n")
        ".Lgf_out:\n\t"
        "brtc 1f\n\t"
        "pop r29\n\t"
        "pop r28\n"
        "1:\n\t"
        FAR_ONLY("pop r14\n\t")
        "ret\n"
        ".Lgf_same_copy:\n\t"
        "rjmp .Lgf_same_far\n"
        ".Lgf_more:\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_RUN) "\n\t"
        "brlo .Lgf_literal_or_match\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_PAIR) "\n\t"
        "brsh .Lgf_pair\n\t"
        /* 10nnnnnn b: n+1 times b */
        "mov r25, r24\n\t"
        "andi r25, 0x3F\n\t"
        "inc r25\n\t"
        "sub r20, r25\n\t"
        "brcs .Lgf_damaged\n\t"
        LPM " r21, Z+\n\t"
        "lsr r25\n\t"
        "brcc 1f\n\t"
        "st X+, r21\n"
        "1:\n\t"
        "breq .Lgf_tail\n"
        "2:\n\t"
        "st X+, r21\n\t"
        "st X+, r21\n\t"
        "dec r25\n\t"
        "brne 2b\n\t"
        "rjmp .Lgf_tail\n"
        /* 11rrrlll: rrr+1 bytes as the reference, then lll+1 as they follow */
        ".Lgf_pair:\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_WHOLE) "\n\t"
        "brsh .Lgf_damaged\n\t"
        PAIR_SAME
        "brcs .Lgf_damaged\n\t"
        "brts .Lgf_pair_copy\n\t"
        "add r26, r25\n\t"
        "adc r27, __zero_reg__\n"
        ".Lgf_pair_literal:\n\t"
        "mov r25, r24\n\t"
        "andi r25, 7\n\t"
        "inc r25\n\t"
        "rjmp .Lgf_literal\n"
        ".Lgf_pair_copy:\n\t"
        "rjmp .Lgf_pair_far\n"
        ".Lgf_literal_or_match:\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_MATCH) "\n\t"
        "brsh .Lgf_match\n\t"
        /* 010nnnnn: n+1 bytes as they follow */
        "mov r25, r24\n\t"
        "andi r25, 0x1F\n\t"
        "inc r25\n"
        ".Lgf_literal:\n\t"
        "sub r20, r25\n\t"
        "brcs .Lgf_damaged\n\t"
        BY_TWO(COPY_ONE(LPM))
        "rjmp .Lgf_tail\n"
        /* 011nnnnn d d: n+4 bytes as the set's, distance d back from the code */
        ".Lgf_match:\n\t"
        "mov r25, r24\n\t"
        "andi r25, 0x1F\n\t"
        "subi r25, -" NUMBER(GRAYFRAME_MATCH_MIN) "\n\t"
        "sub r20, r25\n\t"
        "brcs 9f\n\t"
        LPM " r21, Z+\n\t"
        LPM " r0, Z+\n\t"
        "cp r21, r25\n\t"
        "cpc r0, __zero_reg__\n\t"
        "brlo 9f\n\t"
        FAR_ONLY("push r15\n\t")
        "brts 1f\n\t"
        "push r28\n\t"
        "push r29\n"
        "1:\n\t"
        "movw r28, r30\n\t"
        FAR_ONLY("in r15, 0x3B\n\tmov r24, r15\n\t")
        "sbiw r30, 3\n\t"
        FAR_ONLY("sbc r24, __zero_reg__\n\t")
        "sub r30, r21\n\t"
        "sbc r31, r0\n\t"
        FAR_ONLY("sbc r24, __zero_reg__\n\t")
        "brcs 8f\n\t"
        "cp r30, r18\n\t"
        "cpc r31, r19\n\t"
        FAR_ONLY("cpc r24, r14\n\t")
        "brlo 8f\n\t"
        FAR_ONLY("out 0x3B, r24\n\t")
        BY_FOUR(COPY_ONE(LPM))
        FAR_ONLY("out 0x3B, r15\n\t")
        "movw r30, r28\n\t"
        "brts 1f\n\t"
        "pop r29\n\t"
        "pop r28\n"
        "1:\n\t"
        FAR_ONLY("pop r15\n\t")
        "rjmp .Lgf_tail\n"
        "8:\n\t"
        "brts 1f\n\t"
        "pop r29\n\t"
        "pop r28\n"
        "1:\n\t"
        FAR_ONLY("pop r15\n\t")
        "9:\n\t"
        "rjmp .Lgf_damaged\n"
        /* bytes as the reference, from X + delta */
        ".Lgf_same_far:\n\t"
        COPY_REF
        "rjmp .Lgf_tail\n"
        ".Lgf_pair_far:\n\t"
        COPY_REF
        "rjmp .Lgf_pair_literal\n\t"
        ".size grayframe_avr_row, .-grayframe_avr_row\n\t"
        ".text\n");

#ifndef FAR_FLASH
/* grayframe_avr_rows decodes the 80 rows of a key frame (delta -51: each row's
 * reference the row above it) or of a delta frame over the frame before (delta 0) into
 * out, 4080 bytes, as grayframe_avr_row does a row, rows codes included; row 0 of a key
 * frame has itself for reference. It gives the address just past the frame's codes, or
 * 0xFFFFFFFF when they do not add up or a row starts at or past end. Registers: Y out,
 * r10:r11 the codes, r12:r13 delta, r14:r15 the set, r16:r17 end, r9 rows left, r8
 * rows held still (or 1 while a called row is decoded), r6:r7 this row's delta, r4 rows
 * still to make by a rows call and r2:r3 where the codes go on after it, r5 before:
 * nonzero when out holds the frame before, whose rows a rows call marked as the frame
 * before's are then left as they are. */
unsigned long grayframe_avr_rows(unsigned char *out, int delta, unsigned int code,
                                 unsigned int set, unsigned int end, unsigned char before);
__asm__(".section .text.grayframe_avr_rows,\"ax\",@progbits\n"
        ".global grayframe_avr_rows\n"
        ".type grayframe_avr_rows, @function\n"
        "grayframe_avr_rows:\n\t"
        "push r2\n\tpush r3\n\tpush r4\n\tpush r5\n\t"
        "push r6\n\tpush r7\n\tpush r8\n\tpush r9\n\tpush r10\n\tpush r11\n\t"
        "push r12\n\tpush r13\n\tpush r14\n\tpush r15\n\tpush r28\n\tpush r29\n\t"
        "movw r28, r24\n\t"
        "movw r12, r22\n\t"
        "movw r10, r20\n\t"
        "mov r5, r14\n\t"
        "movw r14, r18\n\t"
        "clr r6\n\t"
        "clr r7\n\t"
        "clr r8\n\t"
        "clr r4\n\t"
        "ldi r24, " NUMBER(GRAYFRAME_ROWS) "\n\t"
        "mov r9, r24\n"
        ".Lgfs_row:\n\t"
        "tst r8\n\t"
        "brne .Lgfs_held\n\t"
        "cp r10, r16\n\t"
        "cpc r11, r17\n\t"
        "brlo 1f\n\t"
        "rjmp .Lgfs_damaged\n"
        "1:\n\t"
        "movw r30, r10\n\t"
        "lpm r24, Z\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_WHOLE) "\n\t"
        "brlo .Lgfs_codes\n\t"
        "andi r24, 0x0F\n\t"
        "inc r24\n\t"
        "mov r8, r24\n\t"
        "sec\n\t"
        "adc r10, __zero_reg__\n\t"
        "adc r11, __zero_reg__\n"
        ".Lgfs_held:\n\t"
        "dec r8\n\t"
        "cp r6, __zero_reg__\n\t"
        "cpc r7, __zero_reg__\n\t"
        "brne 1f\n\t"
        "rjmp .Lgfs_done\n"
        "1:\n\t"
        "movw r26, r28\n\t"
        "movw r30, r28\n\t"
        "add r30, r6\n\t"
        "adc r31, r7\n\t"
        "ldi r25, 3\n"
        "2:\n\t" FOUR_TIMES(FOUR_TIMES(COPY("ld", "Z+"))) COPY("ld", "Z+")
        "dec r25\n\t"
        "brne 2b\n\t"
        "movw r28, r26\n\t"
        "rjmp .Lgfs_below\n"
        ".Lgfs_codes:\n\t"
        "movw r20, r10\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_CHANGED_BEFORE) "\n\t"
        "brlo .Lgfs_plain\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_PAIR) "\n\t"
        "brsh .Lgfs_plain\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_ROW_CALL) "\n\t"
        "breq .Lgfs_call\n\t"
        "rjmp .Lgfs_special\n"
        /* a row of codes: below the first row of a key frame, by the loop below */
        ".Lgfs_plain:\n\t"
        "cp r6, __zero_reg__\n\t"
        "cpc r7, __zero_reg__\n\t"
        "breq 1f\n\t"
        "rjmp .Lgfk_row\n"
        /* a call: the row's codes are those that start d bytes before it (r8 1 for
         * a changed call, whose change follows) */
        ".Lgfs_call:\n\t"
        "adiw r30, 1\n\t"
        "lpm r20, Z+\n\t"
        "lpm r21, Z+\n\t"
        "movw r10, r30\n\t"
        "sbiw r30, 3\n\t"
        "sub r30, r20\n\t"
        "sbc r31, r21\n\t"
        "brcs .Lgfs_damaged\n\t"
        "cp r30, r14\n\t"
        "cpc r31, r15\n\t"
        "brlo .Lgfs_damaged\n\t"
        "movw r20, r30\n\t"
        "inc r8\n"
        "1:\n\t"
        "movw r24, r28\n\t"
        "movw r22, r6\n\t"
        "movw r18, r14\n\t"
        "rcall grayframe_avr_row\n\t"
        "sbiw r24, 0\n\t"
        "breq .Lgfs_damaged\n\t"
        "tst r8\n\t"
        "breq 3f\n\t"
        "rjmp .Lgfs_called\n"
        "3:\n\t"
        "movw r10, r24\n"
        ".Lgfs_done:\n\t"
        "adiw r28, " NUMBER(GRAYFRAME_ROW_BYTES) "\n"
        ".Lgfs_below:\n\t"
        "tst r4\n\t"
        "breq 1f\n\t"
        "dec r4\n\t"
        "brne 1f\n\t"
        "movw r10, r2\n\t"
        "clr r8\n"
        "1:\n\t"
        "movw r6, r12\n\t"
        "dec r9\n\t"
        "breq .Lgfs_end\n\t"
        "rjmp .Lgfs_row\n"
        ".Lgfs_end:\n\t"
        "movw r22, r10\n\t"
        "clr r24\n\t"
        "clr r25\n\t"
        "rjmp .Lgfs_out\n"
        ".Lgfs_damaged:\n\t"
        "ser r22\n\t"
        "ser r23\n\t"
        "ser r24\n\t"
        "ser r25\n"
        ".Lgfs_out:\n\t"
        "pop r29\n\tpop r28\n\tpop r15\n\tpop r14\n\tpop r13\n\tpop r12\n\t"
        "pop r11\n\tpop r10\n\tpop r9\n\tpop r8\n\tpop r7\n\tpop r6\n\t"
        "pop r5\n\tpop r4\n\tpop r3\n\tpop r2\n\t"
        "ret\n"
        /* 0xBB to 0xBE: a call whose row the codes after it change (over the frame
         * before, with r5 set and outside a rows call, only the change when the call
         * makes the frame before's row), or a rows call */
        ".Lgfs_special:\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_ROWS_BEFORE) "\n\t"
        "breq .Lgfs_rows_before\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_ROWS_CALL) "\n\t"
        "breq .Lgfs_rows_call\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_CHANGED_BEFORE) "\n\t"
        "brne 1f\n\t"
        "tst r4\n\t"
        "brne 1f\n\t"
        "tst r5\n\t"
        "breq 1f\n\t"
        "adiw r30, 3\n\t"
        "movw r10, r30\n\t"
        "rjmp .Lgfs_change\n"
        "1:\n\t"
        "inc r8\n\t"
        "rjmp .Lgfs_call\n"
        /* after a call, r10 past it: on with the next row, or for a changed call (r8
         * 2), the codes at r10 change the row as it is */
        ".Lgfs_called:\n\t"
        "dec r8\n\t"
        "brne .Lgfs_change\n\t"
        "rjmp .Lgfs_done\n"
        ".Lgfs_change:\n\t"
        "clr r8\n\t"
        "movw r20, r10\n\t"
        "movw r24, r28\n\t"
        "clr r22\n\t"
        "clr r23\n\t"
        "movw r18, r14\n\t"
        "rcall grayframe_avr_row\n\t"
        "sbiw r24, 0\n\t"
        "breq .Lgfs_damaged\n\t"
        "movw r10, r24\n\t"
        "rjmp .Lgfs_done\n"
        ".Lgfs_bad:\n\t"
        "rjmp .Lgfs_damaged\n"
        /* a rows call, in a key frame and not in another: r4 rows (n + 1) from the
         * codes that start d bytes before it, then on from r2:r3, just past it; with
         * r5 set, rows marked as the frame before are left as they are (T set) */
        ".Lgfs_rows_before:\n\t"
        "tst r5\n\t"
        "breq .Lgfs_rows_call\n\t"
        "set\n\t"
        "rjmp 1f\n"
        ".Lgfs_rows_call:\n\t"
        "clt\n"
        "1:\n\t"
        "tst r4\n\t"
        "brne .Lgfs_bad\n\t"
        "mov r24, r12\n\t"
        "or r24, r13\n\t"
        "breq .Lgfs_bad\n\t"
        "adiw r30, 1\n\t"
        "lpm r24, Z+\n\t"
        "lpm r20, Z+\n\t"
        "lpm r21, Z+\n\t"
        "cp r16, r30\n\t"
        "cpc r17, r31\n\t"
        "brlo .Lgfs_bad\n\t"
        "movw r2, r30\n\t"
        "tst r24\n\t"
        "breq .Lgfs_bad\n\t"
        "cp r24, r9\n\t"
        "brsh .Lgfs_bad\n\t"
        "inc r24\n\t"
        "mov r4, r24\n\t"
        "sbiw r30, 4\n\t"
        "sub r30, r20\n\t"
        "sbc r31, r21\n\t"
        "brcs .Lgfs_bad\n\t"
        "cp r30, r14\n\t"
        "cpc r31, r15\n\t"
        "brlo .Lgfs_bad\n\t"
        "brts 1f\n\t"
        "movw r10, r30\n\t"
        "rjmp .Lgfs_row\n"
        "1:\n\t"
        "movw r10, r2\n"
        "2:\n\t"
        "adiw r28, " NUMBER(GRAYFRAME_ROW_BYTES) "\n\t"
        "dec r9\n\t"
        "dec r4\n\t"
        "brne 2b\n\t"
        "movw r6, r12\n\t"
        "tst r9\n\t"
        "brne 3f\n\t"
        "rjmp .Lgfs_end\n"
        "3:\n\t"
        "rjmp .Lgfs_row\n"
        /* a row of codes of a key frame below its first row, as grayframe_avr_row does
         * it, with the row above for reference: X out, Z the codes, r20 bytes left to
         * make, Y where the bytes as the reference or of a match come from; then Y
         * and r10 as the loop keeps them */
        ".Lgfk_row:\n\t"
        "movw r26, r28\n\t"
        "ldi r20, " NUMBER(GRAYFRAME_ROW_BYTES) "\n"
        ".Lgfk_next:\n\t"
        "lpm r24, Z+\n"
        ".Lgfk_code:\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_LITERAL) "\n\t"
        "brsh .Lgfk_more\n\t"
        "mov r25, r24\n\t"
        "inc r25\n\t"
        "sub r20, r25\n\t"
        "brcs 9f\n\t"
        "movw r28, r26\n\t"
        "sbiw r28, " NUMBER(GRAYFRAME_ROW_BYTES) "\n\t"
        BY_EIGHT(COPY("ld", "Y+"))
        ".Lgfk_tail:\n\t"
        "cpse r20, __zero_reg__\n\t"
        "rjmp .Lgfk_next\n\t"
        "rjmp .Lgfk_made\n"

        "9:\n\t"
        "rjmp .Lgfs_damaged\n"
        ".Lgfk_more:\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_PAIR) "\n\t"
        "brsh .Lgfk_pair\n\t"
        "rjmp .Lgfk_below\n"
        "9:\n\t"
        "rjmp .Lgfs_damaged\n"
        ".Lgfk_pair:\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_WHOLE) "\n\t"
        "brsh 9b\n\t"
        /* with 14 bytes or more left, a pair fits: its bits say what to copy, and
         * r20 goes down by how far X went */
        "cpi r20, " NUMBER(GRAYFRAME_PAIR_SAME_MAX) "+" NUMBER(GRAYFRAME_PAIR_LITERAL_MAX) "\n\t"
        "brlo .Lgfk_pair_counted\n\t"
        "movw r28, r26\n\t"
        "sbiw r28, " NUMBER(GRAYFRAME_ROW_BYTES) "\n\t"
        "mov r25, r26\n\t"
        COPY("ld", "Y+") BY_CODE_BITS(3, 4, 5, COPY("ld", "Y+"))
        COPY("lpm", "Z+") BY_CODE_BITS(0, 1, 2, COPY("lpm", "Z+"))
        "sub r25, r26\n\t"
        "add r20, r25\n\t"
        "rjmp .Lgfk_tail\n"
        ".Lgfk_pair_counted:\n\t"
        PAIR_SAME
        "brcs 9b\n\t"
        "movw r28, r26\n\t"
        "sbiw r28, " NUMBER(GRAYFRAME_ROW_BYTES) "\n\t"
        UP_TO_SEVEN(COPY("ld", "Y+"))
        "mov r25, r24\n\t"
        "andi r25, 7\n\t"
        "inc r25\n"
        ".Lgfk_literal:\n\t"
        "sub r20, r25\n\t"
        "brcs 9f\n\t"
        BY_EIGHT(COPY("lpm", "Z+"))
        "rjmp .Lgfk_tail\n"
        "9:\n\t"
        "rjmp .Lgfs_damaged\n"
        ".Lgfk_below:\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_RUN) "\n\t"
        "brlo .Lgfk_literal_or_match\n\t"
        "mov r25, r24\n\t"
        "andi r25, 0x3F\n\t"
        "inc r25\n\t"
        "sub r20, r25\n\t"
        "brcs 9f\n\t"
        "lpm r21, Z+\n\t"
        BY_EIGHT(FILL)
        "rjmp .Lgfk_tail\n"
        ".Lgfk_literal_or_match:\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_MATCH) "\n\t"
        "brsh .Lgfk_match\n\t"
        "mov r25, r24\n\t"
        "andi r25, 0x1F\n\t"
        "inc r25\n\t"
        "rjmp .Lgfk_literal\n"
        "9:\n\t"
        "rjmp .Lgfs_damaged\n"
        ".Lgfk_match:\n\t"
        "mov r25, r24\n\t"
        "andi r25, 0x1F\n\t"
        "subi r25, -" NUMBER(GRAYFRAME_MATCH_MIN) "\n\t"
        "sub r20, r25\n\t"
        "brcs 9b\n\t"
        "lpm r21, Z+\n\t"
        "lpm r0, Z+\n\t"
        "cp r21, r25\n\t"
        "cpc r0, __zero_reg__\n\t"
        "brlo 9b\n\t"
        "movw r18, r30\n\t"
        "sbiw r30, 3\n\t"
        "sub r30, r21\n\t"
        "sbc r31, r0\n\t"
        "brcs 9b\n\t"
        "cp r30, r14\n\t"
        "cpc r31, r15\n\t"
        "brlo 9b\n\t"
        BY_EIGHT(COPY("lpm", "Z+"))
        "movw r30, r18\n\t"
        "rjmp .Lgfk_tail\n"
        /* the row is made: on with the next here when it is a row of codes too */
        ".Lgfk_made:\n\t"
        "movw r28, r26\n\t"
        "movw r10, r30\n\t"
        "tst r4\n\t"
        "brne .Lgfk_loop\n\t"
        "dec r9\n\t"
        "breq .Lgfk_end\n\t"
        "cp r10, r16\n\t"
        "cpc r11, r17\n\t"
        "brsh .Lgfk_cut\n\t"
        "ldi r20, " NUMBER(GRAYFRAME_ROW_BYTES) "\n\t"
        "lpm r24, Z+\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_CHANGED_BEFORE) "\n\t"
        "brsh 1f\n\t"
        "rjmp .Lgfk_code\n"
        "1:\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_PAIR) "\n\t"
        "brlo 2f\n\t"
        "cpi r24, " NUMBER(GRAYFRAME_WHOLE) "\n\t"
        "brsh 2f\n\t"
        "rjmp .Lgfk_code\n"
        "2:\n\t"
        "rjmp .Lgfs_row\n"
        ".Lgfk_loop:\n\t"
        "rjmp .Lgfs_below\n"
        ".Lgfk_end:\n\t"
        "rjmp .Lgfs_end\n"
        ".Lgfk_cut:\n\t"
        "rjmp .Lgfs_damaged\n"
        ".size grayframe_avr_rows, .-grayframe_avr_rows\n\t"
        ".text\n");
#endif
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
NOINLINE static int frame_row(grayframe_decoder *d, unsigned char i, unsigned char *out,
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
#if defined(READ_ON)
/* The row's codes at code into out by grayframe_avr_row: where they end, or 0 when
 * they do not add up or run past the set's end. */
INLINE static cursor avr_row(const grayframe_decoder *d, cursor code, unsigned char *out,
                             const unsigned char *ref)
{
#ifdef FAR_FLASH
    unsigned long after;
    RAMPZ = (unsigned char)(code >> 16);
    after = grayframe_avr_row(out, ref - out, (unsigned int)code, (unsigned int)d->set,
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
    if (before == 2) {
        /* spans: only the change, marked */
        d->spans = 1;
        return frame_row(d, i, out, out);
    }
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
    copy_ram(d->above, out, ROW);
    d->column = 0;
    for (i = 1; i != d->chain; ++i) {
        if (d->until[i] == row) {
            if (ROW_OF(d, i, out, out))
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
        d->next[0] = copy_set(out, d->next[0], ROW);
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
#if defined(READ_ON) && !defined(FAR_FLASH)
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

int grayframe_rows_next(grayframe_decoder *d, unsigned char *row)
{
    int result;
    const cursor at = d->next[0];
#if defined(READ_ON)
    unsigned char c;
#endif
    if (d->chain == 1 && d->row != GRAYFRAME_ROWS) {
        if (d->base_kind != GRAYFRAME_KIND_RAW) {
            if (d->hold[0])
                --d->hold[0];
#if defined(READ_ON)
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
        } else {
            if ((cursor)(d->end - at) < ROW)
                return end(d, GRAYFRAME_DAMAGED);
            d->next[0] = copy_set(row, at, ROW);
        }
        ++d->row;
        return GRAYFRAME_MORE;
    }
    if (!d->chain)
        return GRAYFRAME_ORDER;
    if (d->row == GRAYFRAME_ROWS)
        return end(d, GRAYFRAME_OK);
    return step(d, row, row) ? end(d, GRAYFRAME_DAMAGED) : GRAYFRAME_MORE;
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
