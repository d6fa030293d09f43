/* SPDX-License-Identifier: Apache-2.0 */
/* grayframe_decode_avr.S: the AVR loops of grayframe_decode.c, which avr-gcc does not
 * make of C as tight: byte copies, the codes of a row, and the rows of a whole
 * frame. grayframe_decode.c is the decoder of the code (grayframe_format.h); these
 * loops make the same bytes and the same results for the cases it hands them, and it
 * checks where a row's codes ended.
 *
 * Assembled to nothing off AVR, with GRAYFRAME_SMALL (the C loops only) or with
 * GRAYFRAME_READ_BYTE (the set read through a hook): build it with the same
 * definitions as grayframe_decode.c. The set is read with LPM Z+, or with ELPM Z+ on
 * parts with more than 64 KiB of program memory unless GRAYFRAME_NEAR_FLASH is
 * defined; the functions that read the set have a _far name then, so that a mismatch
 * with grayframe_decode.c fails to link.
 *
 * The functions, called by the C side with avr-gcc's ABI: arguments from r24:r25 down,
 * each in an even pair, results in r24:r25 (16 bits) or r22:r25 (32 bits); r18 to r27,
 * r30, r31, r0 and T are the callee's to clobber, r2 to r17 and r28:r29 are saved
 * where used, r1 is zero on entry and on return. None touches memory outside the bytes
 * it is said to write.
 *
 *   near flash (LPM):
 *     unsigned int grayframe_avr_copy_set(unsigned char *out, unsigned int at,
 *                                         unsigned char n);
 *     void grayframe_avr_raw_row(unsigned char *out, unsigned int *at);
 *     unsigned int grayframe_avr_row(unsigned char *out, int delta, unsigned int code,
 *                                    unsigned int set);
 *     unsigned long grayframe_avr_rows(unsigned char *out, int delta, unsigned int code,
 *                                      unsigned int set, unsigned int end,
 *                                      unsigned char before);
 *   far flash (ELPM, RAMPZ the third byte of Z):
 *     unsigned long grayframe_avr_copy_set_far(unsigned char *out, unsigned long at,
 *                                              unsigned char n);
 *     unsigned long grayframe_avr_row_far(unsigned char *out, int delta,
 *                                         unsigned int code, unsigned int set,
 *                                         unsigned char set_high);
 *   both:
 *     void grayframe_avr_copy_ram(unsigned char *out, const unsigned char *from,
 *                                 unsigned char n);
 *
 * copy_set copies the n > 0 bytes of the set at at to out and gives at + n (far: RAMPZ
 * left at its third byte); copy_ram copies n > 0 bytes from from to out. Both change
 * only X, Z, r0, n's register and the result's. raw_row copies the whole row (51 bytes)
 * of the set at *at to out and moves *at past it, in fewer cycles than copy_set: X at,
 * then out, Z the set, r20 the loop's count; it changes only those and r0.
 *
 * row decodes the codes of one row (their first code not a rows code) at code (far:
 * the low 16 bits, RAMPZ set by the caller to the third byte) into out, 51 bytes, bytes
 * as the reference taken from out + delta (left as they are when delta is 0); set is
 * the set's first byte (far: set_high its third byte), before which no match may
 * reach. It gives the address just past the row's codes, or, when they do not add up,
 * 0 (0xFFFFFFFF far). It does not look for the set's end: a row's codes, whole or not,
 * take at most 102 bytes, and the caller finds a row that ran past the end damaged.
 * Registers: X out, Z the codes, r20 bytes of the row still to make, r24 the code, r25
 * its count, r21 a run's byte or a match's distance, T set when delta is not 0 (Y, which
 * then points into the reference while it is copied, is saved for the whole row, else
 * by each match, where it holds Z); far: r14 set_high, r15 RAMPZ of the codes during a
 * match. It changes r0, r18 to r27, r30, r31, T, and far RAMPZ (left at the third byte
 * of the address it gives).
 *
 * rows (near only) decodes the 80 rows of a key frame (delta -51: each row's reference
 * the row above it; row 0 has itself) or of a delta frame over the frame before (delta
 * 0) into out, 4080 bytes, as row does a row, rows codes included. It gives the address
 * just past the frame's codes, or 0xFFFFFFFF when they do not add up or a row starts at
 * or past end. With before nonzero out holds the frame before, and the rows a rows call
 * marks as the frame before's are left as they are. Registers: Y out, r10:r11 the
 * codes, r12:r13 delta, r14:r15 the set, r16:r17 end, r9 rows left, r8 rows held still
 * (or 1 while a called row is decoded, 2 for a changed call), r6:r7 this row's delta
 * (0 for a key frame's first row), r4 rows still to make by a rows call and r2:r3 where
 * the codes go on after it, r5 before; T, within a rows call's check, set when its rows
 * are left as they are. It calls row for calls, for the change after a changed call and
 * for the rows of a delta frame, and decodes a key frame's rows below the first itself
 * (X out, Z the codes, r20 bytes still to make, Y the row above or, for a match, r18:r19
 * holding Z). It changes r0, r18 to r27, r30, r31 and T.
 */
