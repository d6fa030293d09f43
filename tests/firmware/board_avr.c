/* SPDX-License-Identifier: Apache-2.0 */
/* USART0 at 2 Mbit/s (16 MHz), Timer1 counting every cycle. simavr prints each line
 * the USART sends; it ends the run when the CPU sleeps with interrupts off. */
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/sleep.h>

#include "board.h"

static volatile uint16_t overflows;

ISR(TIMER1_OVF_vect)
{
    ++overflows;
}

static void put(unsigned char c)
{
    while (!(UCSR0A & (1 << UDRE0))) {
    }
    UDR0 = c;
}

void board_start(void)
{
    UBRR0 = 0;
    UCSR0A = 1 << U2X0;
    UCSR0B = 1 << TXEN0;
    UCSR0C = 3 << UCSZ00;
    TCCR1A = 0;
    TCCR1B = 1 << CS10;
    TIMSK1 = 1 << TOIE1;
    sei();
}

void board_send(const unsigned char *bytes, unsigned count)
{
    static const char digits[] = "0123456789abcdef";
    unsigned k;
    for (k = 0; k < count; ++k) {
        put(digits[bytes[k] >> 4]);
        put(digits[bytes[k] & 0xF]);
    }
    put('\n');
}

void board_report(const char *name, uint32_t value)
{
    char digits[10];
    int n = 0;
    while (*name) put(*name++);
    put(' ');
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value);
    while (n) put(digits[--n]);
    put('\n');
}

uint32_t board_cycles(void)
{
    uint16_t high, low;
    uint8_t flags = SREG;
    cli();
    low = TCNT1;
    high = overflows;
    if ((TIFR1 & (1 << TOV1)) && low < 0x8000) ++high;
    SREG = flags;
    return ((uint32_t)high << 16) | low;
}

void board_stop(void)
{
    while (!(UCSR0A & (1 << UDRE0))) {
    }
    UCSR0A = (1 << U2X0) | (1 << TXC0); /* clears TXC0: set again once this line is out */
    UDR0 = '\n';
    while (!(UCSR0A & (1 << TXC0))) {
    }
    cli();
    sleep_mode();
}
