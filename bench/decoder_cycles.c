/* SPDX-License-Identifier: Apache-2.0 */
/* Decodes every frame of the compressed set "frames" (in program memory) on an AVR
 * and sends the CPU cycles each took over the USART, one line each: "rows N" row by
 * row, "spans N" as changed spans, and with WHOLE_FRAMES (a part with the RAM for a
 * frame) "whole N", each frame applied to the one before, and "alone N", each frame
 * from nothing. The set is read through a hook, or with GRAYFRAME_READ_BYTE defined
 * through that macro. Nothing decoded is sent: only decoding is counted. */
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/pgmspace.h>
#include <avr/sleep.h>
#include <stdint.h>

#include "frames.h"
#include "grayframe_decode.h"

static volatile uint16_t overflows;
static grayframe_decoder decoder;
static unsigned char row[FRAMES_ROW_BYTES];
#ifdef WHOLE_FRAMES
static unsigned char frame_bytes[FRAMES_FRAME_BYTES];
#endif

static unsigned char read_flash(unsigned long address)
{
    return pgm_read_byte((const unsigned char *)(unsigned)address);
}

ISR(TIMER1_OVF_vect)
{
    ++overflows;
}

static uint32_t cycles(void)
{
    uint16_t high, low;
    cli();
    low = TCNT1;
    high = overflows;
    if ((TIFR1 & (1 << TOV1)) && low < 0x8000)
        ++high;
    sei();
    return ((uint32_t)high << 16) | low;
}

static void put(char c)
{
    while (!(UCSR0A & (1 << UDRE0))) {
    }
    UDR0 = c;
}

static void report(const char *name, uint32_t value)
{
    char digits[10];
    int n = 0;
    while (*name)
        put(*name++);
    put(' ');
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value);
    while (n)
        put(digits[--n]);
    put('\n');
}

int main(void)
{
    unsigned frame;
    uint32_t start;
    grayframe_span span;
    UBRR0 = 0;
    UCSR0A = 1 << U2X0;
    UCSR0B = 1 << TXEN0;
    UCSR0C = 3 << UCSZ00;
    TCCR1A = 0;
    TCCR1B = 1 << CS10;
    TIMSK1 = 1 << TOIE1;
    sei();
    if (grayframe_open_read(&decoder, read_flash, (unsigned long)(unsigned)frames_code,
                            FRAMES_CODE_BYTES) != GRAYFRAME_OK)
        report("error", 0);
    for (frame = 0; frame < FRAMES_FRAME_COUNT; ++frame) {
        start = cycles();
        grayframe_rows_begin(&decoder, frame);
        while (grayframe_rows_next(&decoder, row) == GRAYFRAME_MORE) {
        }
        report("rows", cycles() - start);
    }
    for (frame = 0; frame < FRAMES_FRAME_COUNT; ++frame) {
        start = cycles();
        grayframe_spans_begin(&decoder, frame);
        while (grayframe_spans_next(&decoder, &span, row) == GRAYFRAME_MORE) {
        }
        report("spans", cycles() - start);
    }
#ifdef WHOLE_FRAMES
    for (frame = 0; frame < FRAMES_FRAME_COUNT; ++frame) {
        start = cycles();
        grayframe_decode_frame(&decoder, frame, frame_bytes, frame > 0);
        report("whole", cycles() - start);
    }
    for (frame = 0; frame < FRAMES_FRAME_COUNT; ++frame) {
        start = cycles();
        grayframe_decode_frame(&decoder, frame, frame_bytes, 0);
        report("alone", cycles() - start);
    }
#endif
    while (!(UCSR0A & (1 << UDRE0))) {
    }
    UCSR0A = (1 << U2X0) | (1 << TXC0);
    UDR0 = '\n';
    while (!(UCSR0A & (1 << TXC0))) {
    }
    cli();
    sleep_mode();
    return 0;
}
