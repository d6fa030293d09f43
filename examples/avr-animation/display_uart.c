/* SPDX-License-Identifier: Apache-2.0 */
/* A stand-in for the display driver: each row goes out of the USART (2 Mbit/s at
 * 16 MHz) as one line of hex, where a real driver would select the row's window and
 * send the 51 bytes over SPI. Under simavr the lines are printed. */
#include <avr/io.h>

#include "display.h"

static void put(unsigned char c)
{
    while (!(UCSR0A & (1 << UDRE0))) {
    }
    UDR0 = c;
}

void display_start(void)
{
    UBRR0 = 0;
    UCSR0A = 1 << U2X0;
    UCSR0B = 1 << TXEN0;
    UCSR0C = 3 << UCSZ00;
}

void display_row(unsigned char y, const unsigned char *bytes)
{
    static const char digits[] = "0123456789abcdef";
    unsigned char k;
    (void)y;
    for (k = 0; k < 51; ++k) {
        put(digits[bytes[k] >> 4]);
        put(digits[bytes[k] & 0xF]);
    }
    put('\n');
}

void display_show(void)
{
    while (!(UCSR0A & (1 << UDRE0))) {
    }
}