#if defined(__AVR__) && !defined(GRAYFRAME_SMALL) && !defined(GRAYFRAME_READ_BYTE)

#include <avr/io.h>
#include "grayframe_format.h"

#if defined(__AVR_HAVE_ELPM__) && !defined(GRAYFRAME_NEAR_FLASH)
#define FAR_FLASH 1
#define LPM elpm
#define COPY_SET grayframe_avr_copy_set_far
#define ROW grayframe_avr_row_far
#define COPY_SET_COUNT r18
#else
#define LPM lpm
#define COPY_SET grayframe_avr_copy_set
#define ROW grayframe_avr_row
#define COPY_SET_COUNT r20
#endif

/* One step of a byte loop: a byte from the set (Z) or from RAM (Z or Y) to X, or r21
 * to X (a run's byte). */
.macro set_to_x
    LPM r0, Z+
    st X+, r0
.endm
.macro ram_z_to_x
    ld r0, Z+
    st X+, r0
.endm
.macro ram_y_to_x
    ld r0, Y+
    st X+, r0
.endm
.macro fill_x
    st X+, r21
.endm

.macro steps count, step
    .rept \count
    \step
    .endr
.endm
/* The low bit of r25 shifted out: count steps when it was set. */
.macro bit_steps name, count, step
    lsr r25
    brcc .L\name
    steps \count, \step
.L\name:
.endm
/* r25 times count steps (none when the shifts before left r25 zero). */
.macro loop_steps name, count, step
    breq .L\name\()_done
.L\name\()_loop:
    steps \count, \step
    dec r25
    brne .L\name\()_loop
.L\name\()_done:
.endm
/* r25 > 0 steps: below 8 (up_to_seven), or any number, so many a loop. */
.macro up_to_seven name, step
    bit_steps \name\()_1, 1, \step
    bit_steps \name\()_2, 2, \step
    bit_steps \name\()_4, 4, \step
.endm
.macro by_two name, step
    bit_steps \name\()_1, 1, \step
    loop_steps \name, 2, \step
.endm
.macro by_four name, step
    bit_steps \name\()_1, 1, \step
    bit_steps \name\()_2, 2, \step
    loop_steps \name, 4, \step
.endm
.macro by_eight name, step
    up_to_seven \name, \step
    loop_steps \name, 8, \step
.endm
/* count steps when bit of reg is set. */
.macro reg_bit_steps name, reg, bit, count, step
    sbrs \reg, \bit
    rjmp .L\name
    steps \count, \step
.L\name:
.endm
/* As many steps as the three bits low, middle and high of reg say (0 to 7). */
.macro by_bits name, reg, low, middle, high, step
    reg_bit_steps \name\()_1, \reg, \low, 1, \step
    reg_bit_steps \name\()_2, \reg, \middle, 2, \step
    reg_bit_steps \name\()_4, \reg, \high, 4, \step
.endm
/* A pair code 11rrrlll in r24: r25 = rrr + 1, taken from r20 (C set when more). */
.macro pair_same
    mov r25, r24
    lsr r25
    lsr r25
    lsr r25
    andi r25, 7
    inc r25
    sub r20, r25
.endm
/* r25 > 0 bytes from X + delta (r22:r23) to X; Y is left past them. */
.macro copy_reference name
    movw r28, r26
    add r28, r22
    adc r29, r23
    by_eight \name, ram_y_to_x
.endm

/* --- copy_set: out r24:r25, at r22:r23 (far r20:r23), n r20 (far r18) --- */
    .section .text.COPY_SET,"ax",@progbits
    .global COPY_SET
    .type COPY_SET, @function
COPY_SET:
    movw r26, r24
#ifdef FAR_FLASH
    movw r30, r20
    out _SFR_IO_ADDR(RAMPZ), r22
    movw r24, r22
    movw r22, r20
    add r22, r18
    adc r23, r1
    adc r24, r1
    adc r25, r1
#else
    movw r30, r22
    movw r24, r22
    add r24, r20
    adc r25, r1
#endif
    by_bits copy_set, COPY_SET_COUNT, 0, 1, 2, set_to_x
    lsr COPY_SET_COUNT
    lsr COPY_SET_COUNT
    lsr COPY_SET_COUNT
    breq .Lcopy_set_8_done
.Lcopy_set_8_loop:
    steps 8, set_to_x
    dec COPY_SET_COUNT
    brne .Lcopy_set_8_loop
.Lcopy_set_8_done:
    ret
    .size COPY_SET, .-COPY_SET

#ifndef FAR_FLASH
/* --- raw_row: out r24:r25, at r22:r23 (where the address is) --- */
    .section .text.grayframe_avr_raw_row,"ax",@progbits
    .global grayframe_avr_raw_row
    .type grayframe_avr_raw_row, @function
grayframe_avr_raw_row:
    movw r26, r22
    ld r30, X+
    ld r31, X
    movw r26, r24
    .if GRAYFRAME_ROW_BYTES - 3 * 17
    .error "a row is not 3 times 17 bytes"
    .endif
    ldi r20, 3
.Lraw_row_loop:
    steps 17, set_to_x
    dec r20
    brne .Lraw_row_loop
    movw r26, r22
    st X+, r30
    st X, r31
    ret
    .size grayframe_avr_raw_row, .-grayframe_avr_raw_row
#endif

/* --- copy_ram: out r24:r25, from r22:r23, n r20 --- */
    .section .text.grayframe_avr_copy_ram,"ax",@progbits
    .global grayframe_avr_copy_ram
    .type grayframe_avr_copy_ram, @function
grayframe_avr_copy_ram:
    movw r26, r24
    movw r30, r22
    lsr r20
    brcc .Lcopy_ram_1
    ram_z_to_x
.Lcopy_ram_1:
    lsr r20
    brcc .Lcopy_ram_2
    steps 2, ram_z_to_x
.Lcopy_ram_2:
    breq .Lcopy_ram_done
.Lcopy_ram_loop:
    steps 4, ram_z_to_x
    dec r20
    brne .Lcopy_ram_loop
.Lcopy_ram_done:
    ret
    .size grayframe_avr_copy_ram, .-grayframe_avr_copy_ram

/* --- row: out r24:r25, delta r22:r23, code r20:r21, set r18:r19 (far: set_high r16) --- */
    .section .text.ROW,"ax",@progbits
    .global ROW
    .type ROW, @function
ROW:
#ifdef FAR_FLASH
    push r14
    mov r14, r16
#endif
    movw r26, r24
    movw r30, r20
    ldi r20, GRAYFRAME_ROW_BYTES
    clt
    cp r22, r1
    cpc r23, r1
    breq .Lrow_next
    set
    push r28
    push r29
.Lrow_next:
    LPM r24, Z+
    cpi r24, GRAYFRAME_LITERAL
    brsh .Lrow_more
    /* 00nnnnnn: n+1 bytes as the reference */
    mov r25, r24
    inc r25
    sub r20, r25
    brcs .Lrow_damaged
    brts .Lrow_same_copy
    add r26, r25
    adc r27, r1
.Lrow_tail:
    cpse r20, r1
    rjmp .Lrow_next
#ifdef FAR_FLASH
    movw r22, r30
    clr r25
    in r24, _SFR_IO_ADDR(RAMPZ)
#else
    movw r24, r30
#endif
    rjmp .Lrow_out

.Lrow_damaged:
#ifdef FAR_FLASH
    ser r22
    ser r23
    ser r24
    ser r25
#else
    clr r24
    clr r25
#endif
.Lrow_out:
    brtc .Lrow_restored
    pop r29
    pop r28
.Lrow_restored:
#ifdef FAR_FLASH
    pop r14
#endif
    ret
.Lrow_same_copy:
    rjmp .Lrow_same_far
.Lrow_more:
    cpi r24, GRAYFRAME_RUN
    brlo .Lrow_literal_or_match
    cpi r24, GRAYFRAME_PAIR
    brsh .Lrow_pair
    /* 10nnnnnn b: n+1 times b */
    mov r25, r24
    andi r25, 0x3F
    inc r25
    sub r20, r25
    brcs .Lrow_damaged
    LPM r21, Z+
    lsr r25
    brcc .Lrow_run_even
    st X+, r21
.Lrow_run_even:
    breq .Lrow_tail
.Lrow_run_loop:
    st X+, r21
    st X+, r21
    dec r25
    brne .Lrow_run_loop
    rjmp .Lrow_tail
    /* 11rrrlll: rrr+1 bytes as the reference, then lll+1 as they follow */
.Lrow_pair:
    cpi r24, GRAYFRAME_WHOLE
    brsh .Lrow_damaged
    pair_same
    brcs .Lrow_damaged
    brts .Lrow_pair_copy
    add r26, r25
    adc r27, r1
.Lrow_pair_literal:
    mov r25, r24
    andi r25, 7
    inc r25
    rjmp .Lrow_literal
.Lrow_pair_copy:
    rjmp .Lrow_pair_far
.Lrow_literal_or_match:
    cpi r24, GRAYFRAME_MATCH
    brsh .Lrow_match
    /* 010nnnnn: n+1 bytes as they follow */
    mov r25, r24
    andi r25, 0x1F
    inc r25
.Lrow_literal:
    sub r20, r25
    brcs .Lrow_damaged
    by_two row_literal, set_to_x
    rjmp .Lrow_tail
    /* 011nnnnn d d: n+4 bytes as the set's, distance d back from the code */
.Lrow_match:
    mov r25, r24
    andi r25, 0x1F
    subi r25, -GRAYFRAME_MATCH_MIN
    sub r20, r25
    brcs .Lrow_match_bad
    LPM r21, Z+
    LPM r0, Z+
    cp r21, r25
    cpc r0, r1
    brlo .Lrow_match_bad
#ifdef FAR_FLASH
    push r15
#endif
    brts .Lrow_match_saved
    push r28
    push r29
.Lrow_match_saved:
    movw r28, r30
#ifdef FAR_FLASH
    in r15, _SFR_IO_ADDR(RAMPZ)
    mov r24, r15
#endif
    sbiw r30, 3
#ifdef FAR_FLASH
    sbc r24, r1
#endif
    sub r30, r21
    sbc r31, r0
#ifdef FAR_FLASH
    sbc r24, r1
#endif
    brcs .Lrow_match_outside
    cp r30, r18
    cpc r31, r19
#ifdef FAR_FLASH
    cpc r24, r14
#endif
    brlo .Lrow_match_outside
#ifdef FAR_FLASH
    out _SFR_IO_ADDR(RAMPZ), r24
#endif
    by_four row_match, set_to_x
#ifdef FAR_FLASH
    out _SFR_IO_ADDR(RAMPZ), r15
#endif
    movw r30, r28
    brts .Lrow_match_copied
    pop r29
    pop r28
.Lrow_match_copied:
#ifdef FAR_FLASH
    pop r15
#endif
    rjmp .Lrow_tail
.Lrow_match_outside:
    brts .Lrow_match_restored
    pop r29
    pop r28
.Lrow_match_restored:
#ifdef FAR_FLASH
    pop r15
#endif
.Lrow_match_bad:
    rjmp .Lrow_damaged
    /* bytes as the reference, from X + delta */
.Lrow_same_far:
    copy_reference row_same
    rjmp .Lrow_tail
.Lrow_pair_far:
    copy_reference row_pair
    rjmp .Lrow_pair_literal
    .size ROW, .-ROW

#ifndef FAR_FLASH
/* --- rows: out r24:r25, delta r22:r23, code r20:r21, set r18:r19, end r16:r17,
 * before r14 --- */
    .section .text.grayframe_avr_rows,"ax",@progbits
    .global grayframe_avr_rows
    .type grayframe_avr_rows, @function
grayframe_avr_rows:
    push r2
    push r3
    push r4
    push r5
    push r6
    push r7
    push r8
    push r9
    push r10
    push r11
    push r12
    push r13
    push r14
    push r15
    push r28
    push r29
    movw r28, r24
    movw r12, r22
    movw r10, r20
    mov r5, r14
    movw r14, r18
    clr r6
    clr r7
    clr r8
    clr r4
    ldi r24, GRAYFRAME_ROWS
    mov r9, r24
.Lrows_row:
    tst r8
    brne .Lrows_held
    cp r10, r16
    cpc r11, r17
    brlo .Lrows_within
    rjmp .Lrows_damaged
.Lrows_within:
    movw r30, r10
    lpm r24, Z
    cpi r24, GRAYFRAME_WHOLE
    brlo .Lrows_codes
    andi r24, 0x0F
    inc r24
    mov r8, r24
    sec
    adc r10, r1
    adc r11, r1
    /* a row whole as its reference: copied, or left as it is (delta 0) */
.Lrows_held:
    dec r8
    cp r6, r1
    cpc r7, r1
    brne .Lrows_held_copy
    rjmp .Lrows_done
.Lrows_held_copy:
    movw r26, r28
    movw r30, r28
    add r30, r6
    adc r31, r7
    /* the row's bytes, 3 times 17 */
    .if GRAYFRAME_ROW_BYTES - 3 * 17
    .error "a row is not 3 times 17 bytes"
    .endif
    ldi r25, 3
.Lrows_held_loop:
    steps 17, ram_z_to_x
    dec r25
    brne .Lrows_held_loop
    movw r28, r26
    rjmp .Lrows_below
.Lrows_codes:
    movw r20, r10
    cpi r24, GRAYFRAME_CHANGED_BEFORE
    brlo .Lrows_plain
    cpi r24, GRAYFRAME_PAIR
    brsh .Lrows_plain
    cpi r24, GRAYFRAME_ROW_CALL
    breq .Lrows_call
    rjmp .Lrows_special
    /* a row of codes: below the first row of a key frame, by the loop below */
.Lrows_plain:
    cp r6, r1
    cpc r7, r1
    breq .Lrows_by_row
    rjmp .Lkey_row
    /* a call: the row's codes are those that start d bytes before it (r8 1 for a
     * changed call, whose change follows) */
.Lrows_call:
    adiw r30, 1
    lpm r20, Z+
    lpm r21, Z+
    movw r10, r30
    sbiw r30, 3
    sub r30, r20
    sbc r31, r21
    brcs .Lrows_damaged
    cp r30, r14
    cpc r31, r15
    brlo .Lrows_damaged
    movw r20, r30
    inc r8
.Lrows_by_row:
    movw r24, r28
    movw r22, r6
    movw r18, r14
    rcall grayframe_avr_row
    sbiw r24, 0
    breq .Lrows_damaged
    tst r8
    breq .Lrows_made
    rjmp .Lrows_called
.Lrows_made:
    movw r10, r24
.Lrows_done:
    adiw r28, GRAYFRAME_ROW_BYTES
.Lrows_below:
    tst r4
    breq .Lrows_on
    dec r4
    brne .Lrows_on
    movw r10, r2
    clr r8
.Lrows_on:
    movw r6, r12
    dec r9
    breq .Lrows_end
    rjmp .Lrows_row
.Lrows_end:
    movw r22, r10
    clr r24
    clr r25
    rjmp .Lrows_out
.Lrows_damaged:
    ser r22
    ser r23
    ser r24
    ser r25
.Lrows_out:
    pop r29
    pop r28
    pop r15
    pop r14
    pop r13
    pop r12
    pop r11
    pop r10
    pop r9
    pop r8
    pop r7
    pop r6
    pop r5
    pop r4
    pop r3
    pop r2
    ret
    /* 0xBB to 0xBE: a call whose row the codes after it change (over the frame
     * before, with r5 set and outside a rows call, only the change when the call
     * makes the frame before's row), or a rows call */
.Lrows_special:
    cpi r24, GRAYFRAME_ROWS_BEFORE
    breq .Lrows_rows_before
    cpi r24, GRAYFRAME_ROWS_CALL
    breq .Lrows_rows_call
    cpi r24, GRAYFRAME_CHANGED_BEFORE
    brne .Lrows_changed_call
    tst r4
    brne .Lrows_changed_call
    tst r5
    breq .Lrows_changed_call
    adiw r30, 3
    movw r10, r30
    rjmp .Lrows_change
.Lrows_changed_call:
    inc r8
    rjmp .Lrows_call
    /* after a call, r10 past it: on with the next row, or for a changed call (r8 2),
     * the codes at r10 change the row as it is */
.Lrows_called:
    dec r8
    brne .Lrows_change
    rjmp .Lrows_done
.Lrows_change:
    clr r8
    movw r20, r10
    movw r24, r28
    clr r22
    clr r23
    movw r18, r14
    rcall grayframe_avr_row
    sbiw r24, 0
    breq .Lrows_damaged
    movw r10, r24
    rjmp .Lrows_done
.Lrows_bad:
    rjmp .Lrows_damaged
    /* a rows call, in a key frame and not in another: r4 rows (n + 1, n from 1 to the
     * rows left but one) from the codes that start d bytes (1 or more, within the set)
     * before it, then on from r2:r3, just past it; with r5 set, rows marked as the
     * frame before are left as they are (T set) */
.Lrows_rows_before:
    tst r5
    breq .Lrows_rows_call
    set
    rjmp .Lrows_rows_check
.Lrows_rows_call:
    clt
.Lrows_rows_check:
    tst r4
    brne .Lrows_bad
    mov r24, r12
    or r24, r13
    breq .Lrows_bad
    adiw r30, 1
    lpm r24, Z+
    lpm r20, Z+
    lpm r21, Z+
    cp r16, r30
    cpc r17, r31
    brlo .Lrows_bad
    movw r2, r30
    tst r24
    breq .Lrows_bad
    cp r24, r9
    brsh .Lrows_bad
    inc r24
    mov r4, r24
    cp r20, r1
    cpc r21, r1
    breq .Lrows_bad
    sbiw r30, 4
    sub r30, r20
    sbc r31, r21
    brcs .Lrows_bad
    cp r30, r14
    cpc r31, r15
    brlo .Lrows_bad
    brts .Lrows_skip
    movw r10, r30
    rjmp .Lrows_row
.Lrows_skip:
    movw r10, r2
.Lrows_skip_loop:
    adiw r28, GRAYFRAME_ROW_BYTES
    dec r9
    dec r4
    brne .Lrows_skip_loop
    movw r6, r12
    tst r9
    brne .Lrows_skipped
    rjmp .Lrows_end
.Lrows_skipped:
    rjmp .Lrows_row
    /* a row of codes of a key frame below its first row, as row does it, with the row
     * above for reference: X out, Z the codes, r20 bytes left to make, Y where the
     * bytes as the reference come from, r18:r19 Z during a match; then Y and r10 as
     * the loop keeps them */
.Lkey_row:
    movw r26, r28
    ldi r20, GRAYFRAME_ROW_BYTES
.Lkey_next:
    lpm r24, Z+
.Lkey_code:
    cpi r24, GRAYFRAME_LITERAL
    brsh .Lkey_more
    mov r25, r24
    inc r25
    sub r20, r25
    brcs .Lkey_bad_same
    movw r28, r26
    sbiw r28, GRAYFRAME_ROW_BYTES
    by_eight key_same, ram_y_to_x
.Lkey_tail:
    cpse r20, r1
    rjmp .Lkey_next
    rjmp .Lkey_made

.Lkey_bad_same:
    rjmp .Lrows_damaged
.Lkey_more:
    cpi r24, GRAYFRAME_PAIR
    brsh .Lkey_pair
    rjmp .Lkey_below
.Lkey_bad_pair:
    rjmp .Lrows_damaged
.Lkey_pair:
    cpi r24, GRAYFRAME_WHOLE
    brsh .Lkey_bad_pair
    /* with 14 bytes or more left, a pair fits: its bits say what to copy, and r20
     * goes down by how far X went */
    cpi r20, GRAYFRAME_PAIR_SAME_MAX + GRAYFRAME_PAIR_LITERAL_MAX
    brlo .Lkey_pair_counted
    movw r28, r26
    sbiw r28, GRAYFRAME_ROW_BYTES
    mov r25, r26
    ram_y_to_x
    by_bits key_pair_same, r24, 3, 4, 5, ram_y_to_x
    set_to_x
    by_bits key_pair_literal, r24, 0, 1, 2, set_to_x
    sub r25, r26
    add r20, r25
    rjmp .Lkey_tail
.Lkey_pair_counted:
    pair_same
    brcs .Lkey_bad_pair
    movw r28, r26
    sbiw r28, GRAYFRAME_ROW_BYTES
    up_to_seven key_pair_counted, ram_y_to_x
    mov r25, r24
    andi r25, 7
    inc r25
.Lkey_literal:
    sub r20, r25
    brcs .Lkey_bad_literal
    by_eight key_literal, set_to_x
    rjmp .Lkey_tail
.Lkey_bad_literal:
    rjmp .Lrows_damaged
.Lkey_below:
    cpi r24, GRAYFRAME_RUN
    brlo .Lkey_literal_or_match
    mov r25, r24
    andi r25, 0x3F
    inc r25
    sub r20, r25
    brcs .Lkey_bad_match
    lpm r21, Z+
    by_eight key_run, fill_x
    rjmp .Lkey_tail
.Lkey_literal_or_match:
    cpi r24, GRAYFRAME_MATCH
    brsh .Lkey_match
    mov r25, r24
    andi r25, 0x1F
    inc r25
    rjmp .Lkey_literal
.Lkey_bad_match:
    rjmp .Lrows_damaged
.Lkey_match:
    mov r25, r24
    andi r25, 0x1F
    subi r25, -GRAYFRAME_MATCH_MIN
    sub r20, r25
    brcs .Lkey_bad_match
    lpm r21, Z+
    lpm r0, Z+
    cp r21, r25
    cpc r0, r1
    brlo .Lkey_bad_match
    movw r18, r30
    sbiw r30, 3
    sub r30, r21
    sbc r31, r0
    brcs .Lkey_bad_match
    cp r30, r14
    cpc r31, r15
    brlo .Lkey_bad_match
    by_eight key_match, set_to_x
    movw r30, r18
    rjmp .Lkey_tail
    /* the row is made: on with the next here when it is a row of codes too */
.Lkey_made:
    movw r28, r26
    movw r10, r30
    tst r4
    brne .Lkey_in_rows_call
    dec r9
    breq .Lkey_end
    cp r10, r16
    cpc r11, r17
    brsh .Lkey_cut
    ldi r20, GRAYFRAME_ROW_BYTES
    lpm r24, Z+
    cpi r24, GRAYFRAME_CHANGED_BEFORE
    brsh .Lkey_not_plain
    rjmp .Lkey_code
.Lkey_not_plain:
    cpi r24, GRAYFRAME_PAIR
    brlo .Lkey_by_rows
    cpi r24, GRAYFRAME_WHOLE
    brsh .Lkey_by_rows
    rjmp .Lkey_code
.Lkey_by_rows:
    rjmp .Lrows_row
.Lkey_in_rows_call:
    rjmp .Lrows_below
.Lkey_end:
    rjmp .Lrows_end
.Lkey_cut:
    rjmp .Lrows_damaged
    .size grayframe_avr_rows, .-grayframe_avr_rows
#endif

#endif
